// zelv-surface-bench: the cost of binding a LightWave surface's textures to
// an effect, as every material of every object does when its effect is set
// or its surface changes.
//
// An effect of 40 parameters reads eight of the surface's channels (layers 0
// to 7, one a cube); the surface has a texture on every textured channel.
// Times setEffectTextures (into the effect's samplers) and
// setEffectTextureOnMaterial (into a material's layers).
//
// Usage: xvfb-run -a zelv-surface-bench [Google Benchmark options]
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffect.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"
#include "render/IZeSurfaceLightwave.h"
#include "render/ZeRenderFactories.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace irr;

namespace
{
// Eight channel samplers on layers 0-7 and 32 numbers, as a lit surface shader has.
const char* const EFFECT = R"(//ZELV_PP: sampler 2D LW_Tex_BaseColor layer=0
//ZELV_PP: sampler 2D LW_Tex_Bump layer=1
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=2
//ZELV_PP: sampler 2D LW_Tex_Specularity layer=3
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=4
//ZELV_PP: sampler 2D LW_Tex_Glossiness layer=5
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=6
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=7
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMain
//ZELV_PP: pixel psMain

float4x4 WorldViewProj;
float4x4 World;
float4 LightPos[8];
float4 LightColour[8];
float4 Params[12];
sampler2D LW_Tex_BaseColor;
sampler2D LW_Tex_Bump;
samplerCUBE LW_Tex_ReflectionImage;
sampler2D LW_Tex_Specularity;
sampler2D LW_Tex_Luminosity;
sampler2D LW_Tex_Glossiness;
sampler2D LW_Tex_Transparency;
sampler2D LW_Tex_Diffuse;

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
	float3 World : TEXCOORD1;
};

VsOut vsMain(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.World = mul(pos, World).xyz;
	o.Uv = uv;
	return o;
}

float4 psMain(VsOut i) : COLOR
{
	float4 c = tex2D(LW_Tex_BaseColor, i.Uv) * tex2D(LW_Tex_Diffuse, i.Uv) + tex2D(LW_Tex_Luminosity, i.Uv);
	for (int l = 0; l < 8; ++l)
		c.rgb += LightColour[l].rgb / (1 + length(LightPos[l].xyz - i.World)) * tex2D(LW_Tex_Specularity, i.Uv).r;
	c.rgb += texCUBE(LW_Tex_ReflectionImage, i.World).rgb * tex2D(LW_Tex_Glossiness, i.Uv).r;
	c.a = tex2D(LW_Tex_Transparency, i.Uv).a + tex2D(LW_Tex_Bump, i.Uv).a;
	for (int p = 0; p < 12; ++p)
		c += Params[p] * 0.001;
	return c;
}
)";

IZeEffect* g_effect = nullptr;
IZeSurfaceLightwave* g_surface = nullptr;

void BM_SetEffectTextures(benchmark::State& state)
{
	for (auto _ : state)
		benchmark::DoNotOptimize(g_surface->setEffectTextures(g_effect));
}
BENCHMARK(BM_SetEffectTextures);

void BM_SetEffectTextureOnMaterial(benchmark::State& state)
{
	video::SMaterial material;
	for (auto _ : state)
		benchmark::DoNotOptimize(g_surface->setEffectTextureOnMaterial(material, g_effect, 0, 0));
}
BENCHMARK(BM_SetEffectTextureOnMaterial);

// The engine on a small window, the effect and a surface with every textured channel set.
bool setUp(const std::string& folder)
{
	zeInstallEngineCore();
	zeRegisterRenderFactories();
	zeFileSetCurrentDir(ZELV_DATA_DIR);  // the engine's own shaders
	SZeSetupParams p;
	zeInitSetupParams(&p);
	p.windowed = 1;
	p.width = 64;
	p.height = 48;
	p.vsync = p.antialias = p.lightPrePass = 0;
	p.dataPrefix = folder.c_str();
	if (zeSetup(&p) != 0)
	{
		std::fprintf(stderr, "zelv-surface-bench: set-up failed: %s\n", zeGetEngineInitError());
		return false;
	}
	const std::string file = folder + "/surface.hlsl";
	std::ofstream(file) << EFFECT;
	IZeManager* manager = zeGetManager();
	g_effect = manager->getEffectManager()->createEffect(file.c_str(), -1, nullptr, nullptr);
	g_surface = static_cast<IZeSurfaceLightwave*>(manager->getSurfaceManager()->createSurfaceByType(ZE_SURFACE_LIGHTWAVE));
	if (!g_effect || !g_surface)
	{
		std::fprintf(stderr, "zelv-surface-bench: %s\n", manager->getEffectManager()->getLastError());
		return false;
	}
	video::IVideoDriver* driver = zeGetContext()->driver;
	const u32 textured[] = {EZELW_BASE_COLOR, EZELW_LUMINOSITY, EZELW_DIFFUSE, EZELW_SPECULARITY, EZELW_REFLECTIVITY,
		EZELW_TRANSPARENCY, EZELW_TRANSLUCENCY, EZELW_IOR, EZELW_BUMP, EZELW_GLOSSINESS, EZELW_REFRACTION_IMAGE};
	for (u32 channel : textured)
		g_surface->setParamTexture(channel,
			driver->addTexture(core::dimension2du(4, 4), getLightwaveChannelName(channel)));
	ze::ITextureCUBE* cube = ze::createTextureCUBE(driver, "Reflection", 4, ze::ECF_A8R8G8B8, false);
	g_surface->setParamTexture(EZELW_REFLECTION_IMAGE, cube);
	if (cube)
		cube->drop();  // the registry keeps it
	if (!g_surface->setEffectTextures(g_effect))
	{
		std::fprintf(stderr, "zelv-surface-bench: the surface's textures do not bind\n");
		return false;
	}
	return true;
}
} // namespace

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	char pattern[] = "/tmp/zelv-surface-bench-XXXXXX";
	if (!mkdtemp(pattern))
		return 1;
	const std::string folder = pattern;
	const bool ready = setUp(folder);
	if (ready)
		benchmark::RunSpecifiedBenchmarks();
	if (g_surface)
		g_surface->drop();
	if (g_effect)
		g_effect->drop();
	zeTerm();
	zeFileSetCurrentDir("");
	std::error_code ignored;
	std::filesystem::remove_all(folder, ignored);
	return ready ? 0 : 1;
}
