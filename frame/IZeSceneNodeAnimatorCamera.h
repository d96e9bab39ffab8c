// The interface of the engine camera's animator. Device creation attaches one
// to the engine's camera; the system layer places the camera through it.
#pragma once

#include <ISceneNodeAnimator.h>
#include <Keycodes.h>

// The animator's type as ISceneNodeAnimator::getType answers it.
const int ZE_CAMERA_ANIMATOR_TYPE = 10001;

// What a key does in the flying modes.
enum EZE_CAMERA_ACTION
{
	EZCA_MOVE_FORWARD = 0,
	EZCA_MOVE_BACKWARD,
	EZCA_STRAFE_LEFT,
	EZCA_STRAFE_RIGHT,
	EZCA_JUMP,
	EZCA_COUNT
};

// One key map entry; the action is an EZE_CAMERA_ACTION.
struct SCamKeyMap
{
	irr::s32 action;
	irr::EKEY_CODE keyCode;
};

class IZeSceneNodeAnimatorCamera : public irr::scene::ISceneNodeAnimator
{
public:
	virtual irr::f32 getMoveSpeed() const = 0;
	virtual void setMoveSpeed(irr::f32 speed) = 0;
	virtual irr::f32 getRotateSpeed() const = 0;
	virtual void setRotateSpeed(irr::f32 speed) = 0;
	virtual irr::f32 getJumpSpeed() const = 0;
	virtual void setJumpSpeed(irr::f32 speed) = 0;
	// Replaces the key map; entries with an unknown action are left out.
	virtual void setKeyMap(const SCamKeyMap* map, irr::u32 count) = 0;
	// Whether the flying modes may climb and sink along the view direction.
	virtual void setVerticalMovement(bool allow) = 0;
	// Inverted, moving the mouse down looks up.
	virtual void setInvertMouse(bool invert) = 0;
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
