// Texture kinds the 3D library lacks: volume, cube (also as render targets)
// and indirect textures, as GL textures of our own, plus the GL view of the
// library's own textures and one registry of textures by name.
//
// Index:
//   - Kinds and the common base
//   - Volume, cube and indirect textures
//   - Creation
//   - GL names, readback and copies
//   - Registry by name
//
// Our textures must never sit in one of the library's material layers (its GL
// driver takes every layer for its own texture class): the engine's material
// renderer binds them on texture units 4 and up.
#pragma once

#include "libext/ZeColorFormat.h"

#include <irrlicht.h>

#include <vector>

namespace ze
{
// ---- Kinds and the common base ------------------------------------------------
enum E_TEXTURE_KIND
{
	ETK_2D = 0,
	ETK_3D,
	ETK_CUBE,
	ETK_INDIRECT
};

// Every texture made here. It is an ITexture so that names, sizes and
// reference counts work as for the library's textures.
class ITextureExt : public irr::video::ITexture
{
public:
	explicit ITextureExt(const irr::io::path& name) : irr::video::ITexture(name) {}
	virtual E_TEXTURE_KIND getKind() const = 0;
	virtual ECOLOR_FORMAT getFormat() const = 0;
	// The GL texture object and its target (GL_TEXTURE_3D, GL_TEXTURE_CUBE_MAP).
	virtual unsigned int getGLName() const = 0;
	virtual unsigned int getGLTarget() const = 0;
};

// ---- Volume, cube and indirect textures ------------------------------------
class ITexture3D : public ITextureExt
{
public:
	using ITextureExt::ITextureExt;
	virtual irr::u32 getDepth() const = 0;
	// Replaces the texels of the whole volume: width x height x depth texels
	// of the texture's format, slices one after the other. false when refused.
	virtual bool upload(const void* texels, irr::u32 byteCount) = 0;
};

// Faces in the order +X, -X, +Y, -Y, +Z, -Z.
class ITextureCUBE : public ITextureExt
{
public:
	using ITextureExt::ITextureExt;
	// Replaces one face (size x size texels). false when refused.
	virtual bool uploadFace(irr::u32 face, const void* texels, irr::u32 byteCount) = 0;
	// A cube made as a render target can be drawn into face by face.
	bool isRenderTarget() const override = 0;
	// Makes one face the current render target (with the cube's own depth
	// buffer); setRenderTarget of the driver restores the frame buffer.
	virtual bool bindFaceAsRenderTarget(irr::video::IVideoDriver* driver, irr::u32 face, bool clearColor,
		bool clearDepth, irr::video::SColor color) = 0;
};

// Stands for another texture and can be pointed at a new one.
class ITextureIndirect : public ITextureExt
{
public:
	using ITextureExt::ITextureExt;
	virtual irr::video::ITexture* getTarget() const = 0;
	// Grabs the new target and drops the old one; null is allowed.
	virtual void setTarget(irr::video::ITexture* target) = 0;
	// What a sampler of the kind (ETK_2D, ETK_3D or ETK_CUBE) reads in place of
	// this texture, when the image it stands for exists in several kinds (a
	// cube map and its lat-long copy); null when none is named.
	virtual irr::video::ITexture* getKindTarget(E_TEXTURE_KIND kind) const = 0;
	// Grabs the stand-in and drops the old one; null is allowed, this texture
	// itself and ETK_INDIRECT are refused (false).
	virtual bool setKindTarget(E_TEXTURE_KIND kind, irr::video::ITexture* texture) = 0;
};

// ---- Creation ------------------------------------------------------------------
// Each returns a new reference (the caller drops it) that is also entered in
// the registry under its name; null on failure, with an error logged.
ITexture3D* createTexture3D(irr::video::IVideoDriver* driver, const irr::io::path& name, irr::u32 width,
	irr::u32 height, irr::u32 depth, ECOLOR_FORMAT format);
ITextureCUBE* createTextureCUBE(irr::video::IVideoDriver* driver, const irr::io::path& name, irr::u32 size,
	ECOLOR_FORMAT format, bool renderTarget);
ITextureIndirect* createTextureIndirect(const irr::io::path& name, irr::video::ITexture* target);

// A 2D render target of the library's own, in the driver's texture list. With
// ownZBuffer it has a depth-stencil buffer of its own; otherwise it shares one
// with the other targets of its size. Null on failure.
irr::video::ITexture* addRenderTargetTexture(irr::video::IVideoDriver* driver, const irr::core::dimension2d<irr::u32>& size,
	const irr::io::path& name, ECOLOR_FORMAT format);
irr::video::ITexture* addRenderTargetTextureOwnZBuffer(irr::video::IVideoDriver* driver,
	const irr::core::dimension2d<irr::u32>& size, const irr::io::path& name, ECOLOR_FORMAT format);
// True for targets made by addRenderTargetTextureOwnZBuffer.
bool hasOwnZBuffer(const irr::video::ITexture* texture);

// ---- GL names, readback and copies ---------------------------------------------
// The kind of any texture: ours answer theirs, the library's are 2D; an
// indirect texture answers ETK_INDIRECT (resolve() gives the texture it stands for).
E_TEXTURE_KIND getTextureKind(const irr::video::ITexture* texture);
// Follows indirect textures to the texture they stand for (null stays null).
irr::video::ITexture* resolve(irr::video::ITexture* texture);
// The texture a sampler of the kind reads for this one: an indirect texture's
// stand-in of that kind when it names one, else the texture itself.
irr::video::ITexture* forSamplerKind(irr::video::ITexture* texture, E_TEXTURE_KIND kind);
// The GL texture object of any texture, and its target; 0 when it has none.
unsigned int getGLTextureName(irr::video::ITexture* texture, unsigned int* target = 0);
// Our numbering of any texture's format.
ECOLOR_FORMAT getTextureFormat(const irr::video::ITexture* texture);

// Reads one level of a 2D texture, a cube face or a volume back from the GPU
// as 32-bit floats, four per texel (RGBA), bottom row first. false on failure.
bool readTexture(irr::video::ITexture* texture, std::vector<float>* rgba, irr::u32 face = 0);
// GPU copies: the whole of `source` into `target` (same size and kind), and a
// 2D texture into one face of a cube. false on failure.
bool copyTexture(irr::video::ITexture* source, irr::video::ITexture* target);
bool copyTextureToCubeFace(irr::video::ITexture* source, ITextureCUBE* target, irr::u32 face);

// ---- Registry by name ------------------------------------------------------------
// Our textures by name first, then the driver's texture list; null when none.
irr::video::ITexture* findTexture(irr::video::IVideoDriver* driver, const irr::io::path& name);
// Takes one of our textures out of the registry (it is dropped there).
void removeTexture(irr::video::ITexture* texture);
// Drops every registered texture (device shutdown).
void removeAllTextures();
} // namespace ze
