// The engine camera's animator on the NULL driver (640 by 480): flying with
// keys and mouse in modes 3 and 4, its timing, limits, key map and clones.
#include "frame/CZeSceneNodeAnimatorCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace irr;

namespace
{
const double RAD_TO_DEG = 180.0 / 3.14159265358979323846;

// A collision response that only records the jumps it is told.
class FakeCollisionResponse : public scene::ISceneNodeAnimatorCollisionResponse
{
public:
	explicit FakeCollisionResponse(bool falling) : Falling(falling) {}
	bool isFalling() const override { return Falling; }
	void jump(f32 speed) override { Jumps.push_back(speed); }
	scene::ESCENE_NODE_ANIMATOR_TYPE getType() const override { return scene::ESNAT_COLLISION_RESPONSE; }
	void animateNode(scene::ISceneNode*, u32) override {}
	scene::ISceneNodeAnimator* createClone(scene::ISceneNode*, scene::ISceneManager*) override { return nullptr; }
	void setEllipsoidRadius(const core::vector3df&) override {}
	core::vector3df getEllipsoidRadius() const override { return core::vector3df(); }
	void setGravity(const core::vector3df&) override {}
	core::vector3df getGravity() const override { return core::vector3df(); }
	void setAnimateTarget(bool) override {}
	bool getAnimateTarget() const override { return false; }
	void setEllipsoidTranslation(const core::vector3df&) override {}
	core::vector3df getEllipsoidTranslation() const override { return core::vector3df(); }
	void setWorld(scene::ITriangleSelector*) override {}
	scene::ITriangleSelector* getWorld() const override { return nullptr; }
	void setTargetNode(scene::ISceneNode*) override {}
	scene::ISceneNode* getTargetNode() const override { return nullptr; }
	bool collisionOccurred() const override { return false; }
	const core::vector3df& getCollisionPoint() const override { return Zero; }
	const core::triangle3df& getCollisionTriangle() const override { return Triangle; }
	const core::vector3df& getCollisionResultPosition() const override { return Zero; }
	scene::ISceneNode* getCollisionNode() const override { return nullptr; }
	void setCollisionCallback(scene::ICollisionCallback*) override {}

	bool Falling;
	std::vector<f32> Jumps;
	core::vector3df Zero;
	core::triangle3df Triangle;
};

class CameraAnimatorTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		Device = createDevice(video::EDT_NULL, core::dimension2d<u32>(640, 480));
		ASSERT_NE(Device, nullptr);
		Smgr = Device->getSceneManager();
		Cursor = Device->getCursorControl();
		ASSERT_NE(Cursor, nullptr);
		Camera = Smgr->addCameraSceneNode();
		Animator = new CZeSceneNodeAnimatorCamera(Device);
	}

	void TearDown() override
	{
		Animator->drop();
		Device->drop();
	}

	// Enters a flying mode at the origin with the given rotation (degrees).
	void enter(int mode, const core::vector3df& rotation = core::vector3df())
	{
		Animator->setMode(mode);
		Animator->positionCamera(0.0f, 0.0f, 0.0f);
		Animator->rotateCamera(rotation.X, rotation.Y, rotation.Z);
		Animator->animateNode(Camera, Time);
	}

	// Animates every `frame` ms for `ms` ms.
	void run(u32 ms, u32 frame = 50, scene::ISceneNode* node = nullptr)
	{
		for (u32 end = Time + ms; Time < end;)
		{
			Time += frame;
			Animator->animateNode(node ? node : Camera, Time);
		}
	}

	bool key(EKEY_CODE code, bool down, IZeSceneNodeAnimatorCamera* to = nullptr)
	{
		SEvent e{};
		e.EventType = EET_KEY_INPUT_EVENT;
		e.KeyInput.Key = code;
		e.KeyInput.PressedDown = down;
		return (to ? to : Animator)->OnEvent(e);
	}

	bool mouse(EMOUSE_INPUT_EVENT kind, IZeSceneNodeAnimatorCamera* to = nullptr)
	{
		SEvent e{};
		e.EventType = EET_MOUSE_INPUT_EVENT;
		e.MouseInput.Event = kind;
		return (to ? to : Animator)->OnEvent(e);
	}

	void mouseTo(f32 x, f32 y, IZeSceneNodeAnimatorCamera* to = nullptr)
	{
		Cursor->setPosition(x, y);
		mouse(EMIE_MOUSE_MOVED, to);
	}

	core::vector3df direction() const { return (Camera->getTarget() - Camera->getAbsolutePosition()).normalize(); }
	// Degrees; positive turns right, positive elevation looks up.
	double yaw() const { return std::atan2(direction().X, direction().Z) * RAD_TO_DEG; }
	double elevation() const { return std::asin(direction().Y) * RAD_TO_DEG; }

	// Where a point shows on the screen as the camera sees it now.
	core::position2d<s32> onScreen(const core::vector3df& point)
	{
		Smgr->drawAll();
		return Smgr->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(point, Camera);
	}

	IrrlichtDevice* Device = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	gui::ICursorControl* Cursor = nullptr;
	scene::ICameraSceneNode* Camera = nullptr;
	CZeSceneNodeAnimatorCamera* Animator = nullptr;
	u32 Time = 1000;
};
} // namespace

TEST_F(CameraAnimatorTest, ArrowKeysMoveAlongTheViewAndSidewaysInBothFlyingModes)
{
	const f32 full = Animator->getMoveSpeed() * 1000.0f;  // a second at full speed
	for (int mode : {3, 4})
	{
		enter(mode, core::vector3df(0.0f, 90.0f, 0.0f));
		EXPECT_NEAR(direction().X, 1.0f, 1e-4) << mode;
		const core::vector3df ahead = Camera->getAbsolutePosition() + direction() * 10.0f;
		ASSERT_TRUE(key(KEY_UP, true));
		run(1000);
		key(KEY_UP, false);
		const f32 x = Camera->getPosition().X;
		EXPECT_GT(x, 0.7f * full) << mode;
		EXPECT_LT(x, full) << mode;
		run(1000);  // glides to a stop
		const f32 stopped = Camera->getPosition().X;
		run(200);
		EXPECT_NEAR(Camera->getPosition().X, stopped, 1e-3 * full) << mode;
		EXPECT_NEAR(Camera->getPosition().Y, 0.0f, 1e-4) << mode;

		key(KEY_DOWN, true);
		run(2000);
		key(KEY_DOWN, false);
		run(1000);
		EXPECT_LT(Camera->getPosition().X, stopped - 1.5f * full) << mode;

		// Strafing left puts what was straight ahead right of the centre.
		enter(mode, core::vector3df(0.0f, 90.0f, 0.0f));
		key(KEY_LEFT, true);
		run(500);
		key(KEY_LEFT, false);
		run(1000);
		EXPECT_GT(onScreen(ahead).X, 330) << mode;
		EXPECT_NEAR(direction().X, 1.0f, 1e-4) << mode;
		key(KEY_RIGHT, true);
		run(1000);
		key(KEY_RIGHT, false);
		run(1000);
		EXPECT_LT(onScreen(ahead).X, 310) << mode;
	}
}

TEST_F(CameraAnimatorTest, MouseLookTurnsByTheCursorOffsetSmoothlyAndRecentres)
{
	enter(3);
	mouseTo(0.6f, 0.5f);
	run(17, 17);  // one step: a smoothed part of the turn only
	const double expected = 0.1 * Animator->getRotateSpeed();
	EXPECT_GT(yaw(), 0.1 * expected);
	EXPECT_LT(yaw(), 0.5 * expected);
	EXPECT_NEAR(Cursor->getRelativePosition().X, 0.5f, 0.01f);
	run(1000);
	EXPECT_NEAR(yaw(), expected, 0.05 * expected);

	mouseTo(0.5f, 0.6f);  // down looks down
	run(1000);
	EXPECT_NEAR(elevation(), -expected, 0.05 * expected);
	EXPECT_NEAR(yaw(), expected, 0.05 * expected);

	Animator->setInvertMouse(true);
	mouseTo(0.5f, 0.6f);
	run(1000);
	EXPECT_NEAR(elevation(), 0.0, 0.05 * expected);

	// A cursor outside the window is put back in the middle, not followed.
	const core::vector3df view = direction();
	mouseTo(1.0f, 1.0f);
	run(1000);
	EXPECT_TRUE(direction().equals(view, 1e-4f));
	EXPECT_NEAR(Cursor->getRelativePosition().X, 0.5f, 0.01f);
}

TEST_F(CameraAnimatorTest, DragTurnsOnlyWhileTheLeftButtonIsHeld)
{
	enter(4);
	mouseTo(0.8f, 0.2f);
	run(500);
	EXPECT_NEAR(yaw(), 0.0, 1e-3);
	EXPECT_NEAR(elevation(), 0.0, 1e-3);
	EXPECT_NEAR(Cursor->getRelativePosition().X, 0.8f, 0.01f);  // not recentred

	// The step that starts a drag only takes the cursor where it is.
	EXPECT_TRUE(mouse(EMIE_LMOUSE_PRESSED_DOWN));
	run(100);
	EXPECT_NEAR(yaw(), 0.0, 1e-3);
	mouseTo(0.7f, 0.3f);
	run(1000);
	const double expected = 0.1 * Animator->getRotateSpeed();
	EXPECT_NEAR(yaw(), -expected, 0.05 * expected);
	EXPECT_NEAR(elevation(), -expected, 0.05 * expected);

	EXPECT_TRUE(mouse(EMIE_LMOUSE_LEFT_UP));
	const core::vector3df held = direction();
	mouseTo(0.1f, 0.9f);
	run(1000);
	EXPECT_TRUE(direction().equals(held, 1e-4f));
	mouse(EMIE_LMOUSE_PRESSED_DOWN);
	run(1000);
	EXPECT_TRUE(direction().equals(held, 1e-4f));
}

TEST_F(CameraAnimatorTest, CallsWithin16MsMoveOnlyOnce)
{
	for (int mode : {3, 4})
	{
		enter(mode);
		key(KEY_UP, true);
		run(1000);
		const core::vector3df before = Camera->getPosition();
		Time += 10;
		Animator->animateNode(Camera, Time);
		EXPECT_EQ(Camera->getPosition(), before) << mode;
		Time += 10;
		Animator->animateNode(Camera, Time);
		const core::vector3df once = Camera->getPosition();
		EXPECT_GT(once.Z, before.Z) << mode;
		Time += 15;
		Animator->animateNode(Camera, Time);
		EXPECT_EQ(Camera->getPosition(), once) << mode;
		key(KEY_UP, false);
	}
	// Nor does the view turn, and the cursor stays off-centre until the next step.
	enter(3);
	run(100);
	mouseTo(0.9f, 0.5f);
	Animator->animateNode(Camera, Time + 15);
	EXPECT_NEAR(yaw(), 0.0, 1e-3);
	EXPECT_NEAR(Cursor->getRelativePosition().X, 0.9f, 0.01f);
}

TEST_F(CameraAnimatorTest, PitchStopsAt88DegreesUpAndDown)
{
	enter(3);
	double lowest = 0.0, highest = 0.0;
	for (f32 y : {0.99f, 0.0f})
		for (int i = 0; i < 40; ++i)
		{
			mouseTo(0.5f, y);
			run(50);
			lowest = std::min(lowest, elevation());
			highest = std::max(highest, elevation());
			EXPECT_GT(direction().Z, 0.0f) << "the view went over the top";
		}
	EXPECT_NEAR(lowest, -88.0, 0.01);
	EXPECT_NEAR(highest, 88.0, 0.01);
	// Dragging up again and again in mode 4 is held at the same limit.
	enter(4);
	for (int i = 0; i < 4; ++i)
	{
		mouse(EMIE_LMOUSE_LEFT_UP);
		mouseTo(0.5f, 1.0f);
		run(50);
		mouse(EMIE_LMOUSE_PRESSED_DOWN);
		run(50);
		mouseTo(0.5f, 0.0f);
		run(500);
		EXPECT_LE(elevation(), 88.01) << i;
	}
	EXPECT_NEAR(elevation(), 88.0, 0.01);
}

TEST_F(CameraAnimatorTest, HeldKeyStartsSlowlyAndReachesFullSpeed)
{
	enter(4);
	const f32 perFrame = Animator->getMoveSpeed() * 50.0f;
	for (int press = 0; press < 2; ++press)
	{
		key(KEY_UP, true);
		std::vector<f32> moved;
		for (int frame = 0; frame < 30; ++frame)
		{
			const f32 z = Camera->getPosition().Z;
			run(50);
			moved.push_back(Camera->getPosition().Z - z);
		}
		key(KEY_UP, false);
		run(2000);
		EXPECT_LT(moved[0], 0.1f * perFrame) << press;
		for (int frame = 1; frame < 6; ++frame)
			EXPECT_GT(moved[frame], moved[frame - 1]) << press;
		EXPECT_NEAR(moved.back(), perFrame, 0.02f * perFrame) << press;
	}
	// Without vertical movement a downward look still moves at full speed, level.
	enter(4, core::vector3df(45.0f, 0.0f, 0.0f));
	key(KEY_UP, true);
	run(1000);
	EXPECT_LT(Camera->getPosition().Y, -0.3f * perFrame * 20.0f);
	enter(4, core::vector3df(45.0f, 0.0f, 0.0f));
	Animator->setVerticalMovement(false);
	run(1000);
	const f32 z = Camera->getPosition().Z;
	run(50);
	EXPECT_NEAR(Camera->getPosition().Y, 0.0f, 1e-4);
	EXPECT_NEAR(Camera->getPosition().Z - z, perFrame, 0.02f * perFrame);
}

TEST_F(CameraAnimatorTest, CatchUpAfterALongGapIsCapped)
{
	enter(3);
	key(KEY_UP, true);
	run(1000);
	const f32 z = Camera->getPosition().Z;
	Time += 10000;
	Animator->animateNode(Camera, Time);
	const f32 second = Animator->getMoveSpeed() * 1000.0f;
	EXPECT_GT(Camera->getPosition().Z - z, 0.8f * second);
	EXPECT_LT(Camera->getPosition().Z - z, 1.2f * second);
}

TEST_F(CameraAnimatorTest, OnlyTheActiveCameraMovesAndOtherNodesAreLeftAlone)
{
	scene::ISceneNode* empty = Smgr->addEmptySceneNode();
	empty->setPosition(core::vector3df(1.0f, 2.0f, 3.0f));
	Animator->positionCamera(9.0f, 9.0f, 9.0f);
	Animator->rotateCamera(0.0f, 45.0f, 0.0f);
	for (int mode : {1, 2, 3, 4})
	{
		Animator->setMode(mode);
		key(KEY_UP, true);
		run(500, 50, empty);
		EXPECT_EQ(empty->getPosition(), core::vector3df(1.0f, 2.0f, 3.0f)) << mode;
		EXPECT_EQ(empty->getRotation(), core::vector3df()) << mode;
	}

	scene::ICameraSceneNode* other = Smgr->addCameraSceneNode(nullptr, core::vector3df(), core::vector3df(0, 0, 1), -1, false);
	ASSERT_EQ(Smgr->getActiveCamera(), Camera);
	Animator->setMode(3);
	run(500, 50, other);  // the mode's start places it, nothing more
	EXPECT_EQ(other->getPosition(), core::vector3df(9.0f, 9.0f, 9.0f));
	Smgr->setActiveCamera(other);
	run(500, 50, other);
	EXPECT_GT(other->getPosition().Z, 9.0f);
}

TEST_F(CameraAnimatorTest, KeyMapReplacesTheArrowsAndIgnoresUnknownActions)
{
	const SCamKeyMap map[] = {{EZCA_MOVE_FORWARD, KEY_KEY_W}, {7, KEY_KEY_S}, {-1, KEY_KEY_A}, {EZCA_JUMP, KEY_SPACE}};
	Animator->setKeyMap(map, 4);
	EXPECT_EQ(Animator->getKeyMap().size(), 2u);
	EXPECT_FALSE(key(KEY_UP, true));
	EXPECT_FALSE(key(KEY_KEY_S, true));
	EXPECT_FALSE(key(KEY_KEY_A, true));
	EXPECT_FALSE(mouse(EMIE_RMOUSE_PRESSED_DOWN));
	enter(3);
	run(500);
	EXPECT_EQ(Camera->getPosition(), core::vector3df());
	EXPECT_TRUE(key(KEY_KEY_W, true));
	run(500);
	EXPECT_GT(Camera->getPosition().Z, 0.0f);
	EXPECT_NEAR(Camera->getPosition().X, 0.0f, 1e-5);
}

TEST_F(CameraAnimatorTest, JumpTellsCollisionResponsesThatStand)
{
	FakeCollisionResponse* standing = new FakeCollisionResponse(false);
	FakeCollisionResponse* falling = new FakeCollisionResponse(true);
	Camera->addAnimator(standing);
	Camera->addAnimator(falling);
	Animator->setJumpSpeed(4.5f);
	enter(3);
	run(100);
	EXPECT_TRUE(standing->Jumps.empty());
	EXPECT_TRUE(key(KEY_RCONTROL, true));
	run(50);
	ASSERT_FALSE(standing->Jumps.empty());
	EXPECT_FLOAT_EQ(standing->Jumps.back(), 4.5f);
	EXPECT_TRUE(falling->Jumps.empty());
	key(KEY_RCONTROL, false);
	const size_t jumps = standing->Jumps.size();
	run(200);
	EXPECT_EQ(standing->Jumps.size(), jumps);
	standing->drop();
	falling->drop();
}

TEST_F(CameraAnimatorTest, CloneKeepsSpeedsKeyMapAndSettings)
{
	EXPECT_EQ(static_cast<int>(Animator->getType()), 10001);
	EXPECT_TRUE(Animator->isEventReceiverEnabled());
	EXPECT_FALSE(Animator->hasFinished());

	const SCamKeyMap map[] = {{EZCA_MOVE_FORWARD, KEY_KEY_W}, {EZCA_STRAFE_LEFT, KEY_KEY_A}};
	Animator->setKeyMap(map, 2);
	Animator->setMoveSpeed(0.02f);
	Animator->setRotateSpeed(50.0f);
	Animator->setJumpSpeed(3.0f);
	Animator->setInvertMouse(true);
	Animator->setVerticalMovement(false);
	CZeSceneNodeAnimatorCamera* clone = static_cast<CZeSceneNodeAnimatorCamera*>(Animator->createClone(Camera));
	ASSERT_NE(clone, nullptr);
	EXPECT_EQ(static_cast<int>(clone->getType()), 10001);
	EXPECT_FLOAT_EQ(clone->getMoveSpeed(), 0.02f);
	EXPECT_FLOAT_EQ(clone->getRotateSpeed(), 50.0f);
	EXPECT_FLOAT_EQ(clone->getJumpSpeed(), 3.0f);
	EXPECT_TRUE(clone->getInvertMouse());
	EXPECT_FALSE(clone->getVerticalMovement());
	EXPECT_FALSE(key(KEY_UP, true, clone));
	EXPECT_TRUE(key(KEY_KEY_W, true, clone));

	// Flown by the clone: W moves level at its speed, the mouse is inverted.
	std::swap(Animator, clone);
	enter(3, core::vector3df(30.0f, 0.0f, 0.0f));
	run(1000);
	EXPECT_NEAR(Camera->getPosition().Y, 0.0f, 1e-4);
	const f32 z = Camera->getPosition().Z;
	run(50);
	EXPECT_NEAR(Camera->getPosition().Z - z, 0.02f * 50.0f, 0.02f);
	const double before = elevation();
	mouseTo(0.5f, 0.6f);
	run(1000);
	EXPECT_NEAR(elevation() - before, 0.1 * 50.0, 0.25);
	std::swap(Animator, clone);
	clone->drop();
}
