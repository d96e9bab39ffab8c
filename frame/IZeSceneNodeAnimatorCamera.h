// The interface of the engine camera's animator. Device creation attaches one
// to the engine's camera; the system layer places the camera through it.
#pragma once

#include <ISceneNodeAnimator.h>

// The animator's type as ISceneNodeAnimator::getType answers it.
const int ZE_CAMERA_ANIMATOR_TYPE = 10001;

class IZeSceneNodeAnimatorCamera : public irr::scene::ISceneNodeAnimator
{
public:
	virtual irr::f32 getMoveSpeed() const = 0;
	virtual void setMoveSpeed(irr::f32 speed) = 0;
	virtual irr::f32 getRotateSpeed() const = 0;
	virtual void setRotateSpeed(irr::f32 speed) = 0;
	virtual irr::f32 getJumpSpeed() const = 0;
	virtual void setJumpSpeed(irr::f32 speed) = 0;
	// Mode 1 and 2 place the camera from the stored position and rotation;
	// 3 and 4 fly it by keys and mouse.
	virtual void setMode(int mode) = 0;
	virtual int getMode() const = 0;
	virtual void positionCamera(irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	// Degrees.
	virtual void rotateCamera(irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	virtual irr::core::vector3df getStoredPosition() const = 0;
	virtual irr::core::vector3df getStoredRotation() const = 0;
};
