// The script functions of set-up and the frame loop, the window, keys and
// mouse, 2D drawing and fades, text, files and paths, the camera, images and
// joysticks.
#include "script/ZeScriptBinding.h"
#include "script/ZeScriptTables.h"

#include "api/ZeImageApi.h"
#include "api/ZeJoystickApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeScene.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeCamera.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeInput.h"
#include "frame/ZeLog.h"
#include "frame/ZeTime.h"
#include "frame/ZeWindow.h"

using namespace zescript;

namespace
{
// ---- Set-up, frame loop and system ------------------------------------------------------
// Ending the engine deletes every scene: a load callback must not do it
// under the load that calls it.
void refuseWhileLoading(lua_State* L, const char* function)
{
	if (zeSceneLoadsRunning() > 0)
		luaL_error(L, "'%s' cannot end the engine while a scene loads", function);
}

// Setup([width], [height], [bits], [windowed]): each read only when given.
int setup(lua_State* L)
{
	refuseWhileLoading(L, "Setup");
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.dataPrefix = nullptr;
	params.cameraNear = 0.1f;
	params.cameraFar = 1000.0f;
	params.stereo = 0;
	const int given = lua_gettop(L);
	if (given >= 4)
		params.windowed = checkBoolean(L, 4);
	if (given >= 3)
		params.bits = checkInteger(L, 3);
	if (given >= 2)
		params.height = checkInteger(L, 2);
	if (given >= 1)
		params.width = checkInteger(L, 1);
	zeClearError();
	if (zeSetup(&params) != 0)
	{
		raisePendingError(L);
		return 0;
	}
	zeClearError();
	// The start state of every script's scene.
	zePositionCamera(0.0f, 0.0f, -5.0f);
	zeMakeLight(0);
	zeSetDirectionalLight(0, 0.0f, 0.0f, 0.0f);
	zeColorAmbientLight(0x050505);
	zeColorBackdrop(0x001122);
	raisePendingError(L);
	return 0;
}

int term(lua_State* L)
{
	refuseWhileLoading(L, "Term");
	zeTerm();
	return 0;
}

int isSetup(lua_State* L)
{
	lua_pushboolean(L, zeIsSetup() != 0);
	return 1;
}

int run(lua_State* L)
{
	checkSetup(L);
	lua_pushboolean(L, zeRun() != 0);
	return 1;
}

int sync(lua_State* L)
{
	checkSetup(L);
	zeEndFrame();
	return 0;
}

int hasPrecalcRenderTargets(lua_State* L)
{
	checkSetup(L);
	checkBoolean(L, 1);
	zeHasPrecalcRenderTargets();
	raisePendingError(L);
	return 0;
}

int fileRequester(lua_State* L)
{
	const char* text = lua_gettop(L) >= 1 ? checkString(L, 1) : nullptr;
	const char* chosen = zeFileRequester(text, nullptr);
	return RStr::push(L, chosen);
}

int messageBox(lua_State* L)
{
	zeMessageBox("%s", joinArgsWithToString(L, 1));
	return 0;
}

int screenModeDialog(lua_State* L)
{
	SZeScreenModeValues values;
	lua_pushboolean(L, zeScreenModeDialog(&values) == 0);
	return 1;
}

int screenModeOption(lua_State* L)
{
	lua_pushinteger(L, zeScreenModeOption(checkString(L, 1)));
	return 1;
}

// ---- 2D drawing and text ------------------------------------------------------------------
int text(lua_State* L)
{
	checkSetup(L);
	const char* joined = joinArgsWithToString(L, 3);
	const int y = checkInteger(L, 2);
	const int x = checkInteger(L, 1);
	zeText(x, y, "%s", joined);
	raisePendingError(L);
	return 0;
}

// TextWidth and TextHeight of the joined values, in the current font.
template <int (*Measure)(const char*, ...)>
int measureText(lua_State* L)
{
	checkSetup(L);
	const int size = Measure("%s", joinArgsWithToString(L, 1));
	raisePendingError(L);
	return RInt::push(L, size);
}

// ---- Camera -------------------------------------------------------------------------------
// The rotation order of the camera stays as it is.
int cameraRotationOrder(lua_State* L)
{
	checkSetup(L);
	return 0;
}

int positionToScreen(lua_State* L)
{
	checkSetup(L);
	const float z = checkNumber(L, 3);
	const float y = checkNumber(L, 2);
	const float x = checkNumber(L, 1);
	int screenX = 0;
	int screenY = 0;
	zePositionToScreen(&screenX, &screenY, x, y, z);
	raisePendingError(L);
	lua_pushinteger(L, screenX);
	lua_pushinteger(L, screenY);
	return 2;
}

// ---- The table ----------------------------------------------------------------------------
const luaL_Reg FUNCTIONS[] = {
	// Set-up, frame loop and system.
	{"Setup", setup},
	{"Term", term},
	{"IsSetup", isSetup},
	{"Run", run},
	{"Sync", sync},
	{"RenderDummy", forward<zeRenderDummyFrame, None>},
	{"RenderSetDebug", forward<zeRenderSetDebug, None, Int>},
	{"HasPrecalcRenderTargets", hasPrecalcRenderTargets},
	{"ScreenShot", forward<zeScreenShot, None, Str>},
	{"Timer", forward<zeTimer, RInt>},
	{"Sleep", forward<zeSleep, None, Int>},
	{"FileRequester", fileRequester},
	{"MessageBox", messageBox},
	{"ScreenModeDialog", screenModeDialog},
	{"ScreenModeOption", screenModeOption},
	// Window and display.
	{"HideWindow", forward<zeHideWindow, None>},
	{"ShowWindow", forward<zeShowWindow, None>},
	{"MaximizeWindow", forward<zeMaximizeWindow, None>},
	{"MinimizeWindow", forward<zeMinimizeWindow, None>},
	{"RestoreWindow", forward<zeRestoreWindow, None>},
	{"IsWindowActive", forward<zeIsWindowActive, RBool>},
	{"WindowMode", forward<zeWindowMode, RBool>},
	{"ScreenWidth", forward<zeScreenWidth, RInt>},
	{"ScreenHeight", forward<zeScreenHeight, RInt>},
	{"ScreenDepth", forward<zeScreenDepth, RInt>},
	// Keys and mouse.
	{"EscapeKey", forward<zeEscapeKey, RBool>},
	{"EscapeKeyEverPressed", forward<zeEscapeKeyEverPressed, RBool>},
	{"ReturnKey", forward<zeReturnKey, RBool>},
	{"SpaceKey", forward<zeSpaceKey, RBool>},
	{"ShiftKey", forward<zeShiftKey, RBool>},
	{"RightKey", forward<zeRightKey, RBool>},
	{"LeftKey", forward<zeLeftKey, RBool>},
	{"UpKey", forward<zeUpKey, RBool>},
	{"DownKey", forward<zeDownKey, RBool>},
	{"MinusKey", forward<zeMinusKey, RBool>},
	{"PlusKey", forward<zePlusKey, RBool>},
	{"KeyState", forward<zeKeyState, RBool, Int>},
	{"MouseClick", forward<zeMouseClick, RInt>},
	{"MouseX", forward<zeMouseX, RInt>},
	{"MouseY", forward<zeMouseY, RInt>},
	{"MouseZ", forward<zeMouseZ, RInt>},
	{"ShowMouse", forward<zeShowMouse, None>},
	{"HideMouse", forward<zeHideMouse, None>},
	// 2D drawing and fades.
	{"Ink", forward<zeInk, None, Colour>},
	{"InkAlpha", forward<zeInkAlpha, None, Int>},
	{"Box", forward<zeBox, None, Int, Int, Int, Int>},
	{"BoxWithEffect", forward<zeBoxWithEffect, None, Int, Int, Int, Int, Int>},
	{"Line", forward<zeLine, None, Int, Int, Int, Int>},
	{"RGB", forward<zeRGB, RInt, Int, Int, Int>},
	{"RGBf", forward<zeRGBf, RInt, Num, Num, Num>},
	{"FadeIn", forward<zeFadeIn, None, Int, Colour>},
	{"FadeOut", forward<zeFadeOut, None, Int, Colour>},
	{"StopFade", forward<zeStopFade, None>},
	// Text.
	{"Text", text},
	{"SetTextFont", forward<zeSetTextFont, None, Str>},
	{"SetTextColor", forward<zeSetTextColor, None, Colour>},
	{"SetTextAlpha", forward<zeSetTextAlpha, None, Int>},
	{"TextFont", forward<zeTextFont, RStr>},
	{"TextColor", forward<zeTextColor, RInt>},
	{"TextAlpha", forward<zeTextAlpha, RInt>},
	{"TextWidth", measureText<zeTextWidth>},
	{"TextHeight", measureText<zeTextHeight>},
	// Files and paths.
	{"SetDir", forward<zeFileSetCurrentDir, None, Str>},
	{"GetDir", forward<zeFileGetCurrentDir, RStr>},
	{"FileExist", forward<zeFileExist, RBool, Str>},
	{"PathFilename", forward<zeFileGetNamePart, RStr, Str, BoolOrTrue>},
	{"PathPath", forward<zeFileGetDirPart, RStr, Str>},
	{"PathFull", forward<zeFileGetFullPath, RStr, Str>},
	// Camera.
	{"SetCameraRange", forward<zeSetCameraRange, None, Num, Num>},
	{"SetCameraFOV", forward<zeSetCameraFOV, None, Num>},
	{"SetCameraDOF", forward<zeSetCameraDOF, None, Int, Num, Num>},
	{"SetCameraAdvancedDOF", forward<zeSetCameraAdvancedDOF, None, Int, Num, Num, Num, Num>},
	{"SetCameraStereo", forward<zeSetCameraStereo, None, Int, Num, Int, Num>},
	{"PositionCamera", forward<zePositionCamera, None, Num, Num, Num>},
	{"RotateCamera", forward<zeRotateCamera, None, Num, Num, Num>},
	{"SetCameraMode", forward<zeSetCameraMode, None, Int>},
	{"SetCameraMoveSpeed", forward<zeSetCameraMoveSpeed, None, Num>},
	{"SetCameraJumpSpeed", forward<zeSetCameraJumpSpeed, None, Num>},
	{"SetCameraRotationXYZ", cameraRotationOrder},
	{"SetCameraRotationZYX", cameraRotationOrder},
	{"SetObjectCollisionOn", forward<zeSetObjectCollision, None, Int>},
	{"SetObjectCollisionOff", forward<zeRemoveObjectCollision, None, Int>},
	{"AutomaticCameraCollisionOn", forward<zeAutomaticCameraCollisionOn, None, Num, Num, Num>},
	{"AutomaticCameraCollisionOff", forward<zeAutomaticCameraCollisionOff, None>},
	{"PositionToScreen", positionToScreen},
	// Images.
	{"LoadImage", replace<zeImageExist, zeDeleteImage, 2, zeLoadImage, Str, Int>},
	{"MakeImage", replace<zeImageExist, zeDeleteImage, 3, zeMakeImage, Int, Int, Int>},
	{"RenderToImage", forward<zeRenderToImage, None, Int, BoolOrTrue>},
	{"SetImageColor", forward<zeSetImageColor, None, Colour>},
	{"SetImageAlpha", forward<zeSetImageAlpha, None, Int>},
	{"PasteImage", forward<zePasteImage, None, Int, Int, Int, BoolOrFalse>},
	{"PasteImageStretch", forward<zePasteImageStretch, None, Int, Int, Int, Int, Int, BoolOrFalse>},
	{"PasteImageWithEffect", forward<zePasteImageWithEffect, None, Int, Int, Int, Int, Int, Int>},
	{"ImageExist", forward<zeImageExist, RBool, Int>},
	{"DeleteImage", forward<zeDeleteImage, None, Int>},
	{"ImageWidth", forward<zeImageWidth, RInt, Int>},
	{"ImageHeight", forward<zeImageHeight, RInt, Int>},
	// Joysticks.
	{"EnableJoystick", forward<zeEnableJoystick, None>},
	{"DisableJoystick", forward<zeDisableJoystick, None>},
	{"JoystickIsPresent", forward<zeJoystickIsPresent, RBool>},
	{"JoystickUp", forward<zeJoystickUp, RBool>},
	{"JoystickDown", forward<zeJoystickDown, RBool>},
	{"JoystickLeft", forward<zeJoystickLeft, RBool>},
	{"JoystickRight", forward<zeJoystickRight, RBool>},
	{"JoystickX", forward<zeJoystickX, RInt>},
	{"JoystickY", forward<zeJoystickY, RInt>},
	{"JoystickZ", forward<zeJoystickZ, RInt>},
	{"JoystickR", forward<zeJoystickR, RInt>},
	{"JoystickU", forward<zeJoystickU, RInt>},
	{"JoystickV", forward<zeJoystickV, RInt>},
	{"JoystickFireA", forward<zeJoystickFireA, RBool>},
	{"JoystickFireB", forward<zeJoystickFireB, RBool>},
	{"JoystickFireC", forward<zeJoystickFireC, RBool>},
	{"JoystickFireD", forward<zeJoystickFireD, RBool>},
	{"JoystickFireX", forward<zeJoystickFireX, RBool, Int>},
	{nullptr, nullptr},
};
} // namespace

const luaL_Reg* zeScriptSystemFunctions()
{
	return FUNCTIONS;
}
