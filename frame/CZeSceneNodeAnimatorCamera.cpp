#include "frame/CZeSceneNodeAnimatorCamera.h"

using namespace irr;

CZeSceneNodeAnimatorCamera::CZeSceneNodeAnimatorCamera(IrrlichtDevice* device) : Device(device)
{
}

CZeSceneNodeAnimatorCamera::~CZeSceneNodeAnimatorCamera() = default;

void CZeSceneNodeAnimatorCamera::animateNode(scene::ISceneNode* node, u32)
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
}

bool CZeSceneNodeAnimatorCamera::OnEvent(const SEvent&)
{
	return false;
}

scene::ISceneNodeAnimator* CZeSceneNodeAnimatorCamera::createClone(scene::ISceneNode*, scene::ISceneManager*)
{
	CZeSceneNodeAnimatorCamera* clone = new CZeSceneNodeAnimatorCamera(Device);
	clone->MoveSpeed = MoveSpeed;
	clone->RotateSpeed = RotateSpeed;
	clone->JumpSpeed = JumpSpeed;
	return clone;
}
