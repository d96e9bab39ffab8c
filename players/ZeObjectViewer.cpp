#include "players/ZeObjectViewer.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeInput.h"
#include "frame/ZeLog.h"
#include "frame/ZeTime.h"
#include "frame/ZeWindow.h"
#include "players/ZePlayerRun.h"

#include <irrlicht.h>

#include <algorithm>
#include <cmath>

using namespace irr;

namespace
{
const int OBJECT_ID = 1;
const int LIGHT_ID = 1;
const int BACKDROP = 0x113366;
const float DEFAULT_RADIUS = 20.0f;
const float DRAG_DEGREES_PER_PIXEL = 0.5f;
const double FRAMES_PER_SECOND = 30.0;
// The keys' steps are given per pass at 60 passes a second and scale with the
// time each pass takes, so that they do not depend on the frame rate.
const float KEY_DEGREES_PER_PASS = 1.0f;
const float KEY_RADII_PER_PASS = 1.0f / 40.0f;
const float PASSES_PER_SECOND = 60.0f;
// A longer pass (a stall) counts as this long.
const unsigned int MAX_PASS_MS = 250;
// The camera's range around the object: the far plane past its far side, the
// near plane before its near side, at most this many times nearer than the far one.
const float RANGE_MARGIN = 1.5f;
const float MAX_FAR_TO_NEAR = 10000.0f;
// The sphere that the camera fits into its view is this much larger than the
// object's; without a usable field of view the camera stands this many radii away.
const float FIT_MARGIN = 1.1f;
const float FALLBACK_RADII = 1.5f;

// The box of the corners of the mesh's triangles that have an area: the box of
// what is drawn (the nodes draw the buffers' vertices as they are, whatever box
// the mesh keeps). False when there is no such triangle: nothing to draw.
bool drawnBox(const scene::IMesh* mesh, core::aabbox3df* box)
{
	bool found = false;
	for (u32 b = 0; mesh && b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const u16* small = buffer->getIndices();
		const u32* large = reinterpret_cast<const u32*>(small);
		const bool wide = buffer->getIndexType() == video::EIT_32BIT;
		const u32 count = buffer->getIndexCount() - buffer->getIndexCount() % 3;
		for (u32 i = 0; small && i < count; i += 3)
		{
			u32 corner[3];
			for (u32 k = 0; k < 3; ++k)
				corner[k] = wide ? large[i + k] : small[i + k];
			if (corner[0] >= buffer->getVertexCount() || corner[1] >= buffer->getVertexCount() ||
				corner[2] >= buffer->getVertexCount())
				continue;
			const core::vector3df p0 = buffer->getPosition(corner[0]);
			const core::vector3df p1 = buffer->getPosition(corner[1]);
			const core::vector3df p2 = buffer->getPosition(corner[2]);
			if (!((p1 - p0).crossProduct(p2 - p0).getLengthSQ() > 0.0f))
				continue;
			if (!found)
				box->reset(p0);
			found = true;
			box->addInternalPoint(p0);
			box->addInternalPoint(p1);
			box->addInternalPoint(p2);
		}
	}
	return found;
}

// The camera's distance from the object's centre at which a sphere of radius r
// fits the narrower of its two fields of view, with a margin around it.
float fittingDistance(float r)
{
	const scene::ICameraSceneNode* camera = zeGetContext()->camera;
	const float halfHeight = camera ? camera->getFOV() * 0.5f : 0.0f;
	const float halfWidth = camera ? std::atan(std::tan(halfHeight) * camera->getAspectRatio()) : 0.0f;
	const float sine = std::sin(std::min(halfHeight, halfWidth));
	return sine > 0.0f ? r * FIT_MARGIN / sine : r * FALLBACK_RADII;
}

// Turns the object to the angles about the centre of its box: the node moves
// so that the turned centre stays at the origin.
void turnObject(const core::vector3df& centre, float x, float y)
{
	zeRotateObject(OBJECT_ID, x, y, 0.0f);
	core::matrix4 rotation;
	rotation.setRotationDegrees(core::vector3df(x, y, 0.0f));
	core::vector3df turned = centre;
	rotation.rotateVect(turned);
	zePositionObject(OBJECT_ID, -turned.X, -turned.Y, -turned.Z);
}

// The camera at (0, 0, d), its range covering the object's sphere of radius r
// around the origin.
void placeCamera(float d, float r)
{
	zePositionCamera(0.0f, 0.0f, d);
	const float distance = std::fabs(d);
	const float farPlane = (distance + r) * RANGE_MARGIN;
	const float nearPlane = std::max((distance - r) / RANGE_MARGIN, farPlane / MAX_FAR_TO_NEAR);
	zeSetCameraRange(nearPlane, farPlane);
}
} // namespace

int zeObjectViewer(const char* path)
{
	zeLoadObject(path, OBJECT_ID);
	core::aabbox3df box;
	if (zeObjectExist(OBJECT_ID))
	{
		// Posed as the first frame draws it, then framed by what is drawn.
		zeGetObjectNode(OBJECT_ID)->OnAnimate(zeGetContext()->device->getTimer()->getTime());
		if (!drawnBox(zeGetObjectMesh(OBJECT_ID), &box))
		{
			zeLog(EZELL_ERROR, "ZeObjectViewer: %s has no triangle to draw", path);
			zeDeleteObject(OBJECT_ID);
		}
	}
	if (!zeObjectExist(OBJECT_ID))
	{
		zeLogErrorBox("Failed to load object %s\n", path);
		return -1;
	}
	float r = box.getExtent().getLength() * 0.5f;
	if (!(r > 0.0f) || !std::isfinite(r))
		r = DEFAULT_RADIUS;
	const core::vector3df centre = box.getCenter();

	zeMakeLight(LIGHT_ID);
	zeSetDirectionalLight(LIGHT_ID, 0.0f, 0.0f, 1.0f);
	zeSetBackdropColor(BACKDROP);

	float d = -fittingDistance(r);
	int mouseX = zeMouseX();
	int mouseY = zeMouseY();
	int wheel = zeMouseZ();
	float angleX = 0.0f, angleY = 0.0f;
	bool dragging = false;
	turnObject(centre, 0.0f, 0.0f);
	placeCamera(d, r);
	zeLog(EZELL_INFO, "ZeObjectViewer: radius %g, camera %.2f radii away", r, std::fabs(d) / r);

	const int frames = zeTotalObjectFrames(OBJECT_ID);
	const unsigned int t0 = zeTimer();
	unsigned int last = t0;

	while (zeRun() && !zeEscapeKeyEverPressed())
	{
		const unsigned int now = zeTimer();
		const float passes = static_cast<float>(std::min(now - last, MAX_PASS_MS)) * PASSES_PER_SECOND / 1000.0f;
		last = now;

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
			angleY += KEY_DEGREES_PER_PASS * passes;
			turned = true;
		}
		else if (zeRightKey())
		{
			angleY -= KEY_DEGREES_PER_PASS * passes;
			turned = true;
		}
		if (turned)
			turnObject(centre, angleX, angleY);

		float distance = d;
		const int w = zeMouseZ();
		if (w != wheel)
		{
			distance += static_cast<float>(w - wheel) * r / 20.0f;
			wheel = w;
		}
		if (zeUpKey())
			distance -= r * KEY_RADII_PER_PASS * passes;
		else if (zeDownKey())
			distance += r * KEY_RADII_PER_PASS * passes;
		if (distance != d)
		{
			d = distance;
			placeCamera(d, r);
		}

		if (frames > 1)
		{
			const double period = frames * 1000.0 / FRAMES_PER_SECOND;
			const double elapsed = static_cast<double>(now - t0);
			zeSetObjectFrame(OBJECT_ID, static_cast<float>(std::fmod(elapsed, period) * FRAMES_PER_SECOND / 1000.0));
		}

		zeSync();
		if (!zeIsWindowActive())
			zeSleep(20);
	}

	zeLog(EZELL_INFO, "ZeObjectViewer: object turned to (%.1f, %.1f, 0) degrees, camera %.2f radii away", angleX, angleY,
		std::fabs(d) / r);
	zeDeleteObject(OBJECT_ID);
	return 0;
}

int zeRunObjectViewer(const SZeCommandLine& commandLine)
{
	return zeRunPlayer(commandLine, [](const SZeCommandLine& c) { return zeObjectViewer(c.file); });
}
