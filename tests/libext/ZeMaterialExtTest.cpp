// Material side records on the NULL driver: copies that write, records that
// go with their owners, and user data that is gone.
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

using namespace irr;

namespace
{
class MaterialExt : public ::testing::Test
{
protected:
	void SetUp() override
	{
		Device = createDevice(video::EDT_NULL);
		ASSERT_TRUE(Device);
		Device->getLogger()->setLogLevel(ELL_NONE);
		video::IVideoDriver* driver = Device->getVideoDriver();
		Flat[0] = driver->addTexture(core::dimension2d<u32>(2, 2), "flat0");
		Flat[1] = driver->addTexture(core::dimension2d<u32>(2, 2), "flat1");
		Ours[0] = ze::createTextureIndirect("ours0", nullptr);
		Ours[1] = ze::createTextureIndirect("ours1", nullptr);
		ASSERT_TRUE(Flat[0] && Flat[1] && Ours[0] && Ours[1]);
		Records = ze::getMaterialExtCount();
	}
	void TearDown() override
	{
		ze::clearMaterialExts();
		for (ze::ITextureIndirect* t : Ours)
			if (t)
				t->drop();
		ze::removeAllTextures();
		Device->drop();
	}

	IrrlichtDevice* Device = nullptr;
	video::ITexture* Flat[2] = {};
	ze::ITextureIndirect* Ours[2] = {};
	u32 Records = 0;
};

// One kind of write into a material: value 0 clears, 1 and 2 are two different values.
struct SWrite
{
	std::string What;
	std::function<void(video::SMaterial&, int)> Write;
	std::function<int(const video::SMaterial&)> Read;
};
} // namespace

TEST_F(MaterialExt, ACopyThatWritesGetsARecordOfItsOwn)
{
	ze::SMaterialUserData users[2];
	auto which = [](const void* p, const void* a, const void* b) { return p == a ? 1 : p == b ? 2 : p ? -1 : 0; };
	const std::vector<SWrite> writes = {
		{"library texture on layer 5",
			[this](video::SMaterial& m, int v) { ze::setMaterialTexture(m, 5, v ? Flat[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialTexture(m, 5), Flat[0], Flat[1]); }},
		{"our texture on layer 1",
			[this](video::SMaterial& m, int v) { ze::setMaterialTexture(m, 1, v ? Ours[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialTexture(m, 1), Ours[0], Ours[1]); }},
		{"sRGB flag of layer 2", [](video::SMaterial& m, int v) { ze::setMaterialTextureSRGB(m, 2, u32(v)); },
			[](const video::SMaterial& m) {
				const ze::SMaterialExt* r = ze::getMaterialExt(m);
				return r ? int(r->TextureLayer[2].SRGB) : 0;
			}},
		{"vertex layer 0",
			[this](video::SMaterial& m, int v) { ze::setMaterialVertexTexture(m, 0, v ? Flat[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialVertexTexture(m, 0), Flat[0], Flat[1]); }},
		{"vertex layer 3 sRGB flag", [](video::SMaterial& m, int v) { ze::setMaterialVertexTextureSRGB(m, 3, u32(v)); },
			[](const video::SMaterial& m) {
				const ze::SMaterialExt* r = ze::getMaterialExt(m);
				return r ? int(r->VertexTextureLayer[3].SRGB) : 0;
			}},
		{"user data", [&](video::SMaterial& m, int v) { ze::setMaterialUserData(m, v ? &users[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialUserData(m), &users[0], &users[1]); }},
	};
	for (const SWrite& w : writes)
	{
		SCOPED_TRACE(w.What);
		video::SMaterial original;
		ze::setMaterialTexture(original, 6, Flat[0]);  // other contents the copy keeps
		w.Write(original, 1);
		video::SMaterial copy = original;
		ASSERT_EQ(w.Read(copy), 1);
		w.Write(copy, 2);
		EXPECT_EQ(w.Read(original), 1);
		EXPECT_EQ(w.Read(copy), 2);
		EXPECT_EQ(ze::getMaterialTexture(copy, 6), Flat[0]);
		// And the other way: the original's writes no longer reach the copy.
		w.Write(original, 0);
		EXPECT_EQ(w.Read(original), 0);
		EXPECT_EQ(w.Read(copy), 2);
		// A copy of the copy, written, leaves both alone.
		video::SMaterial third = copy;
		w.Write(third, 1);
		EXPECT_EQ(w.Read(copy), 2);
		EXPECT_EQ(w.Read(original), 0);
		EXPECT_EQ(w.Read(third), 1);
	}
}

TEST_F(MaterialExt, WritingAValueAMaterialAlreadyReadsKeepsSharingItsRecord)
{
	video::SMaterial original;
	ze::setMaterialTexture(original, 5, Flat[0]);
	ze::setMaterialTextureSRGB(original, 5, 1);
	video::SMaterial copy = original;
	ze::setMaterialTexture(copy, 5, Flat[0]);
	ze::setMaterialTextureSRGB(copy, 5, 1);
	ze::setMaterialTexture(copy, 2, nullptr);
	ze::setMaterialVertexTexture(copy, 1, nullptr);
	EXPECT_EQ(ze::getMaterialExt(copy), ze::getMaterialExt(original));
	EXPECT_EQ(ze::getMaterialExtCount(), Records + 1);
	// Through the non-const accessor the copy means to write: it gets its own.
	ze::SMaterialExt* own = ze::getMaterialExt(copy, false);
	ASSERT_TRUE(own);
	EXPECT_NE(own, ze::getMaterialExt(original));
	EXPECT_EQ(own->TextureLayer[5].Texture, Flat[0]);
	EXPECT_EQ(own->TextureLayer[5].SRGB, 1u);
	// A material without a record gets none unless asked to make one.
	video::SMaterial plain;
	EXPECT_EQ(ze::getMaterialExt(plain, false), nullptr);
	ze::setMaterialTextureSRGB(plain, 0, 0);
	ze::setMaterialUserData(plain, nullptr);
	EXPECT_EQ(ze::getMaterialExtHandle(plain), 0u);
	EXPECT_EQ(ze::getMaterialExtCount(), Records + 2);
}

TEST_F(MaterialExt, ReleasedRecordsDropTheirTexturesAndTheirHandlesNeverAnswerAgain)
{
	const s32 flatRefs = Flat[0]->getReferenceCount();
	const s32 oursRefs = Ours[0]->getReferenceCount();
	video::SMaterial original;
	ze::setMaterialTexture(original, 1, Ours[0]);
	ze::setMaterialTexture(original, 7, Flat[0]);
	ze::setMaterialVertexTexture(original, 2, Flat[0]);
	EXPECT_EQ(Flat[0]->getReferenceCount(), flatRefs + 2);
	video::SMaterial copy = original;
	ze::setMaterialTextureSRGB(copy, 7, 1);  // the copy holds the textures too
	EXPECT_EQ(Flat[0]->getReferenceCount(), flatRefs + 4);
	EXPECT_EQ(Ours[0]->getReferenceCount(), oursRefs + 2);
	EXPECT_EQ(ze::getMaterialExtCount(), Records + 2);

	// A material that shares a record does not free it.
	video::SMaterial reader = original;
	ze::releaseMaterialExt(reader);
	EXPECT_EQ(ze::getMaterialExt(reader), nullptr);
	EXPECT_EQ(ze::getMaterialTexture(original, 1), Ours[0]);

	const u32 handle = ze::getMaterialExtHandle(original);
	ASSERT_NE(handle, 0u);
	video::SMaterial stale = original;
	ze::releaseMaterialExt(original);
	EXPECT_EQ(ze::getMaterialExtHandle(original), 0u);
	EXPECT_EQ(ze::getMaterialTexture(original, 1), nullptr);
	EXPECT_EQ(ze::getMaterialTexture(stale, 7), nullptr);
	EXPECT_EQ(ze::getMaterialExtHandle(stale), 0u);
	EXPECT_EQ(Flat[0]->getReferenceCount(), flatRefs + 2);
	EXPECT_EQ(Ours[0]->getReferenceCount(), oursRefs + 1);
	EXPECT_EQ(ze::getMaterialExtCount(), Records + 1);
	EXPECT_EQ(ze::getMaterialTexture(copy, 7), Flat[0]);  // the copy's own record stays

	// Many records come and go in the freed slots; none answers the old handle,
	// and releasing it again does nothing.
	for (int n = 0; n < 3000; ++n)
	{
		video::SMaterial m;
		ze::setMaterialTexture(m, 4, Flat[1]);
		ASSERT_NE(ze::getMaterialExtHandle(m), handle);
		ze::releaseMaterialExt(m);
	}
	EXPECT_EQ(ze::getMaterialExt(stale), nullptr);
	ze::releaseMaterialExtHandle(handle);
	ze::releaseMaterialExtHandle(0);
	EXPECT_EQ(ze::getMaterialExtCount(), Records + 1);

	// A released material starts afresh; a handle freed by its number goes the same way.
	ze::setMaterialTexture(original, 1, Ours[0]);
	EXPECT_EQ(ze::getMaterialTexture(original, 1), Ours[0]);
	ze::releaseMaterialExtHandle(ze::getMaterialExtHandle(copy));
	EXPECT_EQ(ze::getMaterialTexture(copy, 7), nullptr);
	EXPECT_EQ(Flat[0]->getReferenceCount(), flatRefs);
	ze::clearMaterialExts();
	EXPECT_EQ(ze::getMaterialTexture(original, 1), nullptr);
	EXPECT_EQ(Ours[0]->getReferenceCount(), oursRefs);
	EXPECT_EQ(ze::getMaterialExtCount(), 0u);

	// Values that are no handle read as none.
	for (f32 value : {0.f, -1.f, 1e-40f, 3.5f, 1e30f, std::numeric_limits<f32>::infinity()})
	{
		video::SMaterial m;
		m.MaterialTypeParam2 = value;
		EXPECT_EQ(ze::getMaterialExt(m), nullptr) << value;
	}
}

TEST_F(MaterialExt, UserDataThatHasGoneReadsAsNoneInEveryCopy)
{
	video::SMaterial material;
	video::SMaterial copy;
	{
		ze::SMaterialUserData record;
		ze::setMaterialUserData(material, &record);
		copy = material;
		EXPECT_EQ(ze::getMaterialUserData(material), &record);
		EXPECT_EQ(ze::getMaterialUserData(copy), &record);
	}
	EXPECT_EQ(ze::getMaterialUserData(material), nullptr);
	EXPECT_EQ(ze::getMaterialUserData(copy), nullptr);

	// A new record in the very same storage is not the one the material was given.
	alignas(ze::SMaterialUserData) unsigned char storage[sizeof(ze::SMaterialUserData)];
	ze::SMaterialUserData* first = new (storage) ze::SMaterialUserData();
	ze::setMaterialUserData(material, first);
	first->~SMaterialUserData();
	ze::SMaterialUserData* second = new (storage) ze::SMaterialUserData();
	ASSERT_EQ(static_cast<void*>(first), static_cast<void*>(second));
	EXPECT_EQ(ze::getMaterialUserData(material), nullptr);
	ze::setMaterialUserData(material, second);
	EXPECT_EQ(ze::getMaterialUserData(material), second);

	// A copy of a record is a record of its own; assigning keeps each one's identity.
	ze::SMaterialUserData copied(*second);
	video::SMaterial other;
	ze::setMaterialUserData(other, &copied);
	*second = copied;
	EXPECT_EQ(ze::getMaterialUserData(other), &copied);
	EXPECT_EQ(ze::getMaterialUserData(material), second);
	second->~SMaterialUserData();
	EXPECT_EQ(ze::getMaterialUserData(material), nullptr);
	EXPECT_EQ(ze::getMaterialUserData(other), &copied);
	ze::setMaterialUserData(other, nullptr);
	EXPECT_EQ(ze::getMaterialUserData(other), nullptr);
}
