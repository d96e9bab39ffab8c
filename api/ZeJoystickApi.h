// The joystick API: the state of the first joystick, read while joysticks
// are enabled (every query answers 0 while they are not). Devices are opened
// once each through SDL's joystick support; tests put a backend of their own
// in its place.
#pragma once

#include "frame/ZeInput.h"

// Where joysticks come from.
struct SZeJoystickBackend
{
	// Opens the joysticks not yet open; the number open goes to *count.
	// Returns 1 when joysticks can be read at all, else 0.
	int (*activate)(int* count);
	// The current state of the first joystick (pov 65535 when centred or absent).
	void (*read)(SZeJoystickState* out);
	// Closes every joystick it opened.
	void (*release)();
};
// Null restores SDL's backend. Releases the joysticks of the backend replaced
// and disables joysticks.
void zeSetJoystickBackend(const SZeJoystickBackend* backend);

// Opens the device's joysticks and enables reading; the activation result
// (1 when joysticks can be read).
int zeEnableJoystick();
void zeDisableJoystick();
// 1 when enabled and at least one joystick is open.
int zeJoystickIsPresent();
// Axis n (0 X, 1 Y, 2 Z, 3 R, 4 U, 5 V); values from -1499 to 1499 read 0,
// and so does any other n.
int zeJoystickAxis(int n);
int zeJoystickX();
int zeJoystickY();
int zeJoystickZ();
int zeJoystickR();
int zeJoystickU();
int zeJoystickV();
// 1 when the hat points within 90 degrees of a direction in degrees (0 up,
// 90, 180 down, 270; angles clockwise as the hat reports them, any direction
// taken modulo 360); 0 when centred.
int zeJoystickPov(int direction);
// zeJoystickPov with 0, 180, 90 and 270.
int zeJoystickUp();
int zeJoystickDown();
int zeJoystickLeft();
int zeJoystickRight();
// Bit n of the buttons (n below 32, else 0).
int zeJoystickButton(int n);
int zeJoystickFireX(int n);
// Buttons 0 to 3.
int zeJoystickFireA();
int zeJoystickFireB();
int zeJoystickFireC();
int zeJoystickFireD();
// Closes every joystick (engine shutdown).
void zeReleaseJoysticks();
