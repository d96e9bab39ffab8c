#include "render/CZeRendererLpp.h"

#include "core/IZeServices.h"
#include "core/ZeGpuState.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/IZeVideoDriverExt.h"
#include "libext/ZeDrawPasses.h"
#include "libext/ZeMaterialExt.h"
#include "render/ZeRendererSteps.h"

using namespace irr;

namespace
{
const char* const TARGET_NAMES[] = {"BackRTT[0]", "BackRTT[1]", "BackRTT[2]", "BackRTT[3]", "DepthRTT", "NormalRTT",
	"LightRTT", "HalfScreen[0]", "HalfScreen[1]", "HalfScreen[2]", "QuarterScreen[0]", "QuarterScreen[1]"};

// The jitter sequence's frame counter, one for the process.
u32 g_frameCounter = 0;

// The effect record a material draws with, or null.
SZeMaterialExt* effectRecord(const video::SMaterial& material)
{
	SZeMaterialExt* record = static_cast<SZeMaterialExt*>(ze::getMaterialUserData(material));
	return record && record->Tag == ZE_MATERIAL_EXT_TAG && record->Effect ? record : nullptr;
}

// Which materials of a node draw through an effect, and whether every one of
// them writes two targets (the colour and DepthRTT).
struct SNodeKind
{
	bool AnyEffect = false;
	bool AllWriteDepth = true;
};

SNodeKind kindOf(scene::ISceneNode* node)
{
	SNodeKind kind;
	const u32 count = node->getMaterialCount();
	kind.AllWriteDepth = count > 0;
	for (u32 i = 0; i < count; ++i)
	{
		const SZeMaterialExt* record = effectRecord(node->getMaterial(i));
		const SZeFxPass* pass = record ? record->Effect->getPass(static_cast<u32>(record->Technique),
			static_cast<u32>(record->Pass)) : nullptr;
		kind.AnyEffect = kind.AnyEffect || record;
		kind.AllWriteDepth = kind.AllWriteDepth && pass && pass->Targets >= 2;
	}
	return kind;
}
} // namespace

u32 zeGetLppFrameCounter()
{
	return g_frameCounter;
}

CZeRendererLpp::CZeRendererLpp(IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* context)
	: CZeRendererAdvBase(device, manager, context, "CZeRendererLpp")
{
	NoZWrite.Material.ZWriteEnable = false;
	NoZWrite.EnableFlags = video::EMF_ZWRITE_ENABLE;
	NoZWrite.Enabled = true;
	DepthTest.Material.ZBuffer = video::ECFN_LESSEQUAL;
	DepthTest.EnableFlags = video::EMF_ZBUFFER;
	DepthTest.Enabled = true;
}

CZeRendererLpp::~CZeRendererLpp()
{
	if (FallbackDepth)
		FallbackDepth->drop();
}

bool CZeRendererLpp::init(const SZeRendererDesc& description)
{
	if (Ready)
		return false;
	if (!takeDescription(description, TARGET_NAMES, Targets, TARGET_COUNT))
		return false;
	Ready = true;
	return true;
}

void CZeRendererLpp::setStepHook(StepHook hook, void* user)
{
	Hook = hook;
	HookUser = user;
}

void CZeRendererLpp::step(u32 number)
{
	if (Hook)
		Hook(HookUser, number);
}

video::ITexture* CZeRendererLpp::other(video::ITexture* texture) const
{
	return texture == Targets[BACK0] ? Targets[BACK1] : Targets[BACK0];
}

bool CZeRendererLpp::render(video::ITexture* target)
{
	step(1);
	if (!Ready)
		return false;

	step(2);
	video::IVideoDriver* driver = Device->getVideoDriver();
	IZeVideoDriverExt* driverExt = Manager->getVideoDriverExt();
	scene::ISceneManager* smgr = Device->getSceneManager();
	IZeRenderServices* services = Manager->getRenderServices();
	const SZeClearRecord clear = *Context->getClearColor();
	const SZeRenderSettings& settings = *Context->getRenderSettings();
	core::array<SZeShadowTexBind>& bindings = Context->getShadowBinds();
	CZePostChain* chain = Context->getPostChain();
	CZePostAntialias* antialias = Context->getAntialias();
	Context->setPostParameters();

	step(3);
	ze::drawAllPasses(smgr, ze::EDAP_PREPARE | ze::EDAP_CAMERA | ze::EDAP_LIGHT);

	step(4);
	services->getLightList(Lights);
	services->getSolidNodeList(SolidNodes);
	services->getTransparentNodeList(TransparentNodes);
	services->getTransparentEffectNodeList(TransparentEffectNodes);
	services->getVisibleExtNodes(ExtNodes);

	step(5);
	const bool glow = settings.GlowEnable && settings.GlowIntensity != 0.0f;

	step(6);
	const bool cut = zeRendererCameraCut(Manager, driver, target);

	step(7);
	const core::matrix4 projection = driver->getTransform(video::ETS_PROJECTION);

	step(8);
	const bool antialiasOn = Context->isAntialiasEnabled() && antialias->isActive();
	if (!target && antialiasOn)
		zeRendererJitter(driver, antialias, ++g_frameCounter, projection);

	step(9);
	driver->setRenderTarget(Targets[BACK0], true, true, video::SColor(clear.Color));
	zeSetRenderTargetFlip(true);

	step(10);
	video::ITexture* const normalDepth[2] = {Targets[NORMAL], Targets[DEPTH]};
	services->setRenderTargets(normalDepth, 2);
	Context->getDepthClear()->drawInto(driver);

	step(11);
	services->setRenderTargets(normalDepth, 2);
	drawDepth(services);

	step(12);
	Context->resetShadowBinds();

	step(13);
	Context->getLightPass()->render(Targets[LIGHT], Lights, ExtNodes, bindings);

	step(14);
	chain->render(driver, services, Targets[LIGHT], Targets[LIGHT], Targets[BACK1], "lightpost", true, false);

	step(15);
	drawColour(services, SolidNodes, scene::ESNRP_SOLID, Targets[BACK0], DepthTest);

	step(16);
	chain->render(driver, services, Targets[BACK0], Targets[BACK0], Targets[BACK1], "solidpost", true, false);

	step(17);
	drawColour(services, TransparentNodes, scene::ESNRP_TRANSPARENT, Targets[BACK0], NoZWrite);

	step(18);
	video::ITexture* r = chain->render(driver, services, Targets[BACK1], Targets[BACK0], nullptr, "prepost", false,
		false);

	step(19);
	Context->getVolumetric()->render(r, Lights, bindings);

	step(20);
	if (antialiasOn && settings.AntialiasLocation == 2)
		r = antialias->render(driver, driverExt, services, other(r), r, Targets[BACK2], Targets[BACK3], false,
			settings.GammaEnable, cut);

	step(21);
	if (glow)
		Context->getDownSampleBlur()->render(driver, Targets[HALF2], r);

	step(22);
	drawColour(services, TransparentEffectNodes, scene::ESNRP_TRANSPARENT_EFFECT, r, NoZWrite);

	step(23);
	if (glow)
		Context->getGlow()->render(driver, r, Targets[HALF2], settings.GlowRadius, settings.GlowIntensity,
			settings.StreakEnable);

	step(24);
	if (settings.DofEnable)
	{
		SZePostDof* dof = Context->getDof();
		if (settings.DofMode != 0.0f)
			dof->renderArtist(driver, other(r), r, Targets[DEPTH], Targets[BACK2], settings.DofRadiusScale);
		else
			dof->renderPhysical(driver, other(r), r, Targets[DEPTH], Targets[BACK2]);
		r = other(r);
	}

	step(25);
	r = chain->render(driver, services, other(r), r, nullptr, nullptr, false, glow);

	step(26);
	const bool antialiasLast = antialiasOn && settings.AntialiasLocation == 1;

	step(27);
	if (settings.GammaEnable)
	{
		video::ITexture* output = antialiasLast ? other(r) : target;
		Context->getGamma()->render(driver, output, r);
		r = output;
	}

	step(28);
	if (antialiasLast)
	{
		// Onto the back buffer the antialiasing shows its result itself; a
		// target that it did not draw into (mode 3, say) gets a copy.
		video::ITexture* result = antialias->render(driver, driverExt, services, target ? target : Targets[BACK2], r,
			other(r), Targets[BACK3], !target, false, cut);
		if (target && result != target)
		{
			services->setRenderTargets(&target, 1);
			services->copyTexture(result);
		}
	}
	else if (!settings.GammaEnable)
	{
		services->setRenderTargets(&target, target ? 1 : 0);
		services->copyTexture(r);
	}

	step(29);
	ze::drawAllPasses(smgr, ze::EDAP_FINISH);

	step(30);
	if (clear.Debug && !target)
		drawDebugTargets();

	step(31);
	driver->setTransform(video::ETS_PROJECTION, projection);
	return true;
}

// ---- Drawing nodes ---------------------------------------------------------------------------
IZeEffect* CZeRendererLpp::getFallbackDepth()
{
	if (!FallbackDepthTried)
	{
		FallbackDepthTried = true;
		IZeEffectManager* effects = Manager->getEffectManager();
		const char* file = zeFindDataFile(FirstEffectFile.c_str());
		FallbackDepth = effects ? effects->createEffect(file, -1, nullptr, nullptr) : nullptr;
		if (FallbackDepth && FallbackDepth->getTechniqueIndex("depth") < 0)
		{
			FallbackDepth->drop();
			FallbackDepth = nullptr;
		}
		if (!FallbackDepth)
			zeLog(EZELL_WARN, "CZeRendererLpp: no \"depth\" technique in %s for materials without one; they draw "
				"no depth and normal", FirstEffectFile.c_str());
	}
	return FallbackDepth;
}

void CZeRendererLpp::drawDepth(IZeRenderServices* services)
{
	IZeEffect* fallback = SolidNodes.empty() ? nullptr : getFallbackDepth();
	const s32 technique = fallback ? fallback->getTechniqueIndex("depth") : -1;
	Swapped.clear();
	video::SMaterial fallbackMaterial;
	if (fallback && fallback->getPassMaterial(static_cast<u32>(technique), 0, fallbackMaterial))
	{
		size_t used = 0;
		for (u32 n = 0; n < SolidNodes.size(); ++n)
		{
			scene::ISceneNode* node = SolidNodes[n];
			for (u32 i = 0; node && i < node->getMaterialCount(); ++i)
			{
				video::SMaterial& material = node->getMaterial(i);
				const SZeMaterialExt* own = effectRecord(material);
				if (own && own->Effect->getTechniqueIndex("depth") >= 0)
					continue;
				if (used == FallbackRecords.size())
					FallbackRecords.emplace_back();
				SZeMaterialExt& record = FallbackRecords[used++];
				record.Effect = fallback;
				record.Technique = technique;
				record.Pass = 0;
				record.Node = node;
				record.Surface = i;
				Swapped.push_back({&material, material.MaterialType, ze::getMaterialUserData(material)});
				material.MaterialType = fallbackMaterial.MaterialType;
				ze::setMaterialUserData(material, &record);
			}
		}
	}
	services->renderNodes(SolidNodes, scene::ESNRP_SOLID, "depth", nullptr, 0, 0, nullptr);
	for (size_t i = Swapped.size(); i-- > 0;)
	{
		Swapped[i].Material->MaterialType = Swapped[i].Type;
		ze::setMaterialUserData(*Swapped[i].Material, Swapped[i].UserData);
	}
	Swapped.clear();
}

void CZeRendererLpp::drawColour(IZeRenderServices* services, const core::array<scene::ISceneNode*>& nodes,
	scene::E_SCENE_NODE_RENDER_PASS pass, video::ITexture* colour, const video::SOverrideMaterial& overrides)
{
	EffectNodes.set_used(0);
	ColourOnlyNodes.set_used(0);
	LibraryNodes.set_used(0);
	for (u32 n = 0; n < nodes.size(); ++n)
	{
		if (!nodes[n])
			continue;
		const SNodeKind kind = kindOf(nodes[n]);
		if (kind.AllWriteDepth)
			EffectNodes.push_back(nodes[n]);
		else if (!kind.AnyEffect && nodes[n]->getMaterialCount() > 0)
			LibraryNodes.push_back(nodes[n]);
		else
			ColourOnlyNodes.push_back(nodes[n]);
	}
	video::ITexture* const both[2] = {colour, Targets[DEPTH]};
	services->setRenderTargets(both, 2);
	services->renderNodes(EffectNodes, pass, nullptr, &overrides, 0, 0, nullptr);
	if (ColourOnlyNodes.empty() && LibraryNodes.empty())
		return;
	services->setRenderTargets(&colour, 1);
	services->renderNodes(ColourOnlyNodes, pass, nullptr, &overrides, 0, 0, nullptr);
	if (LibraryNodes.empty())
		return;
	// Their depth pulled forward a little to meet what the fallback drew.
	video::SOverrideMaterial library = overrides;
	library.Material.PolygonOffsetFactor = 1;
	library.Material.PolygonOffsetDirection = video::EPO_FRONT;
	library.EnableFlags |= video::EMF_POLYGON_OFFSET;
	LibraryDraw.render(Device->getVideoDriver(), services, LibraryNodes, pass, &library, 0, 0);
}

// ---- Debug thumbnails ------------------------------------------------------------------------
bool CZeRendererLpp::drawDebugTargets()
{
	drawThumbnails(Targets[NORMAL], Targets[DEPTH], Targets[LIGHT], Targets[HALF1], Targets[QUARTER0],
		Targets[QUARTER1]);
	return true;
}
