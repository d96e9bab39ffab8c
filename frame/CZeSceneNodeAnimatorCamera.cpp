#include "frame/CZeSceneNodeAnimatorCamera.h"

#include <cmath>

using namespace irr;

namespace
{
const f64 STEP_MS = 1000.0 / 60.0;
// Closer together than this, animation calls in the flying modes do nothing.
const u32 MIN_INTERVAL_MS = 16;
// After a longer stall only this much time is caught up.
const u32 MAX_CATCH_UP_MS = 1000;

const SCamKeyMap DEFAULT_KEY_MAP[] = {
	{EZCA_MOVE_FORWARD, KEY_UP},
	{EZCA_MOVE_BACKWARD, KEY_DOWN},
	{EZCA_STRAFE_LEFT, KEY_LEFT},
	{EZCA_STRAFE_RIGHT, KEY_RIGHT},
	{EZCA_JUMP, KEY_RCONTROL},
};

f32 wrapDegrees(f32 angle)
{
	angle = std::fmod(angle, 360.0f);
	return angle < 0.0f ? angle + 360.0f : angle;
}
} // namespace

CZeSceneNodeAnimatorCamera::CZeSceneNodeAnimatorCamera(IrrlichtDevice* device, gui::ICursorControl* cursorControl,
	f32 rotateSpeed, f32 moveSpeed, f32 jumpSpeed, const SCamKeyMap* keyMap, u32 keyMapSize, bool noVerticalMovement)
	: Device(device)
	, CursorControl(cursorControl ? cursorControl : device ? device->getCursorControl() : nullptr)
	, MoveSpeed(moveSpeed)
	, RotateSpeed(rotateSpeed)
	, JumpSpeed(jumpSpeed)
	, NoVerticalMovement(noVerticalMovement)
{
	if (CursorControl)
		CursorControl->grab();
	if (keyMap && keyMapSize)
		setKeyMap(keyMap, keyMapSize);
	else
		setKeyMap(DEFAULT_KEY_MAP, EZCA_COUNT);
}

CZeSceneNodeAnimatorCamera::~CZeSceneNodeAnimatorCamera()
{
	if (CursorControl)
		CursorControl->drop();
}

void CZeSceneNodeAnimatorCamera::setKeyMap(const SCamKeyMap* map, u32 count)
{
	KeyMap.clear();
	for (u32 i = 0; map && i < count; ++i)
		if (map[i].action >= 0 && map[i].action < EZCA_COUNT)
			KeyMap.push_back(map[i]);
	// A key that is no longer mapped must not stay held.
	for (bool& key : CursorKeys)
		key = false;
}

void CZeSceneNodeAnimatorCamera::setMode(int mode)
{
	Mode = mode;
	if (mode == 3 || mode == 4)
		ModeEntered = true;
}

bool CZeSceneNodeAnimatorCamera::OnEvent(const SEvent& event)
{
	if (event.EventType == EET_MOUSE_INPUT_EVENT)
	{
		switch (event.MouseInput.Event)
		{
		case EMIE_MOUSE_MOVED:
			if (CursorControl)
				CursorPos = CursorControl->getRelativePosition();
			else if (Device && Device->getVideoDriver())
			{
				const core::dimension2d<u32> size = Device->getVideoDriver()->getScreenSize();
				if (size.Width && size.Height)
					CursorPos.set(static_cast<f32>(event.MouseInput.X) / static_cast<f32>(size.Width),
						static_cast<f32>(event.MouseInput.Y) / static_cast<f32>(size.Height));
			}
			return true;
		case EMIE_LMOUSE_PRESSED_DOWN:
			LeftButton = true;
			return true;
		case EMIE_LMOUSE_LEFT_UP:
			LeftButton = false;
			return true;
		default:
			return false;
		}
	}
	if (event.EventType == EET_KEY_INPUT_EVENT)
	{
		bool mapped = false;
		for (u32 i = 0; i < KeyMap.size(); ++i)
			if (KeyMap[i].keyCode == event.KeyInput.Key)
			{
				CursorKeys[KeyMap[i].action] = event.KeyInput.PressedDown;
				mapped = true;
			}
		return mapped;
	}
	return false;
}

scene::ISceneNodeAnimator* CZeSceneNodeAnimatorCamera::createClone(scene::ISceneNode*, scene::ISceneManager*)
{
	CZeSceneNodeAnimatorCamera* clone = new CZeSceneNodeAnimatorCamera(
		Device, CursorControl, RotateSpeed, MoveSpeed, JumpSpeed, nullptr, 0, NoVerticalMovement);
	clone->KeyMap = KeyMap;
	clone->MouseYDirection = MouseYDirection;
	return clone;
}

void CZeSceneNodeAnimatorCamera::animateNode(scene::ISceneNode* node, u32 timeMs)
{
	if (!node || node->getType() != scene::ESNT_CAMERA)
		return;
	scene::ICameraSceneNode* camera = static_cast<scene::ICameraSceneNode*>(node);
	if (Mode == 1)
	{
		camera->setPosition(Position);
		camera->setRotation(Rotation);
	}
	else if (Mode == 2)
	{
		core::matrix4 m;
		m.setRotationDegrees(Rotation);
		core::vector3df direction(0.0f, 0.0f, 1.0f);
		m.rotateVect(direction);
		camera->setPosition(Position);
		camera->updateAbsolutePosition();
		camera->setTarget(Position + direction);
	}
	else if (Mode == 3 || Mode == 4)
	{
		if (FirstUpdate || ModeEntered)
		{
			firstPersonStep(camera, timeMs);
			return;
		}
		if (timeMs < LastAnimationTime)
		{
			// The clock was set back: start counting again from here.
			LastAnimationTime = timeMs;
			return;
		}
		if (timeMs - LastAnimationTime < MIN_INTERVAL_MS)
			return;
		if (timeMs - LastAnimationTime > MAX_CATCH_UP_MS)
			LastAnimationTime = timeMs - MAX_CATCH_UP_MS;
		// Fixed steps up to now; the step at now keeps at least half a step
		// so that its smoothing carries on rather than starting over.
		const u32 start = LastAnimationTime;
		for (u32 k = 1;; ++k)
		{
			const u32 t = start + static_cast<u32>(k * STEP_MS + 0.5);
			if (t >= timeMs || static_cast<f64>(timeMs - t) <= STEP_MS * 0.5)
				break;
			firstPersonStep(camera, t);
		}
		firstPersonStep(camera, timeMs);
	}
}

bool CZeSceneNodeAnimatorCamera::windowActive() const
{
	if (!Device)
		return true;
	// The NULL driver has no window that could lose the focus.
	video::IVideoDriver* driver = Device->getVideoDriver();
	if (driver && driver->getDriverType() == video::EDT_NULL)
		return true;
	return Device->isWindowActive();
}

core::vector2df CZeSceneNodeAnimatorCamera::readCursor() const
{
	return CursorControl ? CursorControl->getRelativePosition() : CursorPos;
}

void CZeSceneNodeAnimatorCamera::centreCursor()
{
	if (CursorControl)
	{
		CursorControl->setPosition(0.5f, 0.5f);
		CentreCursor = CursorControl->getRelativePosition();
	}
	else
		CentreCursor.set(0.5f, 0.5f);
	CursorPos = PrevCursorPos = CentreCursor;
}

void CZeSceneNodeAnimatorCamera::firstPersonStep(scene::ICameraSceneNode* camera, u32 t)
{
	if (ModeEntered)
	{
		ModeEntered = false;
		camera->setUpVector(core::vector3df(0.0f, 1.0f, 0.0f));
		camera->setPosition(Position);
		camera->setRotation(Rotation);
		LastAnimationTime = MoveStartTime = t;
		Moving = false;
		MoveVelocity.set(0.0f, 0.0f, 0.0f);
		RotateVelocity.set(0.0f, 0.0f, 0.0f);
		DragStarted = false;
		if (Mode == 3)
			centreCursor();
		else
			CursorPos = PrevCursorPos = readCursor();
	}
	if (FirstUpdate)
	{
		FirstUpdate = false;
		if (Mode == 3)
			centreCursor();
		else
			CursorPos = PrevCursorPos = readCursor();
		LastAnimationTime = t;
	}

	if (!windowActive())
	{
		for (bool& key : CursorKeys)
			key = false;
		FocusLost = true;
		if (Mode == 3)
		{
			LastAnimationTime = t;
			return;
		}
	}
	else if (FocusLost)
	{
		FocusLost = false;
		DragStarted = false;
		if (Mode == 3)
			centreCursor();
		else
			CursorPos = PrevCursorPos = readCursor();
	}

	const f32 dt = t > LastAnimationTime ? static_cast<f32>(t - LastAnimationTime) : 0.0f;
	LastAnimationTime = t;
	scene::ISceneManager* smgr = camera->getSceneManager();
	scene::ICameraSceneNode* active = smgr ? smgr->getActiveCamera() : nullptr;
	if (!camera->isInputReceiverEnabled() || (active && active != camera))
		return;

	const bool moveKey = CursorKeys[EZCA_MOVE_FORWARD] || CursorKeys[EZCA_MOVE_BACKWARD] ||
		CursorKeys[EZCA_STRAFE_LEFT] || CursorKeys[EZCA_STRAFE_RIGHT];
	if (moveKey && !Moving)
		MoveStartTime = t;
	Moving = moveKey;

	// Rotation input: X is pitch, Y yaw, in degrees.
	core::vector3df input;
	if (Mode == 3)
	{
		video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
		if (CursorControl && driver)
		{
			const core::position2d<s32> at = CursorControl->getPosition();
			const core::dimension2d<u32> size = driver->getScreenSize();
			if (at.X < 0 || at.Y < 0 || at.X >= static_cast<s32>(size.Width) || at.Y >= static_cast<s32>(size.Height))
				centreCursor();
		}
		if (CursorPos != CentreCursor)
		{
			input.Y = (CursorPos.X - CentreCursor.X) * RotateSpeed;
			input.X = (CursorPos.Y - CentreCursor.Y) * RotateSpeed * MouseYDirection;
			centreCursor();
		}
	}
	else if (LeftButton)
	{
		if (DragStarted)
		{
			input.Y = (CursorPos.X - PrevCursorPos.X) * RotateSpeed;
			input.X = (CursorPos.Y - PrevCursorPos.Y) * RotateSpeed * MouseYDirection;
		}
		DragStarted = true;
		PrevCursorPos = CursorPos;
	}
	else
		DragStarted = false;

	// Smoothing over steps of 1/60 s; a step of at most half that starts over.
	const f32 n = static_cast<f32>(dt / STEP_MS);
	const bool damp = n > 0.5f;
	RotateVelocity = damp ? RotateVelocity * RotateDamping + input : input;
	core::vector3df rotation = camera->getRotation() + RotateVelocity * (1.0f - RotateDamping);
	rotation.X = wrapDegrees(rotation.X);
	rotation.Y = wrapDegrees(rotation.Y);
	if (rotation.X > MaxVerticalAngle * 2.0f && rotation.X < 360.0f - MaxVerticalAngle)
		rotation.X = 360.0f - MaxVerticalAngle;
	else if (rotation.X > MaxVerticalAngle && rotation.X < 360.0f - MaxVerticalAngle)
		rotation.X = MaxVerticalAngle;

	core::matrix4 m;
	m.setRotationDegrees(rotation);
	core::vector3df direction(0.0f, 0.0f, 1.0f);
	m.rotateVect(direction);
	direction.normalize();

	core::vector3df moveDirection = direction;
	if (NoVerticalMovement)
	{
		moveDirection.Y = 0.0f;
		moveDirection.normalize();
	}
	core::vector3df up = camera->getUpVector();
	up.normalize();
	// Direction x up points to the left.
	core::vector3df strafe = moveDirection.crossProduct(up);
	if (NoVerticalMovement)
		strafe.Y = 0.0f;
	strafe.normalize();

	MoveVelocity = damp ? MoveVelocity * MoveDamping : core::vector3df();
	const f32 held = t > MoveStartTime ? static_cast<f32>(t - MoveStartTime) : 0.0f;
	const f32 ramp = core::min_(1.0f, held / static_cast<f32>(RampUpTime));
	// Move speed is in units per millisecond.
	const f32 push = MoveSpeed * (1.0f - MoveDamping) * ramp * dt;
	if (CursorKeys[EZCA_MOVE_FORWARD])
		MoveVelocity += moveDirection * push;
	if (CursorKeys[EZCA_MOVE_BACKWARD])
		MoveVelocity -= moveDirection * push;
	if (CursorKeys[EZCA_STRAFE_LEFT])
		MoveVelocity += strafe * push;
	if (CursorKeys[EZCA_STRAFE_RIGHT])
		MoveVelocity -= strafe * push;
	const core::vector3df position = camera->getPosition() + MoveVelocity;

	if (CursorKeys[EZCA_JUMP])
	{
		const core::list<scene::ISceneNodeAnimator*>& animators = camera->getAnimators();
		for (core::list<scene::ISceneNodeAnimator*>::ConstIterator it = animators.begin(); it != animators.end(); ++it)
			if ((*it)->getType() == scene::ESNAT_COLLISION_RESPONSE)
			{
				scene::ISceneNodeAnimatorCollisionResponse* response =
					static_cast<scene::ISceneNodeAnimatorCollisionResponse*>(*it);
				if (!response->isFalling())
					response->jump(JumpSpeed);
			}
	}

	camera->setPosition(position);
	camera->setRotation(rotation);
	camera->updateAbsolutePosition();
	camera->setTarget(camera->getAbsolutePosition() + direction);
}
