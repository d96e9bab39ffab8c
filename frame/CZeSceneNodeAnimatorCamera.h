// The engine camera's animator: places the camera from the position and
// rotation the engine stores (modes 1 and 2). The flying modes 3 and 4 keep
// the camera where it is in this build.
#pragma once

#include "frame/IZeSceneNodeAnimatorCamera.h"

#include <irrlicht.h>

class CZeSceneNodeAnimatorCamera : public IZeSceneNodeAnimatorCamera
{
public:
	explicit CZeSceneNodeAnimatorCamera(irr::IrrlichtDevice* device);
	~CZeSceneNodeAnimatorCamera() override;

	void animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) override;
	irr::scene::ISceneNodeAnimator* createClone(irr::scene::ISceneNode* node,
		irr::scene::ISceneManager* newManager = 0) override;
	bool isEventReceiverEnabled() const override { return true; }
	bool OnEvent(const irr::SEvent& event) override;
	irr::scene::ESCENE_NODE_ANIMATOR_TYPE getType() const override
	{
		return static_cast<irr::scene::ESCENE_NODE_ANIMATOR_TYPE>(ZE_CAMERA_ANIMATOR_TYPE);
	}
	bool hasFinished() const override { return false; }

	irr::f32 getMoveSpeed() const override { return MoveSpeed; }
	void setMoveSpeed(irr::f32 speed) override { MoveSpeed = speed; }
	irr::f32 getRotateSpeed() const override { return RotateSpeed; }
	void setRotateSpeed(irr::f32 speed) override { RotateSpeed = speed; }
	irr::f32 getJumpSpeed() const override { return JumpSpeed; }
	void setJumpSpeed(irr::f32 speed) override { JumpSpeed = speed; }
	void setMode(int mode) override { Mode = mode; }
	int getMode() const override { return Mode; }
	void positionCamera(irr::f32 x, irr::f32 y, irr::f32 z) override { Position.set(x, y, z); }
	void rotateCamera(irr::f32 x, irr::f32 y, irr::f32 z) override { Rotation.set(x, y, z); }
	irr::core::vector3df getStoredPosition() const override { return Position; }
	irr::core::vector3df getStoredRotation() const override { return Rotation; }

private:
	irr::IrrlichtDevice* Device;
	irr::f32 MoveSpeed = 0.01f;
	irr::f32 RotateSpeed = 100.0f;
	irr::f32 JumpSpeed = 0.0f;
	int Mode = 0;
	irr::core::vector3df Position;
	irr::core::vector3df Rotation;
};
