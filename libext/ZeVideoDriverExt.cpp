#include "libext/IZeVideoDriverExt.h"

#include "libext/ZeGL.h"

namespace
{
GLenum stencilOp(int operation)
{
	switch (operation)
	{
	case EZESO_ZERO:
		return GL_ZERO;
	case EZESO_REPLACE:
		return GL_REPLACE;
	case EZESO_INCRSAT:
		return GL_INCR;
	case EZESO_DECRSAT:
		return GL_DECR;
	case EZESO_INVERT:
		return GL_INVERT;
	case EZESO_INCR:
		return GL_INCR_WRAP;
	case EZESO_DECR:
		return GL_DECR_WRAP;
	default:
		return GL_KEEP;
	}
}

GLenum compareFunc(int comparison)
{
	switch (comparison)
	{
	case EZECMP_NEVER:
		return GL_NEVER;
	case EZECMP_LESSEQUAL:
		return GL_LEQUAL;
	case EZECMP_EQUAL:
		return GL_EQUAL;
	case EZECMP_LESS:
		return GL_LESS;
	case EZECMP_NOTEQUAL:
		return GL_NOTEQUAL;
	case EZECMP_GREATEREQUAL:
		return GL_GEQUAL;
	case EZECMP_GREATER:
		return GL_GREATER;
	default:
		return GL_ALWAYS;
	}
}

// The OpenGL driver's states. The library keeps a record of the blend and depth
// states it set, so turning a state off puts back what was there before it.
class CZeVideoDriverExtGL : public IZeVideoDriverExt
{
public:
	void setStencilEnable(bool enable) override
	{
		if (!enable)
		{
			glDisable(GL_STENCIL_TEST);
			return;
		}
		glEnable(GL_STENCIL_TEST);
		glStencilMask(0xFF);
		glStencilFunc(Func, 1, 0xFF);
		glStencilOp(GL_KEEP, GL_KEEP, PassOp);
	}

	void setStencilPass(int operation) override
	{
		PassOp = stencilOp(operation);
		glStencilOp(GL_KEEP, GL_KEEP, PassOp);
	}

	void setStencilFunc(int comparison) override
	{
		Func = compareFunc(comparison);
		glStencilFunc(Func, 1, 0xFF);
	}

	void setSeparateAlphaBlend(bool enable) override
	{
		if (enable == SeparateAlpha)
			return;
		SeparateAlpha = enable;
		if (enable)
		{
			BlendWasOn = glIsEnabled(GL_BLEND);
			glGetIntegerv(GL_BLEND_SRC_RGB, &Blend[0]);
			glGetIntegerv(GL_BLEND_DST_RGB, &Blend[1]);
			glGetIntegerv(GL_BLEND_SRC_ALPHA, &Blend[2]);
			glGetIntegerv(GL_BLEND_DST_ALPHA, &Blend[3]);
			glEnable(GL_BLEND);
			glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
			return;
		}
		glBlendFuncSeparate(static_cast<GLenum>(Blend[0]), static_cast<GLenum>(Blend[1]),
			static_cast<GLenum>(Blend[2]), static_cast<GLenum>(Blend[3]));
		if (!BlendWasOn)
			glDisable(GL_BLEND);
	}

	void setDepthNeverPass(bool enable) override
	{
		if (enable == DepthNever)
			return;
		DepthNever = enable;
		if (enable)
		{
			DepthTestWasOn = glIsEnabled(GL_DEPTH_TEST);
			glGetIntegerv(GL_DEPTH_FUNC, &DepthFunc);
			glEnable(GL_DEPTH_TEST);
			glDepthFunc(GL_NEVER);
			return;
		}
		glDepthFunc(static_cast<GLenum>(DepthFunc));
		if (!DepthTestWasOn)
			glDisable(GL_DEPTH_TEST);
	}

private:
	GLenum Func = GL_ALWAYS;
	GLenum PassOp = GL_KEEP;
	bool SeparateAlpha = false;
	GLboolean BlendWasOn = GL_FALSE;
	GLint Blend[4] = { GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA };
	bool DepthNever = false;
	GLboolean DepthTestWasOn = GL_TRUE;
	GLint DepthFunc = GL_LEQUAL;
};

class CZeVideoDriverExtNull : public IZeVideoDriverExt
{
public:
	void setStencilEnable(bool enable) override {}
	void setStencilPass(int operation) override {}
	void setStencilFunc(int comparison) override {}
	void setSeparateAlphaBlend(bool enable) override {}
	void setDepthNeverPass(bool enable) override {}
};

ZeDeviceResetCallback g_preReset = nullptr;
ZeDeviceResetCallback g_postReset = nullptr;
void* g_resetUser = nullptr;
} // namespace

IZeVideoDriverExt* zeCreateVideoDriverExt(irr::video::IVideoDriver* driver)
{
	if (driver && driver->getDriverType() == irr::video::EDT_OPENGL)
		return new CZeVideoDriverExtGL();
	return new CZeVideoDriverExtNull();
}

void zeSetDeviceResetCallbacks(ZeDeviceResetCallback preReset, ZeDeviceResetCallback postReset, void* user)
{
	g_preReset = preReset;
	g_postReset = postReset;
	g_resetUser = user;
}

void zeFireDeviceReset()
{
	if (g_preReset)
		g_preReset(g_resetUser);
	if (g_postReset)
		g_postReset(g_resetUser);
}
