#include "frame/ZeCamera.h"
#include "frame/IZeSceneNodeAnimatorCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"

#include <cmath>

using namespace irr;

namespace
{
const float DEGREES_TO_RADIANS = 3.14159265358979f / 180.0f;

scene::ISceneNode* objectNode(int objectId)
{
	scene::ISceneNode* node = nullptr;
	if (zeGetEngineHooks().objectNode)
		node = zeGetEngineHooks().objectNode(objectId);
	if (!node)
	{
		// Sets the table's last-error text for the message.
		SZeIdTable* table = zeGetIdTable(EZEIT_OBJECT);
		if (table)
			zeIdTableGet(table, objectId);
		zeSetError(1, "Object ID %d does not exist. %s", objectId, zeGetIdTableError());
	}
	return node;
}

scene::ITriangleSelector* makeSelector(scene::ISceneNode* node)
{
	SZeContext* c = zeGetContext();
	scene::IMesh* mesh = nullptr;
	switch (node->getType())
	{
	case scene::ESNT_MESH:
		mesh = static_cast<scene::IMeshSceneNode*>(node)->getMesh();
		break;
	case scene::ESNT_ANIMATED_MESH:
		mesh = static_cast<scene::IAnimatedMeshSceneNode*>(node)->getMesh()->getMesh(0);
		break;
	default:
		break;
	}
	if (mesh)
		return c->sceneManager->createTriangleSelector(mesh, node);
	return c->sceneManager->createTriangleSelectorFromBoundingBox(node);
}
} // namespace

void zeSetCameraRange(float nearValue, float farValue)
{
	SZeContext* c = zeGetContext();
	if (nearValue == farValue)
	{
		nearValue = ZE_DEFAULT_CAMERA_NEAR;
		farValue = ZE_DEFAULT_CAMERA_FAR;
	}
	if (!c->camera)
		return;
	c->camera->setNearValue(nearValue);
	c->camera->setFarValue(farValue);
}

float zeHorizontalToVerticalFov(float degrees, int width, int height)
{
	const float h = degrees * DEGREES_TO_RADIANS;
	if (width <= 0)
		return h;
	return 2.0f * std::atan(std::tan(h / 2.0f) * static_cast<float>(height) / static_cast<float>(width));
}

void zeSetCameraFOV(float degrees)
{
	SZeContext* c = zeGetContext();
	if (!c->camera)
		return;
	const core::dimension2d<u32> size = c->driver->getScreenSize();
	c->camera->setFOV(zeHorizontalToVerticalFov(degrees, static_cast<int>(size.Width), static_cast<int>(size.Height)));
}

void zeSetCameraDOF(int mode, float focalDistance, float fStop)
{
	SZeRenderParams& r = zeGetContext()->render;
	r.dofMode = mode;
	r.dofFocalDistance = focalDistance;
	r.dofFStop = fStop;
}

void zeSetCameraAdvancedDOF(int mode, float a, float b, float c, float d)
{
	SZeRenderParams& r = zeGetContext()->render;
	r.advancedDofMode = mode;
	r.advancedDof[0] = a;
	r.advancedDof[1] = b;
	r.advancedDof[2] = c;
	r.advancedDof[3] = d;
}

void zeSetCameraStereo(int mode, float separation, int useConvergence, float convergence)
{
	SZeRenderParams& r = zeGetContext()->render;
	r.stereoMode = mode;
	r.stereoSeparation = separation;
	r.stereoUseConvergence = useConvergence;
	r.stereoConvergence = convergence;
}

void zeSetCameraMode(int mode)
{
	IZeSceneNodeAnimatorCamera* a = zeGetContext()->cameraAnimator;
	if (a)
		a->setMode(mode == 1 ? 3 : mode == 2 ? 4 : 2);
}

void zeSetCameraMoveSpeed(float speed)
{
	IZeSceneNodeAnimatorCamera* a = zeGetContext()->cameraAnimator;
	if (a)
		a->setMoveSpeed(speed);
}

void zeSetCameraJumpSpeed(float speed)
{
	IZeSceneNodeAnimatorCamera* a = zeGetContext()->cameraAnimator;
	if (a)
		a->setJumpSpeed(speed);
}

void zePositionCamera(float x, float y, float z)
{
	IZeSceneNodeAnimatorCamera* a = zeGetContext()->cameraAnimator;
	if (a)
		a->positionCamera(x, y, z);
}

void zeRotateCamera(float x, float y, float z)
{
	IZeSceneNodeAnimatorCamera* a = zeGetContext()->cameraAnimator;
	if (a)
		a->rotateCamera(x, y, z);
}

void zeGetCameraPosition(float* x, float* y, float* z)
{
	SZeContext* c = zeGetContext();
	const core::vector3df p = c->camera ? c->camera->getAbsolutePosition() : core::vector3df();
	if (x)
		*x = p.X;
	if (y)
		*y = p.Y;
	if (z)
		*z = p.Z;
}

void zeGetCameraRotation(float* a, float* b, float* c)
{
	SZeContext* ctx = zeGetContext();
	core::vector3df angles;
	if (ctx->camera)
		angles = (ctx->camera->getTarget() - ctx->camera->getAbsolutePosition()).getHorizontalAngle();
	if (a)
		*a = angles.X;
	if (b)
		*b = angles.Y;
	if (c)
		*c = angles.Z;
}

void zeSetBackdropColor(int colour)
{
	zeGetContext()->backdrop = video::SColor(static_cast<u32>(colour));
}

int zeSetObjectCollision(int objectId)
{
	SZeContext* c = zeGetContext();
	scene::ISceneNode* node = objectNode(objectId);
	if (!node || !c->collisionSet)
		return -1;
	// The node keeps its selector, made on first use.
	scene::ITriangleSelector* selector = node->getTriangleSelector();
	if (!selector)
	{
		selector = makeSelector(node);
		if (!selector)
			return -1;
		node->setTriangleSelector(selector);
		selector->drop();
	}
	c->collisionSet->removeTriangleSelector(selector);
	c->collisionSet->addTriangleSelector(selector);
	return 0;
}

int zeRemoveObjectCollision(int objectId)
{
	SZeContext* c = zeGetContext();
	scene::ISceneNode* node = zeGetEngineHooks().objectNode ? zeGetEngineHooks().objectNode(objectId) : nullptr;
	if (!node || !c->collisionSet)
		return 0;
	if (node->getTriangleSelector())
		c->collisionSet->removeTriangleSelector(node->getTriangleSelector());
	return 0;
}

void zeAutomaticCameraCollisionOn(float radius, float gravity, float offset)
{
	SZeContext* c = zeGetContext();
	if (!c->camera || !c->collisionSet)
		return;
	zeAutomaticCameraCollisionOff();
	c->collisionAnimator = c->sceneManager->createCollisionResponseAnimator(c->collisionSet, c->camera,
		core::vector3df(radius, radius, radius), core::vector3df(0.0f, -gravity, 0.0f),
		core::vector3df(0.0f, offset, 0.0f));
	if (c->collisionAnimator)
		c->camera->addAnimator(c->collisionAnimator);
}

void zeAutomaticCameraCollisionOff()
{
	SZeContext* c = zeGetContext();
	if (!c->collisionAnimator)
		return;
	if (c->camera)
		c->camera->removeAnimator(c->collisionAnimator);
	c->collisionAnimator->drop();
	c->collisionAnimator = nullptr;
}

void zePositionToScreen(int* x, int* y, float px, float py, float pz)
{
	SZeContext* c = zeGetContext();
	core::position2d<s32> p(0, 0);
	if (c->sceneManager)
		p = c->sceneManager->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(
			core::vector3df(px, py, pz), c->camera);
	if (x)
		*x = p.X;
	if (y)
		*y = p.Y;
}
