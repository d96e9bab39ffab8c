// The engine camera on the NULL driver (640 by 480): field of view, range,
// animator modes, placement through the animator, render values and camera
// collision.
#include "frame/IZeSceneNodeAnimatorCamera.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

using namespace irr;

namespace
{
const double PI = 3.14159265358979323846;

scene::ISceneNode* g_objects[8];

scene::ISceneNode* testObject(int objectId)
{
	return objectId >= 0 && objectId < 8 ? g_objects[objectId] : nullptr;
}

class CameraTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		setenv("ZELV_DRIVER", "null", 1);
		Saved = zeGetEngineHooks();
		zeGetEngineHooks().objectNode = testObject;
		for (scene::ISceneNode*& node : g_objects)
			node = nullptr;
		ASSERT_EQ(zeSetup(nullptr), 0);
		C = zeGetContext();
		Time = 1000;
	}

	void TearDown() override
	{
		zeTerm();
		zeGetEngineHooks() = Saved;
		unsetenv("ZELV_DRIVER");
	}

	// One animation step of the scene, `ms` after the previous one.
	void step(u32 ms = 50)
	{
		Time += ms;
		C->device->getTimer()->setTime(Time);
		C->sceneManager->drawAll();
	}

	core::vector3df cameraPosition() const
	{
		float x, y, z;
		zeGetCameraPosition(&x, &y, &z);
		return core::vector3df(x, y, z);
	}

	bool hasAnimator(scene::ESCENE_NODE_ANIMATOR_TYPE type) const
	{
		for (scene::ISceneNodeAnimator* a : C->camera->getAnimators())
			if (a->getType() == type)
				return true;
		return false;
	}

	SZeEngineHooks Saved;
	SZeContext* C = nullptr;
	u32 Time = 0;
};
} // namespace

TEST_F(CameraTest, HorizontalFieldOfViewBecomesVertical)
{
	EXPECT_NEAR(zeHorizontalToVerticalFov(90.0f, 640, 480), 2.0 * std::atan(0.75), 1e-5);
	EXPECT_NEAR(zeHorizontalToVerticalFov(90.0f, 512, 512), PI / 2.0, 1e-5);
	EXPECT_NEAR(zeHorizontalToVerticalFov(60.0f, 300, 300), PI / 3.0, 1e-5);
	EXPECT_NEAR(zeHorizontalToVerticalFov(90.0f, 1920, 1080), 2.0 * std::atan(0.5625), 1e-5);

	zeSetCameraFOV(90.0f);
	EXPECT_NEAR(C->camera->getFOV(), 2.0 * std::atan(0.75), 1e-5);
	zeSetCameraFOV(60.0f);
	EXPECT_NEAR(C->camera->getFOV(), 2.0 * std::atan(std::tan(PI / 6.0) * 0.75), 1e-5);
}

TEST_F(CameraTest, RangeAndModes)
{
	zeSetCameraRange(1.0f, 50.0f);
	EXPECT_FLOAT_EQ(C->camera->getNearValue(), 1.0f);
	EXPECT_FLOAT_EQ(C->camera->getFarValue(), 50.0f);
	zeSetCameraRange(5.0f, 5.0f);
	EXPECT_FLOAT_EQ(C->camera->getNearValue(), 0.1f);
	EXPECT_FLOAT_EQ(C->camera->getFarValue(), 1000.0f);

	EXPECT_EQ(C->cameraAnimator->getMode(), 2);
	const int expected[][2] = {{1, 3}, {2, 4}, {0, 2}, {7, 2}, {-1, 2}};
	for (const auto& pair : expected)
	{
		zeSetCameraMode(pair[0]);
		EXPECT_EQ(C->cameraAnimator->getMode(), pair[1]) << "mode " << pair[0];
	}
	zeSetCameraMoveSpeed(3.5f);
	zeSetCameraJumpSpeed(2.0f);
	EXPECT_FLOAT_EQ(C->cameraAnimator->getMoveSpeed(), 3.5f);
	EXPECT_FLOAT_EQ(C->cameraAnimator->getJumpSpeed(), 2.0f);
}

TEST_F(CameraTest, AnimatorPlacesAndTurnsTheCamera)
{
	zePositionCamera(10.0f, 20.0f, 30.0f);
	zeRotateCamera(0.0f, 90.0f, 0.0f);
	step();
	const core::vector3df at = cameraPosition();
	EXPECT_NEAR(at.X, 10.0f, 1e-4);
	EXPECT_NEAR(at.Y, 20.0f, 1e-4);
	EXPECT_NEAR(at.Z, 30.0f, 1e-4);
	float pitch, yaw, roll;
	zeGetCameraRotation(&pitch, &yaw, &roll);
	EXPECT_NEAR(yaw, 90.0f, 0.01f);
	EXPECT_NEAR(std::fmod(pitch + 360.0f, 360.0f), 0.0f, 0.01f);
	const core::vector3df direction = (C->camera->getTarget() - at).normalize();
	EXPECT_NEAR(direction.X, 1.0f, 1e-4);

	// The point looked at is the screen centre; right and up go right and up.
	int x = 0, y = 0;
	const core::vector3df ahead = at + direction * 10.0f;
	zePositionToScreen(&x, &y, ahead.X, ahead.Y, ahead.Z);
	EXPECT_NEAR(x, 320, 1);
	EXPECT_NEAR(y, 240, 1);
	zePositionToScreen(&x, &y, ahead.X, ahead.Y + 2.0f, ahead.Z - 2.0f);
	EXPECT_GT(x, 330);
	EXPECT_LT(y, 230);

	// Pitch and yaw read back as set.
	zeRotateCamera(30.0f, 45.0f, 0.0f);
	step();
	zeGetCameraRotation(&pitch, &yaw, &roll);
	EXPECT_NEAR(pitch, 30.0f, 0.01f);
	EXPECT_NEAR(yaw, 45.0f, 0.01f);
	const core::vector3df look = (C->camera->getTarget() - cameraPosition()).normalize();
	EXPECT_LT(look.Y, -0.4f) << "a positive pitch looks down";
	zePositionToScreen(&x, &y, cameraPosition().X + look.X * 10.0f, cameraPosition().Y + look.Y * 10.0f,
		cameraPosition().Z + look.Z * 10.0f);
	EXPECT_NEAR(x, 320, 1);
	EXPECT_NEAR(y, 240, 1);
}

TEST_F(CameraTest, DepthOfFieldAndStereoAreStored)
{
	zeSetCameraDOF(2, 15.0f, 2.8f);
	zeSetCameraAdvancedDOF(1, 0.5f, 40.0f, 12.0f, 1.5f);
	zeSetCameraStereo(3, 0.065f, 1, 8.0f);
	const SZeRenderParams& r = C->render;
	EXPECT_EQ(r.dofMode, 2);
	EXPECT_FLOAT_EQ(r.dofFocalDistance, 15.0f);
	EXPECT_FLOAT_EQ(r.dofFStop, 2.8f);
	EXPECT_EQ(r.advancedDofMode, 1);
	const float advanced[4] = {0.5f, 40.0f, 12.0f, 1.5f};
	for (int i = 0; i < 4; ++i)
		EXPECT_FLOAT_EQ(r.advancedDof[i], advanced[i]);
	EXPECT_EQ(r.stereoMode, 3);
	EXPECT_FLOAT_EQ(r.stereoSeparation, 0.065f);
	EXPECT_EQ(r.stereoUseConvergence, 1);
	EXPECT_FLOAT_EQ(r.stereoConvergence, 8.0f);
}

TEST_F(CameraTest, ObjectsJoinAndLeaveTheCollisionSet)
{
	g_objects[3] = C->sceneManager->addCubeSceneNode(10.0f);
	int number = 0;
	EXPECT_EQ(zeSetObjectCollision(4), -1);
	const char* error = zeGetError(&number);
	ASSERT_NE(error, nullptr);
	EXPECT_EQ(std::string(error).rfind("Object ID 4 does not exist.", 0), 0u) << error;
	EXPECT_EQ(number, 1);
	EXPECT_EQ(C->collisionSet->getSelectorCount(), 0u);

	EXPECT_EQ(zeSetObjectCollision(3), 0);
	EXPECT_EQ(C->collisionSet->getSelectorCount(), 1u);
	EXPECT_GT(C->collisionSet->getTriangleCount(), 0);
	const s32 triangles = C->collisionSet->getTriangleCount();
	EXPECT_EQ(zeSetObjectCollision(3), 0);
	EXPECT_EQ(C->collisionSet->getSelectorCount(), 1u);
	EXPECT_EQ(C->collisionSet->getTriangleCount(), triangles);

	EXPECT_EQ(zeRemoveObjectCollision(4), 0);
	EXPECT_EQ(C->collisionSet->getSelectorCount(), 1u);
	EXPECT_EQ(zeRemoveObjectCollision(3), 0);
	EXPECT_EQ(C->collisionSet->getSelectorCount(), 0u);
	EXPECT_EQ(C->collisionSet->getTriangleCount(), 0);
}

TEST_F(CameraTest, CollisionKeepsTheCameraAboveTheFloor)
{
	// A floor whose top is at height 0.
	scene::ISceneNode* floor = C->sceneManager->addCubeSceneNode(1.0f, nullptr, -1,
		core::vector3df(0.0f, -0.5f, 0.0f), core::vector3df(), core::vector3df(40.0f, 1.0f, 40.0f));
	g_objects[3] = floor;
	ASSERT_EQ(zeSetObjectCollision(3), 0);

	auto dropCamera = [this]() {
		zeSetCameraMode(0);
		zePositionCamera(0.0f, 5.0f, 0.0f);
		step();
		zeSetCameraMode(1);  // the flying mode leaves the camera to the collision
		EXPECT_NEAR(cameraPosition().Y, 5.0f, 1e-4);
		zeAutomaticCameraCollisionOn(1.0f, 20.0f, 0.5f);
		for (int i = 0; i < 40; ++i)
			step();
	};

	EXPECT_FALSE(hasAnimator(scene::ESNAT_COLLISION_RESPONSE));
	dropCamera();
	ASSERT_TRUE(hasAnimator(scene::ESNAT_COLLISION_RESPONSE));
	ASSERT_NE(C->collisionAnimator, nullptr);
	EXPECT_EQ(C->collisionAnimator->getEllipsoidRadius(), core::vector3df(1.0f, 1.0f, 1.0f));
	EXPECT_EQ(C->collisionAnimator->getEllipsoidTranslation(), core::vector3df(0.0f, 0.5f, 0.0f));
	EXPECT_LT(C->collisionAnimator->getGravity().Y, 0.0f);
	// The ellipsoid (radius 1) rests on the floor, the eye 0.5 above its centre.
	const float rest = cameraPosition().Y;
	EXPECT_LT(rest, 4.0f) << "gravity did not pull the camera";
	EXPECT_NEAR(rest, 1.5f, 0.1f);

	// Turned on again, one animator replaces the other.
	zeAutomaticCameraCollisionOn(1.0f, 20.0f, 0.5f);
	int responses = 0;
	for (scene::ISceneNodeAnimator* a : C->camera->getAnimators())
		responses += a->getType() == scene::ESNAT_COLLISION_RESPONSE;
	EXPECT_EQ(responses, 1);

	zeAutomaticCameraCollisionOff();
	EXPECT_FALSE(hasAnimator(scene::ESNAT_COLLISION_RESPONSE));
	EXPECT_EQ(C->collisionAnimator, nullptr);
	EXPECT_TRUE(hasAnimator(static_cast<scene::ESCENE_NODE_ANIMATOR_TYPE>(ZE_CAMERA_ANIMATOR_TYPE)));
	step();
	EXPECT_NEAR(cameraPosition().Y, rest, 1e-4) << "the camera still falls after collision was turned off";

	// Without the floor in the collision set the camera falls through it.
	EXPECT_EQ(zeRemoveObjectCollision(3), 0);
	zeAutomaticCameraCollisionOff();
	dropCamera();
	EXPECT_LT(cameraPosition().Y, -1.0f);
}
