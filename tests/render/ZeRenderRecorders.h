// Recording fakes of the renderers' surroundings on the NULL driver: render
// services, last-frame information, a renderer manager and an engine manager,
// and an advanced context whose parts (post effects, post chain, glow, depth
// of field, antialiasing, light pass, volumetric lights) write what they are
// asked to do into one trace as "<step> what" (textures by name, "display"
// for the back buffer, "-" for none).
#pragma once

#include "effects/ZeFakeEffect.h"

#include "core/CZeSceneManagerService.h"
#include "frame/ZeLog.h"
#include "libext/IZeVideoDriverExt.h"
#include "render/CZeRendererCtxAdv.h"
#include "render/CZeRendererManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zerec
{
using namespace irr;
using namespace zetest;

using Trace = std::vector<std::string>;

inline std::vector<std::string> g_lines;
inline int linesWith(const std::string& text)
{
	int n = 0;
	for (const std::string& line : g_lines)
		n += line.find(text) != std::string::npos;
	return n;
}

inline std::string name(video::ITexture* t)
{
	return t ? t->getName().getPath().c_str() : "display";
}

// The trace and the step the renderer is in.
struct Recorder
{
	Trace Lines;
	u32 Step = 0;
	void log(const std::string& what) { Lines.push_back(std::to_string(Step) + " " + what); }
};

// ---- Services, last frame, renderer manager, engine manager ----------------------------------
class RecordingServices : public IZeRenderServices
{
public:
	explicit RecordingServices(Recorder* r) : R(r) {}
	core::array<scene::ISceneNode*> Lights, Solid, Transparent, TransparentEffect, Ext, Visible;

	bool setRenderTargets(video::ITexture* const* textures, u32 count) override
	{
		std::string list;
		for (u32 i = 0; textures && i < count; ++i)
			list += (i ? "," : "") + name(textures[i]);
		R->log("targets " + (list.empty() ? std::string("display") : list));
		return true;
	}
	bool drawScreenQuad(IZeEffect*, u32, u32, video::ITexture*) override { return true; }
	bool drawScreenQuadTextures(IZeEffect* effect, u32 technique, u32 pass, video::ITexture* const* textures,
		u32 count) override
	{
		std::string list;
		for (u32 i = 0; i < count; ++i)
			list += (i ? "," : "") + (textures[i] ? name(textures[i]) : std::string("-"));
		R->log(std::string("quad ") + effect->getFileName() + " " + std::to_string(technique) + "." +
			std::to_string(pass) + " " + list);
		return true;
	}
	bool copyTexture(video::ITexture* texture) override
	{
		R->log("copy " + name(texture));
		return true;
	}
	bool renderNodes(const core::array<scene::ISceneNode*>& nodes, scene::E_SCENE_NODE_RENDER_PASS pass,
		const char* technique, const video::SOverrideMaterial* overrides, u32 hide, u32 show, u32*) override
	{
		const char* passes[] = {"solid", "transparent", "effects"};
		const u32 which = pass == scene::ESNRP_SOLID ? 0 : pass == scene::ESNRP_TRANSPARENT ? 1 : 2;
		std::string line = std::string("nodes ") + passes[which] + " " + (technique ? technique : "-");
		if (overrides)
		{
			line += overrides->EnableFlags & video::EMF_ZBUFFER ? " ztest" : "";
			line += overrides->EnableFlags & video::EMF_ZWRITE_ENABLE ? " nozwrite" : "";
			line += overrides->EnableFlags & video::EMF_POLYGON_OFFSET ? " forward" : "";
		}
		// Materials drawing through the renderer's own effect ("Lpp.hlsl" here).
		u32 fallbacks = 0;
		for (u32 n = 0; n < nodes.size(); ++n)
			for (u32 i = 0; i < nodes[n]->getMaterialCount(); ++i)
			{
				const SZeMaterialExt* record =
					static_cast<const SZeMaterialExt*>(ze::getMaterialUserData(nodes[n]->getMaterial(i)));
				fallbacks += record && record->Effect && std::string(record->Effect->getFileName()) == "Lpp.hlsl";
			}
		if (hide || show)
			line += " hide" + std::to_string(hide) + " show" + std::to_string(show);
		R->log(line + " n" + std::to_string(nodes.size()) + (fallbacks ? " fallback" + std::to_string(fallbacks) : ""));
		return true;
	}
	void getLightList(core::array<scene::ISceneNode*>& out) override { out = Lights; }
	void getSolidNodeList(core::array<scene::ISceneNode*>& out) override { out = Solid; }
	void getTransparentNodeList(core::array<scene::ISceneNode*>& out) override { out = Transparent; }
	void getTransparentEffectNodeList(core::array<scene::ISceneNode*>& out) override { out = TransparentEffect; }
	void getVisibleNodes(core::array<scene::ISceneNode*>& out) override { out = Visible; }
	void getVisibleExtNodes(core::array<scene::ISceneNode*>& out) override { out = Ext; }
	// The nodes of `in` that are also in Ext.
	void filterExtNodes(core::array<scene::ISceneNode*>& out, const core::array<scene::ISceneNode*>& in) override
	{
		out.set_used(0);
		for (u32 i = 0; i < in.size(); ++i)
			if (Ext.linear_search(in[i]) >= 0)
				out.push_back(in[i]);
	}
	bool renderCubeMap(ze::ITextureCUBE*, video::ITexture*, const core::vector3df&, IZeRenderer*) override
	{
		return false;
	}
	bool clearCubeMap(ze::ITextureCUBE*) override { return false; }
	bool cubeToLatLong(ze::ITextureCUBE*, video::ITexture*) override { return false; }

private:
	Recorder* R;
};

class RecordingInfo : public IZeLastFrameInfo
{
public:
	explicit RecordingInfo(Recorder* r) : R(r) {}
	bool Cut = false;
	void update() override {}
	f32 getAverageFps() const override { return 0.0f; }
	const core::matrix4& getPrevProjection() const override { return Identity; }
	const core::matrix4& getPrevView() const override { return Identity; }
	bool isCameraCut(const core::matrix4&, f32 distance, f32 angle) const override
	{
		R->log("cut " + std::to_string(static_cast<int>(distance)) + " " + std::to_string(static_cast<int>(angle)));
		return Cut;
	}

private:
	Recorder* R;
	core::matrix4 Identity;
};

class RecordingRenderers : public CZeRendererManager
{
public:
	RecordingRenderers(IrrlichtDevice* device, IZeManager* manager, Recorder* r)
		: CZeRendererManager(device, manager), Info(r)
	{
	}
	IZeLastFrameInfo* getLastFrameInfo() override { return &Info; }
	RecordingInfo Info;
};

// A texture per file name, nothing else.
class Textures : public IZeTextureManager
{
public:
	explicit Textures(video::IVideoDriver* driver) : Driver(driver) {}
	video::ITexture* getTexture(const char* path, bool) override
	{
		video::ITexture* t = Driver->findTexture(path);
		return t ? t : Driver->addTexture(core::dimension2d<u32>(4, 4), path);
	}
	video::ITexture* getTextureOfKind(const char*, ze::E_TEXTURE_KIND) override { return nullptr; }
	video::ITexture* getTextureAuto(const char*, bool) override { return nullptr; }
	video::ITexture* findTexture(const char*) override { return nullptr; }
	video::ITexture* getCurlNoise3DTexture() override { return nullptr; }
	video::ITexture* getRenderTexture(const core::dimension2d<u32>&, ze::ECOLOR_FORMAT) override { return nullptr; }
	void setTextureFolder(const char*) override {}
	video::ITexture* createMeshVertexTexture(scene::IMesh*, const char*, bool, u32, bool) override { return nullptr; }

private:
	video::IVideoDriver* Driver;
};

class FakeManager : public IZeManager
{
public:
	FakeManager(IrrlichtDevice* device, Recorder* r)
		: Renderers(device, this, r), Services(r), TextureService(device->getVideoDriver()),
		  Scene(device->getSceneManager()), DriverExt(zeCreateVideoDriverExt(device->getVideoDriver()))
	{
	}
	IZeGpuProgramming* getGpuProgramming() override { return nullptr; }
	IZeEffectManager* getEffectManager() override { return &Effects; }
	IZeSceneManager* getSceneManager() override { return &Scene; }
	IZeTextureManager* getTextureManager() override { return &TextureService; }
	IZeSurfaceManager* getSurfaceManager() override { return nullptr; }
	IZeRendererManager* getRendererManager() override { return &Renderers; }
	IZeRenderServices* getRenderServices() override { return &Services; }
	IZeVideoDriverExt* getVideoDriverExt() override { return DriverExt.get(); }
	IZeResourceManager* getResourceManager() override { return nullptr; }
	void onDeviceReset() override {}

	FakeEffectManager Effects;
	RecordingRenderers Renderers;
	RecordingServices Services;
	Textures TextureService;
	CZeSceneManagerService Scene;
	std::unique_ptr<IZeVideoDriverExt> DriverExt;
};

// ---- The context's parts, recorded --------------------------------------------------------------
class RecordingPost : public CZePostEffect
{
public:
	RecordingPost(const char* label, Recorder* r) : Label(label), R(r) {}
	bool render(video::IVideoDriver*, video::ITexture* target, video::ITexture* texture0, video::ITexture*) override
	{
		R->log(Label + " " + name(texture0) + ">" + name(target));
		return true;
	}
	bool drawInto(video::IVideoDriver*, video::ITexture*, video::ITexture*) override
	{
		R->log(Label);
		return true;
	}

private:
	std::string Label;
	Recorder* R;
};

class RecordingLightPass : public CZeRenderLightPass
{
public:
	RecordingLightPass(IrrlichtDevice* device, Recorder* r) : CZeRenderLightPass(device), R(r) {}
	bool render(video::ITexture* target, const core::array<scene::ISceneNode*>& lights,
		const core::array<scene::ISceneNode*>& nodes, core::array<SZeShadowTexBind>&) override
	{
		R->log("lights " + std::to_string(lights.size()) + " casters " + std::to_string(nodes.size()) + ">" +
			name(target));
		return true;
	}

private:
	Recorder* R;
};

class RecordingVolumetric : public CZeRenderLightVolumetric
{
public:
	RecordingVolumetric(IrrlichtDevice* device, Recorder* r) : CZeRenderLightVolumetric(device), R(r) {}
	bool render(video::ITexture* target, const core::array<scene::ISceneNode*>&,
		const core::array<SZeShadowTexBind>&) override
	{
		R->log("volumetric >" + name(target));
		return true;
	}

private:
	Recorder* R;
};

// Returns the source, as a chain without effects does, or the target (the
// second texture when the target is the source or none) when Applies.
class RecordingChain : public CZePostChain
{
public:
	explicit RecordingChain(Recorder* r) : R(r) {}
	bool Applies = false;
	video::ITexture* render(video::IVideoDriver*, IZeRenderServices*, video::ITexture* target, video::ITexture* source,
		video::ITexture* second, const char* stage, bool copyToTarget, bool glow) override
	{
		R->log(std::string("chain ") + (stage ? stage : "camera") + " " + name(source) + ">" + name(target) + " " +
			(second ? name(second) : "-") + (copyToTarget ? " copy" : "") + (glow ? " glow" : ""));
		if (!Applies)
			return source;
		return target && target != source ? target : second;
	}

private:
	Recorder* R;
};

class RecordingGlow : public CZePostGlow
{
public:
	explicit RecordingGlow(Recorder* r) : R(r) {}
	void render(video::IVideoDriver*, video::ITexture* output, video::ITexture* source, f32 radius, f32 intensity,
		bool streaks) override
	{
		R->log("glow " + name(source) + ">" + name(output) + " r" + std::to_string(static_cast<int>(radius)) + " i" +
			std::to_string(static_cast<int>(intensity)) + (streaks ? " streaks" : ""));
	}

private:
	Recorder* R;
};

class RecordingDof : public SZePostDof
{
public:
	explicit RecordingDof(Recorder* r) : R(r) {}
	bool renderPhysical(video::IVideoDriver*, video::ITexture* output, video::ITexture* source, video::ITexture* depth,
		video::ITexture* work) override
	{
		R->log("dof physical " + name(source) + ">" + name(output) + " " + name(depth) + " " + name(work));
		return true;
	}
	bool renderArtist(video::IVideoDriver*, video::ITexture* output, video::ITexture* source, video::ITexture* depth,
		video::ITexture* work, f32 scale) override
	{
		R->log("dof artist " + name(source) + ">" + name(output) + " " + name(depth) + " " + name(work) + " x" +
			std::to_string(static_cast<int>(scale)));
		return true;
	}

private:
	Recorder* R;
};

// The result is `work` (where the morphological pass leaves it), or the
// source when ReturnsSource.
class RecordingAntialias : public CZePostAntialias
{
public:
	explicit RecordingAntialias(Recorder* r) : R(r) {}
	bool ReturnsSource = false;
	video::ITexture* render(video::IVideoDriver*, IZeVideoDriverExt*, IZeRenderServices*, video::ITexture* work,
		video::ITexture* source, video::ITexture* blendWork, video::ITexture* history, bool toDisplay, bool convert,
		bool reset) override
	{
		R->log("antialias " + name(source) + ">" + name(work) + " " + name(blendWork) + " " + name(history) +
			(toDisplay ? " display" : "") + (convert ? " convert" : "") + (reset ? " reset" : ""));
		return ReturnsSource ? source : work;
	}

private:
	Recorder* R;
};

class RecordingCtx : public CZeRendererCtxAdv
{
public:
	RecordingCtx(IrrlichtDevice* device, IZeManager* manager, Recorder* r)
		: CZeRendererCtxAdv(device, manager), R(r), DepthClear("depthclear", r), DownSample("downsample", r),
		  Gamma("gamma", r), LightPass(device, r), Volumetric(device, r), Chain(r), Glow(r), Dof(r), Antialias(r)
	{
	}
	bool AntialiasOn = false;

	void setPostParameters() override { R->log("post values"); }
	void resetShadowBinds() override { R->log("free shadow maps"); }
	bool isAntialiasEnabled() const override { return AntialiasOn; }
	CZeRenderLightPass* getLightPass() override { return &LightPass; }
	CZeRenderLightVolumetric* getVolumetric() override { return &Volumetric; }
	CZePostEffect* getDepthClear() override { return &DepthClear; }
	CZePostChain* getPostChain() override { return &Chain; }
	CZePostEffect* getDownSampleBlur() override { return &DownSample; }
	CZePostGlow* getGlow() override { return &Glow; }
	SZePostDof* getDof() override { return &Dof; }
	CZePostEffect* getGamma() override { return &Gamma; }
	CZePostAntialias* getAntialias() override { return &Antialias; }

	Recorder* R;
	RecordingPost DepthClear, DownSample, Gamma;
	RecordingLightPass LightPass;
	RecordingVolumetric Volumetric;
	RecordingChain Chain;
	RecordingGlow Glow;
	RecordingDof Dof;
	RecordingAntialias Antialias;
};


// The NULL driver, the log captured into g_lines and the recording engine
// manager; a derived fixture lets go of what it holds before TearDown.
class RecordingFixture : public ::testing::Test
{
protected:
	void SetUp() override
	{
		SIrrlichtCreationParameters params;
		params.DriverType = video::EDT_NULL;
		params.LoggingLevel = ELL_NONE;
		Device = createDeviceEx(params);
		ASSERT_TRUE(Device);
		Driver = Device->getVideoDriver();
		g_lines.clear();
		zeSetLogSink([](const char* line) { g_lines.push_back(line); });
		Manager = std::make_unique<FakeManager>(Device, &R);
	}
	void TearDown() override
	{
		Manager.reset();
		zeSetLogSink(nullptr);
		if (Device)
			Device->drop();
		EXPECT_EQ(FakeEffectManager::Alive, 0);
	}

	Recorder R;
	IrrlichtDevice* Device = nullptr;
	video::IVideoDriver* Driver = nullptr;
	std::unique_ptr<FakeManager> Manager;
};

// Every target the context and the light pre-pass renderer look up.
inline const char* const TARGETS[] = {"BackRTT[0]", "BackRTT[1]", "BackRTT[2]", "BackRTT[3]", "DepthRTT", "NormalRTT",
	"LightRTT", "HalfScreen[0]", "HalfScreen[1]", "HalfScreen[2]", "QuarterScreen[0]", "QuarterScreen[1]",
	"EighthScreen[0]", "EighthScreen[1]", "SixTeenthScreen[0]", "SixTeenthScreen[1]", "ThirtyTwothScreen[0]",
	"ThirtyTwothScreen[1]", "SixtyFourthScreen[0]", "SixtyFourthScreen[1]", "ShadowMap.256", "ShadowMap.512",
	"ShadowMap.512.1", "ShadowMap.1024"};
} // namespace zerec
