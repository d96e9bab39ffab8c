// The material renderer that draws materials with effects, and the default
// effect callback it calls for every draw.
#include "effects/CZeEffect.h"
#include "effects/CZeEffectContext.h"

#include "core/ZeGpuState.h"
#include "libext/ZeGL.h"
#include "libext/ZeMaterialExt.h"

using namespace irr;

namespace
{
class CZeDefaultEffectCallback : public IZeEffectCallback
{
public:
	bool onSetConstants(IZeEffect* effect, const SZeMaterialExt& record, const video::SMaterial& material) override
	{
		CZeEffect* e = dynamic_cast<CZeEffect*>(effect);
		if (!e || record.Technique < 0 || record.Pass < 0)
			return false;
		CZeEffectContext* context = e->getContext();
		const SZeBindContext bind = {context->Device, context->Driver, &material, &record};
		const u32 t = static_cast<u32>(record.Technique), p = static_cast<u32>(record.Pass);
		return e->refreshBinds(t, p, bind) && e->commit(t, p, material);
	}
};

// One per base material type. The library calls OnSetMaterial only when the
// material changes, but OnRender before every draw: the record the material's
// user data points to is read there, so that a changed technique, pass or
// node takes effect at once.
class CZeEffectRenderer : public video::IMaterialRenderer
{
public:
	CZeEffectRenderer(CZeEffectContext* context, s32 baseType) : Context(context)
	{
		Context->grab();
		video::IMaterialRenderer* base = Context->Driver->getMaterialRenderer(static_cast<u32>(baseType));
		Transparent = base && base->isTransparent();
		GL = Context->Driver->getDriverType() == video::EDT_OPENGL;
	}

	~CZeEffectRenderer() override { Context->drop(); }

	void OnSetMaterial(const video::SMaterial& material, const video::SMaterial& lastMaterial, bool resetAllRenderstates,
		video::IMaterialRendererServices* services) override
	{
		// Depth, culling and the library's own texture layers.
		services->setBasicRenderStates(material, lastMaterial, resetAllRenderstates);
		// The driver's current material: it lives as long as the driver.
		Current = &material;
	}

	bool OnRender(video::IMaterialRendererServices* services, video::E_VERTEX_TYPE vertexType) override
	{
		const SZeMaterialExt* record = Current && Context->isAlive()
			? static_cast<const SZeMaterialExt*>(ze::getMaterialUserData(*Current)) : nullptr;
		if (record && record->Tag == ZE_MATERIAL_EXT_TAG && record->Effect)
		{
			IZeEffectCallback* callback = record->Effect->getCallback();
			if (!callback)
				callback = Context->DefaultCallback;
			if (callback && callback->onSetConstants(record->Effect, *record, *Current))
				return true;
		}
		if (GL)
			zeUnbindProgram();
		return false;
	}

	void OnUnsetMaterial() override
	{
		Current = nullptr;
		if (!GL)
			return;
		zeUnbindProgram();
		glDisable(GL_BLEND);
		glBlendEquation(GL_FUNC_ADD);
		if (Context->isAlive())
			Context->releaseUnits();
	}

	bool isTransparent() const override { return Transparent; }

private:
	CZeEffectContext* Context;
	const video::SMaterial* Current = nullptr;
	bool Transparent = false;
	bool GL = false;
};
} // namespace

IZeEffectCallback* zeCreateDefaultEffectCallback()
{
	return new CZeDefaultEffectCallback();
}

video::IMaterialRenderer* zeCreateEffectRenderer(CZeEffectContext* context, s32 baseType)
{
	return new CZeEffectRenderer(context, baseType);
}
