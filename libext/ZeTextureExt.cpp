#include "libext/ZeTextureExt.h"

#include "frame/ZeContext.h"
#include "frame/ZeLog.h"
#include "libext/ZeGL.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

using namespace irr;

// The library's OpenGL texture class, of which only this exported member is
// used: the texture's GL name. Its texture interface is its first base, so a
// texture of the OpenGL driver and its GL texture object share one address.
namespace irr
{
namespace video
{
class COpenGLTexture
{
public:
	GLuint getOpenGLTextureName() const;
};
} // namespace video
} // namespace irr

namespace ze
{
namespace
{
// ---- GL state kept around our work ---------------------------------------------
void clearGLErrors()
{
	for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i)
	{
	}
}

bool glFailed(const char* what, const io::path& name)
{
	const GLenum error = glGetError();
	if (error == GL_NO_ERROR)
		return false;
	zeLog(EZELL_ERROR, "%s failed for texture \"%s\" (GL error 0x%04X)", what, name.c_str(), error);
	clearGLErrors();
	return true;
}

GLenum bindingQuery(GLenum target)
{
	switch (target)
	{
	case GL_TEXTURE_3D:
		return GL_TEXTURE_BINDING_3D;
	case GL_TEXTURE_CUBE_MAP:
		return GL_TEXTURE_BINDING_CUBE_MAP;
	default:
		return GL_TEXTURE_BINDING_2D;
	}
}

// Binds a texture on unit 0 for a scope, then puts unit 0's previous binding
// back (the library keeps its own record of what unit 0 holds) and leaves unit
// 0 active.
class ScopedTexture
{
public:
	ScopedTexture(GLenum target, GLuint name) : Target(target)
	{
		glActiveTexture(GL_TEXTURE0);
		glGetIntegerv(bindingQuery(target), &Previous);
		glBindTexture(target, name);
	}
	~ScopedTexture() { glBindTexture(Target, static_cast<GLuint>(Previous)); }
	ScopedTexture(const ScopedTexture&) = delete;
	ScopedTexture& operator=(const ScopedTexture&) = delete;

private:
	GLenum Target;
	GLint Previous = 0;
};

// Tightly packed client memory for uploads (pack = false) or readbacks.
class ScopedPixelStore
{
public:
	explicit ScopedPixelStore(bool pack) : Pack(pack)
	{
		const GLenum* names = Pack ? PackNames : UnpackNames;
		for (int i = 0; i < COUNT; ++i)
			glGetIntegerv(names[i], &Saved[i]);
		glGetIntegerv(Pack ? GL_PIXEL_PACK_BUFFER_BINDING : GL_PIXEL_UNPACK_BUFFER_BINDING, &Buffer);
		glPixelStorei(names[0], 1);
		for (int i = 1; i < COUNT; ++i)
			glPixelStorei(names[i], 0);
		glBindBuffer(Pack ? GL_PIXEL_PACK_BUFFER : GL_PIXEL_UNPACK_BUFFER, 0);
	}
	~ScopedPixelStore()
	{
		const GLenum* names = Pack ? PackNames : UnpackNames;
		for (int i = 0; i < COUNT; ++i)
			glPixelStorei(names[i], Saved[i]);
		glBindBuffer(Pack ? GL_PIXEL_PACK_BUFFER : GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(Buffer));
	}
	ScopedPixelStore(const ScopedPixelStore&) = delete;
	ScopedPixelStore& operator=(const ScopedPixelStore&) = delete;

private:
	static const int COUNT = 6;
	static constexpr GLenum PackNames[COUNT] = { GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH, GL_PACK_IMAGE_HEIGHT,
		GL_PACK_SKIP_PIXELS, GL_PACK_SKIP_ROWS, GL_PACK_SKIP_IMAGES };
	static constexpr GLenum UnpackNames[COUNT] = { GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH,
		GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_IMAGES };
	bool Pack;
	GLint Saved[COUNT] = {};
	GLint Buffer = 0;
};

// Puts the read and draw frame buffers and the renderbuffer binding back.
class ScopedFramebuffers
{
public:
	ScopedFramebuffers()
	{
		glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &Read);
		glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &Draw);
		glGetIntegerv(GL_RENDERBUFFER_BINDING, &Renderbuffer);
	}
	~ScopedFramebuffers()
	{
		glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(Read));
		glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(Draw));
		glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(Renderbuffer));
	}
	ScopedFramebuffers(const ScopedFramebuffers&) = delete;
	ScopedFramebuffers& operator=(const ScopedFramebuffers&) = delete;

private:
	GLint Read = 0;
	GLint Draw = 0;
	GLint Renderbuffer = 0;
};

// Clears depth to 1 and stencil to 0 in the bound frame buffer, whatever the
// write masks are.
void clearDepthStencil()
{
	GLboolean depthWrite = GL_TRUE;
	GLint stencilWrite = 0xFF;
	glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
	glGetIntegerv(GL_STENCIL_WRITEMASK, &stencilWrite);
	glDepthMask(GL_TRUE);
	glStencilMask(0xFF);
	glClearDepth(1.0);
	glClearStencil(0);
	glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
	glDepthMask(depthWrite);
	glStencilMask(static_cast<GLuint>(stencilWrite));
}

GLuint makeDepthStencil(u32 width, u32 height)
{
	GLuint buffer = 0;
	glGenRenderbuffers(1, &buffer);
	glBindRenderbuffer(GL_RENDERBUFFER, buffer);
	glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(width),
		static_cast<GLsizei>(height));
	return buffer;
}

// Attaches one 2D image of a texture (a cube face or a volume slice by `layer`)
// to the colour attachment 0 of the bound `fboTarget`.
void attachImage(GLenum fboTarget, GLuint name, GLenum target, u32 layer)
{
	if (target == GL_TEXTURE_CUBE_MAP)
		glFramebufferTexture2D(fboTarget, GL_COLOR_ATTACHMENT0, GL_TEXTURE_CUBE_MAP_POSITIVE_X + layer, name, 0);
	else if (target == GL_TEXTURE_3D)
		glFramebufferTextureLayer(fboTarget, GL_COLOR_ATTACHMENT0, name, 0, static_cast<GLint>(layer));
	else
		glFramebufferTexture2D(fboTarget, GL_COLOR_ATTACHMENT0, target, name, 0);
}

// ---- Our textures ----------------------------------------------------------------
// What removeAllTextures needs of every texture of ours: to let go of its GL
// objects while the context still exists.
class IGLResource
{
public:
	virtual ~IGLResource() = default;
	virtual void releaseGL() = 0;
};

// The parts every texture of ours answers the same way.
template <class Interface>
class CTextureCommon : public Interface, public IGLResource
{
public:
	CTextureCommon(const io::path& name, ECOLOR_FORMAT format, const core::dimension2d<u32>& size)
		: Interface(name), Format(format), Size(size)
	{
	}
	void* lock(video::E_TEXTURE_LOCK_MODE mode, u32 mipmapLevel) override { return nullptr; }
	void unlock() override {}
	const core::dimension2d<u32>& getOriginalSize() const override { return Size; }
	const core::dimension2d<u32>& getSize() const override { return Size; }
	video::E_DRIVER_TYPE getDriverType() const override { return video::EDT_OPENGL; }
	video::ECOLOR_FORMAT getColorFormat() const override { return toIrrColorFormat(Format); }
	u32 getPitch() const override
	{
		return isCompressed(Format) ? getLevelSize(Format, Size.Width, 4) : Size.Width * getBytesPerTexel(Format);
	}
	void regenerateMipMapLevels(void* mipmapData) override {}
	ECOLOR_FORMAT getFormat() const override { return Format; }
	unsigned int getGLName() const override { return Name; }

	void releaseGL() override
	{
		if (Name)
			glDeleteTextures(1, &Name);
		Name = 0;
	}

protected:
	// Makes the texture object with linear filtering, edges clamped and one level.
	void makeName(GLenum target)
	{
		glGenTextures(1, &Name);
		glBindTexture(target, Name);
		glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
		glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
		glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
		glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
		glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
		glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
		glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
	}

	bool checkUpload(const void* texels, u32 byteCount, u32 expected) const
	{
		if (texels && byteCount == expected)
			return true;
		zeLog(EZELL_ERROR, "Texture \"%s\": %u bytes given, %u expected", this->getName().getPath().c_str(),
			byteCount, expected);
		return false;
	}

	ECOLOR_FORMAT Format;
	core::dimension2d<u32> Size;
	GLuint Name = 0;
};

class CTexture3D : public CTextureCommon<ITexture3D>
{
public:
	CTexture3D(const io::path& name, ECOLOR_FORMAT format, u32 width, u32 height, u32 depth)
		: CTextureCommon(name, format, core::dimension2d<u32>(width, height)), Depth(depth)
	{
	}
	~CTexture3D() override { releaseGL(); }

	bool create(const SGLFormat& gl)
	{
		clearGLErrors();
		ScopedTexture bind(GL_TEXTURE_3D, 0);
		makeName(GL_TEXTURE_3D);
		if (gl.compressed)
			glCompressedTexImage3D(GL_TEXTURE_3D, 0, static_cast<GLenum>(gl.internalFormat), width(), height(),
				static_cast<GLsizei>(Depth), 0, static_cast<GLsizei>(byteSize()), nullptr);
		else
			glTexImage3D(GL_TEXTURE_3D, 0, gl.internalFormat, width(), height(), static_cast<GLsizei>(Depth), 0,
				gl.format, gl.type, nullptr);
		return !glFailed("Creating a volume texture", getName().getPath());
	}

	E_TEXTURE_KIND getKind() const override { return ETK_3D; }
	unsigned int getGLTarget() const override { return GL_TEXTURE_3D; }
	u32 getDepth() const override { return Depth; }

	bool upload(const void* texels, u32 byteCount) override
	{
		SGLFormat gl;
		if (!Name || !getGLFormat(Format, &gl) || !checkUpload(texels, byteCount, byteSize()))
			return false;
		clearGLErrors();
		ScopedTexture bind(GL_TEXTURE_3D, Name);
		ScopedPixelStore store(false);
		if (gl.compressed)
			glCompressedTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, width(), height(), static_cast<GLsizei>(Depth),
				static_cast<GLenum>(gl.internalFormat), static_cast<GLsizei>(byteCount), texels);
		else
			glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, width(), height(), static_cast<GLsizei>(Depth), gl.format,
				gl.type, texels);
		return !glFailed("Uploading a volume", getName().getPath());
	}

private:
	GLsizei width() const { return static_cast<GLsizei>(Size.Width); }
	GLsizei height() const { return static_cast<GLsizei>(Size.Height); }
	u32 byteSize() const { return getLevelSize(Format, Size.Width, Size.Height) * Depth; }

	u32 Depth;
};

// Name of the 2D target of the library that stands in while a cube face is
// drawn into: with it set, the library knows a target of the face's size is
// current, and its setRenderTarget(0) goes back to the frame buffer.
io::path faceProxyName(u32 size)
{
	return io::path("ze.cube-face-target.") + io::path(size);
}

class CTextureCUBE : public CTextureCommon<ITextureCUBE>
{
public:
	CTextureCUBE(const io::path& name, ECOLOR_FORMAT format, u32 size)
		: CTextureCommon(name, format, core::dimension2d<u32>(size, size))
	{
	}
	~CTextureCUBE() override { releaseGL(); }

	bool create(const SGLFormat& gl, bool renderTarget)
	{
		clearGLErrors();
		{
			ScopedTexture bind(GL_TEXTURE_CUBE_MAP, 0);
			makeName(GL_TEXTURE_CUBE_MAP);
			for (GLenum face = 0; face < 6; ++face)
			{
				if (gl.compressed)
					glCompressedTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0,
						static_cast<GLenum>(gl.internalFormat), side(), side(), 0, static_cast<GLsizei>(faceBytes()),
						nullptr);
				else
					glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, gl.internalFormat, side(), side(), 0,
						gl.format, gl.type, nullptr);
			}
		}
		glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
		if (glFailed("Creating a cube texture", getName().getPath()))
			return false;
		if (!renderTarget)
			return true;

		ScopedFramebuffers keep;
		DepthStencil = makeDepthStencil(Size.Width, Size.Height);
		glGenFramebuffers(1, &Framebuffer);
		glBindFramebuffer(GL_FRAMEBUFFER, Framebuffer);
		attachImage(GL_FRAMEBUFFER, Name, GL_TEXTURE_CUBE_MAP, 0);
		glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, DepthStencil);
		const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
		if (status != GL_FRAMEBUFFER_COMPLETE)
		{
			zeLog(EZELL_ERROR, "Cube texture \"%s\" in %s cannot be a render target (status 0x%04X)",
				getName().getPath().c_str(), getColorFormatName(Format), status);
			clearGLErrors();
			return false;
		}
		clearDepthStencil();
		return !glFailed("Making a cube render target", getName().getPath());
	}

	void releaseGL() override
	{
		if (Framebuffer)
			glDeleteFramebuffers(1, &Framebuffer);
		if (DepthStencil)
			glDeleteRenderbuffers(1, &DepthStencil);
		Framebuffer = DepthStencil = 0;
		CTextureCommon::releaseGL();
	}

	E_TEXTURE_KIND getKind() const override { return ETK_CUBE; }
	unsigned int getGLTarget() const override { return GL_TEXTURE_CUBE_MAP; }
	bool isRenderTarget() const override { return Framebuffer != 0; }

	bool uploadFace(u32 face, const void* texels, u32 byteCount) override
	{
		SGLFormat gl;
		if (!Name || face >= 6 || !getGLFormat(Format, &gl) || !checkUpload(texels, byteCount, faceBytes()))
			return false;
		clearGLErrors();
		ScopedTexture bind(GL_TEXTURE_CUBE_MAP, Name);
		ScopedPixelStore store(false);
		if (gl.compressed)
			glCompressedTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, 0, 0, side(), side(),
				static_cast<GLenum>(gl.internalFormat), static_cast<GLsizei>(byteCount), texels);
		else
			glTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, 0, 0, side(), side(), gl.format, gl.type,
				texels);
		return !glFailed("Uploading a cube face", getName().getPath());
	}

	bool bindFaceAsRenderTarget(video::IVideoDriver* driver, u32 face, bool clearColor, bool clearDepth,
		video::SColor color) override
	{
		if (!driver || !Framebuffer || face >= 6)
			return false;
		const io::path proxyName = faceProxyName(Size.Width);
		video::ITexture* proxy = driver->findTexture(proxyName);
		if (!proxy)
			proxy = driver->addRenderTargetTexture(Size, proxyName, video::ECF_A8R8G8B8);
		if (!proxy || !driver->setRenderTarget(proxy, false, false))
			return false;

		clearGLErrors();
		glBindFramebuffer(GL_FRAMEBUFFER, Framebuffer);
		attachImage(GL_FRAMEBUFFER, Name, GL_TEXTURE_CUBE_MAP, face);
		glDrawBuffer(GL_COLOR_ATTACHMENT0);
		glReadBuffer(GL_COLOR_ATTACHMENT0);
		glViewport(0, 0, side(), side());
		if (clearColor)
		{
			glClearColor(color.getRed() / 255.f, color.getGreen() / 255.f, color.getBlue() / 255.f,
				color.getAlpha() / 255.f);
			glClear(GL_COLOR_BUFFER_BIT);
		}
		if (clearDepth)
			clearDepthStencil();
		return !glFailed("Binding a cube face as render target", getName().getPath());
	}

private:
	GLsizei side() const { return static_cast<GLsizei>(Size.Width); }
	u32 faceBytes() const { return getLevelSize(Format, Size.Width, Size.Height); }

	GLuint Framebuffer = 0;
	GLuint DepthStencil = 0;
};

class CTextureIndirect : public ITextureIndirect, public IGLResource
{
public:
	explicit CTextureIndirect(const io::path& name) : ITextureIndirect(name) {}
	~CTextureIndirect() override { releaseGL(); }

	void* lock(video::E_TEXTURE_LOCK_MODE mode, u32 mipmapLevel) override { return nullptr; }
	void unlock() override {}
	const core::dimension2d<u32>& getOriginalSize() const override
	{
		return Target ? Target->getOriginalSize() : NoSize;
	}
	const core::dimension2d<u32>& getSize() const override { return Target ? Target->getSize() : NoSize; }
	video::E_DRIVER_TYPE getDriverType() const override { return video::EDT_OPENGL; }
	video::ECOLOR_FORMAT getColorFormat() const override
	{
		return Target ? Target->getColorFormat() : video::ECF_UNKNOWN;
	}
	u32 getPitch() const override { return Target ? Target->getPitch() : 0; }
	void regenerateMipMapLevels(void* mipmapData) override {}
	bool isRenderTarget() const override { return Target && Target->isRenderTarget(); }

	E_TEXTURE_KIND getKind() const override { return ETK_INDIRECT; }
	ECOLOR_FORMAT getFormat() const override { return Target ? getTextureFormat(Target) : ECF_UNKNOWN; }
	unsigned int getGLName() const override { return Target ? getGLTextureName(Target) : 0; }
	unsigned int getGLTarget() const override
	{
		unsigned int target = 0;
		if (Target)
			getGLTextureName(Target, &target);
		return target;
	}
	video::ITexture* getTarget() const override { return Target; }

	void setTarget(video::ITexture* target) override
	{
		for (video::ITexture* t = target; t; )
		{
			if (t == this)
			{
				zeLog(EZELL_ERROR, "Indirect texture \"%s\" cannot stand for itself", getName().getPath().c_str());
				return;
			}
			const ITextureIndirect* indirect = dynamic_cast<const ITextureIndirect*>(t);
			t = indirect ? indirect->getTarget() : nullptr;
		}
		if (target)
			target->grab();
		if (Target)
			Target->drop();
		Target = target;
	}

	video::ITexture* getKindTarget(E_TEXTURE_KIND kind) const override
	{
		return kind < ETK_INDIRECT ? KindTargets[kind] : nullptr;
	}

	bool setKindTarget(E_TEXTURE_KIND kind, video::ITexture* texture) override
	{
		if (kind >= ETK_INDIRECT || texture == this)
			return false;
		if (texture)
			texture->grab();
		if (KindTargets[kind])
			KindTargets[kind]->drop();
		KindTargets[kind] = texture;
		return true;
	}

	void releaseGL() override
	{
		setTarget(nullptr);
		for (u32 kind = 0; kind < ETK_INDIRECT; ++kind)
			setKindTarget(static_cast<E_TEXTURE_KIND>(kind), nullptr);
	}

private:
	static const core::dimension2d<u32> NoSize;
	video::ITexture* Target = nullptr;
	video::ITexture* KindTargets[ETK_INDIRECT] = {};
};
const core::dimension2d<u32> CTextureIndirect::NoSize(0, 0);

// ---- Registries ------------------------------------------------------------------
// Our textures by name, one reference each.
std::vector<ITextureExt*> g_ours;

// What we know of the library's textures: the GL name once asked, and the
// depth-stencil buffer of a target made with one of its own. Each entry holds
// one reference, so a pointer keeps naming the same texture; an entry whose
// texture nobody else holds any more is let go.
struct SLibraryTexture
{
	GLuint name = 0;
	GLuint depthStencil = 0;
};
std::map<video::ITexture*, SLibraryTexture> g_library;

void releaseEntry(std::map<video::ITexture*, SLibraryTexture>::iterator entry)
{
	if (entry->second.depthStencil)
		glDeleteRenderbuffers(1, &entry->second.depthStencil);
	video::ITexture* texture = entry->first;
	g_library.erase(entry);
	texture->drop();
}

void sweepLibrary()
{
	for (auto i = g_library.begin(); i != g_library.end();)
	{
		auto next = std::next(i);
		if (i->first->getReferenceCount() == 1)
			releaseEntry(i);
		i = next;
	}
}

SLibraryTexture& libraryEntry(video::ITexture* texture)
{
	auto found = g_library.find(texture);
	if (found != g_library.end())
		return found->second;
	texture->grab();
	return g_library[texture];
}

void enter(ITextureExt* texture)
{
	texture->grab();
	g_ours.push_back(texture);
}

// The GL name of a library texture. Every texture of the library's OpenGL
// driver (render targets included) is its GL texture class, which answers its
// name without binding anything; the size check guards against a texture of
// another kind.
GLuint findLibraryName(video::ITexture* texture)
{
	// Only a texture whose class is one of the driver's GL texture classes
	// ("COpenGLTexture", "COpenGLFBOTexture", "COpenGLFBODepthTexture").
	const char* type = typeid(*texture).name();
	if (!std::strstr(type, "COpenGL") || !std::strstr(type, "Texture"))
	{
		zeLog(EZELL_ERROR, "No GL texture found for \"%s\"", texture->getName().getPath().c_str());
		return 0;
	}
	const GLuint name = reinterpret_cast<const video::COpenGLTexture*>(texture)->getOpenGLTextureName();
	GLint width = 0;
	GLint height = 0;
	if (name && glIsTexture(name))
	{
		ScopedTexture bind(GL_TEXTURE_2D, name);
		glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
		glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
	}
	if (static_cast<u32>(width) != texture->getSize().Width || static_cast<u32>(height) != texture->getSize().Height)
	{
		zeLog(EZELL_ERROR, "No GL texture found for \"%s\"", texture->getName().getPath().c_str());
		return 0;
	}
	return name;
}

// A texture's GL name, target and level-0 size (depth: slices, or 6 faces).
struct SGLImage
{
	GLuint name = 0;
	GLenum target = 0;
	GLint width = 0;
	GLint height = 0;
	GLint depth = 1;
};

bool describe(video::ITexture* texture, SGLImage* image)
{
	unsigned int target = 0;
	image->name = getGLTextureName(texture, &target);
	image->target = target;
	if (!image->name)
		return false;
	ScopedTexture bind(image->target, image->name);
	const GLenum levelTarget = image->target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X : image->target;
	glGetTexLevelParameteriv(levelTarget, 0, GL_TEXTURE_WIDTH, &image->width);
	glGetTexLevelParameteriv(levelTarget, 0, GL_TEXTURE_HEIGHT, &image->height);
	if (image->target == GL_TEXTURE_3D)
		glGetTexLevelParameteriv(levelTarget, 0, GL_TEXTURE_DEPTH, &image->depth);
	else if (image->target == GL_TEXTURE_CUBE_MAP)
		image->depth = 6;
	return image->width > 0 && image->height > 0;
}

// Copies with frame buffer blits, one slice or face at a time (formats may differ).
bool blitCopy(const SGLImage& source, u32 sourceLayer, const SGLImage& target, u32 targetLayer, u32 layers)
{
	ScopedFramebuffers keep;
	const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
	glDisable(GL_SCISSOR_TEST);
	GLuint fbo[2] = { 0, 0 };
	glGenFramebuffers(2, fbo);
	glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo[0]);
	glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo[1]);
	bool ok = true;
	for (u32 i = 0; i < layers && ok; ++i)
	{
		attachImage(GL_READ_FRAMEBUFFER, source.name, source.target, sourceLayer + i);
		attachImage(GL_DRAW_FRAMEBUFFER, target.name, target.target, targetLayer + i);
		glReadBuffer(GL_COLOR_ATTACHMENT0);
		glDrawBuffer(GL_COLOR_ATTACHMENT0);
		ok = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE &&
			glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
		if (ok)
			glBlitFramebuffer(0, 0, source.width, source.height, 0, 0, target.width, target.height,
				GL_COLOR_BUFFER_BIT, GL_NEAREST);
	}
	glDeleteFramebuffers(2, fbo);
	if (scissor)
		glEnable(GL_SCISSOR_TEST);
	return ok && glGetError() == GL_NO_ERROR;
}

// Copies `layers` slices or faces; the GPU copy first, a blit when the
// formats are not copy-compatible.
bool copyImage(const SGLImage& source, u32 sourceLayer, const SGLImage& target, u32 targetLayer, u32 layers)
{
	clearGLErrors();
	glCopyImageSubData(source.name, source.target, 0, 0, 0, static_cast<GLint>(sourceLayer), target.name,
		target.target, 0, 0, 0, static_cast<GLint>(targetLayer), source.width, source.height,
		static_cast<GLsizei>(layers));
	if (glGetError() == GL_NO_ERROR)
		return true;
	clearGLErrors();
	return blitCopy(source, sourceLayer, target, targetLayer, layers);
}
} // namespace

// ---- Creation --------------------------------------------------------------------
ITexture3D* createTexture3D(video::IVideoDriver* driver, const io::path& name, u32 width, u32 height, u32 depth,
	ECOLOR_FORMAT format)
{
	SGLFormat gl;
	if (!driver || driver->getDriverType() != video::EDT_OPENGL || !getGLFormat(format, &gl) || !width ||
		!height || !depth)
	{
		zeLog(EZELL_ERROR, "Cannot make volume texture \"%s\" (%u x %u x %u, %s)", name.c_str(), width, height,
			depth, getColorFormatName(format));
		return nullptr;
	}
	CTexture3D* texture = new CTexture3D(name, format, width, height, depth);
	if (!texture->create(gl))
	{
		texture->drop();
		return nullptr;
	}
	enter(texture);
	return texture;
}

ITextureCUBE* createTextureCUBE(video::IVideoDriver* driver, const io::path& name, u32 size, ECOLOR_FORMAT format,
	bool renderTarget)
{
	SGLFormat gl;
	if (!driver || driver->getDriverType() != video::EDT_OPENGL || !getGLFormat(format, &gl) || !size ||
		(renderTarget && (gl.compressed || format == ECF_L8)))
	{
		zeLog(EZELL_ERROR, "Cannot make cube texture \"%s\" (%u, %s%s)", name.c_str(), size,
			getColorFormatName(format), renderTarget ? ", render target" : "");
		return nullptr;
	}
	CTextureCUBE* texture = new CTextureCUBE(name, format, size);
	if (!texture->create(gl, renderTarget))
	{
		texture->drop();
		return nullptr;
	}
	enter(texture);
	return texture;
}

ITextureIndirect* createTextureIndirect(const io::path& name, video::ITexture* target)
{
	CTextureIndirect* texture = new CTextureIndirect(name);
	texture->setTarget(target);
	enter(texture);
	return texture;
}

video::ITexture* addRenderTargetTexture(video::IVideoDriver* driver, const core::dimension2d<u32>& size,
	const io::path& name, ECOLOR_FORMAT format)
{
	const video::ECOLOR_FORMAT irrFormat = toIrrColorFormat(format);
	if (!driver || irrFormat == video::ECF_UNKNOWN || !size.Width || !size.Height)
	{
		zeLog(EZELL_ERROR, "Cannot make render target \"%s\" (%u x %u, %s)", name.c_str(), size.Width, size.Height,
			getColorFormatName(format));
		return nullptr;
	}
	video::ITexture* texture = driver->addRenderTargetTexture(size, name, irrFormat);
	if (!texture)
	{
		zeLog(EZELL_ERROR, "The driver refused render target \"%s\"", name.c_str());
		return nullptr;
	}
	// The library leaves a new target in its record of unit 0, which holds a
	// reference to it; a switch of render targets lets that go, so that the
	// target's owner can free it.
	driver->setRenderTarget(texture, false, false);
	driver->setRenderTarget(nullptr, false, false);
	getGLTextureName(texture);
	return texture;
}

video::ITexture* addRenderTargetTextureOwnZBuffer(video::IVideoDriver* driver,
	const core::dimension2d<u32>& size, const io::path& name, ECOLOR_FORMAT format)
{
	video::ITexture* texture = addRenderTargetTexture(driver, size, name, format);
	if (!texture)
		return nullptr;
	sweepLibrary();
	if (!driver->setRenderTarget(texture, false, false))
	{
		driver->removeTexture(texture);
		return nullptr;
	}
	clearGLErrors();
	GLint framebuffer = 0;
	glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
	GLuint depthStencil = 0;
	bool ok = framebuffer != 0;
	if (ok)
	{
		GLint renderbuffer = 0;
		glGetIntegerv(GL_RENDERBUFFER_BINDING, &renderbuffer);
		depthStencil = makeDepthStencil(size.Width, size.Height);
		glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencil);
		ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE && glGetError() == GL_NO_ERROR;
		if (ok)
			clearDepthStencil();
		glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(renderbuffer));
	}
	driver->setRenderTarget(nullptr, false, false);
	if (!ok)
	{
		zeLog(EZELL_ERROR, "Render target \"%s\" cannot have a depth-stencil buffer of its own", name.c_str());
		if (depthStencil)
			glDeleteRenderbuffers(1, &depthStencil);
		driver->removeTexture(texture);
		return nullptr;
	}
	libraryEntry(texture).depthStencil = depthStencil;
	return texture;
}

bool hasOwnZBuffer(const video::ITexture* texture)
{
	auto found = g_library.find(const_cast<video::ITexture*>(texture));
	return found != g_library.end() && found->second.depthStencil != 0;
}

// ---- GL names, readback and copies -----------------------------------------------
E_TEXTURE_KIND getTextureKind(const video::ITexture* texture)
{
	const ITextureExt* ext = dynamic_cast<const ITextureExt*>(texture);
	return ext ? ext->getKind() : ETK_2D;
}

video::ITexture* resolve(video::ITexture* texture)
{
	// setTarget refuses cycles; the bound only guards against the impossible.
	for (int i = 0; i < 64 && texture; ++i)
	{
		const ITextureIndirect* indirect = dynamic_cast<const ITextureIndirect*>(texture);
		if (!indirect)
			return texture;
		texture = indirect->getTarget();
	}
	return nullptr;
}

video::ITexture* forSamplerKind(video::ITexture* texture, E_TEXTURE_KIND kind)
{
	const ITextureIndirect* indirect = dynamic_cast<const ITextureIndirect*>(texture);
	video::ITexture* standIn = indirect ? indirect->getKindTarget(kind) : nullptr;
	return standIn ? standIn : texture;
}

unsigned int getGLTextureName(video::ITexture* texture, unsigned int* target)
{
	if (target)
		*target = 0;
	texture = resolve(texture);
	if (!texture)
		return 0;
	if (const ITextureExt* ext = dynamic_cast<const ITextureExt*>(texture))
	{
		if (target && ext->getGLName())
			*target = ext->getGLTarget();
		return ext->getGLName();
	}
	if (texture->getDriverType() != video::EDT_OPENGL)
		return 0;

	auto found = g_library.find(texture);
	GLuint name = found != g_library.end() ? found->second.name : 0;
	if (!name)
	{
		sweepLibrary();
		name = findLibraryName(texture);
		if (!name)
			return 0;
		libraryEntry(texture).name = name;
	}
	if (target)
		*target = GL_TEXTURE_2D;
	return name;
}

ECOLOR_FORMAT getTextureFormat(const video::ITexture* texture)
{
	if (!texture)
		return ECF_UNKNOWN;
	const ITextureExt* ext = dynamic_cast<const ITextureExt*>(texture);
	return ext ? ext->getFormat() : fromIrrColorFormat(texture->getColorFormat());
}

bool readTexture(video::ITexture* texture, std::vector<float>* rgba, u32 face)
{
	SGLImage image;
	if (!rgba || !describe(texture, &image))
		return false;
	if (image.target == GL_TEXTURE_CUBE_MAP && face >= 6)
		return false;
	const size_t texels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) *
		static_cast<size_t>(image.target == GL_TEXTURE_3D ? image.depth : 1);
	rgba->assign(texels * 4, 0.f);
	clearGLErrors();
	ScopedTexture bind(image.target, image.name);
	ScopedPixelStore store(true);
	const GLenum levelTarget =
		image.target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : image.target;
	glGetTexImage(levelTarget, 0, GL_RGBA, GL_FLOAT, rgba->data());
	return !glFailed("Reading back", texture->getName().getPath());
}

bool copyTexture(video::ITexture* source, video::ITexture* target)
{
	SGLImage from;
	SGLImage to;
	if (!describe(source, &from) || !describe(target, &to))
		return false;
	if (from.target != to.target || from.width != to.width || from.height != to.height || from.depth != to.depth)
	{
		zeLog(EZELL_ERROR, "Cannot copy texture \"%s\" into \"%s\": kinds or sizes differ",
			source->getName().getPath().c_str(), target->getName().getPath().c_str());
		return false;
	}
	return copyImage(from, 0, to, 0, static_cast<u32>(from.depth));
}

bool copyTextureToCubeFace(video::ITexture* source, ITextureCUBE* target, u32 face)
{
	SGLImage from;
	SGLImage to;
	if (face >= 6 || !describe(source, &from) || !describe(target, &to))
		return false;
	if (from.target != GL_TEXTURE_2D || from.width != to.width || from.height != to.height)
	{
		zeLog(EZELL_ERROR, "Cannot copy texture \"%s\" into a face of \"%s\": it must be 2D and of the face size",
			source->getName().getPath().c_str(), target->getName().getPath().c_str());
		return false;
	}
	return copyImage(from, 0, to, face, 1);
}

// ---- Registry by name --------------------------------------------------------------
video::ITexture* findTexture(video::IVideoDriver* driver, const io::path& name)
{
	const io::SNamedPath wanted(name);
	for (auto i = g_ours.rbegin(); i != g_ours.rend(); ++i)
		if ((*i)->getName().getInternalName() == wanted.getInternalName())
			return *i;
	return driver ? driver->findTexture(name) : nullptr;
}

void removeTexture(video::ITexture* texture)
{
	auto ours = std::find(g_ours.begin(), g_ours.end(), texture);
	if (ours != g_ours.end())
	{
		g_ours.erase(ours);
		texture->drop();
	}
	auto found = g_library.find(texture);
	if (found != g_library.end())
		releaseEntry(found);
	sweepLibrary();
}

void removeAllTextures()
{
	std::vector<ITextureExt*> ours;
	ours.swap(g_ours);
	for (ITextureExt* texture : ours)
		if (IGLResource* resource = dynamic_cast<IGLResource*>(texture))
			resource->releaseGL();
	for (ITextureExt* texture : ours)
		texture->drop();
	while (!g_library.empty())
		releaseEntry(g_library.begin());
}
} // namespace ze
