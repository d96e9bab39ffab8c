#include "render/CZeRenderServices.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/IZeSceneNodeExt.h"

#include "core/IZeRenderer.h"
#include "core/ZeGpuState.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/IZeVideoDriverExt.h"
#include "libext/ZeDrawPasses.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include <cstring>
#include <vector>

using namespace irr;

namespace
{
const u32 MAX_QUAD_TEXTURES = 20;
const char* const COPY_EFFECT = "copytexture.hlsl";

// ---- Node extensions ---------------------------------------------------------------
// The selection mask of a node's extension; false when the node has none.
bool getSelectionMask(scene::ISceneNode* node, u32* mask)
{
	const IZeSceneNodeExt* ext = zeFindSceneNodeExt(node);
	*mask = ext ? ext->getSelectionMask() : 0;
	return ext != nullptr;
}

// Whether a node is drawn under the hide and show sets: a node without an
// extension always is; otherwise not when its mask meets the hide set, nor
// when a show set is given and the mask misses it.
bool isSelected(scene::ISceneNode* node, u32 hideMask, u32 showMask)
{
	u32 mask = 0;
	if (!getSelectionMask(node, &mask))
		return true;
	if (mask & hideMask)
		return false;
	return !showMask || (mask & showMask);
}

// Whether the node carries one of the engine's extensions: a node extension
// (object nodes) or a light extension (lights).
bool hasExtension(scene::ISceneNode* node)
{
	return zeFindSceneNodeExt(node) || zeFindLightSceneNodeExt(node);
}

// Switches the effect records of a node's materials to a technique for one
// draw and back again. Materials whose effect lacks the technique, or that
// draw without an effect, stay as they are.
class CTechniqueSwitch
{
public:
	CTechniqueSwitch(scene::ISceneNode* node, const char* technique)
	{
		if (!technique)
			return;
		for (u32 i = 0; i < node->getMaterialCount(); ++i)
		{
			SZeMaterialExt* record = static_cast<SZeMaterialExt*>(ze::getMaterialUserData(node->getMaterial(i)));
			if (!record || record->Tag != ZE_MATERIAL_EXT_TAG || !record->Effect)
				continue;
			const s32 index = record->Effect->getTechniqueIndex(technique);
			if (index < 0 || index == record->Technique)
				continue;
			Saved.push_back({record, record->Technique, record->Pass});
			record->Technique = index;
			record->Pass = 0;
		}
	}
	~CTechniqueSwitch()
	{
		for (const SSaved& s : Saved)
		{
			s.Record->Technique = s.Technique;
			s.Record->Pass = s.Pass;
		}
	}

private:
	struct SSaved
	{
		SZeMaterialExt* Record;
		s32 Technique;
		s32 Pass;
	};
	std::vector<SSaved> Saved;
};

bool isAllowedTechnique(const char* technique)
{
	return !technique || !std::strcmp(technique, "depth") || !std::strcmp(technique, "shadow") ||
		!std::strcmp(technique, "reflection");
}

void collectVisible(scene::ISceneNode* node, core::array<scene::ISceneNode*>& out)
{
	const core::list<scene::ISceneNode*>& children = node->getChildren();
	for (core::list<scene::ISceneNode*>::ConstIterator it = children.begin(); it != children.end(); ++it)
	{
		scene::ISceneNode* child = *it;
		if (!child->isVisible())
			continue;
		const scene::ESCENE_NODE_TYPE type = child->getType();
		if (type != scene::ESNT_LIGHT && type != scene::ESNT_CAMERA)
			out.push_back(child);
		collectVisible(child, out);
	}
}

// Cube faces +X, -X, +Y, -Y, +Z, -Z: the direction looked at and the up vector.
const core::vector3df FACE_DIRECTIONS[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
const core::vector3df FACE_UPS[6] = {{0, 1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}};
} // namespace

CZeRenderServices::CZeRenderServices(IrrlichtDevice* device, IZeManager* manager) : Device(device), Manager(manager)
{
	ze::setMaterialUserData(Quad.getMaterial(), &Record);
}

CZeRenderServices::~CZeRenderServices()
{
	if (CopyEffect)
		CopyEffect->drop();
}

// ---- Render targets and screen quads ---------------------------------------------------
bool CZeRenderServices::setRenderTargets(video::ITexture* const* textures, u32 count)
{
	video::IVideoDriver* d = driver();
	if (!d)
		return false;
	if (!textures)
		count = 0;
	bool ok = false;
	if (count == 0)
		ok = d->setRenderTarget(nullptr, false, false);
	else if (count == 1)
		ok = textures[0] && d->setRenderTarget(textures[0], false, false);
	else
	{
		core::array<video::IRenderTarget> targets;
		for (u32 i = 0; i < count; ++i)
		{
			if (!textures[i])
			{
				zeLog(EZELL_ERROR, "CZeRenderServices: render target %u of %u is null", i, count);
				return false;
			}
			targets.push_back(video::IRenderTarget(textures[i]));
		}
		ok = d->setRenderTarget(targets, false, false);
	}
	zeSetRenderTargetFlip(ok && count > 0);
	return ok;
}

bool CZeRenderServices::drawScreenQuad(IZeEffect* effect, u32 technique, u32 pass, video::ITexture* texture)
{
	return drawScreenQuadTextures(effect, technique, pass, &texture, 1);
}

bool CZeRenderServices::drawScreenQuadTextures(IZeEffect* effect, u32 technique, u32 pass,
	video::ITexture* const* textures, u32 count)
{
	video::IVideoDriver* d = driver();
	video::SMaterial& material = Quad.getMaterial();
	if (!d || !effect || !effect->getPassMaterial(technique, pass, material))
		return false;
	if (!textures)
		count = 0;
	count = core::min_(count, MAX_QUAD_TEXTURES);
	// The first look-up of a library texture's GL texture binds it on unit 0:
	// done before the quad's material binds the library's units. (A render
	// target is looked up through the frame buffer, not unit 0.)
	for (u32 i = 0; i < count; ++i)
		if (textures[i] && !textures[i]->isRenderTarget())
			ze::getGLTextureName(ze::resolve(textures[i]));
	// Library 2D inputs 0-3 sit in the library's own layers, which hold no
	// reference; every other input is lent to the samplers that read it. No
	// side record of the quad's material ever holds an input.
	const u32 libraryLayers = core::min_(count, video::MATERIAL_MAX_TEXTURES);
	for (u32 i = 0; i < libraryLayers; ++i)
		material.TextureLayer[i].Texture = dynamic_cast<ze::ITextureExt*>(textures[i]) ? nullptr : textures[i];
	lendInputs(effect, textures, count, material);
	Record.Effect = effect;
	Record.Technique = static_cast<s32>(technique);
	Record.Pass = static_cast<s32>(pass);
	ze::setMaterialUserData(material, &Record);
	Quad.render(d);
	// Nothing keeps an input beyond the draw.
	for (u32 i = 0; i < libraryLayers; ++i)
		material.TextureLayer[i].Texture = nullptr;
	returnInputs(effect);
	if (IZeEffectManager* effects = Manager ? Manager->getEffectManager() : nullptr)
		effects->releaseTextureUnits();
	Record.Effect = nullptr;
	return true;
}

// Inputs past the material's layers go to the samplers that follow their
// registers, inputs 0-7 the material does not hold to the samplers reading
// their layer; each sampler's own texture is kept to be put back.
void CZeRenderServices::lendInputs(IZeEffect* effect, video::ITexture* const* textures, u32 count,
	const video::SMaterial& material)
{
	Lent.clear();
	const s32 layers = static_cast<s32>(core::min_(count, ze::MATERIAL_MAX_TEXTURES));
	for (u32 i = 0; i < effect->getParameterCount(); ++i)
	{
		const SZeFxParameter* parameter = effect->getParameter(i);
		if (!parameter || parameter->Type != EZEFPT_SAMPLER)
			continue;
		s32 input = -1;
		if (parameter->Register >= static_cast<s32>(ze::MATERIAL_MAX_TEXTURES) &&
			parameter->Register < static_cast<s32>(count))
			input = parameter->Register;
		else if (parameter->Layer >= 0 && parameter->Layer < layers && textures[parameter->Layer] &&
			!ze::getMaterialTexture(material, static_cast<u32>(parameter->Layer)))
			input = parameter->Layer;
		if (input < 0)
			continue;
		video::ITexture* own = effect->getSamplerTexture(parameter);
		if (own)
			own->grab();
		if (effect->setSamplerTexture(parameter, textures[input], parameter->SRGB))
			Lent.push_back({parameter, own});
		else if (own)
			own->drop();
	}
}

void CZeRenderServices::returnInputs(IZeEffect* effect)
{
	for (const SLent& lent : Lent)
	{
		effect->setSamplerTexture(lent.Parameter, lent.Own, lent.Parameter->SRGB);
		if (lent.Own)
			lent.Own->drop();
	}
	Lent.clear();
}

bool CZeRenderServices::copyTexture(video::ITexture* texture)
{
	if (!texture)
		return false;
	if (!CopyEffect && !CopyEffectTried)
	{
		CopyEffectTried = true;
		IZeEffectManager* effects = Manager ? Manager->getEffectManager() : nullptr;
		if (effects)
			CopyEffect = effects->createEffect(zeFindDataFile(COPY_EFFECT), -1, nullptr, nullptr);
		if (!CopyEffect)
			zeLog(EZELL_ERROR, "CZeRenderServices failed to load %s", COPY_EFFECT);
	}
	return CopyEffect && drawScreenQuad(CopyEffect, 0, 0, texture);
}

// ---- Drawing nodes -----------------------------------------------------------------------
bool CZeRenderServices::renderNodes(const core::array<scene::ISceneNode*>& nodes,
	scene::E_SCENE_NODE_RENDER_PASS pass, const char* technique, const video::SOverrideMaterial* overrideMaterial,
	u32 hideMask, u32 showMask, u32* count)
{
	if (count)
		*count = 0;
	if (nodes.empty())
		return true;
	if (!isAllowedTechnique(technique))
		return false;
	video::IVideoDriver* d = driver();
	if (!d)
		return false;

	IZeVideoDriverExt* ext = Manager ? Manager->getVideoDriverExt() : nullptr;
	const bool transparent = pass == scene::ESNRP_TRANSPARENT || pass == scene::ESNRP_TRANSPARENT_EFFECT;
	if (transparent && ext)
		ext->setSeparateAlphaBlend(true);
	video::SOverrideMaterial& overrides = d->getOverrideMaterial();
	const video::SOverrideMaterial before = overrides;
	if (overrideMaterial)
	{
		overrides = *overrideMaterial;
		overrides.Enabled = true;
	}

	// Our mesh nodes draw only the buffers of the pass they are drawn in.
	const scene::E_SCENE_NODE_RENDER_PASS outerPass = ze::setCurrentRenderPass(pass);
	u32 drawn = 0;
	for (u32 i = 0; i < nodes.size(); ++i)
	{
		scene::ISceneNode* node = nodes[i];
		if (!node || (!technique && !isSelected(node, hideMask, showMask)))
			continue;
		CTechniqueSwitch toTechnique(node, technique);
		node->render();
		++drawn;
	}
	ze::setCurrentRenderPass(outerPass);

	if (overrideMaterial)
	{
		overrides = before;
		overrides.Enabled = false;
	}
	if (transparent && ext)
		ext->setSeparateAlphaBlend(false);
	if (count)
		*count = drawn;
	return true;
}

void CZeRenderServices::getLightList(core::array<scene::ISceneNode*>& out)
{
	out = ze::getRenderLists(Device->getSceneManager()).Lights;
}

void CZeRenderServices::getSolidNodeList(core::array<scene::ISceneNode*>& out)
{
	out = ze::getRenderLists(Device->getSceneManager()).Solid;
}

void CZeRenderServices::getTransparentNodeList(core::array<scene::ISceneNode*>& out)
{
	out = ze::getRenderLists(Device->getSceneManager()).Transparent;
}

void CZeRenderServices::getTransparentEffectNodeList(core::array<scene::ISceneNode*>& out)
{
	out = ze::getRenderLists(Device->getSceneManager()).TransparentEffect;
}

void CZeRenderServices::getVisibleNodes(core::array<scene::ISceneNode*>& out)
{
	out.set_used(0);
	if (Device)
		collectVisible(Device->getSceneManager()->getRootSceneNode(), out);
}

void CZeRenderServices::getVisibleExtNodes(core::array<scene::ISceneNode*>& out)
{
	core::array<scene::ISceneNode*> visible;
	getVisibleNodes(visible);
	filterExtNodes(out, visible);
}

void CZeRenderServices::filterExtNodes(core::array<scene::ISceneNode*>& out,
	const core::array<scene::ISceneNode*>& in)
{
	out.set_used(0);
	for (u32 i = 0; i < in.size(); ++i)
		if (in[i] && hasExtension(in[i]))
			out.push_back(in[i]);
}

// ---- Cube maps -----------------------------------------------------------------------------
bool CZeRenderServices::renderCubeMap(ze::ITextureCUBE* cube, video::ITexture* work, const core::vector3df& position,
	IZeRenderer* renderer)
{
	video::IVideoDriver* d = driver();
	if (!d || !cube || !work || !renderer)
	{
		zeLog(EZELL_ERROR, "CZeRenderServices: renderCubeMap needs a cube, a working texture and a renderer");
		return false;
	}
	scene::ISceneManager* smgr = Device->getSceneManager();
	scene::ICameraSceneNode* previous = smgr->getActiveCamera();
	if (previous)
		previous->grab();
	// A camera of our own outside the scene graph.
	scene::ICameraSceneNode* camera = smgr->addCameraSceneNode(nullptr, position, position + FACE_DIRECTIONS[0] * 10.f,
		-1, false);
	camera->grab();
	camera->remove();
	camera->setFOV(core::PI / 2.f);
	camera->setAspectRatio(1.f);
	if (previous)
	{
		camera->setNearValue(previous->getNearValue());
		camera->setFarValue(previous->getFarValue());
	}
	smgr->setActiveCamera(camera);

	u32 done = 0;
	for (; done < 6; ++done)
	{
		camera->setPosition(position);
		camera->setUpVector(FACE_UPS[done]);
		camera->setTarget(position + FACE_DIRECTIONS[done] * 10.f);
		camera->updateAbsolutePosition();
		if (!renderer->render(work))
			break;
		if (!ze::copyTextureToCubeFace(work, cube, done))
		{
			zeLog(EZELL_ERROR, "CZeRenderServices: cannot copy into face %u of the cube map", done);
			break;
		}
	}

	d->setRenderTarget(nullptr, false, false);
	zeSetRenderTargetFlip(false);
	smgr->setActiveCamera(previous);
	if (previous)
		previous->drop();
	camera->drop();
	return done == 6;
}

bool CZeRenderServices::clearCubeMap(ze::ITextureCUBE* cube)
{
	video::IVideoDriver* d = driver();
	if (!d || !cube)
		return false;
	bool ok = true;
	for (u32 face = 0; face < 6; ++face)
		ok = cube->bindFaceAsRenderTarget(d, face, true, true, video::SColor(0, 0, 0, 0)) && ok;
	d->setRenderTarget(nullptr, false, false);
	zeSetRenderTargetFlip(false);
	return ok;
}

bool CZeRenderServices::cubeToLatLong(ze::ITextureCUBE* cube, video::ITexture* target)
{
	IZeResourceManager* resources = Manager ? Manager->getResourceManager() : nullptr;
	IZeEffect* effect = resources ? resources->getCubeToLatLongEffect() : nullptr;
	if (!effect || !cube || !target)
	{
		zeLog(EZELL_ERROR, "CZeRenderServices: cubeToLatLong needs the cube-to-lat-long effect, a cube and a target");
		return false;
	}
	if (!setRenderTargets(&target, 1))
		return false;
	const bool drawn = drawScreenQuad(effect, 0, 0, cube);
	setRenderTargets(nullptr, 0);
	return drawn;
}
