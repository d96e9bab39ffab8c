// zelv-effect-bench: the cost of an effect's per-draw work (its binds
// refresh, constants upload, samplers bind and program use) through the
// default effect callback, as the material renderer runs it before a draw.
//
//   CommitSameMaterial      one material drawn again and again
//   CommitTwoMaterials      two materials with other textures, alternating
//   CommitFlippedUnbound    into a flipped render target, the program unbound
//                           between draws as when another material type draws
//   ParseIfLines/BYTES      reading an effect file of BYTES of "#if A13" lines,
//                           each replaced by 2^13 ones: refused once the file's
//                           macro budget is spent, whatever the file's size
//   TranslateDoubling/LEVELS translating a pixel shader whose macros double
//                           LEVELS times in its code: 12 levels compile, 40
//                           are refused once the stage's macro budget is spent
//
// Usage: xvfb-run -a build/bench/zelv-effect-bench [Google Benchmark options]
#include "core/IZeGpuProgramming.h"
#include "core/ZeGpuState.h"
#include "core/ZeHlslTranslator.h"
#include "effects/IZeEffectManager.h"
#include "effects/ZeEffectDef.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "frame/ZeSetup.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace irr;

namespace
{
// A surface effect of the usual size: transforms from binds, a dozen
// constants, a bone array and five samplers on library, side-record and own units.
const char* const EFFECT = R"(
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4x4 World semantic=World
//ZELV_PP: param float4 CameraPos semantic=CameraPosition
//ZELV_PP: sampler 2D BaseMap layer=0 filter=trilinear
//ZELV_PP: sampler 2D NormalMap layer=1
//ZELV_PP: sampler CUBE Sky layer=4 address=clamp
//ZELV_PP: sampler 2D Detail layer=none filter=point
//ZELV_PP: sampler 2D Ramp layer=none address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMain
//ZELV_PP: pixel psMain
float4x4 WorldViewProj; float4x4 World; float4 CameraPos;
row_major float4x3 Bones[16];
float4 Diffuse; float4 Specular; float4 Ambient; float4 Fog; float4 Params[4]; float Time; float Gloss;
sampler2D BaseMap; sampler2D NormalMap; samplerCUBE Sky; sampler2D Detail; sampler2D Ramp;
struct VsOut { float4 Pos : POSITION; float2 Uv : TEXCOORD0; float3 N : TEXCOORD1; float3 Eye : TEXCOORD2; };
VsOut vsMain(float4 pos : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0)
{
	VsOut o;
	float3 p = mul(pos, Bones[(int)(uv.x * 15)]);
	o.Pos = mul(float4(p, 1), WorldViewProj);
	o.Uv = uv;
	o.N = mul(float4(n, 0), World).xyz;
	o.Eye = CameraPos.xyz - mul(pos, World).xyz;
	return o;
}
float4 psMain(VsOut i) : COLOR
{
	float4 c = tex2D(BaseMap, i.Uv) * Diffuse + tex2D(Detail, i.Uv * 8) * Params[0] + tex2D(Ramp, float2(Time, 0.5));
	float3 n = normalize(i.N + tex2D(NormalMap, i.Uv).xyz);
	float s = pow(saturate(dot(n, normalize(i.Eye))), Gloss) * Specular.a;
	return c * Ambient + s * Specular + texCUBE(Sky, reflect(-i.Eye, n)) * Params[1] + Fog * Params[2].x + Params[3];
}
)";

struct SBench
{
	video::IVideoDriver* Driver = nullptr;
	IZeGpuProgramming* Gpu = nullptr;
	IZeEffectManager* Manager = nullptr;
	IZeEffect* Effect = nullptr;
	SZeMaterialExt Records[2];
	video::SMaterial Materials[2];
	std::string Dir;
} g;

video::ITexture* texture(const char* name, u32 rgba)
{
	video::IImage* image = g.Driver->createImage(video::ECF_A8R8G8B8, {64, 64});
	image->fill(video::SColor(rgba));
	video::ITexture* t = g.Driver->addTexture(name, image);
	image->drop();
	return t;
}

bool setUp()
{
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	params.width = 64;
	params.height = 64;
	params.vsync = 0;
	params.antialias = 0;
	if (zeSetup(&params) != 0)
		return false;
	g.Driver = zeGetContext()->driver;
	g.Gpu = zeCreateGpuProgramming(g.Driver);
	g.Gpu->setShaderCache("", false);
	g.Manager = zeCreateEffectManager(zeGetContext()->device, g.Gpu);
	char pattern[] = "/tmp/zelv-effect-bench-XXXXXX";
	if (!mkdtemp(pattern))
		return false;
	g.Dir = pattern;
	const std::string file = g.Dir + "/surface.hlsl";
	std::ofstream(file) << EFFECT;
	g.Effect = g.Manager->createEffect(file.c_str(), -1, nullptr, nullptr);
	if (!g.Effect)
	{
		fprintf(stderr, "%s\n", g.Manager->getLastError());
		return false;
	}
	ze::ITextureCUBE* sky = ze::createTextureCUBE(g.Driver, "sky", 16, ze::ECF_A8R8G8B8, false);
	g.Effect->setSamplerTexture(g.Effect->getParameterByName("Detail"), texture("detail", 0xff808080), false);
	g.Effect->setSamplerTexture(g.Effect->getParameterByName("Ramp"), texture("ramp", 0xff404040), false);
	const u32 colours[2][2] = {{0xffff0000, 0xff8080ff}, {0xff00ff00, 0xff7f7fff}};
	for (int m = 0; m < 2; ++m)
	{
		g.Effect->getPassMaterial(0, 0, g.Materials[m]);
		g.Records[m].Effect = g.Effect;
		ze::setMaterialUserData(g.Materials[m], &g.Records[m]);
		ze::setMaterialTexture(g.Materials[m], 0, texture(m ? "base1" : "base0", colours[m][0]));
		ze::setMaterialTexture(g.Materials[m], 1, texture(m ? "normal1" : "normal0", colours[m][1]));
		ze::setMaterialTexture(g.Materials[m], 4, sky);
	}
	sky->drop();
	for (const char* name : {"Diffuse", "Specular", "Ambient", "Fog", "Time", "Gloss"})
		g.Effect->setFloatByName(name, 0.5f);
	return true;
}

void tearDown()
{
	if (g.Effect)
		g.Effect->drop();
	delete g.Manager;
	delete g.Gpu;
	ze::clearMaterialExts();
	zeTerm();
	if (!g.Dir.empty())
		std::filesystem::remove_all(g.Dir);
}

bool commit(int m)
{
	return g.Effect->getCallback()->onSetConstants(g.Effect, g.Records[m], g.Materials[m]);
}

void CommitSameMaterial(benchmark::State& state)
{
	commit(0);
	for (auto _ : state)
		benchmark::DoNotOptimize(commit(0));
	zeUnbindProgram();
}
BENCHMARK(CommitSameMaterial);

void CommitTwoMaterials(benchmark::State& state)
{
	int m = 0;
	for (auto _ : state)
		benchmark::DoNotOptimize(commit(m ^= 1));
	zeUnbindProgram();
}
BENCHMARK(CommitTwoMaterials);

void CommitFlippedUnbound(benchmark::State& state)
{
	zeSetRenderTargetFlip(true);
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(commit(0));
		zeUnbindProgram();
	}
	zeSetRenderTargetFlip(false);
}
BENCHMARK(CommitFlippedUnbound);

void ParseIfLines(benchmark::State& state)
{
	std::string text = "#define A0 1\n";
	for (int i = 1; i <= 13; ++i)
		text += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " + A" + std::to_string(i - 1) + "\n";
	while (text.size() < static_cast<size_t>(state.range(0)))
		text += "#if A13\n#endif\n";
	for (auto _ : state)
	{
		SZeFxDef def;
		core::stringc error;
		benchmark::DoNotOptimize(zeParseEffectText("ifs.hlsl", text.c_str(), nullptr, &def, &error));
	}
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ParseIfLines)->Arg(2 << 10)->Arg(32 << 10)->Arg(1 << 20);

void TranslateDoubling(benchmark::State& state)
{
	const std::string levels = std::to_string(state.range(0));
	std::string text = "#define M0 +1\n";
	for (int i = 1; i <= state.range(0); ++i)
		text += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + " M" + std::to_string(i - 1) + "\n";
	text += "float4 main() : COLOR0 { return float4(0 M" + levels + ", 0, 0, 1); }\n";
	const std::string file = (std::filesystem::temp_directory_path()
		/ ("zelv-effect-bench-" + std::to_string(getpid()) + "-" + levels + ".hlsl")).string();
	std::ofstream(file) << text;
	bool compiled = false;
	for (auto _ : state)
	{
		ze::SStageCode code;
		std::string log;
		compiled = ze::translateHlsl(file.c_str(), "main", EZESS_PIXEL, nullptr, code, log);
	}
	std::filesystem::remove(file);
	state.counters["compiled"] = compiled;
}
BENCHMARK(TranslateDoubling)->Arg(12)->Arg(40)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	zeSetLogSink([](const char*) {});
	if (!setUp())
	{
		fprintf(stderr, "zelv-effect-bench: cannot set up the engine (needs a display)\n");
		tearDown();
		return 1;
	}
	benchmark::RunSpecifiedBenchmarks();
	tearDown();
	return 0;
}
