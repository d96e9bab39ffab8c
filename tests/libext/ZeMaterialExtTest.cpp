// Material side records on the NULL driver: records as values of the material
// (copies, moved materials, reused storage), collection, and user data that is gone.
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <new>
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
		ze::clearMaterialExts();
		FlatRefs = Flat[0]->getReferenceCount();
		OursRefs = Ours[0]->getReferenceCount();
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
	// Every record and texture reference made since SetUp has gone.
	void expectNothingLeft()
	{
		EXPECT_EQ(ze::getMaterialExtCount(), 0u);
		EXPECT_EQ(Flat[0]->getReferenceCount(), FlatRefs);
		EXPECT_EQ(Ours[0]->getReferenceCount(), OursRefs);
	}

	IrrlichtDevice* Device = nullptr;
	video::ITexture* Flat[2] = {};
	ze::ITextureIndirect* Ours[2] = {};
	s32 FlatRefs = 0;
	s32 OursRefs = 0;
};

// One kind of write into a material: value 0 clears, 1 and 2 are two different values.
struct SWrite
{
	std::string What;
	std::function<void(video::SMaterial&, int)> Write;
	std::function<int(const video::SMaterial&)> Read;
};

// A holder reporting the materials of a container.
template <typename Container>
void markAll(void* container)
{
	const Container& materials = *static_cast<Container*>(container);
	for (u32 i = 0; i < materials.size(); ++i)
		ze::markMaterialExt(materials[i]);
}
} // namespace

TEST_F(MaterialExt, WritesThroughAnOriginalOrACopyNeverReachTheOther)
{
	ze::SMaterialUserData users[2];
	auto which = [](const void* p, const void* a, const void* b) { return p == a ? 1 : p == b ? 2 : p ? -1 : 0; };
	auto srgb = [](const video::SMaterial& m, bool vertex, u32 layer) {
		const ze::SMaterialExt* r = ze::getMaterialExt(m);
		return r ? int(vertex ? r->VertexTextureLayer[layer].SRGB : r->TextureLayer[layer].SRGB) : 0;
	};
	const std::vector<SWrite> writes = {
		{"library texture on layer 5",
			[this](video::SMaterial& m, int v) { ze::setMaterialTexture(m, 5, v ? Flat[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialTexture(m, 5), Flat[0], Flat[1]); }},
		{"our texture on layer 1",
			[this](video::SMaterial& m, int v) { ze::setMaterialTexture(m, 1, v ? Ours[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialTexture(m, 1), Ours[0], Ours[1]); }},
		{"sRGB flag of layer 2", [](video::SMaterial& m, int v) { ze::setMaterialTextureSRGB(m, 2, u32(v)); },
			[&](const video::SMaterial& m) { return srgb(m, false, 2); }},
		{"vertex layer 0",
			[this](video::SMaterial& m, int v) { ze::setMaterialVertexTexture(m, 0, v ? Flat[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialVertexTexture(m, 0), Flat[0], Flat[1]); }},
		{"vertex layer 3 sRGB flag", [](video::SMaterial& m, int v) { ze::setMaterialVertexTextureSRGB(m, 3, u32(v)); },
			[&](const video::SMaterial& m) { return srgb(m, true, 3); }},
		{"user data", [&](video::SMaterial& m, int v) { ze::setMaterialUserData(m, v ? &users[v - 1] : nullptr); },
			[&](const video::SMaterial& m) { return which(ze::getMaterialUserData(m), &users[0], &users[1]); }},
	};
	for (const SWrite& w : writes)
	{
		SCOPED_TRACE(w.What);
		video::SMaterial original;
		ze::setMaterialTexture(original, 6, Flat[0]);  // other contents every copy keeps
		w.Write(original, 1);
		// The original writes first: a copy that never wrote keeps what it was given.
		const video::SMaterial earlier = original;
		w.Write(original, 2);
		EXPECT_EQ(w.Read(earlier), 1);
		EXPECT_EQ(w.Read(original), 2);
		w.Write(original, 0);
		EXPECT_EQ(w.Read(earlier), 1);
		// The copy writes first: the original keeps its value.
		video::SMaterial copy = earlier;
		w.Write(copy, 2);
		EXPECT_EQ(w.Read(earlier), 1);
		EXPECT_EQ(w.Read(copy), 2);
		EXPECT_EQ(w.Read(original), 0);
		for (const video::SMaterial* m : std::initializer_list<const video::SMaterial*>{&original, &earlier, &copy})
			EXPECT_EQ(ze::getMaterialTexture(*m, 6), Flat[0]);
	}
}

TEST_F(MaterialExt, EqualContentsShareOneRecordAndRepeatedWritesAddNone)
{
	ze::SMaterialUserData user;
	auto dress = [&](video::SMaterial& m) {
		ze::setMaterialTexture(m, 1, Ours[0]);
		ze::setMaterialTexture(m, 5, Flat[0]);
		ze::setMaterialTextureSRGB(m, 5, 1);
		ze::setMaterialUserData(m, &user);
	};
	video::SMaterial first;
	dress(first);
	const u32 handle = ze::getMaterialExtHandle(first);
	ASSERT_NE(handle, 0u);
	auto again = [&]() {
		dress(first);
		video::SMaterial other;
		ze::setMaterialUserData(other, &user);  // the same contents reached in another order
		ze::setMaterialTextureSRGB(other, 5, 1);
		ze::setMaterialTexture(other, 5, Flat[0]);
		ze::setMaterialTexture(other, 1, Ours[0]);
		return ze::getMaterialExtHandle(other);
	};
	ASSERT_EQ(again(), handle);
	const u32 records = ze::getMaterialExtCount();
	const s32 refs = Flat[0]->getReferenceCount();
	for (int n = 0; n < 1000; ++n)
		ASSERT_EQ(again(), handle);
	EXPECT_EQ(ze::getMaterialExtCount(), records);
	EXPECT_EQ(Flat[0]->getReferenceCount(), refs);

	// Whole layers at once: the same contents are the same record; all-empty
	// contents are none.
	ze::SMaterialExt layers = *ze::getMaterialExt(first);
	video::SMaterial whole;
	ze::setMaterialExt(whole, layers);
	ze::setMaterialUserData(whole, &user);
	EXPECT_EQ(ze::getMaterialExtHandle(whole), handle);
	layers.TextureLayer[7].LODBias = -8.f;
	ze::setMaterialExt(whole, layers);
	EXPECT_EQ(ze::getMaterialUserData(whole), &user);
	EXPECT_FLOAT_EQ(ze::getMaterialExt(whole)->TextureLayer[7].LODBias, -8.f);
	EXPECT_EQ(ze::getMaterialExt(first)->TextureLayer[7].LODBias, 0.f);
	ze::setMaterialExt(whole, ze::SMaterialExt());
	ze::setMaterialUserData(whole, nullptr);
	EXPECT_EQ(ze::getMaterialExtHandle(whole), 0u);
	EXPECT_EQ(ze::getMaterialExtCount(), records + 1);
}

TEST_F(MaterialExt, MaterialsThatMoveOrReuseStorageKeepTheirOwnRecords)
{
	// Each material of a growing array reads what was written to it, through
	// every reallocation; gone arrays leave nothing once collected.
	{
		core::array<video::SMaterial> grown;
		std::vector<video::SMaterial> vector;
		const ze::CMaterialExtHolder holdGrown(markAll<core::array<video::SMaterial>>, &grown);
		const ze::CMaterialExtHolder holdVector(markAll<std::vector<video::SMaterial>>, &vector);
		for (u32 i = 0; i < 40; ++i)
		{
			grown.push_back(video::SMaterial());
			ze::setMaterialTexture(grown.getLast(), 4 + i % 4, Flat[i % 2]);
			vector.emplace_back();
			ze::setMaterialVertexTexture(vector.back(), i % 4, Ours[i % 2]);
			ze::setMaterialTextureSRGB(vector.back(), 7, i);
		}
		ze::sweepMaterialExts();  // the contents written on the way go
		EXPECT_EQ(ze::getMaterialExtCount(), 4u + 40u);
		for (u32 i = 0; i < 40; ++i)
		{
			EXPECT_EQ(ze::getMaterialTexture(grown[i], 4 + i % 4), Flat[i % 2]) << i;
			EXPECT_EQ(ze::getMaterialVertexTexture(vector[i], i % 4), Ours[i % 2]) << i;
			EXPECT_EQ(ze::getMaterialExt(vector[i])->TextureLayer[7].SRGB, i) << i;
		}
	}
	EXPECT_EQ(ze::sweepMaterialExts(), 4u + 40u);
	expectNothingLeft();

	// A material built where another one was, from a copy of that one, writes
	// without touching the copy.
	alignas(video::SMaterial) unsigned char storage[sizeof(video::SMaterial)];
	video::SMaterial* first = new (storage) video::SMaterial();
	ze::setMaterialTexture(*first, 5, Flat[0]);
	const video::SMaterial reader = *first;
	first->~SMaterial();
	video::SMaterial* second = new (storage) video::SMaterial(reader);
	ze::setMaterialTexture(*second, 5, Flat[1]);
	EXPECT_EQ(ze::getMaterialTexture(reader, 5), Flat[0]);
	EXPECT_EQ(ze::getMaterialTexture(*second, 5), Flat[1]);
	second->~SMaterial();
}

TEST_F(MaterialExt, CollectionsFreeWhatNoHolderReadsAndHandlesComeBackOnlyAfterEveryGeneration)
{
	video::SMaterial held;
	ze::setMaterialTexture(held, 1, Ours[0]);
	ze::setMaterialVertexTexture(held, 2, Flat[0]);
	video::SMaterial loose = held;
	ze::setMaterialTexture(loose, 7, Flat[0]);
	const u32 looseHandle = ze::getMaterialExtHandle(loose);
	{
		const ze::CMaterialExtHolder holding(held);
		{
			// A batch holds collections back until its end.
			ze::CMaterialExtSweepBatch batch;
			EXPECT_EQ(ze::sweepMaterialExts(), 0u);
			EXPECT_EQ(ze::getMaterialTexture(loose, 7), Flat[0]);
		}
		EXPECT_EQ(ze::getMaterialExt(loose), nullptr);
		EXPECT_EQ(ze::getMaterialTexture(held, 1), Ours[0]);
		EXPECT_EQ(ze::getMaterialExtCount(), 1u);
		EXPECT_EQ(Flat[0]->getReferenceCount(), FlatRefs + 1);
	}

	// Many records come and go in the freed slots; none answers the old handle.
	for (int n = 0; n < 3000; ++n)
	{
		video::SMaterial m;
		ze::setMaterialTexture(m, 4, Flat[1]);
		ze::setMaterialTextureSRGB(m, 4, u32(n));
		ASSERT_NE(ze::getMaterialExtHandle(m), looseHandle);
		if (n % 100 == 0)
			ze::sweepMaterialExts();
	}
	EXPECT_EQ(ze::getMaterialExt(loose), nullptr);
	ze::sweepMaterialExts();
	expectNothingLeft();

	// A program that makes records for ever, collected as it goes, keeps to
	// the slots it needs: past every generation of a slot (2032), its handles
	// come round again and new records still answer.
	const u32 slots = ze::getMaterialExtSlotCount() + 4;
	for (u32 n = 0; n < slots * 2100; ++n)
	{
		video::SMaterial m;
		ze::setMaterialTextureSRGB(m, 5, n + 1);
		const ze::SMaterialExt* record = ze::getMaterialExt(m);
		ASSERT_TRUE(record && record->TextureLayer[5].SRGB == n + 1) << n;
		if (n % 4 == 3)
			ze::sweepMaterialExts();
	}
	EXPECT_LE(ze::getMaterialExtSlotCount(), slots);
	expectNothingLeft();

	ze::setMaterialTexture(held, 1, Ours[0]);
	ze::clearMaterialExts();
	EXPECT_EQ(ze::getMaterialTexture(held, 1), nullptr);
	expectNothingLeft();

	// Values that are no handle read as none.
	for (f32 value : {0.f, -1.f, 1e-40f, 3.5f, 1e30f, std::numeric_limits<f32>::infinity()})
	{
		video::SMaterial m;
		m.MaterialTypeParam2 = value;
		EXPECT_EQ(ze::getMaterialExt(m), nullptr) << value;
	}
}

TEST_F(MaterialExt, AScenesNodesMeshesCacheAndDriverKeepTheirRecords)
{
	scene::ISceneManager* smgr = Device->getSceneManager();
	const ze::CMaterialExtHolder holding(
		[](void* scenes) { ze::markSceneMaterialExts(static_cast<scene::ISceneManager*>(scenes)); }, smgr);
	auto bufferOf = [](video::ITexture* texture, scene::SMesh* mesh) {
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		ze::setMaterialTexture(buffer->Material, 6, texture);
		mesh->addMeshBuffer(buffer);
		buffer->drop();
	};
	scene::SMesh* cached = new scene::SMesh();
	bufferOf(Flat[0], cached);
	scene::SAnimatedMesh* frames = new scene::SAnimatedMesh(cached);
	cached->drop();
	scene::SMesh* later = new scene::SMesh();  // a second frame
	bufferOf(Ours[1], later);
	frames->addMesh(later);
	later->drop();
	smgr->getMeshCache()->addMesh("cached", frames);
	frames->drop();
	scene::SMesh* own = new scene::SMesh();
	bufferOf(Ours[0], own);
	scene::IMeshSceneNode* node = smgr->addMeshSceneNode(own);
	own->drop();
	scene::ISceneNode* child = smgr->addCubeSceneNode(1.f, node);
	ze::setMaterialTexture(child->getMaterial(0), 5, Flat[1]);
	ze::setMaterialTexture(node->getMaterial(0), 5, Flat[1]);
	ze::setMaterialTextureSRGB(node->getMaterial(0), 5, 1);
	ze::setMaterialVertexTexture(Device->getVideoDriver()->getOverrideMaterial().Material, 0, Flat[0]);
	video::SMaterial loose;
	ze::setMaterialTexture(loose, 7, Flat[1]);

	ze::sweepMaterialExts();
	EXPECT_EQ(ze::getMaterialExt(loose), nullptr);
	EXPECT_EQ(ze::getMaterialTexture(cached->getMeshBuffer(0)->getMaterial(), 6), Flat[0]);
	EXPECT_EQ(ze::getMaterialTexture(later->getMeshBuffer(0)->getMaterial(), 6), Ours[1]);
	EXPECT_EQ(ze::getMaterialTexture(own->getMeshBuffer(0)->getMaterial(), 6), Ours[0]);
	EXPECT_EQ(ze::getMaterialTexture(child->getMaterial(0), 5), Flat[1]);
	EXPECT_EQ(ze::getMaterialExt(node->getMaterial(0))->TextureLayer[5].SRGB, 1u);
	EXPECT_EQ(ze::getMaterialVertexTexture(Device->getVideoDriver()->getOverrideMaterial().Material, 0), Flat[0]);

	node->remove();
	smgr->getMeshCache()->clear();
	ze::setMaterialVertexTexture(Device->getVideoDriver()->getOverrideMaterial().Material, 0, nullptr);
	ze::sweepMaterialExts();
	expectNothingLeft();
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
