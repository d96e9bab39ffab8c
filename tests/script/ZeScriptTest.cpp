// The script table against the engine on the NULL driver with a recording
// effect service: a real Lua state runs chunks that call "ze".
#include "api/ZeSceneTestUtil.h"

#include "api/ZeLightApi.h"
#include "api/ZeMusic.h"
#include "frame/ZeCamera.h"
#include "frame/ZeDraw2D.h"
#include "script/ZeScript.h"
#include "script/ZeScriptBinding.h"

#include <unistd.h>

#include <climits>
#include <set>
#include <sstream>

using namespace zetest;

namespace
{
// Every function of the table, by family.
const char* const FUNCTION_NAMES =
	"Setup Term IsSetup Run Sync RenderDummy RenderSetDebug HasPrecalcRenderTargets ScreenShot Timer Sleep "
	"FileRequester MessageBox ScreenModeDialog ScreenModeOption "
	"HideWindow ShowWindow MaximizeWindow MinimizeWindow RestoreWindow IsWindowActive WindowMode ScreenWidth "
	"ScreenHeight ScreenDepth "
	"EscapeKey EscapeKeyEverPressed ReturnKey SpaceKey ShiftKey RightKey LeftKey UpKey DownKey MinusKey PlusKey "
	"KeyState MouseClick MouseX MouseY MouseZ ShowMouse HideMouse "
	"Ink InkAlpha Box BoxWithEffect Line RGB RGBf FadeIn FadeOut StopFade "
	"Text SetTextFont SetTextColor SetTextAlpha TextFont TextColor TextAlpha TextWidth TextHeight "
	"SetDir GetDir FileExist PathFilename PathPath PathFull "
	"SetCameraRange SetCameraFOV SetCameraDOF SetCameraAdvancedDOF SetCameraStereo PositionCamera RotateCamera "
	"SetCameraMode SetCameraMoveSpeed SetCameraJumpSpeed SetCameraRotationXYZ SetCameraRotationZYX "
	"SetObjectCollisionOn SetObjectCollisionOff AutomaticCameraCollisionOn AutomaticCameraCollisionOff "
	"PositionToScreen "
	"LoadImage MakeImage RenderToImage SetImageColor SetImageAlpha PasteImage PasteImageStretch "
	"PasteImageWithEffect ImageExist DeleteImage ImageWidth ImageHeight "
	"EnableJoystick DisableJoystick JoystickIsPresent JoystickUp JoystickDown JoystickLeft JoystickRight "
	"JoystickX JoystickY JoystickZ JoystickR JoystickU JoystickV JoystickFireA JoystickFireB JoystickFireC "
	"JoystickFireD JoystickFireX "
	"LoadObject InstanceObject CloneObject ObjectExist ObjectVisible ShowObject HideObject DeleteObject "
	"PositionObject RotateObject ScaleObject TotalObjectFrames SetObjectFrame LockObjectOn LockObjectOff "
	"GetObjectRadius SetObjectMorph GetObjectMorphCount GhostObjectOn SetAlphaMappingOn SetObjectRotationXYZ "
	"SetObjectRotationZYX SetObjectSurfaces "
	"SetObjectSurfaceParamTex SetObjectSurfaceParamTexImg SetObjectSurfaceParamInt SetObjectSurfaceParamFloat "
	"SetObjectSurfaceParamFloat3 SetObjectSurfaceEffect SetObjectSurfaceEffectTechnique UpdateObjectFromSurfaces "
	"MakeLight SetDirectionalLight SetSpotLight SetPointLight LightExist LightVisible SetLightRange ColorLight "
	"SetLightRawColor SetLightIntensity ShowLight HideLight DeleteLight PositionLight RotateLight "
	"ColorAmbientLight ColorBackdrop SetLightShadow ColorLightShadow SetShadowMapSize SetShadowMapFuzz "
	"SetLightRotationXYZ SetLightRotationZYX "
	"MakeCameraEffect MakeCameraEffectFromFile CameraEffectExist DeleteCameraEffect ShowCameraEffect "
	"HideCameraEffect SetCameraEffectPriority SetCameraEffectParameters "
	"LoadEffect LoadEffectForObjectSurface LoadEffectForFxEmitter EffectExist DeleteEffect "
	"SetEffectConstantBoolean SetEffectConstantInteger SetEffectConstantFloat SetEffectConstantFloatN "
	"SetEffectTexture SetEffectTextureImage "
	"MakeFxEmitterBox MakeFxEmitterSphere MakeFxEmitterMeshStatic MakeFxEmitterMeshVertices "
	"MakeFxEmitterMeshNormal FxEmitterExist ShowFxEmitter HideFxEmitter DeleteFxEmitter PositionFxEmitter "
	"RotateFxEmitter LockFxEmitterOn LockFxEmitterOff SetFxEmitterParticleSize SetFxEmitterVelocity "
	"SetFxEmitterGravity SetFxEmitterParentMotion SetFxEmitterBirthRate SetFxEmitterExplosion "
	"SetFxEmitterWeight SetFxEmitterResistance SetFxEmitterVibration SetFxEmitterRotation SetFxEmitterLifeTime "
	"SetFxEmitterParticleLimit SetFxEmitterBlendMode SetFxEmitterColor SetFxEmitterUseImageColor "
	"SetFxEmitterEffect SetFxEmitterEffectFromFile SetFxEmitterDefaultEffect SetFxEmitterEffectTechnique "
	"FxResetEmitter FxResetEmitterEmittedCount SetFxEmitterSizeGradient SetFxEmitterColorGradient "
	"SetFxEmitterEffectParameters "
	"LoadMusic MusicExist DeleteMusic PlayMusic StopMusic PauseMusic ResumeMusic SetMusicPosition "
	"GetMusicPosition SetMusicVolume MusicVolume "
	"LoadScene SetLoadSceneCallback SceneExist DeleteScene ShowScene HideScene SceneTotalObjects "
	"SceneTotalLights SceneTotalFxEmitters SceneTotalCubeMaps SceneTotalCameraShaders SceneTotalEffects "
	"AnimateScene AnimateSceneObject AnimateSceneProcessing AnimateSceneCameraShaders SceneAnimTimeEnd SceneFps "
	"SceneFrameStart PrepareSceneRender";

const char* const NOT_IMPLEMENTED[] = {"SetCameraEffectParameters", "SetFxEmitterSizeGradient",
	"SetFxEmitterColorGradient", "SetFxEmitterEffectParameters", "SetObjectSurfaces"};

// join(...): the values joined as the text functions join them.
int join(lua_State* L)
{
	lua_pushstring(L, joinArgsWithToString(L, 1));
	return 1;
}

class ScriptTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_DRIVER", "null", 1);
		setenv("ZELV_BATCH", "1", 1);
		setenv("SDL_AUDIODRIVER", "dummy", 1);
		char pattern[] = "/tmp/zescriptXXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		zeInstallEngineCore();
		zeRegisterSceneFactories();
		registerFakeEffects();
		zeInstallMusic();
		zeInstallObjectApi();
		g_log.clear();
		zeSetLogSink(captureLog);
		open();
	}
	void TearDown() override
	{
		close();
		zeTerm();
		zeSetLogSink(nullptr);
		zeRegisterServiceFactories(SZeServiceFactories());
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}
	void open()
	{
		L = luaL_newstate();
		luaL_openlibs(L);
		openScriptLibrary(L);
		lua_register(L, "join", join);
		lua_pushstring(L, Tmp.c_str());
		lua_setglobal(L, "tmp");
	}
	void close()
	{
		if (L)
			lua_close(L);
		L = nullptr;
	}

	// Runs a chunk: "" when it ran to its end, else its error message
	// without the position in the chunk ("t:1: ") that Lua puts first.
	std::string run(const std::string& code)
	{
		const std::string message = runRaw(code);
		return message.rfind("t:1: ", 0) == 0 ? message.substr(5) : message;
	}
	std::string runRaw(const std::string& code)
	{
		if (luaL_loadbuffer(L, code.data(), code.size(), "=t") != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK)
		{
			const std::string message = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(no message)";
			lua_pop(L, 1);
			return message;
		}
		return "";
	}
	// The results of an expression, each through tostring and joined by ",".
	std::string eval(const std::string& expression)
	{
		const std::string error =
			run("local r = table.pack(" + expression + ") local t = {} for i = 1, r.n do t[i] = tostring(r[i]) end "
				"result = table.concat(t, ',')");
		if (!error.empty())
			return "error: " + error;
		lua_getglobal(L, "result");
		const std::string result = lua_tostring(L, -1);
		lua_pop(L, 1);
		return result;
	}
	void setUp() { ASSERT_EQ(run("ze.Setup(160, 120, 32, true)"), ""); }
	std::string file(const std::string& name, const std::string& text)
	{
		std::ofstream(Tmp + "/" + name) << text;
		return Tmp + "/" + name;
	}
	std::string quad() { return file("quad.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3\nf 1 3 4\n"); }
	// A 4 by 4 image file (the engine set up).
	std::string png(const std::string& name)
	{
		video::IVideoDriver* driver = zeGetContext()->driver;
		video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(4, 4));
		image->fill(video::SColor(255, 10, 20, 30));
		const std::string path = Tmp + "/" + name;
		EXPECT_TRUE(driver->writeImageToFile(image, path.c_str()));
		image->drop();
		return path;
	}

	lua_State* L = nullptr;
	std::string Tmp;
};
} // namespace

TEST_F(ScriptTest, TheTableHoldsExactlyTheFunctionsAndIsAlsoTheLoadedModule)
{
	std::set<std::string> expected;
	std::istringstream names(FUNCTION_NAMES);
	for (std::string name; names >> name;)
		EXPECT_TRUE(expected.insert(name).second) << name << " twice in the list";
	ASSERT_EQ(expected.size(), 256u);

	std::set<std::string> found;
	lua_getglobal(L, "ze");
	ASSERT_TRUE(lua_istable(L, -1));
	lua_pushnil(L);
	while (lua_next(L, -2))
	{
		EXPECT_EQ(lua_type(L, -2), LUA_TSTRING);
		const std::string name = lua_tostring(L, -2);
		EXPECT_TRUE(lua_iscfunction(L, -1)) << name;
		found.insert(name);
		lua_pop(L, 1);
	}
	lua_pop(L, 1);
	EXPECT_EQ(found, expected);
	EXPECT_EQ(eval("package.loaded.ze == ze"), "true");
}

TEST_F(ScriptTest, GuardedFunctionsNeedSetupAndTheUnguardedOnesRunWithoutIt)
{
	EXPECT_EQ(run("ze.Box(1, 2, 3, 4)"), "calling 'Box' without Setup first");
	EXPECT_EQ(run("ze.LoadScene()"), "calling 'LoadScene' without Setup first");
	EXPECT_EQ(run("local f = ze.Sync f()"), "calling 'f' without Setup first");
	EXPECT_EQ(run("pcall(ze.Box)"), "") << "pcall gives the function no name";
	EXPECT_EQ(eval("pcall(ze.Box)"), "false,calling '?' without Setup first");
	for (const char* name : NOT_IMPLEMENTED)
		EXPECT_EQ(run(std::string("ze.") + name + "()"), std::string("calling '") + name + "' without Setup first");

	EXPECT_EQ(eval("ze.IsSetup()"), "false");
	EXPECT_EQ(run("ze.Term()"), "");
	EXPECT_EQ(eval("ze.ScreenModeOption('width')"), "-1") << "nothing confirmed yet";
	EXPECT_EQ(eval("ze.ScreenModeDialog()"), "true") << "batch mode confirms the defaults";
	EXPECT_EQ(eval("ze.ScreenModeOption('WIDTH'), ze.ScreenModeOption('nokey')"), "640,-1");
	EXPECT_EQ(eval("ze.FileRequester('pick one')"), "nil") << "batch mode has nobody to choose";
	EXPECT_EQ(run("ze.FileRequester(true)"), "bad argument #1 to 'FileRequester' (string expected, got boolean)");
	EXPECT_EQ(run("ze.MessageBox('50%', '%s%d', 7)"), "");
	EXPECT_EQ(logLinesWith("50% %s%d 7"), 1);
	EXPECT_EQ(zeIsSetup(), 0);
}

TEST_F(ScriptTest, SetupStartsTheEngineWithItsDefaultsAndMakesTheStartState)
{
	EXPECT_EQ(run("ze.Setup(nil, nil, nil, 'yes')"), "bad argument #4 to 'Setup' (boolean expected, got string)");
	EXPECT_EQ(zeIsSetup(), 0) << "an argument error changes nothing";
	ASSERT_EQ(run("ze.Setup() ze.Sync()"), "");
	EXPECT_EQ(eval("ze.IsSetup(), ze.ScreenWidth(), ze.ScreenHeight(), ze.WindowMode()"), "true,640,480,false");
	float x = 0, y = 0, z = 0;
	zeGetCameraPosition(&x, &y, &z);
	EXPECT_FLOAT_EQ(x, 0.0f);
	EXPECT_FLOAT_EQ(y, 0.0f);
	EXPECT_FLOAT_EQ(z, -5.0f);
	EXPECT_EQ(eval("ze.LightExist(0), ze.LightVisible(0)"), "true,true");
	const video::SColorf ambient = zeGetContext()->sceneManager->getAmbientLight();
	EXPECT_NEAR(ambient.r, 5.0f / 255.0f, 1e-4f);
	EXPECT_NEAR(ambient.b, 5.0f / 255.0f, 1e-4f);
	EXPECT_EQ(zeGetContext()->backdrop.color & 0xFFFFFFu, 0x001122u);
	// Light 0 is taken, and MakeLight does not replace.
	const std::string error = run("ze.MakeLight(0)");
	EXPECT_EQ(error.rfind("bad argument #1 to 'MakeLight' (invalid Light ID 0 : ", 0), 0u) << error;
	EXPECT_NE(error.find("id 0 already exist"), std::string::npos) << error;

	// Setup again restarts the engine; Term ends it.
	ASSERT_EQ(run("ze.Setup(200, 100, 32, true)"), "");
	EXPECT_EQ(eval("ze.ScreenWidth(), ze.ScreenHeight(), ze.LightExist(0)"), "200,100,true");
	EXPECT_EQ(run("ze.Term()"), "");
	EXPECT_EQ(eval("ze.IsSetup()"), "false");
}

TEST_F(ScriptTest, IntegersRoundToNearestEvenAndMustFitIn32Bits)
{
	setUp();
	EXPECT_EQ(eval("ze.RGB(0, 0, 2.5), ze.RGB(0, 0, 3.5), ze.RGB(0, 0, -2.5), ze.RGB(0, 0, 2.4999)"), "2,4,-2,2");
	EXPECT_EQ(eval("ze.RGB(0, 0, -1), ze.RGB(0, 0, '7')"), "-1,7");
	EXPECT_EQ(eval("ze.RGB(-1, 0, 0), ze.RGB(0, -1, 0)"), "-65536,-256") << "the bits shifted, whatever the sign";
	EXPECT_EQ(run("ze.RGB(0, 0, 2^40)"), "bad argument #3 to 'RGB' (integer out of the 32-bit range)");
	EXPECT_EQ(run("ze.RGB(0, 0, 2^31)"), "bad argument #3 to 'RGB' (integer out of the 32-bit range)");
	EXPECT_EQ(run("ze.RGB(0, 0, 0/0)"), "bad argument #3 to 'RGB' (integer out of the 32-bit range)");
	EXPECT_EQ(eval("ze.RGB(0, 0, -2^31)"), std::to_string(INT_MIN));
	EXPECT_EQ(run("ze.RGB(0, 0, 'x')"), "bad argument #3 to 'RGB' (number expected, got string)");
	EXPECT_EQ(run("ze.SetTextAlpha(2.5)"), "");
	EXPECT_EQ(eval("ze.TextAlpha()"), "2");

	// Colours take the whole unsigned range; -1 is all bits.
	EXPECT_EQ(run("ze.SetTextColor(2^32 - 1)"), "");
	EXPECT_EQ(eval("ze.TextColor()"), std::to_string(0xFFFFFF));
	EXPECT_EQ(run("ze.ColorBackdrop(0xFF102030)"), "");
	EXPECT_EQ(zeGetContext()->backdrop.color, 0xFF102030u);
	EXPECT_EQ(run("ze.ColorBackdrop(-1)"), "");
	EXPECT_EQ(zeGetContext()->backdrop.color, 0xFFFFFFFFu);
	EXPECT_EQ(run("ze.ColorBackdrop(2^40)"), "bad argument #1 to 'ColorBackdrop' (colour out of the 32-bit range)");
	EXPECT_EQ(run("ze.ColorBackdrop(2^32)"), "bad argument #1 to 'ColorBackdrop' (colour out of the 32-bit range)");
}

TEST_F(ScriptTest, BooleansAreStrict)
{
	setUp();
	EXPECT_EQ(run("ze.SetLightShadow(0, 1)"), "bad argument #2 to 'SetLightShadow' (boolean expected, got number)");
	EXPECT_EQ(run("ze.SetLightShadow(0, nil)"), "bad argument #2 to 'SetLightShadow' (boolean expected, got nil)");
	EXPECT_EQ(run("ze.SetLightShadow(0)"), "bad argument #2 to 'SetLightShadow' (boolean expected, got no value)");
	EXPECT_EQ(run("ze.HasPrecalcRenderTargets(1)"),
		"bad argument #1 to 'HasPrecalcRenderTargets' (boolean expected, got number)");
	EXPECT_EQ(run("ze.PathFilename('a/b.txt', 0)"), "bad argument #2 to 'PathFilename' (boolean expected, got number)");
	EXPECT_EQ(run("ze.SetLightShadow(0, true) ze.SetLightShadow(0, false)"), "");
	// Optional booleans take their defaults only when absent.
	EXPECT_EQ(eval("ze.PathFilename('a/b/c.txt'), ze.PathFilename('a/b/c.txt', false), ze.PathPath('c.txt')"),
		"c.txt,c,");
}

TEST_F(ScriptTest, EngineErrorsBecomeArgumentErrorsWithTheirNumberAndText)
{
	setUp();
	const std::string missing = Tmp + "/missing.obj";
	std::string error = run("ze.LoadObject(tmp .. '/missing.obj', 1)");
	EXPECT_EQ(error, "bad argument #1 to 'LoadObject' (Failed to load mesh '" + missing + "')");
	error = run("ze.LoadObject('" + quad() + "', 1000)");
	EXPECT_EQ(error.rfind("bad argument #2 to 'LoadObject' (invalid Object ID 1000 : ", 0), 0u) << error;
	error = run("ze.ShowObject(1000)");
	EXPECT_EQ(error.rfind("bad argument #1 to 'ShowObject' (Object ID 1000 does not exist. ", 0), 0u) << error;
	EXPECT_EQ(run("ze.BoxWithEffect(0, 0, 10, 10, 7)").rfind("bad argument #5 to 'BoxWithEffect' (Effect ID 7 ", 0), 0u);
	EXPECT_EQ(run("ze.SetFxEmitterBirthRate(3, 1)").rfind("bad argument #1 to 'SetFxEmitterBirthRate' (", 0), 0u);
	EXPECT_EQ(eval("pcall(ze.ShowObject, 5)").rfind("false,bad argument #1 to '", 0), 0u) << "caught by pcall";
	// The error is cleared once raised: the next call runs.
	EXPECT_EQ(run("ze.ShowLight(0)"), "");
	int number = 0;
	EXPECT_EQ(zeGetError(&number), nullptr);

	// An engine error left by a call that does not report them is not blamed on the next one.
	zeSetError(2, "left over");
	EXPECT_EQ(run("ze.Sync()"), "");
	zeSetError(2, "left over");
	EXPECT_EQ(run("ze.ShowLight(0)"), "");
}

TEST_F(ScriptTest, JoinedTextConvertsEveryValueAndStaysWithinItsBuffer)
{
	EXPECT_EQ(eval("join()"), "");
	EXPECT_EQ(eval("join(1, true, nil, 'a b', 2.5)"), "1 true nil a b 2.5");
	EXPECT_EQ(eval("join('100%', '%s%d%n')"), "100% %s%d%n");
	EXPECT_EQ(eval("#join(string.rep('x', 5000))"), "1023");
	EXPECT_EQ(eval("join(string.rep('x', 5000)) == string.rep('x', 1023)"), "true");
	EXPECT_EQ(eval("join(string.rep('x', 1022), 'y') == string.rep('x', 1022) .. ' '"), "true");
	EXPECT_EQ(eval("#join(string.rep('x', 1023), 'y', 'z')"), "1023");
	EXPECT_EQ(run("tostring = function() return {} end join(1)"), "'tostring' must return a string to 'Text'");
}

TEST_F(ScriptTest, TextFunctionsQueueTheJoinedTextAsIs)
{
	setUp();
	const int before = zeGet2DCommandCount();
	EXPECT_EQ(run("ze.Text(1, 2) ze.Text(1, 2, 1, true, nil) ze.Text(3, 4, '100%s %d %n')"), "");
	EXPECT_EQ(zeGet2DCommandCount(), before + 3);
	EXPECT_EQ(run("ze.Text('x', 2, 'hello')"), "bad argument #1 to 'Text' (number expected, got string)");
	EXPECT_EQ(eval("ze.TextWidth() , ze.TextWidth('a', 'b') == ze.TextWidth('a b')"), "0,true");
	EXPECT_EQ(eval("ze.TextHeight('%s%s%s%s') > 0"), "true");
}

TEST_F(ScriptTest, TableArgumentsAreCheckedForSizeAndEntries)
{
	setUp();
	ASSERT_EQ(run("ze.LoadObject('" + quad() + "', 1)"), "");
	EXPECT_EQ(runRaw("local t = {} for i = 1, 61 do t[i] = 1 end ze.SetObjectMorph(1, t, t)"),
		"Exceed buffer capacity 61>60") << "no position in the chunk";
	EXPECT_EQ(run("local t = {} for i = 1, 60 do t[i] = 1 end ze.SetObjectMorph(1, t, t)"), "");
	EXPECT_EQ(runRaw("ze.SetObjectMorph(1, {1, 2}, {0.5, true})"),
		"invalid entry #2 in array argument #3 (expected number, got boolean)");
	EXPECT_EQ(run("ze.SetObjectMorph(1, {1, {}}, {0.5, 1})"),
		"invalid entry #2 in array argument #2 (expected number, got table)");
	EXPECT_EQ(run("ze.SetObjectMorph(1, {1, 2^40}, {0.5, 1})"),
		"invalid entry #2 in array argument #2 (integer out of the 32-bit range)");
	EXPECT_EQ(run("ze.SetObjectMorph(1, {'1', 2}, {'0.5', 1})"), "") << "numeric strings are numbers";
	EXPECT_EQ(run("ze.SetObjectMorph(1, 5, {})"), "bad argument #2 to 'SetObjectMorph' (table expected, got number)");
	EXPECT_EQ(run("ze.SetObjectMorph(1, {1, 2}, {1})"),
		"bad argument #3 to 'SetObjectMorph' (the number of morphs(2) is not equals to the number of weights(1))");
	// Read from the first argument on, and a fourth one changes nothing.
	EXPECT_EQ(run("ze.SetObjectMorph('x', {true}, 5)"),
		"bad argument #1 to 'SetObjectMorph' (number expected, got string)");
	EXPECT_EQ(run("ze.SetObjectMorph(1, {1, 2}, {0.5, 0.25}, {})"), "");
	EXPECT_EQ(run("ze.SetObjectMorph(1, {1, 2}, {0.5, true}, {1, 2})"),
		"invalid entry #2 in array argument #3 (expected number, got boolean)");
}

TEST_F(ScriptTest, ArgumentsAreReadInTheirFixedOrder)
{
	setUp();
	// Setters: from the last argument back.
	EXPECT_EQ(run("ze.PositionObject('a', 'b', 'c', 'd')"),
		"bad argument #4 to 'PositionObject' (number expected, got string)");
	EXPECT_EQ(run("ze.SetEffectConstantFloat('a', 'b', {})"),
		"bad argument #3 to 'SetEffectConstantFloat' (number expected, got table)");
	// Makers and loaders: from the first on.
	EXPECT_EQ(run("ze.LoadObject({}, {})"), "bad argument #1 to 'LoadObject' (string expected, got table)");
	EXPECT_EQ(run("ze.MakeFxEmitterBox({}, {}, 'x')"),
		"bad argument #1 to 'MakeFxEmitterBox' (number expected, got table)");
	EXPECT_EQ(run("ze.MakeImage({}, {}, 'x')"), "bad argument #1 to 'MakeImage' (number expected, got table)");
	// Surface parameters: the name first, even for a missing object, then from the last back.
	EXPECT_EQ(run("ze.SetObjectSurfaceParamFloat('a', 'b', 'NoSuchChannel', 'v')"),
		"bad argument #3 to 'SetObjectSurfaceParamFloat' (the parameter does not exist)");
	EXPECT_EQ(run("ze.SetObjectSurfaceParamFloat3(999, 0, 'BaseColor', 1, 2)"),
		"bad argument #6 to 'SetObjectSurfaceParamFloat3' (number expected, got no value)");
	EXPECT_EQ(run("ze.SetObjectSurfaceParamInt('a', 'b', 'BaseColor', 1)"),
		"bad argument #2 to 'SetObjectSurfaceParamInt' (number expected, got string)");
	EXPECT_EQ(run("ze.SetObjectSurfaceParamTex(999, 0, 'Bump', 'x.png')"),
		"bad argument #1 to 'SetObjectSurfaceParamTex' (Object ID 999 does not exist)");
}

TEST_F(ScriptTest, MakersReplaceWhatTheIdHolds)
{
	setUp();
	const std::string path = quad();
	ASSERT_EQ(run("ze.LoadObject('" + path + "', 1)"), "");
	scene::ISceneNode* first = zeGetObjectNode(1);
	ASSERT_NE(first, nullptr);
	first->grab();
	ASSERT_EQ(run("ze.LoadObject('" + path + "', 1)"), "");
	scene::ISceneNode* second = zeGetObjectNode(1);
	EXPECT_NE(second, first);
	EXPECT_EQ(first->getParent(), nullptr) << "the first node left the scene";
	first->drop();

	ASSERT_EQ(run("ze.CloneObject(2, 1) ze.CloneObject(2, 1) ze.InstanceObject(2, 1)"), "");
	EXPECT_EQ(eval("ze.ObjectExist(2), ze.ObjectExist(3)"), "true,false");
	EXPECT_EQ(run("ze.LoadEffect('a.hlsl', 4) ze.LoadEffect('b.hlsl', 4)"), "");
	EXPECT_EQ(std::string(zeGetEffect(4)->getFileName()), "b.hlsl");
	EXPECT_EQ(run("ze.MakeCameraEffect(1, 4) ze.MakeCameraEffect(1, 4) ze.MakeCameraEffectFromFile(1, 'c.hlsl')"), "");
	EXPECT_EQ(eval("ze.CameraEffectExist(1)"), "true");
	EXPECT_EQ(run("ze.LoadMusic('" ZELV_SOURCE_DIR "/samples/music/tone.mp3', 2)"), "");
	EXPECT_EQ(run("ze.LoadMusic('" ZELV_SOURCE_DIR "/samples/music/tone.mp3', 2)"), "");
	EXPECT_EQ(eval("ze.MusicExist(2), ze.MusicVolume(2)"), "true,100");
	const std::string image = png("dot.png");
	EXPECT_EQ(run("ze.MakeFxEmitterBox(3, '" + image + "', 1, 1, 1) ze.MakeFxEmitterSphere(3, '" + image + "', 1, 1, 1)"),
		"");
	EXPECT_EQ(eval("ze.FxEmitterExist(3)"), "true");
}

TEST_F(ScriptTest, NotImplementedFunctionsRaiseWithoutReadingArguments)
{
	setUp();
	for (const char* name : NOT_IMPLEMENTED)
	{
		EXPECT_EQ(run(std::string("ze.") + name + "()"),
			std::string("bad argument #-1 to '") + name + "' (the function is not implemented)");
		EXPECT_EQ(run(std::string("ze.") + name + "({}, 'x')"),
			std::string("bad argument #-1 to '") + name + "' (the function is not implemented)");
	}
}

TEST_F(ScriptTest, SetEffectConstantFloatNHandsItsValuesAsFloats)
{
	setUp();
	currentFakeEffects()->Parameters = {fakeParameter("Tint", EZEFPT_FLOAT3, 3),
		fakeParameter("Many", EZEFPT_FLOAT4, 16)};
	ASSERT_EQ(run("ze.LoadEffect('fx.hlsl', 1)"), "");
	FakeEffect* effect = static_cast<FakeEffect*>(zeGetEffect(1));
	ASSERT_EQ(run("ze.SetEffectConstantFloatN(1, 'Tint', 1, 2, 3)"), "");
	EXPECT_EQ(effect->Values["Tint"], (std::vector<float>{1, 2, 3}));
	ASSERT_EQ(run("ze.SetEffectConstantFloatN(1, 'Tint', 1.5, 'x', true)"), "");
	EXPECT_EQ(effect->Values["Tint"], (std::vector<float>{1.5f, 0, 0})) << "a value that is no number is 0";
	ASSERT_EQ(run("ze.SetEffectConstantFloatN(1, 'Tint', '4', '5')"), "");
	EXPECT_EQ(effect->Values["Tint"], (std::vector<float>{4, 5}));
	ASSERT_EQ(run("ze.SetEffectConstantFloatN(1, 'Many', 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16)"), "");
	EXPECT_EQ(effect->Values["Many"].size(), 16u);
	EXPECT_EQ(run("ze.SetEffectConstantFloatN(1, 'Many', 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17)"),
		"bad argument #-1 to 'SetEffectConstantFloatN' (too much floats parameters)");
	EXPECT_EQ(run("ze.SetEffectConstantFloatN(1, 'Nothing', 1)"),
		"bad argument #2 to 'SetEffectConstantFloatN' (Unknown constant 'Nothing')");
	EXPECT_EQ(run("ze.SetEffectConstantFloatN(1, {}, 1)"),
		"bad argument #2 to 'SetEffectConstantFloatN' (string expected, got table)");
}

TEST_F(ScriptTest, LoadSceneChecksItsArgumentsAndReportsAFailedLoad)
{
	setUp();
	EXPECT_EQ(run("ze.LoadScene('s.zelv', 1, 1, 1, 1, 1, 1, 1, 1, 'no', '')"),
		"bad argument #10 to 'LoadScene' (boolean expected, got string)");
	EXPECT_EQ(run("ze.LoadScene('s.zelv', 1, 1, 1, 1, 1, 1, 1, 1, false)"),
		"bad argument #11 to 'LoadScene' (string expected, got no value)");
	EXPECT_EQ(run("ze.LoadScene('s.zelv', 1, 1, 1, 1, 'x', 1, 1, 1, false, '')"),
		"bad argument #6 to 'LoadScene' (number expected, got string)");
	EXPECT_EQ(run("ze.LoadScene(tmp .. '/missing.zelv', 1, 1, 1, 1, 1, 1, 1, 1, false, '')"),
		"Failed to load scene '" + Tmp + "/missing.zelv'");
	EXPECT_EQ(run("ze.ShowLight(0)"), "") << "nothing stays pending";
	EXPECT_EQ(zeSceneExist(1), 0);
}

TEST_F(ScriptTest, ARaisingLoadSceneCallbackNeverStopsALoad)
{
	setUp();
	const std::string mesh = quad();
	const std::string path = Tmp + "/s.zelv";
	writeScene(path, sceneText(info() + group("Cameras", camera()) +
		group("Objects", object("A", mesh) + object("B", mesh) + object("C", mesh) + object("D", mesh))));
	ASSERT_FALSE(HasFatalFailure());
	ASSERT_EQ(run("seen = {} ze.SetLoadSceneCallback(function(p) seen[#seen + 1] = p error('stop') end)"), "");
	ASSERT_EQ(run("ze.LoadScene('" + path + "', 2, 10, 1, 1, 1, 1, 1, 1, false, '')"), "");
	EXPECT_EQ(eval("table.concat(seen, ' ')"), "0 0 25 50 75");
	EXPECT_EQ(eval("ze.SceneExist(2), ze.SceneTotalObjects(2), ze.ObjectExist(13)"), "true,4,true");
	// Loading into a used slot replaces the scene.
	ASSERT_EQ(run("seen = {} ze.LoadScene('" + path + "', 2, 10, 1, 1, 1, 1, 1, 1, false, '')"), "");
	EXPECT_EQ(eval("#seen, ze.SceneTotalObjects(2)"), "5,4");
}

TEST_F(ScriptTest, TheLoadSceneCallbackIsReleasedWhenReplacedAndWhenTheStateCloses)
{
	setUp();
	ASSERT_EQ(run("weak = setmetatable({}, {__mode = 'v'}) local f = function() end weak[1] = f "
				  "ze.SetLoadSceneCallback(f) f = nil collectgarbage()"),
		"");
	EXPECT_EQ(eval("weak[1] ~= nil"), "true") << "the callback is held";
	ASSERT_EQ(run("ze.SetLoadSceneCallback(function() end) collectgarbage() collectgarbage()"), "");
	EXPECT_EQ(eval("weak[1] == nil"), "true") << "the previous callback is let go";

	// After the state closes, loading a scene calls nothing of it.
	const std::string mesh = quad();
	const std::string path = Tmp + "/s.zelv";
	writeScene(path, sceneText(info() + group("Cameras", camera()) + group("Objects", object("A", mesh))));
	close();
	EXPECT_EQ(zeLoadScene(path.c_str(), 3, 20, 1, 1, 1, 1, 1, 1, 0, "", 0), 0);
	EXPECT_EQ(zeSceneExist(3), 1);
}

TEST_F(ScriptTest, ALoadSceneCallbackCannotPullItsSceneOutFromUnderTheLoad)
{
	setUp();
	const std::string mesh = quad();
	const std::string path = Tmp + "/s.zelv";
	writeScene(path, sceneText(info() + group("Cameras", camera()) +
		group("Objects", object("A", mesh) + object("B", mesh) + object("C", mesh))));
	ASSERT_FALSE(HasFatalFailure());
	const std::string load = "ze.LoadScene('" + path + "', 2, 10, 1, 1, 1, 1, 1, 1, false, '')";
	// Each call is tried once the load has built an object, its error kept.
	ASSERT_EQ(run("errors = {} function try(call) "
				  "ze.SetLoadSceneCallback(function(p) if p > 0 and not errors[call] then "
				  "errors[call] = 'running' errors[call] = select(2, pcall(load(call, '=c'))) end end) end"),
		"");
	const std::pair<std::string, std::string> refused[] = {
		{"ze.DeleteScene(2)",
			"bad argument #1 to 'DeleteScene' (Scene ID 2 is loading: it cannot be deleted before its load ends)"},
		{load, "bad argument #2 to 'LoadScene' (Scene ID 2 is loading: it cannot be replaced before its load ends)"},
		{"ze.Term()", "'Term' cannot end the engine while a scene loads"},
		{"ze.Setup(160, 120, 32, true)", "'Setup' cannot end the engine while a scene loads"}};
	for (const auto& [call, message] : refused)
	{
		ASSERT_EQ(run("try([[" + call + "]]) " + load), "") << call;
		EXPECT_EQ(eval("errors[ [[" + call + "]] ]"), "c:1: " + message);
		EXPECT_EQ(eval("ze.IsSetup(), ze.SceneTotalObjects(2), ze.ObjectExist(10), ze.ObjectExist(12)"),
			"true,3,true,true") << call;
	}
	// Another scene stays free to go while this one loads.
	ASSERT_EQ(run("ze.SetLoadSceneCallback(function(p) ze.DeleteScene(2) end) "
				  "ze.LoadScene('" + path + "', 4, 20, 1, 1, 1, 1, 1, 1, false, '')"),
		"");
	EXPECT_EQ(eval("ze.SceneExist(2), ze.SceneTotalObjects(4)"), "false,3");
}

TEST_F(ScriptTest, ACallbackSetInACoroutineRunsOnTheMainThreadAndEndsWithTheScript)
{
	setUp();
	const std::string mesh = quad();
	const std::string path = Tmp + "/s.zelv";
	writeScene(path, sceneText(info() + group("Cameras", camera()) + group("Objects", object("A", mesh))));
	ASSERT_FALSE(HasFatalFailure());
	ASSERT_EQ(run("seen = {} local co = coroutine.create(function() ze.SetLoadSceneCallback(function(p) "
				  "seen[#seen + 1] = tostring(select(2, coroutine.running())) end) end) "
				  "assert(coroutine.resume(co)) co = nil collectgarbage() collectgarbage()"),
		"");
	const std::string load = "ze.LoadScene('" + path + "', 2, 10, 1, 1, 1, 1, 1, 1, false, '')";
	ASSERT_EQ(run(load), "");
	EXPECT_EQ(eval("table.concat(seen, ' ')"), "true true") << "called twice, on the main thread";
	ASSERT_EQ(run("seen = {} coroutine.wrap(function() " + load + " end)()"), "");
	EXPECT_EQ(eval("table.concat(seen, ' ')"), "true true") << "also for a load inside a coroutine";
	close();
	EXPECT_EQ(zeLoadScene(path.c_str(), 3, 20, 1, 1, 1, 1, 1, 1, 0, "", 0), 0) << "the callback went with the state";
}

TEST_F(ScriptTest, QueriesAnswerExactlyOneValue)
{
	setUp();
	ASSERT_EQ(run("ze.LoadObject('" + quad() + "', 1) ze.LoadMusic('" ZELV_SOURCE_DIR "/samples/music/tone.mp3', 1)"),
		"");
	for (const char* call : {"ze.CameraEffectExist(3)", "ze.MusicVolume(1)", "ze.IsSetup()", "ze.Run()", "ze.Timer()",
			 "ze.KeyState(27)", "ze.RGBf(1, 0, 0)", "ze.TextFont()", "ze.TextWidth('a')", "ze.GetDir()",
			 "ze.GetObjectRadius(1)", "ze.GetMusicPosition(1)", "ze.SceneTotalObjects(1)", "ze.ScreenModeOption('bpp')",
			 "ze.ScreenModeDialog()", "ze.FileRequester()"})
		EXPECT_EQ(eval("select('#', " + std::string(call) + ")"), "1") << call;
	EXPECT_EQ(eval("select('#', ze.PositionToScreen(0, 0, 0))"), "2");
	EXPECT_EQ(eval("select('#', ze.ShowLight(0))"), "0");
	EXPECT_EQ(eval("select('#', ze.Sync())"), "0");
	EXPECT_EQ(eval("select('#', ze.Setup(160, 120, 32, true))"), "0");
	EXPECT_EQ(eval("ze.RGB(255, 0, 0), ze.RGBf(1, 0, 0), ze.TextFont(), ze.SceneTotalObjects(1)"),
		"16711680,16711680,nil,-1");
}

TEST_F(ScriptTest, KeyStateAnswersFalseOutsideTheKeyTable)
{
	setUp();
	EXPECT_EQ(eval("ze.KeyState(27) == ze.EscapeKey(), ze.KeyState(13) == ze.ReturnKey()"), "true,true");
	EXPECT_EQ(eval("ze.KeyState(-1), ze.KeyState(255), ze.KeyState(100000), ze.KeyState(-2^31)"),
		"false,false,false,false");
}

TEST_F(ScriptTest, FunctionsThatOnlyCheckOrDoNothingReadTheirArguments)
{
	setUp();
	EXPECT_EQ(eval("select('#', ze.SetCameraRotationXYZ(), ze.SetObjectRotationZYX(5), ze.SetLightRotationXYZ(5))"),
		"2") << "the last one answers nothing";
	EXPECT_EQ(run("ze.SetObjectRotationXYZ('x')"),
		"bad argument #1 to 'SetObjectRotationXYZ' (number expected, got string)");
	EXPECT_EQ(run("ze.GhostObjectOn(4)").rfind("bad argument #1 to 'GhostObjectOn' (Object ID 4 does not exist", 0),
		0u);
	EXPECT_EQ(run("ze.SetAlphaMappingOn(4, 'x')"),
		"bad argument #2 to 'SetAlphaMappingOn' (number expected, got string)");
	EXPECT_EQ(run("ze.LoadObject('" + quad() + "', 4) ze.GhostObjectOn(4) ze.SetAlphaMappingOn(4, 0.5)"), "");
}

TEST_F(ScriptTest, MemoryModeRunsThroughTheFileLayerAsTheChunkMem)
{
	char previous[4096];
	ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
	ASSERT_EQ(chdir(Tmp.c_str()), 0);
	file("bad.lua", "x = = 1\n");
	file("fails.lua", "\n\nerror('late')\n");
	file("empty.lua", "");
	testing::internal::CaptureStderr();
	const int syntax = zeRunLuaScript("bad.lua", 1);
	const int runtime = zeRunLuaScript("fails.lua", 1);
	const int missing = zeRunLuaScript("missing.lua", 1);
	const int empty = zeRunLuaScript("empty.lua", 1);
	const int emptyFile = zeRunLuaScript("empty.lua", 0);
	const int fileMode = zeRunLuaScript("fails.lua", 0);
	const std::string err = testing::internal::GetCapturedStderr();
	ASSERT_EQ(chdir(previous), 0);
	EXPECT_EQ(syntax, LUA_ERRSYNTAX);
	EXPECT_EQ(runtime, LUA_ERRRUN);
	EXPECT_EQ(missing, -1);
	EXPECT_EQ(empty, 0);
	EXPECT_EQ(emptyFile, 0);
	EXPECT_EQ(fileMode, LUA_ERRRUN);
	EXPECT_EQ(err, "[string \"mem\"]:1: unexpected symbol near '='\n"
				   "[string \"mem\"]:3: late\n"
				   "cannot load missing.lua\n"
				   "fails.lua:3: late\n");
}

TEST_F(ScriptTest, ARunStartsInTheScriptsFolderAndEndsTheEngine)
{
	char previous[4096];
	ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
	std::filesystem::create_directories(Tmp + "/sub");
	file("sub/quad.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nf 1 2 3\n");
	file("sub/run.lua", "ze.Setup(160, 120, 32, true)\n"
						"ze.LoadObject('quad.obj', 1)\n"
						"local f = io.open('ran.txt', 'w') f:write(tostring(ze.ObjectExist(1))) f:close()\n");
	const int status = zeRunScript((Tmp + "/sub/run.lua").c_str(), 0);
	char after[4096];
	ASSERT_NE(getcwd(after, sizeof(after)), nullptr);
	ASSERT_EQ(chdir(previous), 0);
	zeSetLogLevel(EZELL_INFO);
	EXPECT_EQ(status, 0);
	EXPECT_EQ(std::filesystem::canonical(after), std::filesystem::canonical(Tmp + "/sub"));
	std::ifstream ran(Tmp + "/sub/ran.txt");
	std::string text;
	ran >> text;
	EXPECT_EQ(text, "true");
	EXPECT_EQ(zeIsSetup(), 0) << "the engine is ended after the script";
}
