// Renderer descriptions from a scene's command records, on the NULL driver
// with the recording effect service: parameter kinds, the missing-effect
// warning, the "Create Texture" reading, and the renderer ID freed whenever
// no renderer is made.
#include "api/ZeApiTestFixture.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeSceneRenderer.h"
#include "frame/ZeIdTable.h"
#include "scene/ZeSceneDesc.h"

#include <memory>

using namespace irr;
using namespace zetest;

namespace
{
SZeSceneCommandParam param(const char* name, s32 kind)
{
	SZeSceneCommandParam p = {};
	p.name = name;
	p.kind = kind;
	return p;
}

class SceneRenderer : public EffectApiTest
{
protected:
	void SetUp() override
	{
		EffectApiTest::SetUp();
		zeSetMessageBoxHook(captureBox);
		g_boxes.clear();
		Desc = std::make_unique<SZeSceneDesc>();
	}
	void TearDown() override
	{
		zeSetSceneRendererBuilder(nullptr);
		EffectApiTest::TearDown();
	}

	// Appends a command record of a kind with its parameters.
	void add(const char* name, const char* kind, std::initializer_list<SZeSceneCommandParam> params = {})
	{
		SZeSceneCommand& c = Desc->commands[Desc->commandCount++];
		c = SZeSceneCommand{};
		c.name = name;
		c.cmd = kind;
		for (const SZeSceneCommandParam& p : params)
			c.params[c.paramCount++] = p;
	}

	std::unique_ptr<SZeSceneDesc> Desc;
};

int g_made = 0;
class FakeRenderer : public IZeRenderer
{
public:
	bool render(video::ITexture*) override { return true; }
};
IZeRenderer* makeFake(const SZeSceneDesc*, int)
{
	++g_made;
	return new FakeRenderer;
}
bool noTextures(const SZeSceneDesc*)
{
	return false;
}
} // namespace

TEST_F(SceneRenderer, ParametersTakeTheirKindsAndAMissingEffectIsLeftOut)
{
	ASSERT_EQ(zeLoadEffect("post.hlsl", 42), 0);
	SZeSceneCommandParam f = param("F", EZSPK_FLOAT), v = param("V", EZSPK_FLOAT3), i = param("I", EZSPK_INT),
		s = param("S", EZSPK_STRING), e = param("Shader", EZSPK_EFFECT), missing = param("Other", EZSPK_EFFECT);
	f.value[0] = 0.5f;
	v.value[0] = 1.0f;
	v.value[1] = 2.0f;
	v.value[2] = 3.0f;
	i.intValue = -7;
	s.text = "lightpost";
	e.effect = 2;
	missing.effect = 3;
	add("first", "Shader", {f, v, i, s, e, missing, param("None", EZSPK_NONE), param("Six", 6)});
	add("make", "Create Texture", {s});

	core::array<SZeRenderCommand> commands;
	EXPECT_EQ(zeReadRenderCommands(commands, Desc->commands, Desc->commandCount, false, 40), 0);
	ASSERT_EQ(commands.size(), 2u);
	const SZeRenderCommand& c = commands[0];
	EXPECT_TRUE(c.Name == "first" && c.Kind == "Shader");
	ASSERT_EQ(c.Parameters.size(), 5u) << "the missing effect and the unknown kinds are left out";
	EXPECT_TRUE(c.Parameters[0].Kind == EZCPK_FLOAT && c.Parameters[0].Float == 0.5f && c.Parameters[0].Name == "F");
	EXPECT_TRUE(c.Parameters[1].Kind == EZCPK_FLOAT3 && c.Parameters[1].Float3[2] == 3.0f);
	EXPECT_TRUE(c.Parameters[2].Kind == EZCPK_INT && c.Parameters[2].Int == -7);
	EXPECT_TRUE(c.Parameters[3].Kind == EZCPK_STRING && c.Parameters[3].String == "lightpost");
	EXPECT_TRUE(c.Parameters[4].Kind == EZCPK_EFFECT && c.Parameters[4].Effect == zeGetEffect(42));
	EXPECT_EQ(logLinesWith("Renderer Command : missing effect for param 'Other'"), 1);
	EXPECT_EQ(g_boxes, std::vector<std::string>{"Renderer Command : missing effect for param 'Other'"});
	EXPECT_EQ(g_log.size(), 1u) << "kinds 0 and 6 go without a word";

	// Only the "Create Texture" records when asked, appended after what is there.
	EXPECT_EQ(zeReadRenderCommands(commands, Desc->commands, Desc->commandCount, true, 40), 0);
	ASSERT_EQ(commands.size(), 3u);
	EXPECT_EQ(commands[2].Name, "make");
}

TEST_F(SceneRenderer, TheRendererIdIsFreedWheneverNoRendererIsMade)
{
	add("c", "Clear");
	SZeIdTable* table = zeGetIdTable(EZEIT_RENDERER);
	// The NULL driver runs no light pre-pass: no advanced context.
	EXPECT_EQ(zeLoadRendererFromScene(5, 1, Desc.get(), 40), -1);
	int code = 0;
	EXPECT_EQ(takeError(&code), "Failed to create renderer, context not avaiable");
	EXPECT_EQ(code, -1);
	EXPECT_EQ(zeIdTableGet(table, 5), nullptr);

	const SZeSceneRendererBuilder fake = {noTextures, makeFake};
	zeSetSceneRendererBuilder(&fake);
	ASSERT_EQ(zeLoadRendererFromScene(5, 1, Desc.get(), 40), 0);
	EXPECT_NE(zeIdTableGet(table, 5), nullptr);
	EXPECT_EQ(zeLoadRendererFromScene(5, 2, Desc.get(), 40), -1);
	EXPECT_EQ(takeError(&code).rfind("invalid Renderer ID 5 : ", 0), 0u);
	EXPECT_EQ(code, 1);
	EXPECT_EQ(g_made, 1) << "nothing is made for an ID in use";

	// Textures are asked for only when there is a "Create Texture" record.
	EXPECT_EQ(zeCreateRendererTextures(Desc.get()), 0);
	add("t", "Create Texture");
	EXPECT_EQ(zeCreateRendererTextures(Desc.get()), -1);
	zeSetSceneRendererBuilder(nullptr);
	EXPECT_EQ(zeCreateRendererTextures(Desc.get()), -1);
	EXPECT_EQ(logLinesWith("Create texture 't' failed : missing parameters"), 1);
	EXPECT_EQ(takeError(), "a \"Create Texture\" command failed (the log says why)");
}
