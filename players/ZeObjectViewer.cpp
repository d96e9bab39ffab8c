#include "players/ZeObjectViewer.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "frame/ZeCamera.h"
#include "frame/ZeEngine.h"
#include "frame/ZeInput.h"
#include "frame/ZeLog.h"
#include "frame/ZeSignals.h"
#include "frame/ZeTime.h"
#include "frame/ZeWindow.h"

#include <cmath>

namespace
{
const int OBJECT_ID = 1;
const int LIGHT_ID = 1;
const int BACKDROP = 0x113366;
const float DEFAULT_RADIUS = 20.0f;
const float DRAG_DEGREES_PER_PIXEL = 0.5f;
const float KEY_DEGREES_PER_PASS = 1.0f;
const double FRAMES_PER_SECOND = 30.0;
} // namespace

int zeObjectViewer(const char* path)
{
	zeLoadObject(path, OBJECT_ID);
	if (!zeObjectExist(OBJECT_ID))
	{
		zeLogErrorBox("Failed to load object %s\n", path);
		return -1;
	}
	float r = zeGetObjectRadius(OBJECT_ID);
	if (!(r > 0.0f) || !std::isfinite(r))
		r = DEFAULT_RADIUS;

	zeMakeLight(LIGHT_ID);
	zeSetDirectionalLight(LIGHT_ID, 0.0f, 0.0f, 1.0f);
	zeSetBackdropColor(BACKDROP);

	float d = -1.5f * r;
	int mouseX = zeMouseX();
	int mouseY = zeMouseY();
	int wheel = zeMouseZ();
	float angleX = 0.0f, angleY = 0.0f;
	bool dragging = false;
	zeRotateObject(OBJECT_ID, 0.0f, 0.0f, 0.0f);
	zePositionCamera(0.0f, 0.0f, d);

	const int frames = zeTotalObjectFrames(OBJECT_ID);
	const unsigned int t0 = zeTimer();

	while (zeRun() && !zeEscapeKeyEverPressed())
	{
		bool turned = false;
		// Only the left button alone drags; the first pass of a drag takes the start.
		if (zeMouseClick() == 1)
		{
			const int x = zeMouseX(), y = zeMouseY();
			if (dragging && (x != mouseX || y != mouseY))
			{
				angleY -= static_cast<float>(x - mouseX) * DRAG_DEGREES_PER_PIXEL;
				angleX -= static_cast<float>(y - mouseY) * DRAG_DEGREES_PER_PIXEL;
				turned = true;
			}
			mouseX = x;
			mouseY = y;
			dragging = true;
		}
		else
			dragging = false;

		if (zeLeftKey())
		{
			angleY += KEY_DEGREES_PER_PASS;
			turned = true;
		}
		else if (zeRightKey())
		{
			angleY -= KEY_DEGREES_PER_PASS;
			turned = true;
		}
		if (turned)
			zeRotateObject(OBJECT_ID, angleX, angleY, 0.0f);

		float distance = d;
		const int w = zeMouseZ();
		if (w != wheel)
		{
			distance += static_cast<float>(w - wheel) * r / 20.0f;
			wheel = w;
		}
		if (zeUpKey())
			distance -= r / 40.0f;
		else if (zeDownKey())
			distance += r / 40.0f;
		if (distance != d)
		{
			d = distance;
			zePositionCamera(0.0f, 0.0f, d);
		}

		if (frames > 1)
		{
			const double period = frames * 1000.0 / FRAMES_PER_SECOND;
			const double elapsed = static_cast<double>(zeTimer() - t0);
			zeSetObjectFrame(OBJECT_ID, static_cast<float>(std::fmod(elapsed, period) * FRAMES_PER_SECOND / 1000.0));
		}

		zeSync();
		if (!zeIsWindowActive())
			zeSleep(20);
	}

	zeDeleteObject(OBJECT_ID);
	return 0;
}

int zeRunObjectViewer(const SZeCommandLine& commandLine)
{
	zeInstallSignalHandlers();
	zeInstallObjectApi();
	SZeSetupParams params = commandLine.setup;
	if (zeReadSetupIni("zelv-setup.ini", zeGetProgramDir(), &params, 1) != 0)
	{
		zeTerm();
		return 1;
	}
	const int status = zeObjectViewer(commandLine.file);
	zeTerm();
	return status == 0 ? 0 : 1;
}
