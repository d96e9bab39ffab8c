// Shader and surface descriptions evaluated at keys, the effect that applies to
// each surface, and the comparisons a reload relies on.
#include "scene/ZeShaderDesc.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
using DescPtr = std::unique_ptr<SZeSceneDesc, decltype(&zeSceneDescFree)>;

DescPtr fromText(const std::string& text)
{
	return DescPtr(zeSceneDescFromDocument(ZF_LoadMemory(text.data(), text.size())), zeSceneDescFree);
}

std::string str(const char* text)
{
	return text ? text : "(null)";
}

void expect3(const float* v, float x, float y, float z)
{
	EXPECT_NEAR(v[0], x, 1e-5f);
	EXPECT_NEAR(v[1], y, 1e-5f);
	EXPECT_NEAR(v[2], z, 1e-5f);
}

// A scene whose one mesh holds the given surface groups.
std::string meshScene(const std::string& surfaces)
{
	return "{ Scene\n{ SceneObjects\n{ M\nSTR filename m\n{ Surfaces\n" + surfaces + "}\n}\n}\n}\n";
}

std::string surface(const char* name, int apply, const char* effectFile)
{
	std::string text = std::string("{ ") + name + "\nSTR name " + name + "\n";
	if (apply >= 0)
	{
		text += "{ Shader\nI4 applyToSurface " + std::to_string(apply) + "\n";
		if (effectFile)
			text += std::string("{ Effect\nSTR filename ") + effectFile + "\n}\n";
		text += "}\n";
	}
	return text + "}\n";
}

// The effect file each surface of the scene's first mesh gets ("-" for none).
std::vector<std::string> appliedEffects(const SZeSceneDesc* desc)
{
	std::vector<SZeSurfaceDesc> out(NOF_SURFACE_MAX);
	const int n = zeSceneObjectSurfacesAt(out.data(), NOF_SURFACE_MAX, &desc->meshes[0], 0.0f);
	std::vector<std::string> files;
	for (int i = 0; i < n; ++i)
		files.push_back(out[i].hasEffect ? str(out[i].effect.filename) : "-");
	return files;
}

// A scene with one camera effect whose "Effect" group holds `body`.
DescPtr postProcScene(const std::string& body)
{
	return fromText("{ Scene\n{ ZelvPostProcs\n{ P\n{ Effect\n" + body + "}\n}\n}\n}\n");
}

const std::string EFFECT_FILE = "STR filename a.hlsl\n";
const std::string EFFECT_FLAGS = "STR cflags X=1\n";
const std::string PARAM_F = "{ F\nFP value 1\n}\n";
const std::string PARAM_V = "{ V\nFP value 1 2 3\n}\n";
const std::string PARAM_T = "{ T\nSTR value t.png\nI4 img_colorspace 1\nI4 img_reference 0\n}\n";

std::string effectBody(const std::string& file, const std::string& flags, const std::string& params)
{
	return file + flags + "{ Parameters\n" + params + "}\n";
}

class FullSceneShaders : public ::testing::Test
{
protected:
	void SetUp() override
	{
		const std::string path = std::string(ZELV_SOURCE_DIR) + "/samples/scenes/full.zelv";
		desc.reset(zeSceneDescLoad(path.c_str()));
		ASSERT_NE(desc, nullptr);
	}
	DescPtr desc{ nullptr, zeSceneDescFree };
};
} // namespace

TEST_F(FullSceneShaders, EffectParametersAtKeys)
{
	const SZeEffectRecord& rim = desc->meshes[1].surfaces[0].effect;
	// RimColor [DAT 2 1 0; RUN 2 0.5; DAT 2 0 1], RimPower DAT 3 1 2 4.
	const struct { float key; float color[3]; float power; } cases[] = {
		{ -2.0f, { 1.0f, 0.5f, 0.0f }, 1.0f }, { 0.0f, { 1.0f, 0.5f, 0.0f }, 1.0f },
		{ 0.5f, { 0.5f, 0.5f, 0.5f }, 1.5f }, { 1.5f, { 0.0f, 0.5f, 1.0f }, 3.0f },
		{ 10.0f, { 0.0f, 0.5f, 1.0f }, 4.0f } };
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.key);
		SZeShaderDesc sd;
		zeSceneShaderDescAt(&sd, &rim, c.key);
		EXPECT_EQ(str(sd.filename), "shadersSURF/ball.hlsl");
		EXPECT_EQ(str(sd.cflags), "USE_RIM=1 RIM_POWER=2");
		EXPECT_EQ(sd.reserved[0] | sd.reserved[1], 0);
		ASSERT_EQ(sd.paramCount, 8);
		EXPECT_EQ(str(sd.params[0].name), "RimColor");
		EXPECT_EQ(sd.params[0].kind, EZSVK_VECTOR);
		expect3(sd.params[0].value, c.color[0], c.color[1], c.color[2]);
		EXPECT_EQ(sd.params[1].kind, EZSVK_FLOAT);
		EXPECT_FLOAT_EQ(sd.params[1].value[0], c.power);
		EXPECT_EQ(sd.params[2].kind, EZSVK_INT);
		EXPECT_EQ(sd.params[2].intValue, 3);
		EXPECT_EQ(sd.params[3].kind, EZSVK_STRING);
		EXPECT_EQ(str(sd.params[3].text), "images/rim.png");
		EXPECT_EQ(sd.params[3].colorSpace, 1);
		EXPECT_EQ(sd.params[3].reference, 0);
		expect3(sd.params[4].value, 0.1f, 0.2f, 0.3f);
		EXPECT_FLOAT_EQ(sd.params[5].value[0], -0.2f);
		EXPECT_EQ(str(sd.params[6].text), "LightRTT");
		EXPECT_EQ(sd.params[6].reference, 1);
		EXPECT_EQ(sd.params[7].intValue, -2);  // U4 4294967294, copied as it is
	}
	SZeShaderDesc tint;
	zeSceneEffectShaderDescAt(&tint, desc.get(), 1, 0.5f);
	EXPECT_EQ(str(tint.filename), "shadersPP/tint.hlsl");
	expect3(tint.params[0].value, 0.75f, 0.9f, 0.8f);
	zeSceneEffectShaderDescAt(&tint, desc.get(), 3, 0.5f);
	EXPECT_EQ(tint.filename, nullptr);
	EXPECT_EQ(tint.paramCount, 0);
}

TEST_F(FullSceneShaders, BallSurfacesAtKeys)
{
	// The kinds the sample's Ball_Red channels are written with.
	std::vector<int> kinds(EZSC_COUNT, EZSVK_FLOAT);
	kinds[EZSC_BASE_COLOR] = kinds[EZSC_LINE_COLOR] = EZSVK_VECTOR;
	for (int c = EZSC_ALPHA_OPTIONS; c <= EZSC_RENDER_OUTLINES; ++c)
		kinds[c] = EZSVK_INT;
	kinds[EZSC_REFLECTION_IMAGE] = EZSVK_STRING;
	kinds[EZSC_REFRACTION_IMAGE] = EZSVK_NONE;
	kinds[EZSC_VERTEX_COLORING] = kinds[EZSC_VERTEX_NORMAL] = EZSVK_INT;

	// BaseColor [DAT 2 0.8 0.4; RUN 2 0.1; DAT 2 0.1 0.3], Luminosity DAT 3 0 0.5 0.25.
	const struct { float key; float color[3]; float luminosity; float power; } cases[] = {
		{ 0.0f, { 0.8f, 0.1f, 0.1f }, 0.0f, 1.0f }, { 0.5f, { 0.6f, 0.1f, 0.2f }, 0.25f, 1.5f },
		{ 1.5f, { 0.4f, 0.1f, 0.3f }, 0.375f, 3.0f }, { 20.0f, { 0.4f, 0.1f, 0.3f }, 0.25f, 4.0f } };
	std::vector<SZeSurfaceDesc> out(NOF_SURFACE_MAX);
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.key);
		ASSERT_EQ(zeSceneObjectSurfacesAt(out.data(), NOF_SURFACE_MAX, &desc->meshes[1], c.key), 3);
		const SZeSurfaceDesc& red = out[0];
		EXPECT_EQ(str(red.name), "Ball_Red");
		for (int ch = 0; ch < EZSC_COUNT; ++ch)
			EXPECT_EQ(red.channels[ch].kind, kinds[ch]) << zeSceneSurfaceChannelName(ch);
		expect3(red.channels[EZSC_BASE_COLOR].value, c.color[0], c.color[1], c.color[2]);
		EXPECT_EQ(str(red.channels[EZSC_BASE_COLOR].imgFilename), "images/ball_red.png");
		EXPECT_EQ(red.channels[EZSC_BASE_COLOR].imgColorSpace, 1);
		EXPECT_EQ(red.channels[EZSC_BASE_COLOR].imgMipmap, 1);
		EXPECT_FLOAT_EQ(red.channels[EZSC_LUMINOSITY].value[0], c.luminosity);
		EXPECT_FLOAT_EQ(red.channels[EZSC_BUMP].value[0], 0.75f);
		EXPECT_EQ(red.channels[EZSC_BUMP].imgMipmap, 0);
		EXPECT_EQ(red.channels[EZSC_SIDEDNESS].intValue, 1);
		EXPECT_EQ(red.channels[EZSC_VERTEX_NORMAL].intValue, 1);
		EXPECT_EQ(str(red.channels[EZSC_REFLECTION_IMAGE].text), "images/sky_env.png");
		EXPECT_EQ(red.channels[EZSC_REFRACTION_IMAGE].imgMipmap, 1);
		ASSERT_EQ(red.hasEffect, 1);
		EXPECT_FLOAT_EQ(red.effect.params[1].value[0], c.power);
		// The eyes have no effect of their own and take Ball_Red's default one.
		ASSERT_EQ(out[1].hasEffect, 1);
		EXPECT_EQ(str(out[1].effect.filename), "shadersSURF/ball.hlsl");
		EXPECT_FLOAT_EQ(out[1].effect.params[1].value[0], c.power);
		EXPECT_EQ(out[1].channels[EZSC_BASE_COLOR].kind, EZSVK_VECTOR);
		EXPECT_EQ(out[1].channels[EZSC_DIFFUSE].kind, EZSVK_NONE);
		// The glass takes none ("applyToSurface" 3).
		EXPECT_EQ(out[2].hasEffect, 0);
		EXPECT_EQ(out[2].effect.filename, nullptr);
		EXPECT_EQ(out[2].effect.paramCount, 0);
	}
	EXPECT_EQ(zeSceneObjectSurfacesAt(out.data(), 2, &desc->meshes[1], 0.0f), 2);
	EXPECT_EQ(zeSceneObjectSurfacesAt(out.data(), 0, &desc->meshes[1], 0.0f), 0);
	// The floor takes none and is drawn by the engine's lights; the edge keeps its own.
	const std::vector<std::string> floor = appliedEffects(desc.get());
	EXPECT_EQ(floor, (std::vector<std::string>{ "-", "shadersSURF/edge.hlsl" }));
}

TEST(SurfaceEffects, ForcedDefaultOwnAndNone)
{
	DescPtr forced = fromText(meshScene(surface("A", 2, "f.hlsl") + surface("B", 3, "own.hlsl")
		+ surface("C", 0, nullptr) + surface("D", 1, "d.hlsl") + surface("E", 2, nullptr)));
	ASSERT_NE(forced, nullptr);
	EXPECT_EQ(appliedEffects(forced.get()),
		(std::vector<std::string>{ "f.hlsl", "-", "f.hlsl", "f.hlsl", "f.hlsl" }));

	DescPtr byDefault = fromText(meshScene(surface("A", 1, "d.hlsl") + surface("B", -1, nullptr)
		+ surface("C", 0, "own.hlsl") + surface("D", 3, nullptr)));
	ASSERT_NE(byDefault, nullptr);
	EXPECT_EQ(appliedEffects(byDefault.get()),
		(std::vector<std::string>{ "d.hlsl", "d.hlsl", "own.hlsl", "-" }));

	DescPtr plain = fromText(meshScene(surface("A", 0, nullptr) + surface("B", 1, nullptr)));
	ASSERT_NE(plain, nullptr);
	EXPECT_EQ(appliedEffects(plain.get()), (std::vector<std::string>{ "-", "-" }));
}

TEST(ShaderDesc, ParameterLimitAndKinds)
{
	std::string params;
	for (int i = 0; i < 31; ++i)
		params += "{ P" + std::to_string(i) + "\nFP value " + std::to_string(i) + "\n}\n";
	DescPtr many = postProcScene(effectBody(EFFECT_FILE, "", params));
	ASSERT_NE(many, nullptr);
	EXPECT_EQ(many->postProcs[0].effect.paramCount, 31);
	SZeShaderDesc sd;
	zeSceneShaderDescAt(&sd, &many->postProcs[0].effect, 0.0f);
	EXPECT_EQ(sd.paramCount, 30);
	EXPECT_EQ(str(sd.params[29].name), "P29");
	EXPECT_FLOAT_EQ(sd.params[29].value[0], 29.0f);
	EXPECT_EQ(sd.cflags, nullptr);

	DescPtr shapes = postProcScene(effectBody(EFFECT_FILE, "", "{ A\nFP value 1 2\n}\n"
		"{ B\nFP_C value [\nRUN 2 1\nRUN 2 2\n]\n}\n{ C\nU4 value 7\n}\n{ D\nFP value 1 2 3 4\n}\n"
		"{ E\n}\n{ F\nU4 value 4294967295\n}\n"));
	ASSERT_NE(shapes, nullptr);
	zeSceneShaderDescAt(&sd, &shapes->postProcs[0].effect, 0.0f);
	EXPECT_EQ(sd.params[0].kind, EZSVK_FLOAT);  // two floats: the first
	EXPECT_FLOAT_EQ(sd.params[0].value[0], 1.0f);
	EXPECT_EQ(sd.params[1].kind, EZSVK_VECTOR);  // any array
	EXPECT_EQ(sd.params[2].kind, EZSVK_INT);
	EXPECT_EQ(sd.params[2].intValue, 7);
	EXPECT_EQ(sd.params[3].kind, EZSVK_FLOAT);
	EXPECT_EQ(str(sd.params[4].name), "E");  // no value: kept, with no kind
	EXPECT_EQ(sd.params[4].kind, EZSVK_NONE);
	EXPECT_EQ(sd.params[5].intValue, -1);  // copied as it is
	zeSceneShaderDescAt(&sd, nullptr, 0.0f);
	EXPECT_EQ(sd.filename, nullptr);
}

TEST(ShaderDescCompare, EffectRecordsAndEntries)
{
	const std::string base = effectBody(EFFECT_FILE, EFFECT_FLAGS, PARAM_F + PARAM_V + PARAM_T);
	DescPtr a = postProcScene(base);
	ASSERT_NE(a, nullptr);
	const SZeEffectRecord* ra = &a->postProcs[0].effect;
	EXPECT_FALSE(zeSceneEffectRecordsDiffer(nullptr, nullptr));
	EXPECT_TRUE(zeSceneEffectRecordsDiffer(ra, nullptr));
	EXPECT_TRUE(zeSceneEffectRecordsDiffer(nullptr, ra));
	EXPECT_TRUE(zeSceneEffectEntriesDiffer(nullptr, ra));

	// {edited effect, records differ, entries differ}
	const struct { std::string body; bool records; bool entries; } cases[] = {
		{ base, false, false },
		{ effectBody(EFFECT_FILE, EFFECT_FLAGS, "{ F\nFP value 2\n}\n" + PARAM_V + PARAM_T), false, false },
		{ effectBody(EFFECT_FILE, EFFECT_FLAGS, PARAM_F + "{ V\nFP value 3 2 1\n}\n" + PARAM_T), false, false },
		{ effectBody(EFFECT_FILE, EFFECT_FLAGS, PARAM_F + PARAM_V
			+ "{ T\nSTR value u.png\nI4 img_colorspace 1\n}\n"), true, true },
		{ effectBody(EFFECT_FILE, EFFECT_FLAGS, PARAM_F + PARAM_V
			+ "{ T\nSTR value t.png\nI4 img_colorspace 0\n}\n"), true, true },
		{ effectBody(EFFECT_FILE, EFFECT_FLAGS, PARAM_F + PARAM_V
			+ "{ T\nSTR value t.png\nI4 img_colorspace 1\nI4 img_reference 1\n}\n"), false, true },
		{ effectBody(EFFECT_FILE, "STR cflags X=2\n", PARAM_F + PARAM_V + PARAM_T), false, true },
		{ effectBody("STR filename b.hlsl\n", EFFECT_FLAGS, PARAM_F + PARAM_V + PARAM_T), true, true },
		{ effectBody(EFFECT_FILE, EFFECT_FLAGS, "{ F\nI4 value 1\n}\n" + PARAM_V + PARAM_T), true, true },
		{ effectBody(EFFECT_FILE, EFFECT_FLAGS, PARAM_F + PARAM_V), true, true },
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.body);
		DescPtr b = postProcScene(c.body);
		ASSERT_NE(b, nullptr);
		const SZeEffectRecord* rb = &b->postProcs[0].effect;
		EXPECT_EQ(zeSceneEffectRecordsDiffer(ra, rb), c.records);
		EXPECT_EQ(zeSceneEffectRecordsDiffer(rb, ra), c.records);
		EXPECT_EQ(zeSceneEffectEntriesDiffer(ra, rb), c.entries);
	}
}

TEST(ShaderDescCompare, CommandLists)
{
	const auto scene = [](const std::string& input, const std::string& kind, const std::string& params) {
		return fromText("{ Scene\n{ ZelvRenderCommands\n{ Commands\n{ C\nSTR name c\nSTR cmd " + kind
			+ "\n{ Inputs\n{ I\nSTR name s0\nSTR value " + input + "\n}\n}\n{ Parameters\n" + params
			+ "}\n}\n}\n}\n}\n");
	};
	const std::string time = "{ P\nSTR name StartTime\nFP value 1\n}\n";
	const std::string effect = "{ Q\nSTR name Shader\n{ Effect\nSTR filename e.hlsl\n}\n}\n";
	DescPtr a = scene("A[]", "Shader", time + effect);
	ASSERT_NE(a, nullptr);
	EXPECT_FALSE(zeSceneCommandListsDiffer(a.get(), scene("A[]", "Shader", time + effect).get()));
	EXPECT_TRUE(zeSceneCommandListsDiffer(a.get(), scene("B[]", "Shader", time + effect).get()));
	EXPECT_TRUE(zeSceneCommandListsDiffer(a.get(), scene("A[]", "Gamma", time + effect).get()));
	EXPECT_TRUE(zeSceneCommandListsDiffer(a.get(),
		scene("A[]", "Shader", "{ P\nSTR name StartTime\nFP value 2\n}\n" + effect).get()));
	EXPECT_TRUE(zeSceneCommandListsDiffer(a.get(), scene("A[]", "Shader", time).get()));
	EXPECT_TRUE(zeSceneCommandListsDiffer(a.get(), scene("A[]", "Shader", time + effect + effect).get()));
	// Another effect file leaves the list itself equal; its table entry differs.
	DescPtr other = scene("A[]", "Shader", time + "{ Q\nSTR name Shader\n{ Effect\nSTR filename f.hlsl\n}\n}\n");
	EXPECT_FALSE(zeSceneCommandListsDiffer(a.get(), other.get()));
	EXPECT_TRUE(zeSceneEffectEntriesDiffer(&a->effects[0], &other->effects[0]));

	const std::string bare = "{ Scene\nI4 version 1\n}\n";
	DescPtr none = fromText(bare);
	DescPtr empty = fromText("{ Scene\n{ ZelvRenderCommands\n{ Commands\n}\n}\n}\n");
	ASSERT_NE(none, nullptr);
	ASSERT_NE(empty, nullptr);
	EXPECT_TRUE(zeSceneCommandListsDiffer(none.get(), empty.get()));
	EXPECT_FALSE(zeSceneCommandListsDiffer(none.get(), fromText(bare).get()));
	EXPECT_FALSE(zeSceneCommandListsDiffer(empty.get(), fromText("{ Scene\n{ ZelvRenderCommands\n{ Commands\n}\n}\n}\n").get()));
}
