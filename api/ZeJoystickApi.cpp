#include "api/ZeJoystickApi.h"

#include "api/ZeApiItems.h"
#include "frame/ZeLog.h"

#include <SDL.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
const int DEAD_ZONE = 1500;
const int AXES = 6;
const int BUTTONS = 32;
const irr::u16 POV_CENTRED = 65535;

// ---- SDL's joysticks ---------------------------------------------------------------
std::vector<SDL_Joystick*> g_open;
bool g_sdlStarted = false;

bool isOpen(SDL_JoystickID id)
{
	for (SDL_Joystick* joystick : g_open)
		if (SDL_JoystickInstanceID(joystick) == id)
			return true;
	return false;
}

int sdlActivate(int* count)
{
	*count = 0;
	if (!g_sdlStarted)
	{
		if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0)
		{
			zeLog(EZELL_WARN, "Joysticks cannot be read: %s", SDL_GetError());
			return 0;
		}
		// States are read on demand, not through the event queue.
		SDL_JoystickEventState(SDL_IGNORE);
		g_sdlStarted = true;
	}
	SDL_JoystickUpdate();
	for (int i = 0; i < SDL_NumJoysticks(); ++i)
	{
		if (isOpen(SDL_JoystickGetDeviceInstanceID(i)))
			continue;
		if (SDL_Joystick* joystick = SDL_JoystickOpen(i))
			g_open.push_back(joystick);
		else
			zeLog(EZELL_WARN, "Joystick %d cannot be opened: %s", i, SDL_GetError());
	}
	*count = static_cast<int>(g_open.size());
	return 1;
}

// The hat as an angle in hundredths of a degree, clockwise from up.
irr::u16 hatAngle(Uint8 hat)
{
	switch (hat)
	{
	case SDL_HAT_UP: return 0;
	case SDL_HAT_RIGHTUP: return 4500;
	case SDL_HAT_RIGHT: return 9000;
	case SDL_HAT_RIGHTDOWN: return 13500;
	case SDL_HAT_DOWN: return 18000;
	case SDL_HAT_LEFTDOWN: return 22500;
	case SDL_HAT_LEFT: return 27000;
	case SDL_HAT_LEFTUP: return 31500;
	default: return POV_CENTRED;
	}
}

void sdlRead(SZeJoystickState* out)
{
	std::memset(out, 0, sizeof(*out));
	out->pov = POV_CENTRED;
	if (g_open.empty())
		return;
	SDL_JoystickUpdate();
	SDL_Joystick* joystick = g_open[0];
	for (int i = 0; i < AXES && i < SDL_JoystickNumAxes(joystick); ++i)
		out->axis[i] = SDL_JoystickGetAxis(joystick, i);
	for (int b = 0; b < BUTTONS && b < SDL_JoystickNumButtons(joystick); ++b)
		if (SDL_JoystickGetButton(joystick, b))
			out->buttons |= 1u << b;
	if (SDL_JoystickNumHats(joystick) > 0)
		out->pov = hatAngle(SDL_JoystickGetHat(joystick, 0));
}

void sdlRelease()
{
	for (SDL_Joystick* joystick : g_open)
		SDL_JoystickClose(joystick);
	g_open.clear();
	if (g_sdlStarted)
		SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
	g_sdlStarted = false;
}

const SZeJoystickBackend SDL_BACKEND = {sdlActivate, sdlRead, sdlRelease};

// ---- State -------------------------------------------------------------------------
SZeJoystickBackend g_backend = SDL_BACKEND;
bool g_enabled = false;
int g_count = 0;

// The state while enabled; false (and nothing read) while disabled.
bool readState(SZeJoystickState* state)
{
	if (!g_enabled)
		return false;
	g_backend.read(state);
	return true;
}
} // namespace

void zeSetJoystickBackend(const SZeJoystickBackend* backend)
{
	zeReleaseJoysticks();
	g_backend = backend ? *backend : SDL_BACKEND;
}

int zeEnableJoystick()
{
	int count = 0;
	const int result = g_backend.activate(&count);
	g_count = count;
	g_enabled = true;
	// The devices are closed when the engine shuts down.
	zeDeleteApiItemsAtShutdown();
	return result;
}

void zeDisableJoystick()
{
	g_enabled = false;
}

int zeJoystickIsPresent()
{
	return g_enabled && g_count > 0 ? 1 : 0;
}

int zeJoystickAxis(int n)
{
	SZeJoystickState state;
	if (n < 0 || n >= AXES || !readState(&state))
		return 0;
	const int value = state.axis[n];
	return value > -DEAD_ZONE && value < DEAD_ZONE ? 0 : value;
}

int zeJoystickX() { return zeJoystickAxis(0); }
int zeJoystickY() { return zeJoystickAxis(1); }
int zeJoystickZ() { return zeJoystickAxis(2); }
int zeJoystickR() { return zeJoystickAxis(3); }
int zeJoystickU() { return zeJoystickAxis(4); }
int zeJoystickV() { return zeJoystickAxis(5); }

int zeJoystickPov(int direction)
{
	SZeJoystickState state;
	if (!readState(&state) || state.pov == POV_CENTRED)
		return 0;
	// The difference of the two angles brought into (-180, 180].
	double d = std::fmod(state.pov / 100.0 - direction, 360.0);
	if (d > 180.0)
		d -= 360.0;
	else if (d <= -180.0)
		d += 360.0;
	return d > -90.0 && d < 90.0 ? 1 : 0;
}

int zeJoystickUp() { return zeJoystickPov(0); }
int zeJoystickDown() { return zeJoystickPov(180); }
int zeJoystickLeft() { return zeJoystickPov(90); }
int zeJoystickRight() { return zeJoystickPov(270); }

int zeJoystickButton(int n)
{
	SZeJoystickState state;
	if (n < 0 || n >= BUTTONS || !readState(&state))
		return 0;
	return (state.buttons >> n) & 1u ? 1 : 0;
}

int zeJoystickFireX(int n) { return zeJoystickButton(n); }
int zeJoystickFireA() { return zeJoystickButton(0); }
int zeJoystickFireB() { return zeJoystickButton(1); }
int zeJoystickFireC() { return zeJoystickButton(2); }
int zeJoystickFireD() { return zeJoystickButton(3); }

void zeReleaseJoysticks()
{
	g_backend.release();
	g_enabled = false;
	g_count = 0;
}
