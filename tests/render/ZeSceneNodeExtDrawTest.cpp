// Node extensions drawn for real (Xvfb, llvmpipe): materials that outlive the
// extension their records came from, and clones of whole hierarchies.
#include "ZeRenderTestUtil.h"

#include "render/IZeSceneNodeExt.h"

#include "frame/ZeTestDisplay.h"

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

class NodeExtGL : public RenderGL
{
protected:
	// A red 4 by 4 square facing -Z, centred on the parent.
	scene::IMeshSceneNode* square(scene::ISceneNode* parent)
	{
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		const core::vector3df corners[4] = {{-2, -2, 0}, {2, -2, 0}, {2, 2, 0}, {-2, 2, 0}};
		for (const core::vector3df& p : corners)
			buffer->Vertices.push_back(video::S3DVertex(p, core::vector3df(0, 0, -1), video::SColor(255, 255, 0, 0),
				core::vector2df(0, 0)));
		for (u16 i : {0, 1, 2, 0, 2, 3})
			buffer->Indices.push_back(i);
		buffer->recalculateBoundingBox();
		scene::SMesh* mesh = new scene::SMesh();
		mesh->addMeshBuffer(buffer);
		mesh->recalculateBoundingBox();
		buffer->drop();
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh, parent);
		mesh->drop();
		return node;
	}
};
} // namespace

TEST_F(NodeExtGL, AClonedHierarchyDrawsWithItsOwnExtensionsOnceTheOriginalIsGone)
{
	IZeEffect* colour = loadEffect(ZELV_RENDER_TEST_DATA "colour.hlsl");
	ASSERT_TRUE(colour);
	const s32 green = colour->getTechniqueIndex("depth");
	ASSERT_GE(green, 0);
	IZeSceneManager* scenes = Manager->getSceneManager();
	scene::ISceneNode* parent = Smgr->addEmptySceneNode();
	scene::IMeshSceneNode* child = square(parent);
	IZeSceneNodeExt* ext = scenes->getSceneNodeExt(child);
	ASSERT_TRUE(ext);
	ext->setMaterialEffect(0, colour, green, 0);
	camera(core::vector3df(0, 0, -5));
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), 0, 255, 0));

	// The child is cloned with its parent: its materials must lead to its own extension.
	scene::ISceneNode* copy = scenes->cloneSceneNode(parent);
	ASSERT_TRUE(copy);
	ASSERT_EQ(copy->getChildren().size(), 1u);
	scene::ISceneNode* copiedChild = *copy->getChildren().begin();
	IZeSceneNodeExt* copiedExt = zeFindSceneNodeExt(copiedChild);
	ASSERT_TRUE(copiedExt);
	ASSERT_NE(copiedExt, ext);
	parent->remove();
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), 0, 255, 0));
	EXPECT_EQ(ze::getMaterialUserData(copiedChild->getMaterial(0)), copiedExt->getMaterialRecord(0));

	// Without its extension the copy draws as a plain material, in its vertex colour.
	copiedChild->removeAnimators();
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), 255, 0, 0));
}
