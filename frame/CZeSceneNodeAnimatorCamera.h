// The engine camera's animator. Modes 1 and 2 place the camera from the
// position and rotation the engine stores; modes 3 (mouse look) and 4 (drag
// with the left button) fly it first-person by keys and mouse, with smoothed
// turning and movement advanced in fixed 1/60 s steps.
#pragma once

#include "frame/IZeSceneNodeAnimatorCamera.h"

#include <irrlicht.h>

class CZeSceneNodeAnimatorCamera : public IZeSceneNodeAnimatorCamera
{
public:
	// The cursor control defaults to the device's. Without a key map the
	// arrow keys move and right Control jumps.
	explicit CZeSceneNodeAnimatorCamera(irr::IrrlichtDevice* device,
		irr::gui::ICursorControl* cursorControl = nullptr, irr::f32 rotateSpeed = 100.0f,
		irr::f32 moveSpeed = 0.01f, irr::f32 jumpSpeed = 0.0f, const SCamKeyMap* keyMap = nullptr,
		irr::u32 keyMapSize = 0, bool noVerticalMovement = false);
	~CZeSceneNodeAnimatorCamera() override;

	CZeSceneNodeAnimatorCamera(const CZeSceneNodeAnimatorCamera&) = delete;
	CZeSceneNodeAnimatorCamera& operator=(const CZeSceneNodeAnimatorCamera&) = delete;

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
	void setKeyMap(const SCamKeyMap* map, irr::u32 count) override;
	void setVerticalMovement(bool allow) override { NoVerticalMovement = !allow; }
	void setInvertMouse(bool invert) override { MouseYDirection = invert ? -1.0f : 1.0f; }
	void setMode(int mode) override;
	int getMode() const override { return Mode; }
	void positionCamera(irr::f32 x, irr::f32 y, irr::f32 z) override { Position.set(x, y, z); }
	void rotateCamera(irr::f32 x, irr::f32 y, irr::f32 z) override { Rotation.set(x, y, z); }
	irr::core::vector3df getStoredPosition() const override { return Position; }
	irr::core::vector3df getStoredRotation() const override { return Rotation; }

	const irr::core::array<SCamKeyMap>& getKeyMap() const { return KeyMap; }
	bool getVerticalMovement() const { return !NoVerticalMovement; }
	bool getInvertMouse() const { return MouseYDirection < 0.0f; }

private:
	void firstPersonStep(irr::scene::ICameraSceneNode* camera, irr::u32 t);
	bool windowActive() const;
	// Puts the cursor in the middle of the window and takes where it landed
	// as the centre and the current position.
	void centreCursor();
	irr::core::vector2df readCursor() const;

	irr::IrrlichtDevice* Device;
	irr::gui::ICursorControl* CursorControl;
	irr::f32 MaxVerticalAngle = 88.0f;
	irr::f32 MoveSpeed;
	irr::f32 RotateSpeed;
	irr::f32 JumpSpeed;
	irr::f32 MouseYDirection = 1.0f;
	irr::u32 LastAnimationTime = 0;
	irr::core::array<SCamKeyMap> KeyMap;
	irr::core::vector2df CentreCursor{0.5f, 0.5f};
	irr::core::vector2df PrevCursorPos{0.5f, 0.5f};
	irr::core::vector2df CursorPos{0.5f, 0.5f};
	bool LeftButton = false;
	bool CursorKeys[EZCA_COUNT] = {};
	bool FirstUpdate = true;
	bool NoVerticalMovement;
	int Mode = 0;
	bool FocusLost = false;
	irr::f32 MoveDamping = 0.85f;
	irr::f32 RotateDamping = 0.7f;
	bool ModeEntered = false;
	bool DragStarted = false;
	irr::u32 MoveStartTime = 0;
	bool Moving = false;
	irr::u32 RampUpTime = 100;
	irr::core::vector3df MoveVelocity;
	irr::core::vector3df RotateVelocity;
	irr::core::vector3df Rotation;
	irr::core::vector3df Position;
};
