// Keys, mouse and joystick, as the engine's event receiver records them.
#pragma once

#include <irrlicht.h>

// Keys are Windows virtual-key codes; true while down.
int zeEscapeKey();
int zeReturnKey();
int zeSpaceKey();
int zeShiftKey();
int zeLeftKey();
int zeUpKey();
int zeRightKey();
int zeDownKey();
int zeMinusKey();
int zePlusKey();
// The key table entry for codes 0 to 254; 0 for any other code.
int zeKeyState(int code);
// Set once Escape was pressed, never cleared.
int zeEscapeKeyEverPressed();

// Bit 0 left, bit 1 right.
int zeMouseClick();
int zeMouseX();
int zeMouseY();
// The accumulated wheel.
int zeMouseZ();
void zeShowMouse();
void zeHideMouse();

// A snapshot of joystick 0.
struct SZeJoystickState
{
	irr::u32 buttons;
	irr::s16 axis[6];  // X, Y, Z, R, U, V
	irr::u16 pov;      // hundredths of a degree, 65535 centred
};
void zeGetJoystickState(SZeJoystickState* out);

// The engine's event receiver: records keys, mouse, joystick and the host's
// sync frame, and lets every event go on to the GUI and the scene. The
// device's log lines go to the engine log (zeLogDeviceLine).
class CZeEventReceiver : public irr::IEventReceiver
{
public:
	CZeEventReceiver();
	bool OnEvent(const irr::SEvent& event) override;

	bool Keys[255];
	bool EscapeEverPressed;
	int MouseButtons;
	int MouseX;
	int MouseY;
	float MouseWheel;
	SZeJoystickState Joystick;
};
