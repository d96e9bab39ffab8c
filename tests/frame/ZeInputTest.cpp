// Keys, mouse and joystick as the engine's event receiver records them: events
// posted to the NULL device, then real X11 input into the OpenGL window.
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeInput.h"
#include "frame/ZeWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

using namespace irr;

namespace
{
class InputTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		setenv("ZELV_DRIVER", "null", 1);
		ASSERT_EQ(zeSetup(nullptr), 0);
	}

	void TearDown() override
	{
		zeTerm();
		unsetenv("ZELV_DRIVER");
	}

	static void post(const SEvent& e) { zeGetContext()->device->postEventFromUser(e); }

	static void key(EKEY_CODE code, bool down)
	{
		SEvent e{};
		e.EventType = EET_KEY_INPUT_EVENT;
		e.KeyInput.Key = code;
		e.KeyInput.PressedDown = down;
		post(e);
	}

	static void mouse(EMOUSE_INPUT_EVENT kind, int x, int y, u32 buttons, float wheel = 0.0f)
	{
		SEvent e{};
		e.EventType = EET_MOUSE_INPUT_EVENT;
		e.MouseInput.Event = kind;
		e.MouseInput.X = x;
		e.MouseInput.Y = y;
		e.MouseInput.ButtonStates = buttons;
		e.MouseInput.Wheel = wheel;
		post(e);
	}

	static void joystick(u8 index, u32 buttons, s16 firstAxis, u16 pov)
	{
		SEvent e{};
		e.EventType = EET_JOYSTICK_INPUT_EVENT;
		e.JoystickEvent.Joystick = index;
		e.JoystickEvent.ButtonStates = buttons;
		for (int i = 0; i < SEvent::SJoystickEvent::NUMBER_OF_AXES; ++i)
			e.JoystickEvent.Axis[i] = static_cast<s16>(firstAxis + i);
		e.JoystickEvent.POV = pov;
		post(e);
	}
};
} // namespace

TEST_F(InputTest, KeyEventsFillTheKeyTable)
{
	EXPECT_EQ(zeLeftKey(), 0);
	key(KEY_LEFT, true);
	EXPECT_EQ(zeLeftKey(), 1);
	EXPECT_EQ(zeKeyState(37), 1);
	EXPECT_EQ(zeRightKey(), 0);
	EXPECT_EQ(zeUpKey(), 0);
	key(KEY_LEFT, false);
	EXPECT_EQ(zeLeftKey(), 0);
	EXPECT_EQ(zeKeyState(37), 0);

	// Left and right variants of the modifiers land on the generic codes.
	for (EKEY_CODE shift : {KEY_LSHIFT, KEY_RSHIFT})
	{
		key(shift, true);
		EXPECT_EQ(zeKeyState(16), 1) << shift;
		EXPECT_EQ(zeShiftKey(), 1);
		key(shift, false);
		EXPECT_EQ(zeKeyState(16), 0);
	}
	key(KEY_RCONTROL, true);
	EXPECT_EQ(zeKeyState(17), 1);
	key(KEY_RCONTROL, false);

	for (EKEY_CODE minus : {KEY_SUBTRACT, KEY_MINUS})
	{
		key(minus, true);
		EXPECT_EQ(zeMinusKey(), 1) << minus;
		EXPECT_EQ(zePlusKey(), 0);
		key(minus, false);
		EXPECT_EQ(zeMinusKey(), 0);
	}
	key(KEY_ADD, true);
	EXPECT_EQ(zePlusKey(), 1);
	key(KEY_ADD, false);
	key(KEY_RETURN, true);
	key(KEY_SPACE, true);
	EXPECT_EQ(zeReturnKey() + zeSpaceKey(), 2);

	// The last code of the table, and codes outside it.
	key(KEY_OEM_CLEAR, true);
	EXPECT_EQ(zeKeyState(254), 1);
	EXPECT_EQ(zeKeyState(-1), 0);
	EXPECT_EQ(zeKeyState(255), 0);
	EXPECT_EQ(zeKeyState(256), 0);
}

TEST_F(InputTest, EscapeLatchOutlivesTheRelease)
{
	EXPECT_EQ(zeEscapeKeyEverPressed(), 0);
	key(KEY_ESCAPE, false);
	EXPECT_EQ(zeEscapeKeyEverPressed(), 0) << "a release alone sets the latch";
	key(KEY_ESCAPE, true);
	EXPECT_EQ(zeEscapeKey(), 1);
	key(KEY_ESCAPE, false);
	EXPECT_EQ(zeEscapeKey(), 0);
	EXPECT_EQ(zeEscapeKeyEverPressed(), 1);
	key(KEY_SPACE, true);
	EXPECT_EQ(zeEscapeKeyEverPressed(), 1);
}

TEST_F(InputTest, MouseEventsGiveButtonsPositionAndWheel)
{
	mouse(EMIE_LMOUSE_PRESSED_DOWN, 10, 20, EMBSM_LEFT);
	EXPECT_EQ(zeMouseClick(), 1);
	mouse(EMIE_RMOUSE_PRESSED_DOWN, 11, 21, EMBSM_LEFT | EMBSM_RIGHT);
	EXPECT_EQ(zeMouseClick(), 3);
	mouse(EMIE_MOUSE_MOVED, 300, 200, EMBSM_LEFT | EMBSM_RIGHT);
	EXPECT_EQ(zeMouseX(), 300);
	EXPECT_EQ(zeMouseY(), 200);
	EXPECT_EQ(zeMouseClick(), 3);
	mouse(EMIE_LMOUSE_LEFT_UP, 300, 200, EMBSM_RIGHT);
	EXPECT_EQ(zeMouseClick(), 2);
	mouse(EMIE_RMOUSE_LEFT_UP, 300, 200, 0);
	EXPECT_EQ(zeMouseClick(), 0);
	mouse(EMIE_MMOUSE_PRESSED_DOWN, 300, 200, EMBSM_MIDDLE);
	EXPECT_EQ(zeMouseClick(), 0) << "the middle button has no bit";

	EXPECT_EQ(zeMouseZ(), 0);
	mouse(EMIE_MOUSE_WHEEL, 300, 200, 0, 1.0f);
	mouse(EMIE_MOUSE_WHEEL, 300, 200, 0, 1.0f);
	mouse(EMIE_MOUSE_WHEEL, 300, 200, 0, -1.0f);
	EXPECT_EQ(zeMouseZ(), 1);
	mouse(EMIE_MOUSE_MOVED, 5, 6, 0);
	EXPECT_EQ(zeMouseZ(), 1) << "a move changed the wheel";
}

TEST_F(InputTest, JoystickSnapshotFollowsJoystickZeroOnly)
{
	SZeJoystickState s;
	zeGetJoystickState(&s);
	EXPECT_EQ(s.buttons, 0u);
	EXPECT_EQ(s.pov, 65535);

	joystick(0, 0x5, 100, 9000);
	zeGetJoystickState(&s);
	EXPECT_EQ(s.buttons, 0x5u);
	for (int i = 0; i < 6; ++i)
		EXPECT_EQ(s.axis[i], 100 + i);
	EXPECT_EQ(s.pov, 9000);

	joystick(1, 0xFF, -500, 18000);
	zeGetJoystickState(&s);
	EXPECT_EQ(s.buttons, 0x5u);
	EXPECT_EQ(s.axis[0], 100);
	EXPECT_EQ(s.pov, 9000);
}

TEST_F(InputTest, NothingIsReadWithoutAnEngine)
{
	key(KEY_LEFT, true);
	mouse(EMIE_LMOUSE_PRESSED_DOWN, 10, 20, EMBSM_LEFT);
	joystick(0, 0x3, 7, 0);
	zeTerm();
	EXPECT_EQ(zeLeftKey(), 0);
	EXPECT_EQ(zeMouseClick(), 0);
	EXPECT_EQ(zeMouseX(), 0);
	SZeJoystickState s;
	zeGetJoystickState(&s);
	EXPECT_EQ(s.buttons, 0u);
	EXPECT_EQ(s.pov, 65535);

	// A new set-up starts from released keys.
	ASSERT_EQ(zeSetup(nullptr), 0);
	EXPECT_EQ(zeLeftKey(), 0);
	EXPECT_EQ(zeMouseClick(), 0);
}

namespace
{
// Runs the engine's message loop until the condition holds, for up to `ms`.
bool pumpUntil(const std::function<bool()>& condition, int ms = 2000)
{
	const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
	while (std::chrono::steady_clock::now() < end)
	{
		zeRun();
		if (condition())
			return true;
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	return false;
}

bool xdotool(const std::string& arguments)
{
	return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

class InputX11Test : public ::testing::Test
{
protected:
	void TearDown() override { zeTerm(); }
};
} // namespace

TEST_F(InputX11Test, RealKeysAndMouseReachTheReceiver)
{
	setenv("ZELV_BATCH", "1", 1);
	unsetenv("ZELV_DRIVER");
	SZeSetupParams p;
	zeInitSetupParams(&p);
	p.width = 320;
	p.height = 240;
	p.windowed = 1;
	p.vsync = 0;
	// Away from the centre, where the other tests' windows open.
	p.windowX = 940;
	p.windowY = 770;
	ASSERT_EQ(zeSetup(&p), 0);
	const std::string window = std::to_string(zeGetContext()->driver->getExposedVideoData().OpenGLLinux.X11Window);
	pumpUntil([] { return false; }, 100);  // let the window map

	// Keys are sent to the window itself, so that other programs' focus on a
	// shared display does not matter.
	ASSERT_TRUE(xdotool("keydown --window " + window + " Left"));
	EXPECT_TRUE(pumpUntil([] { return zeKeyState(37) == 1 && zeLeftKey() == 1; }));
	ASSERT_TRUE(xdotool("keyup --window " + window + " Left"));
	EXPECT_TRUE(pumpUntil([] { return zeKeyState(37) == 0; }));
	ASSERT_TRUE(xdotool("keydown --window " + window + " Shift_R"));
	EXPECT_TRUE(pumpUntil([] { return zeKeyState(16) == 1; }));
	ASSERT_TRUE(xdotool("keyup --window " + window + " Shift_R"));
	EXPECT_TRUE(pumpUntil([] { return zeKeyState(16) == 0; }));
	ASSERT_TRUE(xdotool("key --window " + window + " Escape"));
	EXPECT_TRUE(pumpUntil([] { return zeEscapeKeyEverPressed() == 1; }));
	EXPECT_TRUE(pumpUntil([] { return zeEscapeKey() == 0; }));

	// The pointer moves for real, the window raised first in case another covers it.
	auto movePointer = [&window](int x, int y) {
		for (int attempt = 0; attempt < 3; ++attempt)
		{
			xdotool("windowraise " + window + " mousemove --window " + window + " " + std::to_string(x) + " " +
				std::to_string(y));
			if (pumpUntil([x, y] { return zeMouseX() == x && zeMouseY() == y; }, 700))
				return true;
		}
		return false;
	};
	EXPECT_TRUE(movePointer(100, 60)) << "mouse at " << zeMouseX() << "," << zeMouseY();
	// Real buttons: the press grabs the pointer for the window until the release.
	EXPECT_TRUE(xdotool("windowraise " + window + " mousemove --window " + window + " 100 60 mousedown 1"));
	EXPECT_TRUE(pumpUntil([] { return zeMouseClick() == 1; })) << zeMouseClick();
	EXPECT_TRUE(xdotool("mousedown 3"));
	EXPECT_TRUE(pumpUntil([] { return zeMouseClick() == 3; })) << zeMouseClick();
	EXPECT_TRUE(xdotool("mouseup 1"));
	EXPECT_TRUE(pumpUntil([] { return zeMouseClick() == 2; })) << zeMouseClick();
	EXPECT_TRUE(xdotool("mouseup 3"));
	EXPECT_TRUE(pumpUntil([] { return zeMouseClick() == 0; })) << zeMouseClick();
	EXPECT_TRUE(movePointer(250, 190)) << "mouse at " << zeMouseX() << "," << zeMouseY();
	EXPECT_EQ(zeMouseZ(), 0);
	ASSERT_TRUE(xdotool("windowraise " + window + " mousemove --window " + window + " 250 190 click 4"));
	EXPECT_TRUE(pumpUntil([] { return zeMouseZ() == 1; })) << "wheel " << zeMouseZ();
}
