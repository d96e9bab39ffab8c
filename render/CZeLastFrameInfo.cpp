#include "render/CZeLastFrameInfo.h"

#include <cmath>

using namespace irr;

namespace
{
// 180 / pi as a float.
const f32 DEGREES_PER_RADIAN = 57.2957763671875f;
}

CZeLastFrameInfo::CZeLastFrameInfo(IrrlichtDevice* device) : Device(device)
{
}

u32 CZeLastFrameInfo::readTime() const
{
	ITimer* timer = Device ? Device->getTimer() : nullptr;
	// The device's time: what the frame's animation and effects read, which
	// a frame capture holds at each frame's time.
	return timer ? timer->getTime() : 0u;
}

void CZeLastFrameInfo::update()
{
	const u32 now = readTime();
	const u32 frameTime = ValidCount ? now - LastTime : 0u;
	LastTime = now;
	if (ValidCount < RING_SIZE)
		++ValidCount;
	Sum = Sum - Ring[WriteIndex] + frameTime;
	Ring[WriteIndex] = frameTime;
	WriteIndex = (WriteIndex + 1) % RING_SIZE;
	AverageFrameTime = static_cast<f32>(Sum) / (static_cast<f32>(ValidCount) * 1000.f);
	// The reciprocal of a zero frame time is left at 0 rather than infinity.
	AverageFps = AverageFrameTime > 0.f ? 1.f / AverageFrameTime : 0.f;

	video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
	if (driver)
	{
		Projection = driver->getTransform(video::ETS_PROJECTION);
		View = driver->getTransform(video::ETS_VIEW);
	}
}

bool CZeLastFrameInfo::isCameraCut(const core::matrix4& view, f32 distance, f32 angleDegrees) const
{
	core::matrix4 now, before;
	view.getInverse(now);
	View.getInverse(before);
	if (now.getTranslation().getDistanceFromSQ(before.getTranslation()) > distance * distance)
		return true;
	core::vector3df a(0.f, 0.f, 1.f), b(0.f, 0.f, 1.f);
	now.rotateVect(a);
	before.rotateVect(b);
	const f32 lengths = a.getLength() * b.getLength();
	if (lengths <= 0.f)
		return false;
	f32 cosine = a.dotProduct(b) / lengths;
	cosine = cosine > 1.f ? 1.f : (cosine < -1.f ? -1.f : cosine);
	const f32 angle = std::fabs(std::acos(cosine) * DEGREES_PER_RADIAN);
	return angle > angleDegrees;
}
