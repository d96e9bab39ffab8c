// The engine manager's services that the engine core defines. Services that
// live in higher folders implement these interfaces there.
//
// Index:
//   - Texture manager
//   - Resource manager
//   - Scene-manager service
//   - Surface manager
//   - Renderer manager
//   - Render services
#pragma once

#include "core/IZeRenderer.h"
#include "libext/ZeColorFormat.h"
#include "libext/ZeTextureExt.h"

#include <irrlicht.h>

class IZeEffect;
class IZeManager;
class IZeRendererCtxAdv;
class IZeSurface;
struct SZeRendererDesc;
struct SZeRendererShaderFiles;
class IZeSceneNodeExt;
class IZeLightSceneNodeExt;
class IZeCubeMap;
class IZeMorphMesh;
class IZeParticleSystemSceneNode;
namespace ze { class ITextureCUBE; }

// ---- Texture manager -------------------------------------------------------------
class IZeTextureManager
{
public:
	virtual ~IZeTextureManager() = default;
	// The texture of a file (found with zeFindDataFile, then in the effect
	// texture folder), loaded once; null when it cannot be loaded.
	virtual irr::video::ITexture* getTexture(const char* path, bool mipMaps) = 0;
	// A cube, volume or 2D texture by kind.
	virtual irr::video::ITexture* getTextureOfKind(const char* path, ze::E_TEXTURE_KIND kind) = 0;
	// A cube texture when the file holds a cube image, else 2D.
	virtual irr::video::ITexture* getTextureAuto(const char* path, bool mipMaps) = 0;
	// Any texture by name: ours, the driver's, render targets, and
	// "CurlNoise3D" (made on first request).
	virtual irr::video::ITexture* findTexture(const char* name) = 0;
	// The volume texture "CurlNoise3D" of the resource manager's curl-noise
	// table, made once on first request; null when it cannot be made.
	virtual irr::video::ITexture* getCurlNoise3DTexture() = 0;
	// A cached render texture of a size and format, made on first request.
	virtual irr::video::ITexture* getRenderTexture(const irr::core::dimension2d<irr::u32>& size, ze::ECOLOR_FORMAT format) = 0;
	// The folder effect textures are looked up in ("textures").
	virtual void setTextureFolder(const char* folder) = 0;
	// A float texture `width` texels wide (A32B32G32R32F, or A16B16G16R16F
	// unless fullFloat) of the mesh's vertices in buffer order: vertex i's
	// position (x, y, z, 1) at texel i, or with normals at texel 2i followed by
	// its normal (x, y, z, 0). Found by name afterwards; null on failure.
	virtual irr::video::ITexture* createMeshVertexTexture(irr::scene::IMesh* mesh, const char* name, bool withNormals,
		irr::u32 width, bool fullFloat) = 0;
};

// ---- Resource manager ------------------------------------------------------------
class IZeResourceManager
{
public:
	virtual ~IZeResourceManager() = default;
	// Loads the engine's shared effects ("cubemaptolatlong.hlsl"); false on failure.
	virtual bool loadEngineEffects() = 0;
	// The cube-to-lat-long effect, or null.
	virtual IZeEffect* getCubeToLatLongEffect() = 0;

	// The process-wide curl-noise table, which the scene content keeps: a
	// resource manager that answers false here (these bodies) has none, and
	// its operations below fail.
	virtual bool hasCurlNoise() const { return false; }
	// Replace the table from an 8-bit W x W x W volume image, with the
	// built-in 64^3 generation, or from a cache file; false on failure (the
	// zero table is then in place).
	virtual bool initCurlNoiseFromImage(const char* file)
	{
		(void)file;
		return false;
	}
	virtual bool initCurlNoise() { return false; }
	virtual bool loadCurlNoiseCache(const char* file)
	{
		(void)file;
		return false;
	}
	// Writes the table to a cache file; true when all of it was written.
	virtual bool saveCurlNoiseCache(const char* file)
	{
		(void)file;
		return false;
	}
	// Returns to the zero table.
	virtual void releaseCurlNoise() {}
	// A new A8R8G8B8 volume image of the table (the caller drops it), or null.
	virtual irr::video::IImage* createCurlNoiseImage() { return nullptr; }
};

// ---- Scene-manager service -------------------------------------------------------
class IZeSceneManager
{
public:
	virtual ~IZeSceneManager() = default;
	// A node for the mesh of a file under the parent (default the root) at the
	// origin: a plain mesh node for a mesh without frames, an animated-mesh node
	// otherwise; null on failure.
	virtual irr::scene::ISceneNode* addMeshSceneNode(const char* file, irr::scene::ISceneNode* parent = 0, irr::s32 id = -1) = 0;
	// A clone of a node (with its extension once nodes have them), or null.
	virtual irr::scene::ISceneNode* cloneSceneNode(irr::scene::ISceneNode* node) = 0;
	// Writes each vertex's running index into its colour.
	virtual void setMeshVertexIndexColors(irr::scene::IMesh* mesh) = 0;
	// The engine-wide scene time, unsigned milliseconds.
	virtual void setSceneTime(irr::u32 milliseconds) = 0;
	virtual irr::u32 getSceneTime() const = 0;
	// The node's extension, created and attached when missing; null for no
	// node or when the service makes none (this body).
	virtual IZeSceneNodeExt* getSceneNodeExt(irr::scene::ISceneNode* node)
	{
		(void)node;
		return nullptr;
	}
	// The light's extension in the same way.
	virtual IZeLightSceneNodeExt* getLightSceneNodeExt(irr::scene::ISceneNode* light)
	{
		(void)light;
		return nullptr;
	}
	// A new cube map holding one reference for the caller, its textures made
	// in half floats (ECF_A16B16G16R16F) whatever `format` asks for; null on
	// failure or when the service makes none (this body).
	virtual IZeCubeMap* createCubeMap(irr::u32 size, ze::ECOLOR_FORMAT format, bool withLatLong)
	{
		(void)size;
		(void)format;
		(void)withLatLong;
		return nullptr;
	}
	// A plain mesh node (origin, scale 1, static mapping hint) showing
	// pointCount points spread over the file's mesh; null on failure or when
	// the service makes none (this body).
	virtual irr::scene::ISceneNode* addPointCloudSceneNode(const char* file, irr::u32 pointCount,
		irr::scene::ISceneNode* parent = 0, irr::s32 id = -1)
	{
		(void)file;
		(void)pointCount;
		(void)parent;
		(void)id;
		return nullptr;
	}
	// The morph mesh of an object file (one reference for the caller), or null.
	virtual IZeMorphMesh* getMorphMesh(const char* file)
	{
		(void)file;
		return nullptr;
	}
	// A particle-system node under the parent (default the root): on the
	// shared particle pool; with a private pool of 65,536 records (the extra
	// value is ignored); or with one still particle per vertex of a mesh node's
	// mesh, in a private pool of that size. The scene graph holds the node;
	// null on failure or when the service makes none (these bodies).
	virtual IZeParticleSystemSceneNode* addParticleSystemSceneNode(irr::scene::ISceneNode* parent = 0, irr::s32 id = -1)
	{
		(void)parent;
		(void)id;
		return nullptr;
	}
	virtual IZeParticleSystemSceneNode* addParticleSystemSceneNodeEx(irr::u32 extra, irr::scene::ISceneNode* parent = 0,
		irr::s32 id = -1)
	{
		(void)extra;
		(void)parent;
		(void)id;
		return nullptr;
	}
	virtual IZeParticleSystemSceneNode* addParticleSystemSceneNodeOnMesh(irr::scene::IMeshSceneNode* meshNode,
		irr::scene::ISceneNode* parent = 0, irr::s32 id = -1)
	{
		(void)meshNode;
		(void)parent;
		(void)id;
		return nullptr;
	}
	// Before the device is reset (the engine manager's onDeviceReset): drops
	// the buffers that the service's nodes share; they are made again at
	// their next draw.
	virtual void onDeviceReset() {}
};

// ---- Surface manager -------------------------------------------------------------
class IZeSurfaceManager
{
public:
	virtual ~IZeSurfaceManager() = default;
	// A new surface for a four-character type code ('lwsr', 'lwhv'), or null;
	// the caller owns the creation reference.
	virtual IZeSurface* createSurfaceByType(irr::u32 typeCode) = 0;
};

// ---- Renderer manager ------------------------------------------------------------
class IZeRendererManager
{
public:
	virtual ~IZeRendererManager() = default;
	// The named render targets of the light pre-pass pipeline (size null: the
	// screen's); true when all exist.
	virtual bool createRenderTargets(ze::ECOLOR_FORMAT format, const irr::core::dimension2d<irr::u32>* size) = 0;
	// A new plain context (clear colour 0, debug 0).
	virtual IZeRendererCtx* createRendererCtx() = 0;
	// A new simple renderer on a context (may be null), or null when its init fails.
	virtual IZeRenderer* createRendererSimple(irr::IrrlichtDevice* device, IZeRendererCtx* context) = 0;
	// A new advanced context initialised with the shader files (one reference
	// for the caller), or null when its init fails (the reason logged).
	virtual IZeRendererCtxAdv* createRendererCtxAdv(const SZeRendererShaderFiles& files) = 0;
	// A new light pre-pass renderer on the advanced context with the
	// description's effect files (one reference for the caller), or null when
	// its init fails (the reason logged).
	virtual IZeRenderer* createRendererLpp(irr::IrrlichtDevice* device, IZeManager* manager,
		IZeRendererCtxAdv* context, const SZeRendererDesc& description) = 0;
	// A new command renderer on the advanced context running the
	// description's commands (one reference for the caller), or null when a
	// command or a target it names is missing (the reasons logged).
	virtual IZeRenderer* createRendererCmds(irr::IrrlichtDevice* device, IZeManager* manager,
		IZeRendererCtxAdv* context, const SZeRendererDesc& description) = 0;
	// Makes the render targets of the description's "Create Texture"
	// commands in order; false at the first that fails (the reason logged).
	virtual bool createCommandTextures(const SZeRendererDesc& description) = 0;
	// The one last-frame information.
	virtual IZeLastFrameInfo* getLastFrameInfo() = 0;
};

// ---- Render services -------------------------------------------------------------
class IZeRenderServices
{
public:
	virtual ~IZeRenderServices() = default;
	// Up to `count` render targets at once; an empty list selects the back buffer.
	virtual bool setRenderTargets(irr::video::ITexture* const* textures, irr::u32 count) = 0;
	// The screen quad through a technique and pass, into the current render
	// target, with up to 20 input textures: input i is read by the sampler of
	// register s<i> (inputs 0-7 by the samplers reading material layer i).
	// Nothing holds an input after the draw.
	virtual bool drawScreenQuad(IZeEffect* effect, irr::u32 technique, irr::u32 pass, irr::video::ITexture* texture) = 0;
	virtual bool drawScreenQuadTextures(IZeEffect* effect, irr::u32 technique, irr::u32 pass,
		irr::video::ITexture* const* textures, irr::u32 count) = 0;
	// Draws a texture over the current render target.
	virtual bool copyTexture(irr::video::ITexture* texture) = 0;
	// Draws nodes in a render pass: technique null or "depth", "shadow",
	// "reflection" (others fail with count 0); an override material (its
	// material and the states its flags name) is the driver's for the call;
	// without a technique a node is skipped when its extension's selection
	// mask shares a bit with hideMask, or showMask is non-zero and shares
	// none. The number drawn goes to *count.
	virtual bool renderNodes(const irr::core::array<irr::scene::ISceneNode*>& nodes,
		irr::scene::E_SCENE_NODE_RENDER_PASS pass, const char* technique,
		const irr::video::SOverrideMaterial* overrideMaterial, irr::u32 hideMask, irr::u32 showMask,
		irr::u32* count) = 0;
	// This frame's registered lights and render lists.
	virtual void getLightList(irr::core::array<irr::scene::ISceneNode*>& out) = 0;
	virtual void getSolidNodeList(irr::core::array<irr::scene::ISceneNode*>& out) = 0;
	virtual void getTransparentNodeList(irr::core::array<irr::scene::ISceneNode*>& out) = 0;
	virtual void getTransparentEffectNodeList(irr::core::array<irr::scene::ISceneNode*>& out) = 0;
	// Every visible node under the root except lights and cameras.
	virtual void getVisibleNodes(irr::core::array<irr::scene::ISceneNode*>& out) = 0;
	// The visible nodes (as getVisibleNodes) that carry a node extension.
	virtual void getVisibleExtNodes(irr::core::array<irr::scene::ISceneNode*>& out) = 0;
	// Keeps, in order, the nodes of `in` that carry a node or light extension.
	virtual void filterExtNodes(irr::core::array<irr::scene::ISceneNode*>& out,
		const irr::core::array<irr::scene::ISceneNode*>& in) = 0;
	// Captures the six faces around a position through a renderer; true when
	// all six were done. The back buffer and the previous camera are restored.
	virtual bool renderCubeMap(ze::ITextureCUBE* cube, irr::video::ITexture* work, const irr::core::vector3df& position,
		IZeRenderer* renderer) = 0;
	virtual bool clearCubeMap(ze::ITextureCUBE* cube) = 0;
	// Converts a cube texture into a 2D lat-long target with the
	// "cubemaptolatlong.hlsl" effect.
	virtual bool cubeToLatLong(ze::ITextureCUBE* cube, irr::video::ITexture* target) = 0;
};
