// The previous frame's camera matrices and the running average frame rate.
#pragma once

#include "core/IZeRenderer.h"

#include <irrlicht.h>

class CZeLastFrameInfo : public IZeLastFrameInfo
{
public:
	static const irr::u32 RING_SIZE = 30;

	explicit CZeLastFrameInfo(irr::IrrlichtDevice* device);

	// Adds the time since the previous update to the ring and keeps the
	// driver's current view and projection.
	void update() override;
	// 0 until an update brings a non-zero frame time.
	irr::f32 getAverageFps() const override { return AverageFps; }
	const irr::core::matrix4& getPrevProjection() const override { return Projection; }
	const irr::core::matrix4& getPrevView() const override { return View; }
	bool isCameraCut(const irr::core::matrix4& view, irr::f32 distance, irr::f32 angleDegrees) const override;

	// Seconds; 0 until an update brings a non-zero frame time.
	irr::f32 getAverageFrameTime() const { return AverageFrameTime; }
	// Whether update has run at least once (the kept matrices are a real frame's).
	bool hasFrame() const { return ValidCount > 0; }

protected:
	// The device timer's time in milliseconds.
	virtual irr::u32 readTime() const;

private:
	irr::IrrlichtDevice* Device;
	irr::core::matrix4 Projection;
	irr::core::matrix4 View;
	irr::u32 LastTime = 0;
	irr::u32 Ring[RING_SIZE] = {};
	irr::u32 WriteIndex = 0;
	irr::u32 Sum = 0;
	irr::u32 ValidCount = 0;
	irr::f32 AverageFrameTime = 0.f;
	irr::f32 AverageFps = 0.f;
};
