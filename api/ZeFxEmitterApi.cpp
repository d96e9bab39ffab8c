#include "api/ZeFxEmitterApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeEffectApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeShaderDescApi.h"
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwaveHV.h"
#include "scene/IZeParticleSystemSceneNode.h"
#include "scene/ZeShaderDesc.h"

#include <cstdio>
#include <string>

using namespace irr;

namespace
{
const char* const LOOKUP = "FxEmitter ID %d does not exist. %s";
const char* const DEFAULT_IMAGE = "ZeDefaultParticle.png";
const char* const DEFAULT_EFFECT = "Particle.dae";

// Generator types of the emitter.
enum EGenerator
{
	EG_BOX = 0,
	EG_SPHERE = 1,
	EG_MESH_VERTICES = 2,
	EG_MESH_NORMALS = 3,
	EG_MESH_SURFACE = 4,
	EG_PARENT_LIVE = 5,
	EG_PARENT_DIED = 6
};

SZeFxEmitterItem* peekItem(int id)
{
	return static_cast<SZeFxEmitterItem*>(zePeekApiItem(EZEIT_FX_EMITTER, id));
}

SZeFxEmitterItem* findItem(int id)
{
	return static_cast<SZeFxEmitterItem*>(zeFindApiItem(EZEIT_FX_EMITTER, id, LOOKUP));
}

// The emitter of an existing ID, or null (reported).
IZeFxEmitter* findEmitter(int id)
{
	SZeFxEmitterItem* item = findItem(id);
	return item ? item->node->getFxEmitter() : nullptr;
}

// The emitter of a live (not static) emitter; null for a missing ID
// (reported) and, silently, for a static one.
IZeFxEmitter* liveEmitter(int id)
{
	SZeFxEmitterItem* item = findItem(id);
	return item && !item->isStatic ? item->node->getFxEmitter() : nullptr;
}

// The node's extension, or null after reporting.
IZeSceneNodeExt* findExt(int id)
{
	SZeFxEmitterItem* item = findItem(id);
	if (!item)
		return nullptr;
	IZeSceneNodeExt* ext = zeGetNodeExt(item->node);
	if (!ext)
		zeSetError(1, "FxEmitter ID %d unexpected format (no node extension)", id);
	return ext;
}

IZeSurfaceLightwaveHV* hyperVoxel(IZeSurface* surface)
{
	return surface && surface->getType() == ZE_SURFACE_LIGHTWAVE_HV ? static_cast<IZeSurfaceLightwaveHV*>(surface)
	                                                                 : nullptr;
}

// The HyperVoxel block of material 0, or null after reporting.
SZeLightwaveHVParams* findBlock(int id)
{
	IZeSceneNodeExt* ext = findExt(id);
	if (!ext)
		return nullptr;
	IZeSurfaceLightwaveHV* surface = hyperVoxel(ext->getMaterialSurface(0));
	if (!surface)
		zeSetError(1, "FxEmitter ID %d has no surface", id);
	return surface ? surface->getHVParams() : nullptr;
}

IZeManager* manager()
{
	return zeGetManager();
}

// A particle-system node under the root whose emitter emits nothing yet.
IZeParticleSystemSceneNode* createEmitterNode(f32 life, f32 explosion, f32 sx, f32 sy, f32 sz)
{
	IZeManager* engine = manager();
	IZeParticleSystemSceneNode* node = engine ? engine->getSceneManager()->addParticleSystemSceneNode(nullptr, -1) : nullptr;
	if (!node)
		return nullptr;
	IZeFxEmitter* emitter = node->getFxEmitter();
	emitter->setLifeTime(life, life / 10.0f);
	emitter->setGeneratorSize(sx, sy, sz);
	emitter->setExplosion(explosion);
	emitter->setBirthRate(0.0f);
	return node;
}

// Gives every material of the node a HyperVoxel surface and material 0 the
// particle image as its clip texture; false when there is no extension or no image.
bool setupMaterial(IZeParticleSystemSceneNode* node, const char* image)
{
	IZeManager* engine = manager();
	IZeSceneNodeExt* ext = engine ? engine->getSceneManager()->getSceneNodeExt(node) : nullptr;
	if (!ext)
		return false;
	for (u32 i = 0; i < node->getMaterialCount(); ++i)
	{
		IZeSurface* surface = engine->getSurfaceManager()->createSurfaceByType(ZE_SURFACE_LIGHTWAVE_HV);
		if (!surface)
			continue;
		surface->initFromMaterial(node->getMaterial(i));
		ext->setMaterialSurface(i, surface);
		surface->drop();
	}
	// The image as the file layer finds it (its current folder, then the data
	// folders); the driver is given its full path.
	const char* found = zeFindDataFile(image && *image ? image : DEFAULT_IMAGE);
	const std::string file = zeFileGetFullPath(found ? found : DEFAULT_IMAGE);
	video::IVideoDriver* driver = zeGetContext()->driver;
	video::ITexture* texture = driver && zeIsOpenableOnDisk(file.c_str()) ? driver->getTexture(file.c_str()) : nullptr;
	IZeSurfaceLightwaveHV* surface = hyperVoxel(ext->getMaterialSurface(0));
	if (!texture || !surface)
		return false;
	surface->getHVParams()->ClipTexture = texture;
	ext->updateFromSurfaces();
	return true;
}

// Takes the node out of the scene graph and lets go of the item's hold.
void removeNode(IZeParticleSystemSceneNode* node)
{
	if (!node)
		return;
	node->remove();
	node->drop();
}

// Adds the item under the ID with the node `make` gives; a refused ID, no
// node or no image undoes everything.
template <typename MakeNode>
int makeEmitter(int id, const char* image, int isStatic, int nodeArgument, MakeNode make)
{
	SZeFxEmitterItem* item = static_cast<SZeFxEmitterItem*>(
		zeAddApiItem(EZEIT_FX_EMITTER, id, sizeof(SZeFxEmitterItem), 1, "invalid FxEmitter ID %d : %s"));
	if (!item)
		return -1;
	item->isStatic = isStatic;
	item->node = make();
	// The item keeps its node alive whatever the scene graph does with it.
	if (item->node)
		item->node->grab();
	if (!item->node)
	{
		zeSetError(nodeArgument, "failed to create FxEmitter node");
		zeRemoveApiItem(EZEIT_FX_EMITTER, id, item);
		return -1;
	}
	if (!setupMaterial(item->node, image))
	{
		zeSetError(2, "failed to setup material image");
		removeNode(item->node);
		zeRemoveApiItem(EZEIT_FX_EMITTER, id, item);
		return -1;
	}
	return 0;
}

// The object's mesh by node kind for the mesh generators, logged with a box when none.
scene::IMesh* objectMeshRaw(int objectId)
{
	scene::IMesh* mesh = zeGetObjectMesh(objectId);
	if (!mesh)
		zeLogErrorBox("getObjectMesh: Failed to get mesh for iObj=%d", objectId);
	return mesh;
}

// A particle-system node emitting from an object's node: one still particle
// per vertex for a plain mesh node, an empty private pool for animated and
// morph nodes; null for other kinds or a missing object.
IZeParticleSystemSceneNode* objectEmitterNode(int objectId)
{
	scene::ISceneNode* node = zeGetObjectNode(objectId);
	IZeManager* engine = manager();
	if (!node || !engine)
	{
		zeLogErrorBox("getObjectMesh: Failed to get iObj=%d", objectId);
		return nullptr;
	}
	IZeSceneManager* scenes = engine->getSceneManager();
	if (scene::IMeshSceneNode* meshNode = zeGetObjectMeshNode(objectId))
		return scenes->addParticleSystemSceneNodeOnMesh(meshNode, nullptr, -1);
	return zeGetObjectMesh(objectId) ? scenes->addParticleSystemSceneNodeEx(0, nullptr, -1) : nullptr;
}

int makeFromMesh(int id, const char* image, int objectId, u32 generator)
{
	if (zeMakeFxEmitter(id, image, 1.0f, 1.0f, 1.0f) != 0)
		return -1;
	scene::IMesh* mesh = objectMeshRaw(objectId);
	if (!mesh)
	{
		zeSetError(3, "failed to get mesh of object ID %d", objectId);
		return -1;
	}
	IZeFxEmitter* emitter = peekItem(id)->node->getFxEmitter();
	emitter->setGeneratorType(generator);
	emitter->setGeneratorMesh(mesh);
	return 0;
}

int makeFromParent(int id, const char* image, int parentId, u32 generator)
{
	SZeFxEmitterItem* parent = parentId >= 0 ? peekItem(parentId) : nullptr;
	IZeFxEmitter* parentEmitter = parent ? parent->node->getFxEmitter() : nullptr;
	if (zeMakeFxEmitter(id, image, 1.0f, 1.0f, 1.0f) != 0)
		return -1;
	IZeFxEmitter* emitter = peekItem(id)->node->getFxEmitter();
	emitter->setGeneratorType(generator);
	emitter->setParentEmitter(parentEmitter);
	return 0;
}

// Writes key i of a gradient of `count` keys; writing the last one also
// writes the closing key 100 further on.
void setGradientKey(f32* positions, f32* values, u32 valueCount, u32 i, u32 count, const f32* key)
{
	if (i >= ZE_HV_GRADIENT_MAX_KEYS || i >= count)
		return;
	for (u32 at = i; at <= (i + 1 == count ? i + 1 : i); ++at)
	{
		positions[at] = key[0] + (at == i ? 0.0f : 100.0f);
		for (u32 c = 0; c < valueCount; ++c)
			values[at * valueCount + c] = key[1 + c];
	}
}

u32 gradientCount(int count)
{
	return count < 0 ? 0u : core::min_(static_cast<u32>(count), ZE_HV_GRADIENT_MAX_KEYS);
}

// Compiles a file with the macros of material 0's surface and gives the new
// effect to the material: 0, or 1 when the macros do not fit, 2 when the
// effect does not compile.
int compileForSurface(IZeSceneNodeExt* ext, const char* file, SZeMacroList& macros, const char* cflags)
{
	IZeSurface* surface = ext->getMaterialSurface(0);
	s32 materialType = 0;
	u32 count = macros.capacity();
	if (!surface || !surface->getEffectCompileParameters(materialType, macros.data(), count, ext->getSceneNode()))
		return 1;
	if (cflags && *cflags)
		zeParseShaderMacros(macros, cflags);
	const char* found = zeFindDataFile(file);
	const std::string path = found ? found : file;
	IZeManager* engine = manager();
	IZeEffectManager* effects = engine ? engine->getEffectManager() : nullptr;
	IZeEffect* effect = effects ? effects->createEffect(path.c_str(), materialType, macros.data(), nullptr) : nullptr;
	if (!effect)
		return 2;
	ext->setMaterialEffect(0, effect, 0, 0);
	effect->drop();
	return 0;
}
} // namespace

// ---- Making and deleting ------------------------------------------------------------
int zeMakeFxEmitter(int id, const char* image, float sx, float sy, float sz)
{
	return makeEmitter(id, image, 0, -1, [&] { return createEmitterNode(1.0f, 0.0f, sx, sy, sz); });
}

int zeMakeFxEmitterBox(int id, const char* image, float sx, float sy, float sz)
{
	return zeMakeFxEmitter(id, image, sx, sy, sz);
}

int zeMakeFxEmitterSphere(int id, const char* image, float sx, float sy, float sz)
{
	if (zeMakeFxEmitter(id, image, sx, sy, sz) != 0)
		return -1;
	peekItem(id)->node->getFxEmitter()->setGeneratorType(EG_SPHERE);
	return 0;
}

int zeMakeFxEmitterMeshVertices(int id, const char* image, int objectId)
{
	return makeFromMesh(id, image, objectId, EG_MESH_VERTICES);
}

int zeMakeFxEmitterMeshNormal(int id, const char* image, int objectId)
{
	return makeFromMesh(id, image, objectId, EG_MESH_NORMALS);
}

int zeMakeFxEmitterMeshSurface(int id, const char* image, int objectId)
{
	return makeFromMesh(id, image, objectId, EG_MESH_SURFACE);
}

int zeMakeFxEmitterNozzle8(int id, const char* image, int parentId)
{
	return makeFromParent(id, image, parentId, EG_PARENT_LIVE);
}

int zeMakeFxEmitterNozzle9(int id, const char* image, int parentId)
{
	return makeFromParent(id, image, parentId, EG_PARENT_DIED);
}

int zeMakeFxEmitterMeshStatic(int id, const char* image, int objectId)
{
	return makeEmitter(id, image, 1, 3, [&] { return objectEmitterNode(objectId); });
}

int zeFxEmitterExist(int id)
{
	return peekItem(id) ? 1 : 0;
}

IZeParticleSystemSceneNode* zeGetFxEmitterNode(int id)
{
	SZeFxEmitterItem* item = peekItem(id);
	return item ? item->node : nullptr;
}

int zeCheckFxEmitter(int id)
{
	return findItem(id) ? 0 : -1;
}

void zeDeleteFxEmitter(int id)
{
	SZeFxEmitterItem* item = peekItem(id);
	if (!item)
		return;
	removeNode(item->node);
	zeRemoveApiItem(EZEIT_FX_EMITTER, id, item);
}

// ---- Node -----------------------------------------------------------------------------
void zeShowFxEmitter(int id)
{
	if (SZeFxEmitterItem* item = findItem(id))
		item->node->setVisible(true);
}

void zeHideFxEmitter(int id)
{
	if (SZeFxEmitterItem* item = findItem(id))
		item->node->setVisible(false);
}

void zeLockFxEmitterOn(int id)
{
	SZeFxEmitterItem* item = findItem(id);
	if (item && zeGetContext()->camera)
		item->node->setParent(zeGetContext()->camera);
}

void zeLockFxEmitterOff(int id)
{
	if (SZeFxEmitterItem* item = findItem(id))
		zePutUnderSceneRoot(item->node);
}

void zePositionFxEmitter(int id, float x, float y, float z)
{
	if (SZeFxEmitterItem* item = findItem(id))
		item->node->setPosition(core::vector3df(x, y, z));
}

void zeRotateFxEmitter(int id, float x, float y, float z)
{
	if (SZeFxEmitterItem* item = findItem(id))
		item->node->setRotation(core::vector3df(x, y, z));
}

void zeSetFxEmitterSelectionMask(int id, int mask)
{
	if (IZeSceneNodeExt* ext = findExt(id))
		ext->setSelectionMask(static_cast<u32>(mask));
}

// ---- Emitter ----------------------------------------------------------------------------
void zeSetFxEmitterParent(int id, int parentId)
{
	IZeFxEmitter* emitter = findEmitter(id);
	if (!emitter)
		return;
	SZeIdTable* table = zeGetIdTable(EZEIT_FX_EMITTER);
	SZeFxEmitterItem* parent = table ? static_cast<SZeFxEmitterItem*>(zeIdTableGet(table, parentId)) : nullptr;
	if (!parent)
	{
		zeSetError(2, "FxEmitter ID %d : parent %d does not exist. %s", id, parentId, zeApiTableError(EZEIT_FX_EMITTER));
		return;
	}
	emitter->setParentEmitter(parent->node->getFxEmitter());
}

void zeSetFxEmitterVelocity(int id, float x, float y, float z)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setVelocity(x, y, z);
}

void zeSetFxEmitterGravity(int id, float x, float y, float z)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setGravity(x, y, z);
}

void zeSetFxEmitterParentMotion(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setParentMotion(value);
}

void zeSetFxEmitterBirthRate(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setBirthRate(value);
}

void zeSetFxEmitterWeight(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setWeight(value, 0.0f);
}

void zeSetFxEmitterResistance(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setResistance(value, 0.0f);
}

void zeSetFxEmitterVibration(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setVibration(value, 0.0f);
}

void zeSetFxEmitterParticleLimit(int id, int count)
{
	if (IZeFxEmitter* emitter = findEmitter(id))
		emitter->setParticleLimit(count < 0 ? 0u : static_cast<u32>(count));
}

void zeSetFxEmitterRandomVelocity(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setRandomVelocity(value);
}

void zeSetFxEmitterCurlNoisePower(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setCurlNoisePower(value);
}

void zeSetFxEmitterCurlNoiseFrequency(int id, float value)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->setCurlNoiseFrequency(value);
}

void zeFxResetEmitter(int id)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->reset();
}

void zeFxResetEmitterEmittedCount(int id)
{
	if (IZeFxEmitter* emitter = liveEmitter(id))
		emitter->resetEmittedCount();
}

void zeSetFxEmitterLifeTime(int id, float life, float range)
{
	if (IZeFxEmitter* emitter = findEmitter(id))
		emitter->setLifeTime(life, range);
}

void zeSetFxEmitterExplosion(int id, float value)
{
	if (IZeFxEmitter* emitter = findEmitter(id))
		emitter->setExplosion(value);
}

// ---- Look and effect ---------------------------------------------------------------------
void zeSetFxEmitterParticleSize(int id, float size)
{
	IZeFxEmitter* emitter = findEmitter(id);
	if (!emitter)
		return;
	emitter->setParticleSize(2.0f * size, 0.0f);
	if (SZeLightwaveHVParams* block = findBlock(id))
		block->ParticleSize = size;
}

void zeSetFxEmitterColor(int id, int colour)
{
	if (SZeLightwaveHVParams* block = findBlock(id))
	{
		const video::SColor c(static_cast<u32>(colour));
		block->UseTextureColor = 0;
		block->Color[0] = c.getRed() / 255.0f;
		block->Color[1] = c.getGreen() / 255.0f;
		block->Color[2] = c.getBlue() / 255.0f;
		block->Color[3] = 1.0f;
	}
}

void zeSetFxEmitterUseImageColor(int id)
{
	if (SZeLightwaveHVParams* block = findBlock(id))
	{
		block->UseTextureColor = 1;
		for (f32& c : block->Color)
			c = 1.0f;
	}
}

void zeSetFxEmitterRotation(int id, float value)
{
	if (SZeLightwaveHVParams* block = findBlock(id))
		block->Rotation = value;
}

void zeSetFxEmitterBlendMode(int id, int mode)
{
	SZeFxEmitterItem* item = findItem(id);
	if (!item)
		return;
	SZeLightwaveHVParams* block = findBlock(id);
	if (!block)
		return;
	block->BlendMode = mode == 1 ? EZEHVB_ALPHA : mode == 3 ? EZEHVB_SUBTRACTIVE : EZEHVB_ADDITIVE;
	item->node->getFxEmitter()->setBlendMode(mode == 1 ? 1 : 0);
}

void zeSetFxEmitterColorGradient(int id, int count, const float* keys)
{
	SZeLightwaveHVParams* block = findBlock(id);
	if (!block || (count > 0 && !keys))
		return;
	block->ColorKeyCount = gradientCount(count);
	for (u32 i = 0; i < block->ColorKeyCount; ++i)
		setGradientKey(block->ColorKeyPosition, &block->ColorKeyValue[0][0], 4, i, block->ColorKeyCount, keys + 5 * i);
}

void zeSetFxEmitterSizeGradient(int id, int count, const float* keys)
{
	SZeLightwaveHVParams* block = findBlock(id);
	if (!block || (count > 0 && !keys))
		return;
	block->SizeKeyCount = gradientCount(count);
	for (u32 i = 0; i < block->SizeKeyCount; ++i)
		setGradientKey(block->SizeKeyPosition, block->SizeKeyValue, 1, i, block->SizeKeyCount, keys + 5 * i);
}

void zeSetFxEmitterEffect(int id, int effectId)
{
	IZeSceneNodeExt* ext = findExt(id);
	if (!ext)
		return;
	const SZeEffectItem* effect =
		static_cast<SZeEffectItem*>(zeFindApiItem(EZEIT_EFFECT, effectId, "Effect ID %d does not exist. %s", 2));
	if (effect)
		ext->setMaterialEffect(0, effect->effect, 0, 0);
}

void zeSetFxEmitterEffectTechnique(int id, int technique)
{
	if (IZeSceneNodeExt* ext = findExt(id))
		ext->setMaterialTechnique(0, technique);
}

void zeSetFxEmitterEffectFromFile(int id, const char* file)
{
	IZeSceneNodeExt* ext = findExt(id);
	if (!ext)
		return;
	if (!hyperVoxel(ext->getMaterialSurface(0)))
	{
		zeSetError(1, "FxEmitter ID %d has no surface", id);
		return;
	}
	const char* name = file && *file ? file : DEFAULT_EFFECT;
	SZeMacroList macros(ZE_SURFACE_MACRO_PAIRS);
	const int refused = compileForSurface(ext, name, macros, nullptr);
	if (refused == 1)
		zeSetError(2, "FxEmitter ID %d Failed to get the effect compile parameters", id);
	else if (refused == 2)
		zeSetErrorBox(2, "FxEmitter ID %d: Failed to compile effect %s", id, name);
}

void zeSetFxEmitterDefaultEffect(int id)
{
	zeSetFxEmitterEffectFromFile(id, nullptr);
}

void zeSetFxEmitterShader(int id, const SZeShaderDesc* desc, int compile)
{
	IZeSceneNodeExt* ext = findExt(id);
	if (!ext || !desc)
		return;
	const char* file = desc->filename ? desc->filename : "";
	if (compile && *file)
	{
		if (!hyperVoxel(ext->getMaterialSurface(0)))
		{
			zeSetError(2, "Invalid surface for the FxEmitter ID %d", id);
			return;
		}
		SZeMacroList macros(ZE_SHADER_MACRO_PAIRS);
		const int refused = compileForSurface(ext, file, macros, desc->cflags);
		// A failed compile leaves the emitter as it was.
		if (refused == 1)
			zeSetError(2, "FxEmitter %d : Failed to get the effect compile parameters", id);
		else if (refused == 2)
			zeSetErrorBox(2, "FxEmitter %d : Failed to compile effect %s", id, file);
		if (refused)
			return;
	}
	IZeEffect* effect = ext->getMaterialEffect(0);
	if (!effect)
	{
		zeSetError(1, "FxEmitter ID %d has no effect applied on it", id);
		return;
	}
	char owner[40];
	std::snprintf(owner, sizeof(owner), "FxEmitter ID %d", id);
	zeApplyShaderParams(effect, desc, compile, owner, 2);
	if (compile)
		ext->updateFromSurfaces();
}

int zeLoadEffectForFxEmitter(const char* file, int id, int emitterId)
{
	SZeFxEmitterItem* item = peekItem(emitterId);
	if (!item)
	{
		zeSetError(3, "FxEmitter ID %d does not exist", emitterId);
		return -1;
	}
	IZeSceneNodeExt* ext = zeGetNodeExt(item->node);
	if (!ext)
	{
		zeSetError(3, "FxEmitter ID %d does not have node extension", emitterId);
		return -1;
	}
	IZeSurface* surface = hyperVoxel(ext->getMaterialSurface(0));
	if (!surface)
	{
		zeSetError(4, "Invalid surface for the FxEmitter ID %d", emitterId);
		return -1;
	}
	SZeMacroList macros(ZE_SURFACE_MACRO_PAIRS);
	s32 materialType = 0;
	u32 count = macros.capacity();
	if (!surface->getEffectCompileParameters(materialType, macros.data(), count, item->node))
	{
		zeSetError(-1, "Failed to get the effect compile parameters");
		return -1;
	}
	return zeLoadEffectFile(id, file, materialType, macros.data());
}
