// Scene animation, showing and preparation on the NULL driver, with spies in
// the scene's call table that write every call they see into one trace.
#include "ZeSceneTestUtil.h"

#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "render/IZeLightSceneNodeExt.h"
#include "scene/IZeParticleSystemSceneNode.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

using namespace irr;
using namespace zetest;

namespace
{
std::vector<std::string> g_trace;

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void trace(const char* format, ...)
{
	char line[256];
	va_list args;
	va_start(args, format);
	std::vsnprintf(line, sizeof(line), format, args);
	va_end(args);
	g_trace.push_back(line);
}

int traced(const std::string& prefix)
{
	int n = 0;
	for (const std::string& line : g_trace)
		n += line.rfind(prefix, 0) == 0;
	return n;
}

std::vector<std::string> tracedLines(const std::string& prefix)
{
	std::vector<std::string> out;
	for (const std::string& line : g_trace)
		if (line.rfind(prefix, 0) == 0)
			out.push_back(line);
	return out;
}

// Spies: each writes its call; those that answer answer as the test needs.
int g_frames[100];
int g_morphCount[100];
int g_rendered = 0;
std::vector<int> g_watched;  // objects whose visibility a capture records

void spyTime(int, int t) { trace("time %d", t); }
void spyGlow(int e, float i, float r) { trace("glow %d %g %g", e, i, r); }
void spyStreakOn(int on) { trace("streak on %d", on); }
void spyStreak(float a, float, float, float, float, float, float, float, float, float, float k) { trace("streak %g %g", a, k); }
void spyBloomOn(int on) { trace("bloom on %d", on); }
void spyBloom(float a, float b) { trace("bloom %g %g", a, b); }
void spyAoOn(int on) { trace("ao on %d", on); }
void spyAo(float a, float, float, float d) { trace("ao %g %g", a, d); }
void spyShadowsOn(int on) { trace("shadows on %d", on); }
void spyEpsilon(float e) { trace("epsilon %g", e); }
void spyAntialias(int a, int b, int c, int d, int e, int f, float g) { trace("aa %d %d %d %d %d %d %g", a, b, c, d, e, f, g); }
void spyFov(float d) { trace("fov %.3f", d); }
void spyDof(int m, float f, float s) { trace("dof %d %g %g", m, f, s); }
void spyAdvancedDof(int m, float a, float b, float c, float d) { trace("adof %d %g %g %g %g", m, a, b, c, d); }
void spyStereo(int m, float s, int u, float c) { trace("stereo %d %g %d %g", m, s, u, c); }
void spyCameraPosition(float x, float y, float z) { trace("camera %g %g %g", x, y, z); }
void spyCameraRotation(float x, float y, float z) { trace("camera rotation %.2f %.2f %.2f", x, y, z); }
int spyTotalFrames(int id) { return g_frames[id]; }
void spyFrame(int id, float f) { trace("frame %d %g", id, f); }
int spyMorphCount(int id) { return g_morphCount[id]; }
void spyMorph(int id, int count, const int* indices, const float* weights)
{
	std::string line = "morph " + std::to_string(id) + " " + std::to_string(count);
	for (int i = 0; i < count && i < 3; ++i)
		line += " " + std::to_string(indices[i]) + ":" + std::to_string(static_cast<int>(weights[i] * 100));
	g_trace.push_back(line);
}
int spyExists(int) { return 1; }
void spyCubeMap(int id, int cubeMap) { trace("cubemap %d %d", id, cubeMap); }
void spyBoxOn(int id, int on) { trace("box %d %d", id, on); }
void spyBox(int id, float x, float, float, float sx, float, float) { trace("box %d at %g scale %g", id, x, sx); }
void spyReset(int id) { trace("reset %d", id); }
void spyShow(int id) { trace("show %d", id); }
void spyHide(int id) { trace("hide %d", id); }
void spyShaderParams(int id, const SZeShaderDesc* desc, int textures)
{
	trace("params %d %g %d", id, desc->paramCount ? desc->params[0].value[0] : -1.0f, textures);
}
void spyUpdate(int id) { trace("update %d", id); }
int spyRendered(int) { return g_rendered; }
int spyCapture(int id, float x, float y, float z)
{
	std::string seen;
	for (int object : g_watched)
		seen += zeObjectVisible(object) ? "+" : "-";
	trace("capture %d %g %g %g %s", id, x, y, z, seen.c_str());
	return 0;
}
int spyDummy()
{
	trace("dummy");
	return 0;
}
void spyVolumetric(int id, int on) { trace("volumetric %d %d", id, on); }
void spyLimit(int id, int on, float value) { trace("limit %d %d %g", id, on, value); }

class SceneAnimateTest : public SceneTest
{
protected:
	void SetUp() override
	{
		SceneTest::SetUp();
		g_trace.clear();
		for (int& f : g_frames)
			f = 1;
		for (int& m : g_morphCount)
			m = 0;
		g_rendered = 0;
		g_watched.clear();
		SZeSceneCalls& c = zeSceneCalls();
		c.setSceneTime = spyTime;
		c.setGlowSettings = spyGlow;
		c.enableStreak = spyStreakOn;
		c.setStreakParams = spyStreak;
		c.enableBloom = spyBloomOn;
		c.setBloomParams = spyBloom;
		c.enableAmbientOcclusion = spyAoOn;
		c.setAmbientOcclusionParams = spyAo;
		c.enableShadows = spyShadowsOn;
		c.setShadowEpsilon = spyEpsilon;
		c.setAntialiasParams = spyAntialias;
		c.setCameraFOV = spyFov;
		c.setCameraDOF = spyDof;
		c.setCameraAdvancedDOF = spyAdvancedDof;
		c.setCameraStereo = spyStereo;
		c.positionCamera = spyCameraPosition;
		c.rotateCamera = spyCameraRotation;
		c.totalObjectFrames = spyTotalFrames;
		c.setObjectFrame = spyFrame;
		c.getObjectMorphCount = spyMorphCount;
		c.setObjectMorph = spyMorph;
		c.resetFxEmitter = spyReset;
		c.showCameraEffect = spyShow;
		c.hideCameraEffect = spyHide;
		c.setCameraEffectShaderParams = spyShaderParams;
	}
	// Cube maps exist, are captured and switch volumetric lights through spies.
	void spyCubeMaps()
	{
		SZeSceneCalls& c = zeSceneCalls();
		c.cubeMapExist = spyExists;
		c.setObjectCubeMap = spyCubeMap;
		c.enableObjectCubeMapBox = spyBoxOn;
		c.setObjectCubeMapBox = spyBox;
		c.cubeMapUpdate = spyUpdate;
		c.cubeMapIsRendered = spyRendered;
		c.renderCubeMap = spyCapture;
		c.renderDummyFrame = spyDummy;
		c.setLightVolumetric = spyVolumetric;
		c.setLightVolumetricLimit = spyLimit;
	}
	int loadBody(const std::string& body, int extraMode = 0)
	{
		const int result = load(write("a.zelv", body), 1, 1, extraMode);
		g_trace.clear();
		return result;
	}
};
} // namespace

TEST_F(SceneAnimateTest, KeysComeFromTheFrameRateAndStepAndFramesFromTheStart)
{
	// Keys 0, 10, 20, ... : at fps 30 and a step of 2, one second is key 15.
	std::string keys = "DAT 40";
	for (int i = 0; i < 40; ++i)
		keys += " " + std::to_string(i * 10);
	ASSERT_EQ(loadBody(info(10, 100, 2, "30") + group("Cameras", camera()) +
		group("Objects", object("A", Quad, "", "FP_C position [\n" + keys + "\nRUN 1 0\nRUN 1 0\n]\n"))), 0);
	g_frames[1] = 1000;
	zeAnimateScene(1, 1000);
	EXPECT_EQ(zeGetObjectNode(1)->getPosition().X, 150.0f);
	EXPECT_EQ(tracedLines("frame"), (std::vector<std::string>{"frame 1 40"})) << "30 frames after frame 10";
	EXPECT_EQ(tracedLines("time"), (std::vector<std::string>{"time 1000"}));
	zeAnimateScene(1, 1100);
	EXPECT_EQ(zeGetObjectNode(1)->getPosition().X, 165.0f) << "key 16.5 between 160 and 170";
	zeDeleteScene(1);

	// A frame step or a frame rate of 0 stays at key 0.
	for (const std::string& timing : {info(10, 100, 0, "30"), info(10, 100, 2, "0")})
	{
		ASSERT_EQ(loadBody(timing + group("Cameras", camera()) +
			group("Objects", object("A", Quad, "", "FP_C position [\n" + keys + "\nRUN 1 0\nRUN 1 0\n]\n"))), 0);
		zeAnimateScene(1, 5000);
		EXPECT_EQ(zeGetObjectNode(1)->getPosition().X, 0.0f);
		zeDeleteScene(1);
	}
}

TEST_F(SceneAnimateTest, CameraIndexIsClampedAndTheZoomGivesTheFieldOfView)
{
	const std::string cameras = camera("First", "FP zoomFactor 3\n") +
		group("Second", "FP position 7 8 9\nFP rotation 0 1.5707963 0\nFP_C zoomFactor DAT 3 2 0 2\n"
		                "I4 resolution 640 480\nI4 flags 0\n") +
		group("Flat", "FP zoomFactor 2\nI4 resolution 640 0\n");
	ASSERT_EQ(loadBody(group("SceneInfo", "I4 frameStep 1\nFP framesPerSecond 1\nFP renderCamera 3.7\n") +
		group("Cameras", cameras.substr(0, cameras.find("{ Flat")))), 0);
	zeAnimateScene(1, 0);
	const float fov = 2.0f * std::atan(640.0f / (2.0f * 480.0f)) * 57.295776f;
	char expected[32];
	std::snprintf(expected, sizeof(expected), "fov %.3f", fov);
	EXPECT_EQ(tracedLines("fov"), (std::vector<std::string>{expected})) << "camera 1 of 2";
	EXPECT_EQ(tracedLines("camera 7"), (std::vector<std::string>{"camera 7 8 9"}));
	EXPECT_EQ(tracedLines("camera rotation"), (std::vector<std::string>{"camera rotation 0.00 90.00 0.00"}));
	g_trace.clear();
	zeAnimateScene(1, 1000);  // zoom 0: the field of view stays
	EXPECT_EQ(traced("fov"), 0);
	EXPECT_EQ(traced("camera 7"), 1);
	zeDeleteScene(1);

	ASSERT_EQ(loadBody(group("SceneInfo", "I4 frameStep 1\nFP framesPerSecond 1\nFP renderCamera 2\n") +
		group("Cameras", cameras)), 0);
	zeAnimateScene(1, 0);
	EXPECT_EQ(traced("fov"), 0) << "a camera without height keeps the field of view";
}

TEST_F(SceneAnimateTest, DepthOfFieldAndStereoFollowTheCameraFlags)
{
	ASSERT_EQ(loadBody(info() + group("Cameras", camera("C", "FP focalDistance 8\nFP fStop 2\nFP separation 0.1\n"
		"FP convergencePoint 5\nI4 usingConvergencePoint 1\n")) +
		group("ZelvRenderSettings", "I4 CH_DOF_ADVANCED_ENABLE 1\nFP CH_DOF_MINFOCUSDIST 1\n"
		                            "FP CH_DOF_MAXFOCUSDIST 9\nFP CH_DOF_FOCUSEDDIST 4\nFP CH_DOF_RADIUSSCALE 2\n")), 0);
	zeAnimateScene(1, 0);
	zeAnimateScene(1, 100);
	// Flags 0: depth of field off once; the advanced one is on and set each time.
	EXPECT_EQ(tracedLines("dof"), (std::vector<std::string>{"dof 0 8 2"}));
	EXPECT_EQ(tracedLines("adof"), (std::vector<std::string>{"adof 1 1 9 4 2", "adof 1 1 9 4 2"}));
	EXPECT_EQ(tracedLines("stereo"), (std::vector<std::string>{"stereo 0 0 0 0", "stereo 0 0 0 0"}));
	zeHideScene(1);
	g_trace.clear();
	zeAnimateScene(1, 200);
	EXPECT_EQ(traced("dof"), 1) << "hiding hands every switch over again";
	zeDeleteScene(1);

	ASSERT_EQ(loadBody(info() + group("Cameras", group("C", "FP zoomFactor 1\nI4 flags 9\nFP focalDistance 8\n"
		"FP fStop 2\nFP separation 0.1\nFP convergencePoint 5\nI4 usingConvergencePoint 1\n"))), 0);
	zeAnimateScene(1, 0);
	zeAnimateScene(1, 100);
	EXPECT_EQ(tracedLines("dof"), (std::vector<std::string>{"dof 1 8 2", "dof 1 8 2"}));
	EXPECT_EQ(tracedLines("adof"), (std::vector<std::string>{"adof 0 0 0 0 0"}));
	EXPECT_EQ(tracedLines("stereo"), (std::vector<std::string>{"stereo 1 0.1 1 5", "stereo 1 0.1 1 5"}));
}

TEST_F(SceneAnimateTest, ProcessingSendsSwitchesOnceAndValuesWhileOn)
{
	ASSERT_EQ(loadBody(info() + group("Cameras", camera()) +
		group("ImageProcessing", "I4 glowEffect 0\nFP glowIntensity 2\nFP glowRadius 3\n") +
		group("ZelvRenderSettings", "I4 CH_STREAK_ENABLE 1\nFP CH_STREAK_GLOWMIN 0.5\nFP CH_STREAK_COMPOSE 0.25\n"
		                            "I4 CH_BLOOM_ENABLE 0\nI4 CH_SSAO_ENABLE 1\nFP CH_SSAO_DISTANCEREACH 4\n"
		                            "FP CH_SSAO_OUTPUTMULTIPLIER 6\nI4 CH_SHADOW_ENABLE 1\nFP_C CH_SHADOW_EPSILON DAT 2 1 2\n"
		                            "I4 CH_AA_MODE 3\nFP CH_AA_VLIMIT_VAL 0.5\n")), 0);
	for (int t : {0, 1000, 1000})
		zeAnimateScene(1, t);
	EXPECT_EQ(tracedLines("glow"), (std::vector<std::string>{"glow 0 2 3"}));
	EXPECT_EQ(tracedLines("streak on"), (std::vector<std::string>{"streak on 1"}));
	EXPECT_EQ(traced("streak 0.5 0.25"), 3);
	EXPECT_EQ(tracedLines("bloom"), (std::vector<std::string>{"bloom on 0"}));
	EXPECT_EQ(tracedLines("ao on"), (std::vector<std::string>{"ao on 1"}));
	EXPECT_EQ(traced("ao 4 6"), 3);
	EXPECT_EQ(tracedLines("epsilon"), (std::vector<std::string>{"epsilon 1", "epsilon 2", "epsilon 2"}));
	EXPECT_EQ(tracedLines("aa"), (std::vector<std::string>{"aa 0 1 3 0 0 0 0.5"})) << "the defaults, location 1";
	zeHideScene(1);
	g_trace.clear();
	zeAnimateScene(1, 1000);
	EXPECT_EQ(traced("glow") + traced("streak on") + traced("bloom on") + traced("ao on") + traced("shadows on") +
		traced("aa"), 6) << "every switch again after hiding";
	zeAnimateSceneProcessing(1, 1000);
	EXPECT_EQ(traced("aa"), 1);
	zeAnimateSceneProcessing(9, 0);
	EXPECT_EQ(takeError(), "Invalid Scene ID 9");
}

TEST_F(SceneAnimateTest, CameraShadersShowInTheirFrameWindowAndChangeOnlyOnChange)
{
	ASSERT_EQ(loadBody(info(0, 60, 1, "100") + group("Cameras", camera()) + group("ZelvPostProcs",
		postProc("Always", "a.hlsl") +
		group("Window", group("Effect", "STR filename \"w.hlsl\"\n" + group("Parameters",
			group("Strength", "FP_C value DAT 3 0 1 2\n"))) + "I4 useframe 1\nI4 startframe 10\nI4 endframe 20\n"))), 0);
	for (int t : {0, 99, 100, 150, 199, 200, 250, 100})
		zeAnimateScene(1, t);
	EXPECT_EQ(tracedLines("show"), (std::vector<std::string>{"show 1", "show 2", "show 2"}));
	EXPECT_EQ(tracedLines("hide"), (std::vector<std::string>{"hide 2"}));
	// While shown, the description at the key (frames 10, 15, 19.9 and 10 at keys 10 ...).
	EXPECT_EQ(traced("params 2"), 4);
	EXPECT_EQ(traced("params 1 -1 0"), 8) << "an effect without parameters still gets its description";
	g_trace.clear();
	zeHideScene(1);
	EXPECT_EQ(tracedLines("hide"), (std::vector<std::string>{"hide 1", "hide 2"}));
	g_trace.clear();
	zeAnimateSceneCameraShaders(1, 150);
	EXPECT_EQ(tracedLines("show"), (std::vector<std::string>{"show 1", "show 2"}));
}

TEST_F(SceneAnimateTest, EmittersAreResetAtTimeZeroOncePerArrival)
{
	ASSERT_EQ(loadBody(info() + group("Cameras", camera()) + group("FxEmitters", emitter("E", 0, 0, Image))), 0);
	for (int t : {0, 0, 500, 0, -100, -100, 40})
		zeAnimateScene(1, t);
	EXPECT_EQ(tracedLines("reset"), (std::vector<std::string>{"reset 1", "reset 1", "reset 1"}));
}

TEST_F(SceneAnimateTest, ObjectFramesAreClampedToTheirOwnLength)
{
	ASSERT_EQ(loadBody(info(0, 60, 1, "10") + group("Cameras", camera()) +
		group("Objects", object("A", Quad) + object("B", Quad) + object("C", Quad))), 0);
	g_frames[1] = 30;
	g_frames[2] = 100;
	g_frames[3] = 1;
	zeAnimateScene(1, 5000);  // frame 50
	EXPECT_EQ(tracedLines("frame"), (std::vector<std::string>{"frame 1 30", "frame 2 50"}));
	g_trace.clear();
	zeAnimateScene(1, -2000);
	EXPECT_EQ(tracedLines("frame"), (std::vector<std::string>{"frame 1 0", "frame 2 0"}));
}

TEST_F(SceneAnimateTest, EveryObjectGetsAsManyMorphWeightsAsItsMeshHas)
{
	std::string objects;
	for (int i = 0; i < 12; ++i)
		objects += object("M" + std::to_string(i), Quad, group("Morphs", group("Smile", "FP_C value DAT 2 0.5 1\n") +
			group("Frown", "FP value 0\n") + group("Wink", "FP value 0.25\n")));
	std::string many;
	for (int m = 0; m < 70; ++m)
		many += group("T" + std::to_string(m), "FP value 0.01\n");
	objects += object("Many", Quad, group("Morphs", many));
	ASSERT_EQ(loadBody(info() + group("Cameras", camera()) + group("Objects", objects)), 0);
	for (int id = 1; id <= 12; ++id)
		g_morphCount[id] = 3;
	g_morphCount[12] = 2;   // a mesh with fewer targets than the scene names
	g_morphCount[13] = 70;
	zeAnimateScene(1, 0);
	const std::vector<std::string> morphs = tracedLines("morph");
	ASSERT_EQ(morphs.size(), 13u);
	for (int i = 0; i < 11; ++i)
		EXPECT_EQ(morphs[static_cast<size_t>(i)], "morph " + std::to_string(i + 1) + " 2 1:50 3:25");
	EXPECT_EQ(morphs[11], "morph 12 1 1:50");
	EXPECT_EQ(morphs[12], "morph 13 70 1:1 2:1 3:1");
}

TEST_F(SceneAnimateTest, ExtraModePlacesObjectsRelativeToTheSceneCamera)
{
	ASSERT_EQ(loadBody(info() + group("Cameras", group("C", "FP position 2 0 0\nFP zoomFactor 1\n")) +
		group("Lights", light("L", 1)) + group("Objects", object("A", Quad, "", "FP position 10 0 0\n")), 1), 0);
	zeAnimateScene(1, 0);
	EXPECT_EQ(zeGetObjectNode(1)->getPosition(), core::vector3df(8, 0, 0));
	EXPECT_EQ(traced("camera") + traced("fov") + traced("glow") + traced("aa"), 0)
		<< "no camera, field of view or processing in extra mode";
	zePositionObject(1, 0, 0, 0);
	zeAnimateSceneObject(1, 0, 1);
	EXPECT_EQ(zeGetObjectNode(1)->getPosition(), core::vector3df(8, 0, 0));
	EXPECT_EQ(takeError(), "");
}

TEST_F(SceneAnimateTest, TheCubeMapUseOfLargestInfluenceIsApplied)
{
	spyCubeMaps();
	const std::string uses = group("UseCubeMaps",
		group("Near", "STR renderCubeMap \"Near\"\nFP aabbPosition 3 0 0\nFP aabbScale 5 5 5\nFP_C influence DAT 2 1 0\n") +
		group("Far", "STR renderCubeMap \"Far\"\nFP_C influence DAT 2 0 1\n") +
		group("Tie", "STR renderCubeMap \"Near\"\nFP_C influence DAT 2 0 1\n") +
		group("Lost", "STR renderCubeMap \"Missing\"\nFP influence 5\n") +
		group("Silent", "STR renderCubeMap \"Near\"\n"));
	const std::string cubeMaps = group("CubeMaps", group("Near", "STR name \"Near\"\n") + group("Far", "STR name \"Far\"\n"));
	const std::string path = write("c.zelv", info() + group("Cameras", camera()) + cubeMaps +
		group("Objects", object("A", Quad, uses)));
	ASSERT_EQ(zeLoadScene(path.c_str(), 1, 1, 1, 1, 40, 1, 1, 1, 0, "", 0), 0);
	EXPECT_EQ(tracedLines("cubemap"), (std::vector<std::string>{"cubemap 1 40"})) << "at load: the first with a box";
	g_trace.clear();
	zeAnimateScene(1, 0);
	EXPECT_EQ(tracedLines("cubemap"), (std::vector<std::string>{"cubemap 1 40"}));
	EXPECT_EQ(tracedLines("box"), (std::vector<std::string>{"box 1 1", "box 1 at 3 scale 5"}));
	g_trace.clear();
	zeAnimateScene(1, 1000);
	EXPECT_EQ(tracedLines("cubemap"), (std::vector<std::string>{"cubemap 1 41"})) << "Far wins the tie with Tie";
	EXPECT_EQ(tracedLines("box"), (std::vector<std::string>{"box 1 0"}));
}

TEST_F(SceneAnimateTest, PreparationCapturesEveryCubeMapAndLeavesTheSceneAsItWas)
{
	spyCubeMaps();
	const std::string cubeMaps = group("CubeMaps",
		group("Mirror", "STR name \"Mirror\"\nFP renderTime 0.5\nFP position 1 0 0\nFP_C cameraOffset [\nDAT 2 0 1\n"
		                "RUN 1 0\nRUN 1 0\n]\nI4 hideObject 1\n" + group("hideSet", "STR a \"Ball\"\n") +
		                "I4 showVolumetric 0\nI4 clampVolumetric 1\nFP clampVolumetricMax 2.5\n") +
		group("Sky", "STR name \"Sky\"\nI4 renderType 1\nFP renderTime 1\nFP position 0 5 0\n" +
		             group("showSet", "STR a \"Floor\"\n") + "I4 showVolumetric 1\n"));
	const std::string lights = group("Lights", light("Fog", 1, "I4 flags 32\n") + light("Beam", 2, "I4 flags 32\n") +
		light("Plain", 1));
	ASSERT_EQ(loadBody(info(0, 60, 1, "1") + group("Cameras", camera()) + lights + cubeMaps + group("Objects",
		object("Mirror", Quad) + object("Ball", Quad) + object("Floor", Quad)) +
		group("FxEmitters", emitter("E", 0, 0, Image))), 0);
	g_watched = {1, 2, 3};
	zeAnimateScene(1, 0);
	g_trace.clear();
	zePrepareSceneRender(1);
	const std::vector<std::string> expected = {
		"time 0", "dummy", "update 1", "update 2",
		// Mirror at 0.5 s: key 0.5, offset 0.5; itself and the ball hidden; volumetric lights off, clamped.
		"time 500", "volumetric 1 0", "limit 1 1 2.5", "volumetric 2 0", "limit 2 1 2.5", "capture 1 1.5 0 0 --+",
		"volumetric 1 1", "volumetric 2 1", "limit 1 0 1e+06", "limit 2 0 1e+06",
		// Sky at 1 s: only the floor; the lights of type 1 keep their volume.
		"time 1000", "volumetric 2 0", "capture 2 0 5 0 --+", "volumetric 2 1",
		// The second pass, then the scene animated at its last time again.
		"time 500", "volumetric 1 0", "limit 1 1 2.5", "volumetric 2 0", "limit 2 1 2.5", "capture 1 1.5 0 0 --+",
		"volumetric 1 1", "volumetric 2 1", "limit 1 0 1e+06", "limit 2 0 1e+06",
		"time 1000", "volumetric 2 0", "capture 2 0 5 0 --+", "volumetric 2 1", "time 0"};
	std::vector<std::string> seen;
	for (const std::string& line : g_trace)
		for (const char* prefix : {"time", "dummy", "update", "volumetric", "limit", "capture"})
			if (line.rfind(prefix, 0) == 0)
				seen.push_back(line);
	EXPECT_EQ(seen, expected);
	EXPECT_EQ(zeObjectVisible(1) + zeObjectVisible(2) + zeObjectVisible(3), 0) << "hidden again";
	EXPECT_EQ(zeGetFxEmitterNode(1)->isVisible(), false);

	// Each frame only the cube maps rendered every frame, without animating.
	g_trace.clear();
	zeShowScene(1);
	zeRenderSceneCubeMaps(1, 250);
	EXPECT_EQ(tracedLines("capture"), (std::vector<std::string>{"capture 2 0 5 0 --+"}));
	EXPECT_EQ(traced("time"), 0);
	EXPECT_EQ(zeObjectVisible(1) + zeObjectVisible(2) + zeObjectVisible(3), 3) << "all objects shown after a capture";
}

TEST_F(SceneAnimateTest, StashingMovesObjectsAwayAndHidesEmittersAndCameraShaders)
{
	ASSERT_EQ(loadBody(info() + group("Cameras", camera()) + group("Objects", object("A", Quad)) +
		group("FxEmitters", emitter("E", 0, 0, Image)) + group("ZelvPostProcs", postProc("P", "p.hlsl"))), 0);
	zeShowScene(1);
	zeAnimateScene(1, 0);
	EXPECT_TRUE(zeGetFxEmitterNode(1)->isVisible());
	g_trace.clear();
	zeStashScene(1);
	EXPECT_EQ(zeGetObjectNode(1)->getPosition(), core::vector3df(0, 0, -1000000));
	EXPECT_FALSE(zeGetFxEmitterNode(1)->isVisible());
	EXPECT_EQ(tracedLines("hide"), (std::vector<std::string>{"hide 1"}));
	zeShowSceneFxEmitters(1);
	EXPECT_TRUE(zeGetFxEmitterNode(1)->isVisible());
	g_trace.clear();
	zeAnimateScene(1, 10);
	EXPECT_EQ(tracedLines("show"), (std::vector<std::string>{"show 1"})) << "the shown flag was cleared";
}

TEST_F(SceneAnimateTest, LightValuesALightCannotTakeAreReportedOnceAtLoadAndLeftOutByAnimation)
{
	// One key a second. The spot's range, density and soft edge go bad at
	// keys 1 and 2 (an edge wider than the cone is sound: the whole cone is
	// soft); the point light's colour at key 0, its position never.
	const std::string spot = light("Spot", 2, "I4 falloff 1\nFP_C range DAT 3 10 nan 30\nI4 flags 32\n"
		"FP_C coneAngles [\nDAT 3 0.5 0.5 0.5\nDAT 3 0.1 0.9 nan\n]\n" +
		group("Volumetric", "FP_C density DAT 2 1 inf\nFP base 0.5\nI4 flags 0 0 0 0 1\nFP color 1 nan 1\n"));
	const std::string point = group("Point", "FP_C position [\nDAT 2 1 5\nRUN 2 0\nRUN 2 0\n]\nFP rotation 0 0 0\n"
		"I4 type 1\nFP_C rawColor [\nDAT 2 nan 0.5\nRUN 2 0.5\nRUN 2 0.5\n]\nFP intensity 1\nI4 shadowType 1\n"
		"FP shadMapFuzz nan\n");
	g_log.clear();
	ASSERT_EQ(load(write("a.zelv", info(0, 60, 1, "1") + group("Cameras", camera()) +
		group("Lights", spot + point) +
		group("ZelvRenderSettings", "I4 CH_SHADOW_ENABLE 1\nFP_C CH_SHADOW_EPSILON DAT 2 1 nan\n")), 1, 1), 0);
	const std::vector<std::string> reports = {"Light ID 1 'Spot': \"coneAngles\" gives nan at key 2",
		"Light ID 1 'Spot': \"range\" gives nan at key 1", "Light ID 1 'Spot': \"density\" gives inf at key 1",
		"Light ID 2 'Point': \"rawColor\" gives nan at key 0", "Light ID 1 'Spot': \"color\" gives nan at key 0",
		"Light ID 2 'Point': \"shadMapFuzz\" gives nan at key 0",
		"\"CH_SHADOW_EPSILON\" gives nan at key 1, which is not a finite number"};
	for (const std::string& report : reports)
		EXPECT_EQ(logLinesWith(report), 1) << report;
	EXPECT_EQ(logLinesWith("ERROR"), static_cast<int>(reports.size()));
	scene::ILightSceneNode* spotNode = zeGetLightNode(1);
	scene::ILightSceneNode* pointNode = zeGetLightNode(2);
	EXPECT_FLOAT_EQ(pointNode->getLightData().DiffuseColor.r, 1) << "a new light's colour";

	// Each bad value leaves the light as the last sound key left it, silently.
	g_log.clear();
	g_trace.clear();
	SZeLightExtParams& volumetric = zeGetLightExt(spotNode)->getParams();
	const struct { int Time; f32 Range, Density, Inner, PointX; } frames[] = {
		{0, 10, 1, 22.9183f, 1}, {1000, 10, 1, 0, 5}, {2000, 30, 1, 0, 5}, {0, 10, 1, 22.9183f, 1}};
	for (const auto& f : frames)
	{
		zeAnimateScene(1, f.Time);
		EXPECT_FLOAT_EQ(spotNode->getLightData().Radius, f.Range) << f.Time;
		EXPECT_FLOAT_EQ(volumetric.VolumetricDensity, f.Density) << f.Time;
		EXPECT_NEAR(spotNode->getLightData().InnerCone, f.Inner, 1e-3f) << f.Time;
		EXPECT_FLOAT_EQ(pointNode->getPosition().X, f.PointX) << f.Time;
	}
	EXPECT_FLOAT_EQ(pointNode->getLightData().DiffuseColor.r, 0.5f) << "key 1's colour, kept at key 0";
	EXPECT_EQ(tracedLines("epsilon"), (std::vector<std::string>{"epsilon 1", "epsilon 1"}));
	EXPECT_EQ(g_log, std::vector<std::string>());
	EXPECT_EQ(takeError(), "");
}
