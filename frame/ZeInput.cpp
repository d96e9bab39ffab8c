#include "frame/ZeInput.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeWindow.h"
#include "frame/ZeWindowPlatform.h"

#include <cmath>
#include <cstring>

using namespace irr;

namespace
{
// The Windows virtual-key code of a key as the 3D library reports it: the
// left and right variants of Shift, Control and Alt become the generic keys.
int virtualKey(EKEY_CODE key)
{
	switch (key)
	{
	case KEY_LSHIFT:
	case KEY_RSHIFT: return KEY_SHIFT;
	case KEY_LCONTROL:
	case KEY_RCONTROL: return KEY_CONTROL;
	case KEY_LMENU:
	case KEY_RMENU: return KEY_MENU;
	default: return static_cast<int>(key);
	}
}

CZeEventReceiver* receiver()
{
	return zeGetContext()->receiver;
}

int key(int code)
{
	CZeEventReceiver* r = receiver();
	return r && code >= 0 && code < 255 && r->Keys[code] ? 1 : 0;
}
} // namespace

CZeEventReceiver::CZeEventReceiver()
	: EscapeEverPressed(false), MouseButtons(0), MouseX(0), MouseY(0), MouseWheel(0.0f)
{
	memset(Keys, 0, sizeof(Keys));
	memset(&Joystick, 0, sizeof(Joystick));
	Joystick.pov = 65535;
}

bool CZeEventReceiver::OnEvent(const SEvent& event)
{
	switch (event.EventType)
	{
	case EET_KEY_INPUT_EVENT:
	{
		const int code = virtualKey(event.KeyInput.Key);
		if (code >= 0 && code < 255)
			Keys[code] = event.KeyInput.PressedDown;
		if (code == KEY_ESCAPE && event.KeyInput.PressedDown)
			EscapeEverPressed = true;
		break;
	}
	case EET_MOUSE_INPUT_EVENT:
		MouseX = event.MouseInput.X;
		MouseY = event.MouseInput.Y;
		MouseButtons = (event.MouseInput.isLeftPressed() ? 1 : 0) | (event.MouseInput.isRightPressed() ? 2 : 0);
		if (event.MouseInput.Event == EMIE_MOUSE_WHEEL)
			MouseWheel += event.MouseInput.Wheel;
		break;
	case EET_JOYSTICK_INPUT_EVENT:
		if (event.JoystickEvent.Joystick == 0)
		{
			Joystick.buttons = event.JoystickEvent.ButtonStates;
			for (int i = 0; i < 6; ++i)
				Joystick.axis[i] = event.JoystickEvent.Axis[i];
			Joystick.pov = event.JoystickEvent.POV;
		}
		break;
	case EET_LOG_TEXT_EVENT:
		zeLogDeviceLine(event.LogEvent.Level, event.LogEvent.Text);
		return true;
	case EET_USER_EVENT:
		if (event.UserEvent.UserData1 == ZE_SYNC_FRAME_EVENT)
			zeSetSyncFrame(event.UserEvent.UserData2);
		else
			zeHandleWindowCloseEvent(event.UserEvent.UserData1);
		break;
	default:
		break;
	}
	return false;
}

int zeEscapeKey() { return key(KEY_ESCAPE); }
int zeReturnKey() { return key(KEY_RETURN); }
int zeSpaceKey() { return key(KEY_SPACE); }
int zeShiftKey() { return key(KEY_SHIFT); }
int zeLeftKey() { return key(KEY_LEFT); }
int zeUpKey() { return key(KEY_UP); }
int zeRightKey() { return key(KEY_RIGHT); }
int zeDownKey() { return key(KEY_DOWN); }
int zeMinusKey() { return key(KEY_MINUS) || key(KEY_SUBTRACT) ? 1 : 0; }
int zePlusKey() { return key(KEY_PLUS) || key(KEY_ADD) ? 1 : 0; }
int zeKeyState(int code) { return key(code); }

int zeEscapeKeyEverPressed()
{
	CZeEventReceiver* r = receiver();
	return r && r->EscapeEverPressed ? 1 : 0;
}

int zeMouseClick()
{
	CZeEventReceiver* r = receiver();
	return r ? r->MouseButtons : 0;
}

int zeMouseX()
{
	CZeEventReceiver* r = receiver();
	return r ? r->MouseX : 0;
}

int zeMouseY()
{
	CZeEventReceiver* r = receiver();
	return r ? r->MouseY : 0;
}

int zeMouseZ()
{
	CZeEventReceiver* r = receiver();
	return r ? static_cast<int>(std::lround(r->MouseWheel)) : 0;
}

void zeShowMouse()
{
	SZeContext* c = zeGetContext();
	if (c->device)
		c->device->getCursorControl()->setVisible(true);
}

void zeHideMouse()
{
	SZeContext* c = zeGetContext();
	if (c->device)
		c->device->getCursorControl()->setVisible(false);
}

void zeGetJoystickState(SZeJoystickState* out)
{
	CZeEventReceiver* r = receiver();
	if (!out)
		return;
	if (r)
		*out = r->Joystick;
	else
	{
		memset(out, 0, sizeof(*out));
		out->pov = 65535;
	}
}
