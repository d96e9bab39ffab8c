// The engine's material effects (data/shaders/Lpp.hlsl, Forward.hlsl and
// their LwSurface.hlsl) built through the translator with the macros
// LightWave surfaces produce: each alone, every compatible one together and
// a fixed set of pairs, each with and without the renderer's USE_OUTDEPTH;
// the texture samplers' layers; the depth-clear pass.
#include "ZeRenderTestUtil.h"

#include "frame/ZeTestDisplay.h"

#include <map>
#include <set>

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

// The macros of LightWave surfaces, in their order.
const char* const SURFACE_MACROS[] = {"USE_TEX_COLOR", "USE_TEX_LUMINOSITY", "USE_TEX_DIFFUSE", "USE_TEX_SPECULAR",
	"USE_TEX_GLOSSINESS", "USE_TEX_REFLECIMG", "USE_TEX_REFLECTIVITY", "USE_TEX_TRANSPARENCY", "USE_TEX_TRANSLUCENCY",
	"USE_TEX_NORMAL", "USE_TRANSPARENT", "USE_TRANSLUCENCY", "USE_TEX_REFLECCUBE", "USE_COMPTANGENT", "USE_UV2",
	"USE_UV2INTEX2", "USE_UV2_TEX_COLOR", "USE_UV2_TEX_LUMINOSITY", "USE_UV2_TEX_DIFFUSE", "USE_UV2_TEX_SPECULAR",
	"USE_UV2_TEX_GLOSSINESS", "USE_UV2_TEX_REFLECTIVITY", "USE_UV2_TEX_TRANSPARENCY", "USE_UV2_TEX_TRANSLUCENCY",
	"USE_UV2_TEX_NORMAL", "USE_CUBEMAPAABB", "USE_NODECUBEMAP"};

using Macros = std::vector<std::string>;

// What a surface emits with a macro: the macros its condition implies.
Macros withImplied(Macros macros)
{
	auto has = [&](const char* m) { return std::find(macros.begin(), macros.end(), m) != macros.end(); };
	auto add = [&](const char* m) {
		if (!has(m))
			macros.push_back(m);
	};
	if (has("USE_CUBEMAPAABB"))
		add("USE_NODECUBEMAP");
	if (has("USE_TEX_REFLECTIVITY") || has("USE_TEX_REFLECCUBE") || has("USE_NODECUBEMAP"))
		add("USE_TEX_REFLECIMG");
	if (has("USE_COMPTANGENT"))
		add("USE_TEX_NORMAL");
	if (has("USE_UV2INTEX2"))
		add("USE_UV2");
	if (has("USE_TEX_TRANSPARENCY"))
		add("USE_TRANSPARENT");
	if (has("USE_TEX_TRANSLUCENCY"))
		add("USE_TRANSLUCENCY");
	return macros;
}

class LppEffects : public RenderGL
{
protected:
	// Builds the file with the macros (and USE_OUTDEPTH when asked); the effect, or null with the reason.
	IZeEffect* build(const char* file, const Macros& macros, bool outDepth, std::string* why)
	{
		std::vector<SZeMacro> list;
		for (const std::string& m : macros)
			list.push_back({m.c_str(), nullptr});
		if (outDepth)
			list.push_back({"USE_OUTDEPTH", nullptr});
		list.push_back({nullptr, nullptr});
		IZeEffectManager* effects = Manager->getEffectManager();
		IZeEffect* effect = effects->createEffect(zeFindDataFile(file), -1, list.data(), nullptr);
		if (!effect && why)
			*why = effects->getLastError();
		if (effect)
			Effects.push_back(effect);
		return effect;
	}

	// Both files, with and without USE_OUTDEPTH, build with the macros and
	// have their three techniques; the solid and forward passes write two
	// targets exactly with USE_OUTDEPTH.
	void expectBuilds(const Macros& macros)
	{
		std::string text;
		for (const std::string& m : macros)
			text += m + " ";
		for (const char* file : {"Lpp.hlsl", "Forward.hlsl"})
			for (bool outDepth : {false, true})
			{
				std::string why;
				IZeEffect* effect = build(file, macros, outDepth, &why);
				ASSERT_TRUE(effect) << file << " with " << text << (outDepth ? "USE_OUTDEPTH" : "") << ": " << why;
				EXPECT_EQ(effect->getTechniqueIndex("depth"), 1) << file << " " << text;
				EXPECT_EQ(effect->getTechniqueIndex("shadow"), 2) << file << " " << text;
				EXPECT_EQ(effect->getPass(0, 0)->Targets, outDepth ? 2u : 1u) << file << " " << text;
				EXPECT_EQ(effect->getPass(1, 0)->Targets, 2u) << file << " " << text;
			}
		// Drop the effects as we go: hundreds of programs would outlive the test otherwise.
		for (IZeEffect* e : Effects)
			e->drop();
		Effects.clear();
	}

	// The layer of each LW_Tex_ sampler of an effect, by name.
	static std::map<std::string, s32> samplerLayers(IZeEffect* effect)
	{
		std::map<std::string, s32> layers;
		for (u32 i = 0; i < effect->getParameterCount(); ++i)
		{
			const SZeFxParameter* p = effect->getParameter(i);
			if (p->Type == EZEFPT_SAMPLER && p->Name.find("LW_Tex_") == 0)
				layers[p->Name.c_str()] = p->Layer;
		}
		return layers;
	}
};
} // namespace

TEST_F(LppEffects, EverySurfaceMacroBuildsAloneInBothFiles)
{
	expectBuilds({});
	for (const char* macro : SURFACE_MACROS)
	{
		SCOPED_TRACE(macro);
		expectBuilds({macro});
		expectBuilds(withImplied({macro}));
	}
}

TEST_F(LppEffects, AllCompatibleMacrosTogetherAndAFixedSetOfPairsBuild)
{
	// Everything but the computed tangents, which exclude the tangent mesh's
	// second set; then everything with them instead.
	Macros all;
	for (const char* macro : SURFACE_MACROS)
		if (std::string(macro) != "USE_COMPTANGENT")
			all.push_back(macro);
	expectBuilds(all);
	Macros computed;
	for (const char* macro : SURFACE_MACROS)
		if (std::string(macro) != "USE_UV2INTEX2")
			computed.push_back(macro);
	expectBuilds(computed);
	// A 2D reflection image with the node's box, without the cube macro.
	Macros latLong = all;
	latLong.erase(std::find(latLong.begin(), latLong.end(), "USE_TEX_REFLECCUBE"));
	expectBuilds(latLong);

	const std::vector<Macros> pairs = {{"USE_TEX_NORMAL", "USE_COMPTANGENT"}, {"USE_TEX_NORMAL", "USE_UV2INTEX2"},
		{"USE_TEX_NORMAL", "USE_UV2_TEX_NORMAL"}, {"USE_TEX_COLOR", "USE_UV2_TEX_COLOR"},
		{"USE_TEX_REFLECIMG", "USE_TEX_REFLECCUBE"}, {"USE_TEX_REFLECIMG", "USE_TEX_REFLECTIVITY"},
		{"USE_NODECUBEMAP", "USE_CUBEMAPAABB"}, {"USE_TEX_REFLECIMG", "USE_NODECUBEMAP"},
		{"USE_TEX_TRANSPARENCY", "USE_TRANSPARENT"}, {"USE_TEX_TRANSLUCENCY", "USE_TRANSLUCENCY"},
		{"USE_TEX_SPECULAR", "USE_TEX_GLOSSINESS"}, {"USE_UV2", "USE_UV2_TEX_SPECULAR"},
		{"USE_TEX_LUMINOSITY", "USE_UV2_TEX_LUMINOSITY"}, {"USE_TEX_DIFFUSE", "USE_UV2_TEX_DIFFUSE"},
		{"USE_TEX_REFLECTIVITY", "USE_UV2_TEX_REFLECTIVITY"}, {"USE_TEX_TRANSPARENCY", "USE_UV2_TEX_TRANSPARENCY"},
		{"USE_TEX_TRANSLUCENCY", "USE_UV2_TEX_TRANSLUCENCY"}, {"USE_TEX_GLOSSINESS", "USE_UV2_TEX_GLOSSINESS"},
		{"USE_COMPTANGENT", "USE_UV2"}, {"USE_TRANSPARENT", "USE_TEX_COLOR"}};
	for (const Macros& pair : pairs)
	{
		SCOPED_TRACE(pair[0] + " " + pair[1]);
		expectBuilds(withImplied(pair));
	}
}

// The surface binds its textures into the layers the samplers read: each
// texture its own layer, the first eight in the documented order.
TEST_F(LppEffects, TextureSamplersTakeTheNextFreeLayersAndOnlyEight)
{
	IZeEffect* some = build("Lpp.hlsl", {"USE_TEX_COLOR", "USE_TEX_GLOSSINESS", "USE_TEX_DIFFUSE"}, false, nullptr);
	ASSERT_TRUE(some);
	EXPECT_EQ(samplerLayers(some),
		(std::map<std::string, s32>{{"LW_Tex_BaseColor", 0}, {"LW_Tex_Glossiness", 1}, {"LW_Tex_Diffuse", 2}}));

	Macros every = withImplied({"USE_TEX_COLOR", "USE_TEX_LUMINOSITY", "USE_TEX_DIFFUSE", "USE_TEX_SPECULAR",
		"USE_TEX_GLOSSINESS", "USE_TEX_REFLECTIVITY", "USE_TEX_TRANSPARENCY", "USE_TEX_TRANSLUCENCY", "USE_TEX_NORMAL",
		"USE_TEX_REFLECCUBE"});
	for (const char* file : {"Lpp.hlsl", "Forward.hlsl"})
	{
		IZeEffect* all = build(file, every, true, nullptr);
		ASSERT_TRUE(all) << file;
		const std::map<std::string, s32> layers = samplerLayers(all);
		EXPECT_EQ(layers, (std::map<std::string, s32>{{"LW_Tex_BaseColor", 0}, {"LW_Tex_Bump", 1},
			{"LW_Tex_Specularity", 2}, {"LW_Tex_Glossiness", 3}, {"LW_Tex_ReflectionImage", 4},
			{"LW_Tex_Transparency", 5}, {"LW_Tex_Luminosity", 6}, {"LW_Tex_Diffuse", 7}})) << file;
		EXPECT_EQ(all->getSamplerKind(all->getParameterByName("LW_Tex_ReflectionImage")), EZESK_CUBE);
	}
}
