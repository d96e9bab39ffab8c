// Last-frame information: frame-time averages and camera cuts on the NULL
// driver with a clock of the test's own; the kept camera through the frame
// end under OpenGL.
#include "ZeRenderTestUtil.h"

#include "render/CZeLastFrameInfo.h"

using namespace irr;
using namespace zetest;

namespace
{
class ClockedInfo : public CZeLastFrameInfo
{
public:
	using CZeLastFrameInfo::CZeLastFrameInfo;
	u32 Now = 0;

protected:
	u32 readTime() const override { return Now; }
};

class LastFrameNull : public ::testing::Test
{
protected:
	void SetUp() override { Device = createDevice(video::EDT_NULL); }
	void TearDown() override { Device->drop(); }

	// The view of a camera at `at` looking along `direction`.
	static core::matrix4 view(const core::vector3df& at, const core::vector3df& direction,
		const core::vector3df& up = core::vector3df(0, 1, 0))
	{
		core::matrix4 m;
		m.buildCameraLookAtMatrixLH(at, at + direction, up);
		return m;
	}

	IrrlichtDevice* Device = nullptr;
};
} // namespace

TEST_F(LastFrameNull, AverageCoversTheLastThirtyFrameTimes)
{
	ClockedInfo info(Device);
	EXPECT_EQ(info.getAverageFps(), 0.f);
	info.Now = 0xFFFFFFF0u;
	info.update();  // the first frame time is 0
	EXPECT_EQ(info.getAverageFrameTime(), 0.f);
	EXPECT_EQ(info.getAverageFps(), 0.f);
	info.Now += 20u;  // the timer wraps
	info.update();
	EXPECT_FLOAT_EQ(info.getAverageFrameTime(), 0.010f);
	EXPECT_FLOAT_EQ(info.getAverageFps(), 100.f);

	std::vector<u32> times = {0, 20};
	for (u32 i = 0; i < 45; ++i)
	{
		const u32 t = 5 + (i * 7) % 31;
		info.Now += t;
		info.update();
		times.push_back(t);
		u32 sum = 0, n = 0;
		for (size_t k = times.size() > 30 ? times.size() - 30 : 0; k < times.size(); ++k, ++n)
			sum += times[k];
		ASSERT_FLOAT_EQ(info.getAverageFrameTime(), sum / (n * 1000.f)) << "update " << times.size();
		ASSERT_FLOAT_EQ(info.getAverageFps(), n * 1000.f / sum) << "update " << times.size();
	}
}

TEST_F(LastFrameNull, CameraCutsByDistanceAndAngleAgainstTheKeptView)
{
	// Never updated: the kept view is the identity, a camera at the origin looking along +Z.
	CZeLastFrameInfo info(Device);
	EXPECT_EQ(info.getPrevView(), core::IdentityMatrix);
	EXPECT_EQ(info.getPrevProjection(), core::IdentityMatrix);
	const core::vector3df ahead(0, 0, 1);
	EXPECT_FALSE(info.isCameraCut(view({0, 0, 0}, ahead), 1.f, 20.f));
	// Distance: exactly as far is no cut, a little farther is.
	EXPECT_FALSE(info.isCameraCut(view({1.5f, 2.f, 0}, ahead), 2.5f, 20.f));
	EXPECT_TRUE(info.isCameraCut(view({1.5f, 2.01f, 0}, ahead), 2.5f, 20.f));
	EXPECT_TRUE(info.isCameraCut(view({0, 0, -1.01f}, ahead), 1.f, 180.f));
	// Angle: turning, not rolling, counts; turning around is the widest angle.
	auto turned = [](f32 degrees) {
		return core::vector3df(std::sin(degrees * core::DEGTORAD), 0, std::cos(degrees * core::DEGTORAD));
	};
	EXPECT_FALSE(info.isCameraCut(view({0, 0, 0}, turned(19.f)), 1.f, 20.f));
	EXPECT_TRUE(info.isCameraCut(view({0, 0, 0}, turned(21.f)), 1.f, 20.f));
	EXPECT_TRUE(info.isCameraCut(view({0, 0, 0}, turned(-21.f)), 1.f, 20.f));
	EXPECT_FALSE(info.isCameraCut(view({0, 0, 0}, ahead, {1, 1, 0}), 1.f, 20.f));
	EXPECT_TRUE(info.isCameraCut(view({0, 0, 0}, {0, 0, -1}), 1.f, 179.f));
	EXPECT_FALSE(info.isCameraCut(view({0, 0, 0}, {0, 0, -1}), 1.f, 180.f));
}

TEST_F(RenderGL, LastFrameInfoKeepsTheCameraOfTheFrameJustDrawn)
{
	IZeLastFrameInfo* info = Manager->getRendererManager()->getLastFrameInfo();
	ASSERT_NE(info, nullptr);
	EXPECT_EQ(info, Manager->getRendererManager()->getLastFrameInfo());
	const core::vector3df at(-9, -3, -5);
	scene::ICameraSceneNode* cam = Smgr->addCameraSceneNode(nullptr, at, {0, 0, 0});
	Smgr->setActiveCamera(cam);
	zeEndFrame();
	const core::matrix4 view = cam->getViewMatrix(), projection = cam->getProjectionMatrix();
	EXPECT_EQ(info->getPrevView(), view);
	EXPECT_EQ(info->getPrevProjection(), projection);
	EXPECT_NE(view, core::IdentityMatrix);

	// Turned around on the spot (the cosine rounds below -1 here).
	core::matrix4 around;
	around.buildCameraLookAtMatrixLH(at, at * 2.f, {0, 1, 0});
	EXPECT_TRUE(info->isCameraCut(around, 1.f, 179.f));

	// The kept matrices change only with the next frame.
	cam->setPosition(at + core::vector3df(0, 0, 3));
	cam->setTarget({0, 0, 3});
	cam->setFOV(1.f);
	Smgr->drawAll();
	EXPECT_EQ(info->getPrevView(), view);
	EXPECT_FALSE(info->isCameraCut(view, 1.f, 20.f));
	EXPECT_TRUE(info->isCameraCut(cam->getViewMatrix(), 1.f, 20.f));  // moved 3 units
	EXPECT_FALSE(info->isCameraCut(cam->getViewMatrix(), 3.5f, 20.f));
	zeEndFrame();
	EXPECT_EQ(info->getPrevView(), cam->getViewMatrix());
	EXPECT_EQ(info->getPrevProjection(), cam->getProjectionMatrix());
	EXPECT_NE(info->getPrevProjection(), projection);
}
