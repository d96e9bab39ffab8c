// zelv-bench: HLSL translation against shader-cache hits.
//
// Translates N variants (macro sets) of a forward-lighting shader with a cold
// cache, then loads them again through a new cache and a new service.
// Prints the cold translation and cache-hit load times per shader (one stage)
// and their ratio; program creation, which adds GL compiling and linking to
// both paths, goes to the standard error.
//
// Usage: zelv-bench [variants]   (under a display: xvfb-run -a zelv-bench)
#include "core/IZeGpuProgramming.h"
#include "core/ZeHlslTranslator.h"
#include "core/ZeShaderCache.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{
const char* const COMMON = R"(
float3 LightPos[4];
float4 LightColour[4];
float4 Ambient;
float4 FogColourDensity;
float3 EyePos;
float SpecularPower;

float3 lambertPhong(float3 n, float3 p, float3 toEye, int i)
{
	float3 toLight = LightPos[i] - p;
	float d = length(toLight);
	toLight /= d;
	float diffuse = saturate(dot(n, toLight));
	float3 h = normalize(toLight + toEye);
	float specular = pow(saturate(dot(n, h)), SpecularPower) * (diffuse > 0);
	float falloff = 1 / (1 + 0.05 * d * d);
	return (LightColour[i].rgb * diffuse + LightColour[i].a * specular) * falloff;
}
)";

const char* const FORWARD = R"(
#include "common.hlsl"

float4x4 WorldViewProj;
float4x4 World;
row_major float4x3 Bones[24];
float4x4 ShadowMatrix;
float ShadowBias;

sampler2D DiffuseMap : register(s0);
sampler2D NormalMap : register(s1);
sampler2D ShadowMap : register(s2);
samplerCUBE Environment : register(s3);

struct VS_OUT
{
	float4 pos : POSITION;
	float2 uv : TEXCOORD0;
	float3 worldPos : TEXCOORD1;
	float3 normal : TEXCOORD2;
	float3 tangent : TEXCOORD3;
	float3 binormal : TEXCOORD4;
	float4 shadowPos : TEXCOORD5;
	float4 colour : COLOR0;
};

VS_OUT mainVS(float4 pos : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0, float4 colour : COLOR0,
	float3 t : TANGENT, float3 b : BINORMAL)
{
	VS_OUT o;
#ifdef SKINNED
	float3 skinned = mul(pos, Bones[(int)colour.a * 23]);
	pos = float4(skinned, 1);
#endif
	o.pos = mul(pos, WorldViewProj);
	float4 world = mul(pos, World);
	o.worldPos = world.xyz;
	o.normal = mul(n, (float3x3)World);
	o.tangent = mul(t, (float3x3)World);
	o.binormal = mul(b, (float3x3)World);
	o.uv = uv;
	o.shadowPos = mul(world, ShadowMatrix);
	o.colour = colour;
	return o;
}

float shadowTerm(float4 shadowPos)
{
	float2 uv = shadowPos.xy / shadowPos.w * 0.5 + 0.5;
	float depth = shadowPos.z / shadowPos.w - ShadowBias;
	float lit = 0;
	for (int y = -1; y <= 1; ++y)
		for (int x = -1; x <= 1; ++x)
			lit += tex2D(ShadowMap, uv + float2(x, y) / 1024.0).r >= depth;
	return lit / 9;
}

float4 mainPS(VS_OUT i, float face : VFACE) : COLOR0
{
	float4 albedo = tex2D(DiffuseMap, i.uv) * i.colour;
	float3 n = normalize(i.normal) * sign(face);
#ifdef NORMAL_MAP
	float3 tn = tex2D(NormalMap, i.uv).xyz * 2 - 1;
	n = normalize(tn.x * i.tangent + tn.y * i.binormal + tn.z * n);
#endif
	float3 toEye = normalize(EyePos - i.worldPos);
	float3 light = Ambient.rgb;
	for (int l = 0; l < NUM_LIGHTS; ++l)
		light += lambertPhong(n, i.worldPos, toEye, l);
#ifdef SHADOW
	light *= lerp(0.3, 1, shadowTerm(i.shadowPos));
#endif
	float3 colour = albedo.rgb * light + texCUBE(Environment, reflect(-toEye, n)).rgb * 0.1 * VARIANT_SCALE;
#ifdef FOG
	float fog = exp(-FogColourDensity.w * length(EyePos - i.worldPos));
	colour = lerp(FogColourDensity.rgb, colour, fog);
#endif
	return float4(colour, albedo.a);
}
)";

double msSince(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct SVariant
{
	std::vector<std::string> Text;  // name, value, name, value...
	std::vector<SZeMacro> Macros;
};

std::vector<SVariant> variants(int count)
{
	std::vector<SVariant> list(static_cast<size_t>(count));
	for (int i = 0; i < count; ++i)
	{
		SVariant& v = list[static_cast<size_t>(i)];
		v.Text = { "NUM_LIGHTS", std::to_string(1 + i % 4), "VARIANT_SCALE", std::to_string(1 + i) + ".0" };
		const char* flags[] = { "NORMAL_MAP", "SHADOW", "FOG", "SKINNED" };
		for (int f = 0; f < 4; ++f)
			if ((i >> (f + 2)) & 1)
				v.Text.insert(v.Text.end(), { flags[f], "1" });
		for (size_t m = 0; m < v.Text.size(); m += 2)
			v.Macros.push_back({ v.Text[m].c_str(), v.Text[m + 1].c_str() });
		v.Macros.push_back({ nullptr, nullptr });
	}
	return list;
}
} // namespace

int main(int argc, char** argv)
{
	const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 32;
	char pattern[] = "/tmp/zelv-bench-XXXXXX";
	if (!mkdtemp(pattern))
		return 1;
	const std::filesystem::path root = pattern;
	std::filesystem::create_directories(root / "shaders");
	std::ofstream(root / "shaders" / "common.hlsl") << COMMON;
	std::ofstream(root / "shaders" / "Forward.hlsl") << FORWARD;
	std::ofstream(root / "shaders" / "Warm.hlsl") << "float4 mainVS(float4 p : POSITION) : POSITION { return p; }\n"
													 "float4 mainPS() : COLOR0 { return 1; }\n";
	const std::string file = (root / "shaders" / "Forward.hlsl").string();
	const std::string cacheFolder = (root / "shadersCache").string();

	zeSetLogLevel(EZELL_WARN);
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	params.width = params.height = 64;
	params.vsync = params.antialias = 0;
	if (zeSetup(&params) != 0)
	{
		fprintf(stderr, "zelv-bench: %s\n", zeGetError(nullptr));
		return 1;
	}
	const std::vector<SVariant> list = variants(count);
	const char* entries[EZESS_COUNT] = { "mainVS", "mainPS" };
	int failures = 0;

	// The process's first translation sets the compiler up: not counted.
	ze::SStageCode warm;
	std::string log;
	ze::translateHlsl((root / "shaders" / "Warm.hlsl").string().c_str(), "mainVS", EZESS_VERTEX, nullptr, warm, log);

	// Stage loads: translation into a cold cache, then hits from a new one.
	std::filesystem::remove_all(cacheFolder);
	double coldMs = 0, hitMs = 0;
	{
		ze::CShaderCache cache;
		cache.setFolder(cacheFolder.c_str(), false);
		const auto start = std::chrono::steady_clock::now();
		for (const SVariant& v : list)
			for (int s = 0; s < EZESS_COUNT; ++s)
			{
				ze::SStageCode code;
				if (!ze::translateHlsl(file.c_str(), entries[s], static_cast<EZE_SHADER_STAGE>(s), v.Macros.data(), code, log))
				{
					fprintf(stderr, "zelv-bench: %s\n", log.c_str());
					++failures;
				}
				cache.write(code, ze::macroText(v.Macros.data()));
			}
		coldMs = msSince(start);
	}
	{
		ze::CShaderCache cache;
		cache.setFolder(cacheFolder.c_str(), true);
		const auto start = std::chrono::steady_clock::now();
		for (const SVariant& v : list)
			for (int s = 0; s < EZESS_COUNT; ++s)
			{
				ze::SStageCode code;
				std::string why;
				if (!cache.read(file, entries[s], static_cast<EZE_SHADER_STAGE>(s), ze::macroText(v.Macros.data()), code, why))
				{
					fprintf(stderr, "zelv-bench: cache miss (%s)\n", why.c_str());
					++failures;
				}
			}
		hitMs = msSince(start);
	}
	const double shaders = 2.0 * count;
	printf("cold translation: %.3f ms per shader\n", coldMs / shaders);
	printf("cache-hit load: %.3f ms per shader\n", hitMs / shaders);
	printf("ratio: %.1fx\n", coldMs / hitMs);
	fflush(stdout);

	// Whole programs through the service: both paths also compile and link GL.
	irr::video::IVideoDriver* driver = zeGetContext()->driver;
	double programMs[2] = {};
	SZeGpuStats stats[2] = {};
	std::filesystem::remove_all(cacheFolder);
	for (int pass = 0; pass < 2; ++pass)
	{
		std::unique_ptr<IZeGpuProgramming> gpu(zeCreateGpuProgramming(driver));
		gpu->setShaderCache(cacheFolder.c_str(), false);
		std::vector<IZeShaderProgram*> programs;
		const auto start = std::chrono::steady_clock::now();
		for (const SVariant& v : list)
			programs.push_back(gpu->createProgram(file.c_str(), "mainVS", "mainPS", v.Macros.data()));
		programMs[pass] = msSince(start);
		stats[pass] = gpu->getStats();
		for (IZeShaderProgram* p : programs)
		{
			failures += p == nullptr;
			if (p)
				p->drop();
		}
	}
	fprintf(stderr, "programs (two stages, GL compile and link): cold %.3f ms, cached %.3f ms per program; "
		"cached service: %u translations, %u cache hits\n",
		programMs[0] / count, programMs[1] / count, stats[1].Translations, stats[1].CacheHits);

	zeTerm();
	std::error_code ignored;
	std::filesystem::remove_all(root, ignored);
	return failures ? 1 : 0;
}
