// Scene slots on the NULL driver: loading with its errors, progress and
// cancel, IDs and totals, mesh sharing, camera shaders, emitters, deletion,
// extra mode, IDs already in use, the command renderer's step, and reloading
// in place.
#include "ZeSceneTestUtil.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeSceneRenderer.h"
#include "core/IZeRenderer.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"
#include "scene/CZeParticleSystemSceneNode.h"

#include <fstream>
#include <vector>

using namespace irr;
using namespace zetest;

namespace
{
class SceneLoadTest : public SceneTest
{
protected:
	const SZeFxEmitterState& emitterState(int id)
	{
		return static_cast<CZeParticleSystemSceneNode*>(zeGetFxEmitterNode(id))->getEmitter().getState();
	}
	std::string objects(int n, const std::string& file)
	{
		std::string body;
		for (int i = 0; i < n; ++i)
			body += object("O" + std::to_string(i), file);
		return group("Objects", body);
	}
};

std::vector<int> g_percents;
int g_cancelAt = -1;
int progress(int percent, void* user)
{
	g_percents.push_back(percent);
	*static_cast<int*>(user) += 1;
	return static_cast<int>(g_percents.size()) - 1 == g_cancelAt ? 1 : 0;
}

// Calls of the mesh-sharing entries, each also made for real.
std::vector<std::string> g_made;
int spyInstance(int id, int source)
{
	g_made.push_back("instance " + std::to_string(id) + " of " + std::to_string(source));
	return zeInstanceObject(id, source);
}
int spyClone(int id, int source)
{
	g_made.push_back("clone " + std::to_string(id) + " of " + std::to_string(source));
	return zeCloneObject(id, source);
}
int spyLoad(const char* file, int id)
{
	g_made.push_back("load " + std::to_string(id));
	return zeLoadObject(file, id);
}
} // namespace

TEST_F(SceneLoadTest, IdAndFileErrorsCarryTheirArgumentNumbers)
{
	const std::string path = write("a.zelv", info() + group("Cameras", camera()) + objects(1, Quad));
	int code = 0;
	for (int bad : {-1, ZE_SCENE_SLOTS})
	{
		EXPECT_EQ(load(path, bad, 1), -1);
		EXPECT_EQ(takeError(&code), "Invalid Scene ID " + std::to_string(bad));
		EXPECT_EQ(code, 2);
		EXPECT_EQ(zeSceneExist(bad), 0);
		EXPECT_EQ(zeSceneTotalObjects(bad), -1);
		EXPECT_EQ(zeSceneFps(bad), 0);
		EXPECT_EQ(zeGetSceneAudio(bad), nullptr);
		EXPECT_EQ(zeBuildScene(path.c_str(), bad), -1);
		zeShowScene(bad);
		zeAnimateScene(bad, 100);
		zeDeleteScene(bad);
		EXPECT_EQ(takeError(), "");
		zeAnimateSceneObject(bad, 0, 1);
		EXPECT_EQ(takeError(&code), "Invalid Scene ID " + std::to_string(bad));
		EXPECT_EQ(code, 2);
	}
	EXPECT_EQ(load(Tmp + "/missing.zelv", 3, 1), -1);
	EXPECT_EQ(takeError(&code), "Failed to load scene file '" + Tmp + "/missing.zelv'");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeSceneExist(3), 0);

	ASSERT_EQ(load(path, 3, 1), 0) << takeError();
	EXPECT_EQ(takeError(), "") << "a successful load leaves no pending error";
	EXPECT_EQ(load(path, 3, 100), -1);
	EXPECT_EQ(takeError(&code), "Scene ID 3 is already in use");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(zeObjectExist(100), 0);
	zeAnimateSceneObject(3, 0, 2);
	EXPECT_EQ(takeError(&code), "Invalid Object ID 2");
	EXPECT_EQ(code, 3);
}

TEST_F(SceneLoadTest, ProgressIsCalledPerObjectAndCancelLeavesWhatWasBuilt)
{
	const std::string path = write("p.zelv", info() + group("Cameras", camera()) + objects(4, Quad));
	int calls = 0;
	zeSetLoadSceneCallback(progress, &calls);
	g_percents.clear();
	g_cancelAt = -1;
	ASSERT_EQ(load(path, 1, 10), 0);
	EXPECT_EQ(g_percents, (std::vector<int>{0, 0, 25, 50, 75}));
	EXPECT_EQ(calls, 5);
	zeDeleteScene(1);

	// Cancelled at 0 percent: nothing is loaded, the slot stays free.
	g_percents.clear();
	g_cancelAt = 0;
	EXPECT_EQ(load(path, 1, 10), 1);
	EXPECT_EQ(zeSceneExist(1), 0);
	EXPECT_EQ(zeObjectExist(10), 0);

	// Cancelled at the second object: the first stays, and so does the slot.
	g_percents.clear();
	g_cancelAt = 2;
	EXPECT_EQ(load(path, 1, 10), 1);
	EXPECT_EQ(zeSceneExist(1), 1);
	EXPECT_EQ(zeObjectExist(10), 1);
	EXPECT_EQ(zeObjectExist(11), 0);
	zeDeleteScene(1);
	EXPECT_EQ(zeSceneExist(1), 0);
	EXPECT_EQ(zeObjectExist(10), 0);
	zeSetLoadSceneCallback(nullptr, nullptr);
}

// Once an object is built, the callback tries to delete and to reload the
// scene it is called for, and records the errors.
std::vector<std::string> g_refusals;
int pullSceneOut(int percent, void* path)
{
	if (percent > 0 && g_refusals.empty())
	{
		zeDeleteScene(1);
		g_refusals.push_back(takeError());
		EXPECT_EQ(zeBuildScene(static_cast<const char*>(path), 1), -1);
		g_refusals.push_back(takeError());
	}
	return 0;
}

TEST_F(SceneLoadTest, AProgressCallbackCannotDeleteOrReloadTheSceneItLoads)
{
	std::string path = write("p.zelv", info() + group("Cameras", camera()) + objects(3, Quad));
	zeSetLoadSceneCallback(pullSceneOut, &path[0]);
	ASSERT_EQ(load(path, 1, 10), 0);
	EXPECT_EQ(g_refusals, (std::vector<std::string>{"Scene ID 1 is loading: it cannot be deleted before its load ends",
		"Scene ID 1 is loading: it cannot be reloaded before its load ends"}));
	EXPECT_EQ(zeObjectExist(10) + zeObjectExist(12), 2);
	zeDeleteScene(1);
	EXPECT_EQ(zeSceneExist(1), 0) << "deleted once its load has ended";
}

TEST_F(SceneLoadTest, ItemsTakeConsecutiveIdsAndTheQueriesCountThem)
{
	const std::string body = info(10, 70, 2, "30") +
		group("Cameras", camera()) +
		group("Lights", light("Sun", 0) + light("Lamp", 1)) +
		objects(3, Quad) +
		group("FxEmitters", emitter("Sparks", 0, 0, Image)) +
		group("ZelvPostProcs", postProc("A", "a.hlsl") + postProc("B", "b.hlsl"));
	const std::string path = write("ids.zelv", body);
	ASSERT_EQ(zeLoadScene(path.c_str(), 5, 10, 20, 30, 40, 50, 60, 70, 0, "", 0), 0);
	for (int id : {10, 11, 12})
	{
		EXPECT_EQ(zeObjectExist(id), 1) << id;
		EXPECT_EQ(zeObjectVisible(id), 0) << "a loaded scene starts hidden";
	}
	EXPECT_EQ(zeObjectExist(13), 0);
	EXPECT_EQ(zeLightExist(20) + zeLightExist(21), 2);
	EXPECT_EQ(zeLightVisible(20), 0);
	EXPECT_EQ(zeFxEmitterExist(30), 1);
	EXPECT_EQ(zeCameraEffectExist(50) + zeCameraEffectExist(51), 2);
	EXPECT_EQ(zeSceneTotalObjects(5), 3);
	EXPECT_EQ(zeSceneTotalLights(5), 2);
	EXPECT_EQ(zeSceneTotalFxEmitters(5), 1);
	EXPECT_EQ(zeSceneTotalCubeMaps(5), 0);
	EXPECT_EQ(zeSceneTotalCameraShaders(5), 2);
	EXPECT_EQ(zeSceneTotalEffects(5), 0);
	EXPECT_EQ(zeSceneHasRenderer(5), 0);
	EXPECT_EQ(zeSceneFrameStart(5), 10);
	zeShowScene(5);
	EXPECT_EQ(zeObjectVisible(11) + zeLightVisible(21), 2);
}

TEST_F(SceneLoadTest, TimingQueriesFollowTheFrameRate)
{
	const struct
	{
		const char* Fps;
		int Whole, End, Offset;
	} cases[] = {
		{"30", 30, 2000, 83},      // 60 frames; (10 / 30 - 0.25) s
		{"29.97", 29, 2068, 83},   // the rate truncated for the end, 10 / 29.97 s for the offset
		{"0", 0, 0, -250},         // no division: the start counts as 0 s
	};
	for (const auto& c : cases)
	{
		const std::string path = write("t.zelv", group("SceneInfo", std::string("I4 frameStart 10\nI4 frameEnd 70\n"
			"I4 frameStep 1\nFP framesPerSecond ") + c.Fps + "\nSTR loadAudio \"song.mp3\"\nFP audioStartTime 0.25\n"));
		ASSERT_EQ(load(path, 2, 1), 0);
		EXPECT_EQ(zeSceneFps(2), c.Whole) << c.Fps;
		EXPECT_EQ(zeSceneAnimTimeEnd(2), c.End) << c.Fps;
		EXPECT_EQ(zeGetSceneAudioOffset(2), c.Offset) << c.Fps;
		EXPECT_STREQ(zeGetSceneAudio(2), "song.mp3");
		zeDeleteScene(2);
	}
	const std::string quiet = write("q.zelv", group("SceneInfo", "STR loadAudio \"\"\n"));
	ASSERT_EQ(load(quiet, 2, 1), 0);
	EXPECT_EQ(zeGetSceneAudio(2), nullptr);
	EXPECT_EQ(takeError(), "");
}

TEST_F(SceneLoadTest, ObjectsOfOneFileShareTheirMeshWithinASharingGroup)
{
	zeSceneCalls().instanceObject = spyInstance;
	zeSceneCalls().cloneObject = spyClone;
	zeSceneCalls().loadObject = spyLoad;
	g_made.clear();
	const std::string path = write("s.zelv", info() + group("Cameras", camera()) +
		group("Objects", object("A", Quad) + object("B", Tmp + "/QUAD.OBJ")));
	ASSERT_EQ(load(path, 1, 10, 0, "Group"), 0);
	ASSERT_EQ(load(path, 2, 20, 0, "group", 1), 0);
	ASSERT_EQ(load(path, 3, 30, 0, "other"), 0);
	EXPECT_EQ(g_made, (std::vector<std::string>{"load 10", "clone 11 of 10", "instance 20 of 10",
		"instance 21 of 10", "load 30", "clone 31 of 30"}));
	for (int id : {10, 11, 20, 21, 30, 31})
		EXPECT_EQ(zeObjectExist(id), 1) << id;
	// Slot order decides: once scene 1 is gone, scene 2's objects are the source.
	zeDeleteScene(1);
	g_made.clear();
	ASSERT_EQ(load(path, 4, 40, 0, "GROUP"), 0);
	EXPECT_EQ(g_made, (std::vector<std::string>{"clone 40 of 20", "clone 41 of 20"}));
	// Long group names (a scene's folder) are compared whole.
	g_made.clear();
	const std::string folder(300, 'f');
	ASSERT_EQ(load(path, 5, 50, 0, (folder + "/a").c_str()), 0);
	ASSERT_EQ(load(path, 6, 60, 0, (folder + "/b").c_str()), 0);
	EXPECT_EQ(g_made, (std::vector<std::string>{"load 50", "clone 51 of 50", "load 60", "clone 61 of 60"}));
}

TEST_F(SceneLoadTest, TwentyOneCameraShadersMakeTwentyAndOneError)
{
	std::string list;
	for (int i = 0; i < 21; ++i)
		list += postProc("P" + std::to_string(i), "pp" + std::to_string(i) + ".hlsl");
	Fx->Failing = {"pp3.hlsl"};
	const std::string path = write("pp.zelv", info() + group("Cameras", camera()) + group("ZelvPostProcs", list));
	ASSERT_EQ(load(path, 1, 100), 0);
	int code = 0;
	EXPECT_EQ(takeError(&code), "Camera shader i=20 > max 20 camera shaders");
	EXPECT_EQ(code, 7);
	for (int i = 0; i < 20; ++i)
		EXPECT_EQ(zeCameraEffectExist(100 + i), i == 3 ? 0 : 1) << i;
	EXPECT_EQ(zeCameraEffectExist(120), 0);
	EXPECT_EQ(logLinesWith("The camera shader id=103 file='pp3.hlsl' cannot be loaded"), 1);
	zeDeleteScene(1);
	for (int i = 0; i < 20; ++i)
		EXPECT_EQ(zeCameraEffectExist(100 + i), 0);
}

TEST_F(SceneLoadTest, EmittersReportTheirNozzleMeshAndParentErrors)
{
	const std::string emitters = emitter("Lost", 0, 2, "") + emitter("Odd", 0, 6, Image) +
		emitter("Sparks", 0, 1, Image) + emitter("Trail", 0, 8, Image, "STR parentName \"SPARKS\"\n") +
		emitter("Orphan", 0, 9, Image, "STR parentName \"Nobody\"\n") + emitter("O0", 0, 3, Image) +
		emitter("Still", 1, 0, Image);
	const std::string path = write("fx.zelv", info() + group("Cameras", camera()) + objects(1, Quad) +
		group("FxEmitters", emitters));
	ASSERT_EQ(load(path, 1, 10), 0);
	EXPECT_EQ(logLinesWith("fxemitter mesh id=10 image file='<no clip file>' cannot find object"), 1);
	EXPECT_EQ(logLinesWith("The fxemitter id=10 (image file='<no clip file>') cannot be created"), 1);
	EXPECT_EQ(logLinesWith("Unsupported Nozzle type 6 for fxemitter id=11 (image file='" + Image + "')"), 1);
	EXPECT_EQ(logLinesWith("The fxemitter id=11 (image file='" + Image + "') cannot be created"), 1);
	EXPECT_EQ(zeFxEmitterExist(10) + zeFxEmitterExist(11), 0);
	ASSERT_EQ(zeFxEmitterExist(12) + zeFxEmitterExist(13) + zeFxEmitterExist(14), 3);
	EXPECT_EQ(emitterState(13).parent, &emitterState(12)) << "found by name without regard to case";
	EXPECT_EQ(emitterState(14).parent, nullptr);
	EXPECT_EQ(logLinesWith("fxemitter parent-emitter id=14 cannot find parent emitter"), 1);
	EXPECT_EQ(logLinesWith("parent-emitter id=13"), 0);
	EXPECT_EQ(emitterState(15).generatorType, 3u) << "normals of the object named like the emitter";
	EXPECT_EQ(logLinesWith("fxemitter mesh id=16"), 1) << "a static emitter needs its object too";
	EXPECT_EQ(zeFxEmitterExist(16), 0);
	EXPECT_EQ(takeError(), "");

	// Without warnings only the nozzle and parent messages remain.
	zeDeleteScene(1);
	zeSetSceneLoadWarnings(0);
	g_log.clear();
	ASSERT_EQ(load(path, 1, 10), 0);
	EXPECT_EQ(logLinesWith("cannot be created"), 0);
	EXPECT_EQ(logLinesWith("Unsupported Nozzle type 6"), 1);
}

TEST_F(SceneLoadTest, DeleteEmptiesEveryRangeAndFreesTheSlot)
{
	const std::string body = info() + group("Cameras", camera()) + group("Lights", light("L", 1)) + objects(2, Quad) +
		group("FxEmitters", emitter("E", 0, 0, Image)) + group("ZelvPostProcs", postProc("P", "p.hlsl"));
	const std::string path = write("d.zelv", body);
	const int engineEffects = FakeEffectManager::Alive;
	ASSERT_EQ(load(path, 7, 300), 0);
	ASSERT_EQ(zeObjectExist(301) + zeLightExist(300) + zeFxEmitterExist(300) + zeCameraEffectExist(300), 4);
	zeDeleteScene(7);
	EXPECT_EQ(zeSceneExist(7), 0);
	EXPECT_EQ(zeObjectExist(300) + zeObjectExist(301) + zeLightExist(300) + zeFxEmitterExist(300) +
		zeCameraEffectExist(300), 0);
	EXPECT_EQ(FakeEffectManager::Alive, engineEffects) << "the effects of the shader, emitter and surfaces went too";
	zeDeleteScene(7);
	ASSERT_EQ(load(path, 7, 300), 0) << "the slot is free again";
}

TEST_F(SceneLoadTest, ExtraModeMakesNoLightsRendererOrCameraShadersAndLocksItems)
{
	const std::string body = info() + group("Cameras", camera()) + group("Lights", light("L", 1)) + objects(1, Quad) +
		group("FxEmitters", emitter("E", 0, 0, Image)) + group("ZelvPostProcs", postProc("P", "p.hlsl")) +
		group("ZelvRenderCommands", group("Commands", group("C", "STR name \"C\"\nSTR cmd \"Clear\"\n")));
	const std::string path = write("x.zelv", body);
	ASSERT_EQ(load(path, 1, 50, 1), 0);
	EXPECT_EQ(zeLightExist(50), 0);
	EXPECT_EQ(zeCameraEffectExist(50), 0);
	EXPECT_EQ(zeEffectExist(50), 0);
	EXPECT_EQ(logLinesWith("Load renderer") + logLinesWith("Create renderer"), 0) << "no command renderer is tried";
	EXPECT_EQ(zeGetObjectNode(50)->getParent(), zeGetContext()->camera);
	EXPECT_EQ(zeGetFxEmitterNode(50)->getParent(), zeGetContext()->camera);
	zeDeleteScene(1);
	EXPECT_EQ(zeObjectExist(50) + zeFxEmitterExist(50), 0);
}

TEST_F(SceneLoadTest, IdsInUseAreReportedByKindAndTakenOver)
{
	const std::string tri = Tmp + "/tri.obj";
	std::ofstream(tri) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
	ASSERT_EQ(zeLoadObject(tri.c_str(), 6), 0);
	zeGetObjectNode(6)->setName("theirs");
	ASSERT_EQ(zeMakeLight(0), 0) << "as Setup does";
	const std::string path = write("o.zelv", info() + group("Cameras", camera()) + group("Lights", light("L", 1)) +
		objects(2, Quad));
	ASSERT_EQ(zeLoadScene(path.c_str(), 1, 5, 0, 0, 0, 0, 0, 0, 0, "", 0), 0);
	EXPECT_EQ(logLinesWith("Scene ID 1: object ID 6 is already in use"), 1);
	EXPECT_EQ(logLinesWith("Scene ID 1: light ID 0 is already in use"), 1);
	EXPECT_EQ(logLinesWith("object ID 5"), 0);
	EXPECT_STRNE(zeGetObjectNode(6)->getName(), "theirs");
	EXPECT_EQ(zeGetObjectMesh(5)->getMeshBuffer(0)->getVertexCount(), 4u) << "the scene's own mesh, not theirs";
	EXPECT_EQ(zeObjectExist(5) + zeObjectExist(6) + zeLightExist(0), 3);
	EXPECT_EQ(takeError(), "");
}

// An object of 300 materials gets the first 256 surfaces of its 300; the
// rest keep what the object file gave them.
TEST_F(SceneLoadTest, MoreThan256SurfacesAreCutWithAWarning)
{
	const std::string many = Tmp + "/many.obj";
	{
		std::ofstream mtl(Tmp + "/many.mtl");
		std::ofstream obj(many);
		obj << "mtllib many.mtl\n";
		for (int i = 0; i < 300; ++i)
		{
			mtl << "newmtl m" << i << "\nKd " << (i % 10) / 10.0 << ' ' << (i / 10 % 10) / 10.0 << ' ' << (i / 100) / 10.0
				<< "\n";
			obj << "v " << i << " 0 0\nv " << i + 1 << " 0 0\nv " << i << " 1 0\nusemtl m" << i << "\nf " << 3 * i + 1
				<< ' ' << 3 * i + 2 << ' ' << 3 * i + 3 << '\n';
		}
	}
	std::string surfaces;
	for (int i = 0; i < 300; ++i)
		surfaces += group("S" + std::to_string(i), "STR name \"S" + std::to_string(i) + "\"\n" +
			group("Parameters", group("Glossiness", "FP value 0.75\n")));
	const std::string path = write("many.zelv", info() + group("Cameras", camera()) + objects(1, many) +
		group("SceneObjects", group("M", "STR filename \"" + many + "\"\n" + group("Surfaces", surfaces))));
	ASSERT_EQ(load(path, 1, 1), 0);
	EXPECT_EQ(logLinesWith("The object id=1 '" + many + "' numSurfaces=300 > NOF_SURFACE_MAX=256"), 1);
	IZeSceneNodeExt* ext = zeGetNodeExt(zeGetObjectNode(1));
	ASSERT_TRUE(ext);
	ASSERT_EQ(ext->getMaterialCount(), 300u);
	auto glossiness = [&](u32 i) { return static_cast<IZeSurfaceLightwave*>(ext->getMaterialSurface(i))->getParamFloat(EZELW_GLOSSINESS); };
	EXPECT_FLOAT_EQ(glossiness(0), 0.75f);
	EXPECT_FLOAT_EQ(glossiness(255), 0.75f);
	EXPECT_NE(glossiness(256), 0.75f) << "past the cut";
	EXPECT_NE(glossiness(299), 0.75f);
	zeAnimateScene(1, 500);
	EXPECT_EQ(takeError(), "");
}

// A mesh entry naming more surfaces than its object has materials reports
// it when the object is built, and animation does not report it again.
TEST_F(SceneLoadTest, SurfacesPastTheMaterialsAreReportedOnce)
{
	std::string surfaces;
	for (int i = 0; i < 3; ++i)
		surfaces += group("S" + std::to_string(i), "STR name \"S" + std::to_string(i) + "\"\n" +
			group("Parameters", group("Diffuse", "FP value 0.5\n")));
	const std::string path = write("more.zelv", info() + group("Cameras", camera()) + objects(1, Quad) +
		group("SceneObjects", group("M", "STR filename \"" + Quad + "\"\n" + group("Surfaces", surfaces))));
	ASSERT_EQ(load(path, 1, 1), 0);
	EXPECT_EQ(logLinesWith("Object ID 1 has no surface 1, cannot SetSurfaces"), 1) << "the quad has one material";
	zeAnimateScene(1, 500);
	zeAnimateScene(1, 600);
	EXPECT_EQ(logLinesWith("cannot SetSurfaces"), 1);
	EXPECT_EQ(takeError(), "");
}

TEST_F(SceneLoadTest, ASceneWithoutCamerasWarnsAndLoads)
{
	const std::string path = write("nocam.zelv", info() + objects(1, Quad));
	ASSERT_EQ(load(path, 1, 1), 0);
	EXPECT_EQ(logLinesWith("There is no camera in the scene"), 1);
	zeAnimateScene(1, 100);
	EXPECT_EQ(takeError(), "");
}

// ---- The command renderer's step -------------------------------------------------------------
namespace
{
class FakeRenderer : public IZeRenderer
{
public:
	bool render(video::ITexture*) override { return true; }
	bool getMaterialEffect(core::stringc&, SZeMacro*, u32&, video::E_MATERIAL_TYPE) override { return false; }
};

int g_texturesAsked = 0;
int g_firstEffect = -1;
bool fakeTextures(const SZeSceneDesc*)
{
	++g_texturesAsked;
	return true;
}
IZeRenderer* fakeRenderer(const SZeSceneDesc*, int firstEffectId)
{
	g_firstEffect = firstEffectId;
	return new FakeRenderer;
}

std::string commands(bool withTexture, int useStartEnd = 1)
{
	std::string list;
	if (withTexture)
		list += group("T", "STR name \"T\"\nSTR cmd \"Create Texture\"\n");
	const std::string shader = group("P0", "STR name \"Shader\"\n" +
		group("Effect", "STR filename \"tint.hlsl\"\n" + group("Parameters", group("Tint", "FP value 1\n"))));
	const std::string post = group("P1", "STR name \"Post\"\n" + group("Effect", "STR filename \"post.hlsl\"\n"));
	const std::string window = group("P2", "STR name \"UseStartEnd\"\nI4 value " + std::to_string(useStartEnd) + "\n");
	list += group("S", "STR name \"S\"\nSTR cmd \"Shader\"\n" + group("Parameters", shader + post + window));
	return group("ZelvRenderCommands", group("Commands", list));
}
} // namespace

TEST_F(SceneLoadTest, RenderCommandsThatMakeNoRendererAreReportedAndTheLoadGoesOn)
{
	const std::string plain = write("r.zelv", info() + group("Cameras", camera()) + commands(false));
	ASSERT_EQ(load(plain, 1, 80), 0);
	EXPECT_EQ(zeSceneHasRenderer(1), 1);
	EXPECT_EQ(zeSceneTotalEffects(1), 2);
	EXPECT_EQ(zeEffectExist(80) + zeEffectExist(81), 2) << "the effects come before the renderer";
	EXPECT_EQ(logLinesWith("Load renderer from scene failed : Failed to create renderer, context not avaiable"), 1);
	EXPECT_EQ(takeError(), "");
	zeDeleteScene(1);
	EXPECT_EQ(zeEffectExist(80) + zeEffectExist(81), 0);

	const std::string targets = write("rt.zelv", info() + group("Cameras", camera()) + commands(true));
	ASSERT_EQ(load(targets, 1, 80), 0);
	EXPECT_EQ(logLinesWith("Create texture 'T' failed : missing parameters"), 1);
	EXPECT_EQ(logLinesWith("Create renderer textures failed : a \"Create Texture\" command failed"), 1);
	EXPECT_EQ(zeEffectExist(80), 0) << "nothing after the textures";
	EXPECT_EQ(takeError(), "");
}

TEST_F(SceneLoadTest, ARegisteredCommandRendererIsMadeCurrentAndGoesWithItsScene)
{
	const SZeSceneRendererBuilder builder = {fakeTextures, fakeRenderer};
	zeSetSceneRendererBuilder(&builder);
	IZeRenderer* standard = zeGetCurrentRenderer();
	g_texturesAsked = 0;
	const std::string path = write("rc.zelv", info() + group("Cameras", camera()) + commands(true));
	ASSERT_EQ(zeLoadScene(path.c_str(), 1, 1, 1, 1, 1, 1, 9, 90, 0, "", 0), 0);
	EXPECT_EQ(g_texturesAsked, 1);
	EXPECT_EQ(g_firstEffect, 90);
	EXPECT_EQ(zeGetCurrentRenderer(), standard) << "the loaded scene is hidden";
	zeShowScene(1);
	EXPECT_NE(zeGetCurrentRenderer(), standard);
	zeHideScene(1);
	EXPECT_EQ(zeGetCurrentRenderer(), standard);

	// The same command list again keeps the renderer; a changed one makes another.
	zeShowScene(1);
	IZeRenderer* first = zeGetCurrentRenderer();
	ASSERT_EQ(zeBuildScene(path.c_str(), 1), 0);
	EXPECT_EQ(zeGetCurrentRenderer(), first);
	writeScene(path, sceneText(info() + group("Cameras", camera()) + commands(true, 0)));
	ASSERT_EQ(zeBuildScene(path.c_str(), 1), 0);
	EXPECT_NE(zeGetCurrentRenderer(), first);
	EXPECT_NE(zeGetCurrentRenderer(), standard);

	// A second scene on the same renderer ID cannot have it.
	ASSERT_EQ(zeLoadScene(path.c_str(), 2, 20, 20, 20, 20, 20, 9, 95, 0, "", 0), 0);
	EXPECT_EQ(logLinesWith("Load renderer from scene failed : invalid Renderer ID 9"), 1);
	EXPECT_EQ(logLinesWith("Scene ID 2: renderer ID 9 is already in use"), 1);
	zeShowScene(2);
	EXPECT_EQ(zeGetCurrentRenderer(), standard) << "not the renderer scene 1 holds on the ID";
	zeDeleteScene(2);
	zeShowScene(1);
	EXPECT_NE(zeGetCurrentRenderer(), standard) << "scene 2 did not make the renderer it would delete";
	zeDeleteScene(1);
	EXPECT_EQ(zeGetCurrentRenderer(), standard);
	EXPECT_EQ(zeEffectExist(90), 0);
	zeSetSceneRendererBuilder(nullptr);
}

// ---- Reloading in place ----------------------------------------------------------------------
namespace
{
struct ReloadValues
{
	const char* Position = "0 0 0";
	const char* Intensity = "1";
	int LightType = 1;
	int Nozzle = 0;
	const char* BirthRate = "10";
	const char* Flags = "A=1";
	const char* Strength = "0.5";
	const char* Image = "";
	int Mask = 1;
	int Objects = 2;
};

std::string reloadScene(const ReloadValues& v, const std::string& quad)
{
	std::string objects;
	for (int i = 0; i < v.Objects; ++i)
	{
		const std::string name = i == 0 ? "A" : "B" + std::to_string(i);
		const std::string file = i == 0 ? quad : quad + "x";
		objects += group(name, "STR name \"" + name + "\"\nSTR xfilename \"" + quad + "\"\nSTR filename \"" + file +
			"\"\nFP position " + (i == 0 ? v.Position : "0 0 0") + "\nFP scale 1 1 1\nI4 selectionMask " +
			std::to_string(v.Mask) + "\n");
	}
	const std::string surface = group("S", "STR name \"S\"\n" + group("Parameters",
		group("BaseColor", std::string("FP value 1 1 1\nSTR img_filename \"") + v.Image + "\"\n")));
	const std::string meshes = group("M", "STR filename \"" + quad + "x\"\n" + group("Surfaces", surface));
	const std::string lights = group("L", "FP position 0 5 0\nI4 type " + std::to_string(v.LightType) +
		"\nFP rawColor 1 1 1\nFP intensity " + v.Intensity + "\n");
	const std::string fx = group("E", "STR name \"E\"\nI4 type 0\n" + group("ParticleFx", "I4 nozzle " +
		std::to_string(v.Nozzle) + "\nFP generatorSize 1 1 1\nFP birthRate " + v.BirthRate + "\n"));
	const std::string post = group("P", group("Effect", std::string("STR filename \"p.hlsl\"\nSTR cflags \"") +
		v.Flags + "\"\n" + group("Parameters", group("Gain", std::string("FP value ") + v.Strength + "\n"))));
	return sceneText(info() + group("Cameras", camera()) + group("Lights", lights) + group("Objects", objects) +
		group("SceneObjects", meshes) + group("FxEmitters", fx) + group("ZelvPostProcs", post));
}

class SceneReloadTest : public SceneLoadTest
{
protected:
	void SetUp() override
	{
		SceneLoadTest::SetUp();
		if (HasFatalFailure())
			return;
		// The default particle image, found through the data folders.
		std::filesystem::create_directories(Tmp + "/textures");
		std::filesystem::copy_file(ZELV_BINARY_DIR "/data/textures/ZeDefaultParticle.png",
			Tmp + "/textures/ZeDefaultParticle.png");
		Path = Tmp + "/reload.zelv";
		writeScene(Path, reloadScene(Values, Quad));
		ASSERT_EQ(load(Path, 4, 10), 0) << takeError();
		mark();
	}
	// Names every node, so that one made again is told apart from one kept.
	void mark()
	{
		zeGetObjectNode(10)->setName("kept");
		zeGetObjectNode(11)->setName("kept");
		zeGetLightNode(10)->setName("kept");
		zeGetFxEmitterNode(10)->setName("kept");
		Compiled = compilations("p.hlsl");
	}
	int reload()
	{
		writeScene(Path, reloadScene(Values, Quad));
		return zeBuildScene(Path.c_str(), 4);
	}
	static bool kept(scene::ISceneNode* node) { return node && std::string(node->getName()) == "kept"; }
	int compilations(const std::string& file)
	{
		int n = 0;
		for (const FakeCreation& call : Fx->Calls)
			n += call.File.find(file) != std::string::npos;
		return n;
	}

	ReloadValues Values;
	std::string Path;
	int Compiled = 0;
};
} // namespace

TEST_F(SceneReloadTest, ValuesThatOnlyAnimateKeepEveryNode)
{
	Values.Position = "5 0 0";
	Values.Intensity = "3";
	Values.BirthRate = "50";
	Values.Strength = "0.9";
	ASSERT_EQ(reload(), 0);
	EXPECT_TRUE(kept(zeGetObjectNode(10)) && kept(zeGetObjectNode(11)));
	EXPECT_TRUE(kept(zeGetLightNode(10)));
	EXPECT_TRUE(kept(zeGetFxEmitterNode(10)));
	EXPECT_EQ(compilations("p.hlsl"), Compiled);
	zeAnimateScene(4, 0);
	EXPECT_EQ(zeGetObjectNode(10)->getPosition(), core::vector3df(5, 0, 0)) << "the new description animates";
	EXPECT_EQ(zeBuildScene((Tmp + "/missing.zelv").c_str(), 4), -1);
	EXPECT_EQ(zeSceneTotalObjects(4), 2) << "an unreadable file leaves the scene as it was";
	// A text caught half-written, cut inside its objects, is not complete yet.
	const std::string whole = reloadScene(Values, Quad);
	std::ofstream(Path, std::ios::binary) << whole.substr(0, whole.find("{ B1"));
	EXPECT_EQ(zeBuildScene(Path.c_str(), 4), -1);
	EXPECT_EQ(zeSceneTotalObjects(4), 2);
	EXPECT_TRUE(kept(zeGetObjectNode(10)) && kept(zeGetObjectNode(11)));
	EXPECT_TRUE(kept(zeGetLightNode(10)) && kept(zeGetFxEmitterNode(10)));
	EXPECT_EQ(zeBuildScene(Path.c_str(), 5), -1);
}

TEST_F(SceneReloadTest, WhatTheBuildersChoseIsMadeAgainOnItsId)
{
	Values.Image = "other.png";  // a channel image of object B's mesh
	Values.LightType = 2;
	Values.Nozzle = 1;
	Values.Flags = "A=2";
	Values.Mask = 6;
	ASSERT_EQ(reload(), 0);
	EXPECT_TRUE(kept(zeGetObjectNode(10)));
	EXPECT_EQ(zeGetNodeExt(zeGetObjectNode(10))->getSelectionMask(), 6u) << "settings applied again";
	ASSERT_EQ(zeObjectExist(11), 1);
	EXPECT_FALSE(kept(zeGetObjectNode(11)));
	ASSERT_EQ(zeLightExist(10), 1);
	EXPECT_FALSE(kept(zeGetLightNode(10)));
	EXPECT_EQ(zeGetLightNode(10)->getLightType(), video::ELT_SPOT);
	ASSERT_EQ(zeFxEmitterExist(10), 1);
	EXPECT_FALSE(kept(zeGetFxEmitterNode(10)));
	EXPECT_EQ(emitterState(10).generatorType, 1u);
	EXPECT_EQ(compilations("p.hlsl"), Compiled + 1);
	EXPECT_EQ(zeCameraEffectExist(10), 1);

	// Another object count builds every object anew.
	mark();
	Values.Objects = 3;
	ASSERT_EQ(reload(), 0);
	EXPECT_FALSE(kept(zeGetObjectNode(10)) || kept(zeGetObjectNode(11)));
	EXPECT_EQ(zeObjectExist(12), 1);
	EXPECT_TRUE(kept(zeGetLightNode(10)));
	Values.Objects = 1;
	ASSERT_EQ(reload(), 0);
	EXPECT_EQ(zeObjectExist(11) + zeObjectExist(12), 0) << "the old range is deleted";
	zeDeleteScene(4);
	EXPECT_EQ(zeObjectExist(10) + zeLightExist(10) + zeFxEmitterExist(10) + zeCameraEffectExist(10), 0);
}
