// Images with depth and the DDS reader, on the library's NULL driver. DDS files
// are written by the test, in memory or in a temporary folder.
#include "frame/ZeLog.h"
#include "libext/ZeImageExt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using namespace irr;

namespace
{
std::vector<std::string> g_lines;
void captureLine(const char* line) { g_lines.push_back(line); }

// A DDS file: the header fields that matter, then `data` as the texels.
struct SDds
{
	u32 headerSize = 124, flags = 0x1007, height = 1, width = 1, depth = 0, mips = 0;
	u32 pfFlags = 0x41, fourCC = 0, bits = 32, r = 0xFF0000, g = 0xFF00, b = 0xFF, a = 0xFF000000;
	u32 caps2 = 0;
	std::vector<u8> data;

	SDds& dxt(const char* code) { pfFlags = 0x4; fourCC = u32(code[0]) | u32(code[1]) << 8 | u32(code[2]) << 16 | u32(code[3]) << 24; return *this; }
	SDds& floats(u32 code) { pfFlags = 0x4; fourCC = code; return *this; }
	SDds& rgb(u32 bitCount, u32 rm, u32 gm, u32 bm, u32 am) { pfFlags = am ? 0x41 : 0x40; bits = bitCount; r = rm; g = gm; b = bm; a = am; return *this; }
	SDds& size(u32 w, u32 h) { width = w; height = h; return *this; }
	std::vector<u8> bytes() const
	{
		std::vector<u8> out(128, 0);
		std::memcpy(out.data(), "DDS ", 4);
		const u32 fields[][2] = { { 4, headerSize }, { 8, flags }, { 12, height }, { 16, width }, { 24, depth }, { 28, mips },
			{ 76, 32 }, { 80, pfFlags }, { 84, fourCC }, { 88, bits }, { 92, r }, { 96, g }, { 100, b }, { 104, a },
			{ 108, 0x1000 }, { 112, caps2 } };
		for (const auto& f : fields)
			for (int i = 0; i < 4; ++i)
				out[f[0] + i] = u8(f[1] >> (8 * i));
		out.insert(out.end(), data.begin(), data.end());
		return out;
	}
};

// Bytes counting up from `first`.
std::vector<u8> ramp(size_t count, u8 first = 0)
{
	std::vector<u8> v(count);
	for (size_t i = 0; i < count; ++i)
		v[i] = u8(first + i);
	return v;
}

class Image : public ::testing::Test
{
protected:
	void SetUp() override
	{
		device = createDevice(video::EDT_NULL);
		ASSERT_NE(device, nullptr);
		driver = device->getVideoDriver();
		g_lines.clear();
		zeSetLogSink(captureLine);
	}
	void TearDown() override
	{
		zeSetLogSink(nullptr);
		if (device)
			device->drop();
	}
	ze::IImageExt* load(const std::vector<u8>& bytes, const char* name = "mem.dds")
	{
		u8 none = 0;  // the library wants memory even for an empty file
		io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(
			bytes.empty() ? &none : const_cast<u8*>(bytes.data()), s32(bytes.size()), name, false);
		EXPECT_NE(file, nullptr);
		if (!file)
			return nullptr;
		ze::IImageExt* image = ze::loadDDS(file);
		file->drop();
		return image;
	}
	// Refused with one error line that names the file (and the reason).
	void expectRefused(const std::vector<u8>& bytes, const std::string& what, const char* reason = "")
	{
		g_lines.clear();
		ze::IImageExt* image = load(bytes, "bad-file.dds");
		EXPECT_EQ(image, nullptr) << what;
		if (image)
			image->drop();
		ASSERT_EQ(g_lines.size(), 1u) << what;
		EXPECT_EQ(g_lines[0].rfind("ERROR", 0), 0u) << g_lines[0];
		EXPECT_NE(g_lines[0].find("bad-file.dds"), std::string::npos) << g_lines[0];
		EXPECT_NE(g_lines[0].find(reason), std::string::npos) << what << ": " << g_lines[0];
	}
	IrrlichtDevice* device = nullptr;
	video::IVideoDriver* driver = nullptr;
};

TEST_F(Image, UncompressedFormatsKeepTheirTexels)
{
	SDds argb;
	argb.size(4, 2).data = { 0x10, 0x20, 0x30, 0x40, 0xFF, 0, 0, 0x80 };
	argb.data.resize(32, 0x55);
	ze::IImageExt* image = load(argb.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getDimension(), core::dimension2d<u32>(4, 2));
	EXPECT_EQ(image->getFormat(), ze::ECF_A8R8G8B8);
	EXPECT_EQ(image->getColorFormat(), video::ECF_A8R8G8B8);
	EXPECT_EQ(image->getDepth(), 1u);
	EXPECT_FALSE(image->isCubeMap());
	EXPECT_EQ(image->getSliceSize(), 32u);
	EXPECT_EQ(image->getImageDataSizeInBytes(), 32u);
	EXPECT_EQ(image->getPixel(0, 0), video::SColor(0x40, 0x30, 0x20, 0x10));
	EXPECT_EQ(image->getPixel(1, 0), video::SColor(0x80, 0, 0, 0xFF));
	EXPECT_EQ(image->getPixel(3, 1), video::SColor(0x55555555));
	EXPECT_EQ(image->getPixel(4, 0), video::SColor(0)) << "outside the image";
	image->drop();

	// X8R8G8B8 comes out opaque, the colour untouched.
	SDds xrgb = argb;
	xrgb.rgb(32, 0xFF0000, 0xFF00, 0xFF, 0);
	image = load(xrgb.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getPixel(0, 0), video::SColor(0xFF, 0x30, 0x20, 0x10));
	EXPECT_EQ(static_cast<const u8*>(image->lock())[31], 0xFF);
	image->drop();

	SDds l8;
	l8.size(3, 2).data = { 1, 2, 3, 200, 5, 6 };
	l8.rgb(8, 0xFF, 0, 0, 0);
	l8.pfFlags = 0x20000;
	image = load(l8.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getFormat(), ze::ECF_L8);
	EXPECT_EQ(image->getColorFormat(), video::ECF_UNKNOWN);
	EXPECT_EQ(std::memcmp(image->lock(), l8.data.data(), 6), 0);
	EXPECT_EQ(image->getPixel(0, 1), video::SColor(255, 200, 200, 200));
	image->drop();

	// 24 bits: blue first, as in the file. 16 bits: as the library's own
	// images of that format read the same texel.
	SDds rgb;
	rgb.rgb(24, 0xFF0000, 0xFF00, 0xFF, 0).data = { 0x33, 0x22, 0x11 };
	image = load(rgb.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getFormat(), ze::ECF_R8G8B8);
	EXPECT_EQ(image->getPixel(0, 0), video::SColor(255, 0x11, 0x22, 0x33));
	image->drop();
	struct { u32 r, g, b, a; ze::ECOLOR_FORMAT format; video::ECOLOR_FORMAT irrFormat; } cases[] = {
		{ 0xF800, 0x7E0, 0x1F, 0, ze::ECF_R5G6B5, video::ECF_R5G6B5 },
		{ 0x7C00, 0x3E0, 0x1F, 0x8000, ze::ECF_A1R5G5B5, video::ECF_A1R5G5B5 },
	};
	const u8 texels[] = { 0x1F, 0xF8, 0xE0, 0x03, 0x55, 0xAA, 0x00, 0x80 };
	for (const auto& c : cases)
	{
		SDds dds;
		dds.size(4, 1).rgb(16, c.r, c.g, c.b, c.a).data.assign(texels, texels + 8);
		image = load(dds.bytes());
		ASSERT_NE(image, nullptr);
		EXPECT_EQ(image->getFormat(), c.format);
		video::IImage* theirs = driver->createImageFromData(c.irrFormat, core::dimension2d<u32>(4, 1),
			const_cast<u8*>(texels), false, false);
		for (u32 x = 0; x < 4; ++x)
			EXPECT_EQ(image->getPixel(x, 0), theirs->getPixel(x, 0)) << c.format << " " << x;
		theirs->drop();
		image->drop();
	}
}

TEST_F(Image, CompressedAndFloatDataIsCopiedExactly)
{
	SDds dxt1;
	dxt1.size(8, 8).dxt("DXT1").data = ramp(32, 7);
	ze::IImageExt* image = load(dxt1.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getFormat(), ze::ECF_DXT1);
	EXPECT_EQ(image->getColorFormat(), video::ECF_UNKNOWN);
	EXPECT_EQ(image->getSliceSize(), 32u);
	EXPECT_EQ(std::memcmp(image->getMipLevelData(0, 0), dxt1.data.data(), 32), 0);
	EXPECT_EQ(image->getPixel(0, 0), video::SColor(0)) << "no texel access for blocks";
	image->drop();

	// DXT5 6x5 is 2x2 blocks of 16 bytes; its 3x2 and 1x1 levels one block each.
	SDds dxt5;
	dxt5.size(6, 5).dxt("DXT5").data = ramp(64 + 16 + 16, 1);
	dxt5.mips = 3;
	image = load(dxt5.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getFormat(), ze::ECF_DXT5);
	EXPECT_EQ(image->getMipLevelCount(), 3u);
	EXPECT_EQ(image->getSliceSize(), 64u);
	EXPECT_EQ(std::memcmp(image->getMipLevelData(0, 1), dxt5.data.data() + 64, 16), 0);
	EXPECT_EQ(std::memcmp(image->getMipLevelData(0, 2), dxt5.data.data() + 80, 16), 0);
	EXPECT_EQ(image->getMipLevelData(0, 3), nullptr);
	image->drop();

	const float values[] = { 1.5f, -0.25f, 3.0e38f, 1.0e-40f };
	SDds r32f;
	r32f.size(2, 2).floats(114).data.resize(sizeof(values));
	std::memcpy(r32f.data.data(), values, sizeof(values));
	image = load(r32f.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getFormat(), ze::ECF_R32F);
	EXPECT_EQ(image->getColorFormat(), video::ECF_R32F);
	float back[4];
	std::memcpy(back, image->lock(), sizeof(back));
	for (int i = 0; i < 4; ++i)
		EXPECT_EQ(back[i], values[i]);
	image->drop();
}

TEST_F(Image, CubeFacesAndVolumeSlicesInOrder)
{
	// Each face 2x2 with 2 levels: a face's chain (16 + 4 bytes) before the next.
	SDds cube;
	cube.size(2, 2).mips = 2;
	cube.caps2 = 0x200 | 0xFC00;
	for (u8 face = 0; face < 6; ++face)
		for (int i = 0; i < 5; ++i)
			cube.data.insert(cube.data.end(), { u8(face * 16 + i), 0, 0, 0xFF });
	ze::IImageExt* image = load(cube.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_TRUE(image->isCubeMap());
	EXPECT_EQ(image->getDepth(), 6u);
	EXPECT_EQ(ze::getDepth(image), 6u);
	EXPECT_EQ(image->getImageDataSizeInBytes(), 6u * 16);
	const u8* top = static_cast<const u8*>(image->lock());
	for (u32 face = 0; face < 6; ++face)
	{
		EXPECT_EQ(top[face * 16], face * 16) << face;
		EXPECT_EQ(static_cast<const u8*>(image->getMipLevelData(face, 0))[12], face * 16 + 3);
		EXPECT_EQ(static_cast<const u8*>(image->getMipLevelData(face, 1))[0], face * 16 + 4);
	}
	EXPECT_EQ(image->getMipLevelData(6, 0), nullptr);
	image->drop();

	// Volume 4x4x3 L8, then its 2x2x1 level.
	SDds volume;
	volume.size(4, 4).rgb(8, 0xFF, 0, 0, 0);
	volume.pfFlags = 0x20000;
	volume.flags |= 0x800000;
	volume.depth = 3;
	volume.mips = 2;
	volume.caps2 = 0x200000;
	volume.data = ramp(48 + 4, 0);
	image = load(volume.bytes());
	ASSERT_NE(image, nullptr);
	EXPECT_FALSE(image->isCubeMap());
	EXPECT_EQ(image->getDepth(), 3u);
	EXPECT_EQ(image->getSliceSize(), 16u);
	EXPECT_EQ(image->getImageDataSizeInBytes(), 48u);
	EXPECT_EQ(image->getImageDataSizeInPixels(), 48u);
	EXPECT_EQ(std::memcmp(image->lock(), volume.data.data(), 48), 0);
	EXPECT_EQ(static_cast<const u8*>(image->getMipLevelData(2, 0))[0], 32);
	EXPECT_EQ(static_cast<const u8*>(image->getMipLevelData(0, 1))[3], 51);
	EXPECT_EQ(image->getMipLevelData(1, 1), nullptr) << "level 1 has one slice";
	image->drop();
}

TEST_F(Image, MipChainHalvesDownToOneTexel)
{
	SDds dds;
	dds.size(8, 2).mips = 4;
	dds.data = ramp((16 + 4 + 2 + 1) * 4);
	ze::IImageExt* image = load(dds.bytes());
	ASSERT_NE(image, nullptr);
	ASSERT_EQ(image->getMipLevelCount(), 4u);
	const size_t offsets[] = { 0, 64, 80, 88 };
	for (u32 level = 0; level < 4; ++level)
		EXPECT_EQ(static_cast<const u8*>(image->getMipLevelData(0, level))[0], offsets[level]) << level;
	image->drop();
}

TEST_F(Image, DriverLoadsDdsFilesThroughOurReader)
{
	ze::registerImageLoaders(driver);
	const u32 loaders = driver->getImageLoaderCount();
	ze::registerImageLoaders(driver);
	EXPECT_EQ(driver->getImageLoaderCount(), loaders) << "registered once";
	// Added last, so asked first; by extension in any case, or by the magic.
	video::IImageLoader* loader = driver->getImageLoader(loaders - 1);
	EXPECT_TRUE(loader->isALoadableFileExtension("a/b.dds"));
	EXPECT_TRUE(loader->isALoadableFileExtension("B.DDS"));
	EXPECT_TRUE(loader->isALoadableFileExtension("c.DdS"));
	EXPECT_FALSE(loader->isALoadableFileExtension("dds.png"));
	EXPECT_FALSE(loader->isALoadableFileExtension("dds"));
	char notDds[] = "DDX 12345";
	io::IReadFile* other = device->getFileSystem()->createMemoryReadFile(notDds, 9, "o.dds", false);
	EXPECT_FALSE(loader->isALoadableFileFormat(other));
	other->drop();

	char folder[] = "/tmp/zeimgXXXXXX";
	ASSERT_NE(mkdtemp(folder), nullptr);
	SDds dds;
	dds.size(2, 1).data = { 1, 2, 3, 4, 5, 6, 7, 8 };
	const std::vector<u8> bytes = dds.bytes();
	for (const char* name : { "/x.dds", "/y.DDS" })
	{
		const std::string path = std::string(folder) + name;
		FILE* f = std::fopen(path.c_str(), "wb");
		ASSERT_NE(f, nullptr);
		std::fwrite(bytes.data(), 1, bytes.size(), f);
		std::fclose(f);
		video::IImage* image = driver->createImageFromFile(path.c_str());
		ASSERT_NE(image, nullptr) << name;
		EXPECT_NE(dynamic_cast<ze::IImageExt*>(image), nullptr) << name;
		EXPECT_EQ(image->getPixel(1, 0), video::SColor(0x08070605)) << name;
		image->drop();
		std::remove(path.c_str());
	}
	rmdir(folder);

	// Another extension: found by the magic.
	io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(
		const_cast<u8*>(bytes.data()), s32(bytes.size()), "texture.bin", false);
	video::IImage* image = driver->createImageFromFile(file);
	file->drop();
	ASSERT_NE(image, nullptr);
	EXPECT_NE(dynamic_cast<ze::IImageExt*>(image), nullptr);
	image->drop();
}

TEST_F(Image, MalformedFilesAreRefusedWithTheirName)
{
	SDds plain;
	plain.size(4, 4).data = ramp(64);
	SDds dxt;
	dxt.size(8, 8).dxt("DXT3").data = ramp(64);
	SDds cube;
	cube.size(4, 4).caps2 = 0xFE00;
	cube.data = ramp(6 * 64);
	SDds volume = plain;
	volume.flags |= 0x800000;
	volume.caps2 = 0x200000;
	volume.depth = 2;
	volume.data = ramp(128);
	SDds mips = plain;
	mips.mips = 3;
	mips.data = ramp(64 + 16 + 4);
	for (const SDds* good : { &plain, &dxt, &cube, &volume, &mips })
	{
		ze::IImageExt* image = load(good->bytes());
		ASSERT_NE(image, nullptr);
		image->drop();
		// Every shorter file, down to nothing.
		std::vector<u8> bytes = good->bytes();
		expectRefused(std::vector<u8>(bytes.begin(), bytes.end() - 1), "short by one byte", "truncated");
		for (size_t size = 0; size + 1 < bytes.size(); size += 7)
			expectRefused(std::vector<u8>(bytes.begin(), bytes.begin() + size), "truncated to " + std::to_string(size));
	}

	SDds bad = plain;
	bad.headerSize = 128;
	expectRefused(bad.bytes(), "header size", "124");
	bad = plain;
	bad.flags |= 0x800000;
	bad.depth = 0;
	expectRefused(bad.bytes(), "depth flag, zero depth", "depth");
	bad = volume;
	bad.depth = 5000;
	expectRefused(bad.bytes(), "depth too large", "depth");
	bad = plain;
	bad.width = 0x7FFFFFFF;
	expectRefused(bad.bytes(), "huge width", "width");
	bad = plain;
	bad.height = 0;
	expectRefused(bad.bytes(), "zero height", "height");
	bad = plain;
	bad.mips = 0xFFFFFFFF;
	expectRefused(bad.bytes(), "huge mip count", "mip");
	bad = plain;
	bad.mips = 4;
	bad.data.resize(200);
	expectRefused(bad.bytes(), "more levels than 4x4 has", "mip");
	bad = cube;
	bad.caps2 = 0x200 | 0x7C00;
	expectRefused(bad.bytes(), "five faces", "faces");
	bad = dxt;
	bad.dxt("ATI2");
	expectRefused(bad.bytes(), "unknown fourCC", "pixel format");
	bad = plain;
	bad.rgb(32, 0xFF, 0xFF00, 0xFF0000, 0x1);
	expectRefused(bad.bytes(), "unknown masks", "pixel format");
	std::vector<u8> magic = plain.bytes();
	magic[3] = 'X';
	expectRefused(magic, "magic");
	// The largest legal size, claimed by a small file.
	bad = dxt;
	bad.size(16384, 16384);
	bad.dxt("DXT5");
	expectRefused(bad.bytes(), "size beyond the file", "truncated");
}

TEST_F(Image, CreatedImagesAndDepths)
{
	ze::IImageExt* image = ze::createImage(ze::ECF_A8R8G8B8, 3, 2, 4);
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getDepth(), 4u);
	EXPECT_EQ(image->getSliceSize(), 24u);
	EXPECT_EQ(image->getImageDataSizeInBytes(), 96u);
	EXPECT_EQ(image->getPitch(), 12u);
	const std::vector<u8> zeros(96, 0);
	EXPECT_EQ(std::memcmp(image->lock(), zeros.data(), 96), 0);
	image->setPixel(2, 1, video::SColor(1, 2, 3, 4));
	EXPECT_EQ(image->getPixel(2, 1), video::SColor(1, 2, 3, 4));
	image->drop();

	ze::IImageExt* dxt = ze::createImage(ze::ECF_DXT1, 5, 5, 1);
	ASSERT_NE(dxt, nullptr);
	EXPECT_EQ(dxt->getImageDataSizeInBytes(), 32u);
	dxt->drop();

	EXPECT_EQ(ze::createImage(ze::ECF_A8R8G8B8, 0, 4, 1), nullptr);
	EXPECT_EQ(ze::createImage(ze::ECF_A8R8G8B8, 4, 4, 0), nullptr);
	EXPECT_EQ(ze::createImage(ze::ECF_UNKNOWN, 4, 4, 1), nullptr);
	EXPECT_EQ(ze::createImage(ze::ECF_A32B32G32R32F, 65536, 65536, 1), nullptr) << "2^36 bytes";
	EXPECT_EQ(ze::createImage(ze::ECF_A8R8G8B8, 0x80000000u, 0x80000000u, 0x80000000u), nullptr);
	EXPECT_EQ(ze::createImage(ze::ECF_L8, 1024, 1024, 1025), nullptr) << "over 1 GiB";

	video::IImage* theirs = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(4, 4));
	EXPECT_EQ(ze::getDepth(theirs), 1u);
	EXPECT_EQ(ze::getDepth(nullptr), 0u);
	theirs->drop();
}

TEST_F(Image, CopiesAgreeWithTheLibrarysImages)
{
	// The same texels in ours and theirs must copy to the same bytes.
	ze::IImageExt* ours = ze::createImage(ze::ECF_R8G8B8, 2, 2, 1);
	video::IImage* theirs = driver->createImage(video::ECF_R8G8B8, core::dimension2d<u32>(2, 2));
	const video::SColor colours[] = { { 255, 10, 20, 30 }, { 255, 40, 50, 60 }, { 255, 70, 80, 90 }, { 255, 1, 2, 3 } };
	for (u32 i = 0; i < 4; ++i)
	{
		ours->setPixel(i % 2, i / 2, colours[i]);
		theirs->setPixel(i % 2, i / 2, colours[i]);
	}
	for (video::ECOLOR_FORMAT format : { video::ECF_R8G8B8, video::ECF_A8R8G8B8, video::ECF_R5G6B5, video::ECF_A1R5G5B5 })
	{
		std::vector<u8> a(4 * 4 * 4, 0xCD), b(4 * 4 * 4, 0xCD);
		ours->copyToScaling(a.data(), 4, 4, format);
		theirs->copyToScaling(b.data(), 4, 4, format);
		EXPECT_EQ(a, b) << format;
	}

	// copyTo with a clip rectangle, then fill.
	video::IImage* target = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(4, 4));
	target->fill(video::SColor(0));
	const core::rect<s32> clip(0, 0, 4, 3);
	ours->copyTo(target, core::position2d<s32>(2, 2), core::rect<s32>(0, 0, 2, 2), &clip);
	EXPECT_EQ(target->getPixel(2, 2), colours[0]);
	EXPECT_EQ(target->getPixel(3, 2), colours[1]);
	EXPECT_EQ(target->getPixel(2, 3), video::SColor(0)) << "clipped";
	EXPECT_EQ(target->getPixel(1, 2), video::SColor(0));
	ours->fill(video::SColor(255, 9, 8, 7));
	ours->copyTo(target, core::position2d<s32>(-1, -1));
	EXPECT_EQ(target->getPixel(0, 0), video::SColor(255, 9, 8, 7));
	EXPECT_EQ(target->getPixel(1, 1), video::SColor(0));
	target->drop();
	theirs->drop();
	ours->drop();

	// Box filter and alpha blending, against the library's A8R8G8B8 image.
	ours = ze::createImage(ze::ECF_A8R8G8B8, 4, 2, 1);
	theirs = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(4, 2));
	for (u32 i = 0; i < 8; ++i)
	{
		const video::SColor c(i * 30 + 15, i * 31, 255 - i * 17, i * 5);
		ours->setPixel(i % 4, i / 4, c);
		theirs->setPixel(i % 4, i / 4, c);
	}
	video::IImage* small[2];
	for (video::IImage*& image : small)
		image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(2, 1));
	ours->copyToScalingBoxFilter(small[0], 0, false);
	theirs->copyToScalingBoxFilter(small[1], 0, false);
	for (u32 x = 0; x < 2; ++x)
		EXPECT_EQ(small[0]->getPixel(x, 0).color, small[1]->getPixel(x, 0).color) << x;
	for (video::IImage* image : small)
		image->fill(video::SColor(255, 100, 100, 100));
	const core::rect<s32> all(0, 0, 2, 1);
	ours->copyToWithAlpha(small[0], core::position2d<s32>(0, 0), all, video::SColor(255, 255, 255, 255));
	theirs->copyToWithAlpha(small[1], core::position2d<s32>(0, 0), all, video::SColor(255, 255, 255, 255));
	// Colours as theirs (within rounding); ours composites alpha too, so an
	// opaque target stays opaque.
	for (u32 x = 0; x < 2; ++x)
	{
		const video::SColor a = small[0]->getPixel(x, 0), b = small[1]->getPixel(x, 0);
		EXPECT_NEAR(a.getRed(), b.getRed(), 1);
		EXPECT_NEAR(a.getGreen(), b.getGreen(), 1);
		EXPECT_NEAR(a.getBlue(), b.getBlue(), 1);
		EXPECT_EQ(small[0]->getPixel(x, 0).getAlpha(), 255u);
		EXPECT_NE(small[0]->getPixel(x, 0).getRed(), 100u) << "blended";
	}
	for (video::IImage* image : small)
		image->drop();
	theirs->drop();
	ours->drop();
}

TEST(ColorFormat, TableMatchesTheLibraryByName)
{
	const char* names[] = { "A1R5G5B5", "R5G6B5", "R8G8B8", "A8R8G8B8", "L8", "DXT1", "DXT2", "DXT3", "DXT4", "DXT5",
		"R16F", "G16R16F", "A16B16G16R16F", "R32F", "G32R32F", "A32B32G32R32F", "UNKNOWN" };
	const video::ECOLOR_FORMAT theirs[] = { video::ECF_A1R5G5B5, video::ECF_R5G6B5, video::ECF_R8G8B8, video::ECF_A8R8G8B8,
		video::ECF_UNKNOWN, video::ECF_UNKNOWN, video::ECF_UNKNOWN, video::ECF_UNKNOWN, video::ECF_UNKNOWN, video::ECF_UNKNOWN,
		video::ECF_R16F, video::ECF_G16R16F, video::ECF_A16B16G16R16F, video::ECF_R32F, video::ECF_G32R32F,
		video::ECF_A32B32G32R32F, video::ECF_UNKNOWN };
	for (int i = 0; i <= 16; ++i)
	{
		const ze::ECOLOR_FORMAT format = static_cast<ze::ECOLOR_FORMAT>(i);
		EXPECT_STREQ(ze::getColorFormatName(format), names[i]) << i;
		EXPECT_EQ(ze::toIrrColorFormat(format), theirs[i]) << names[i];
		if (theirs[i] != video::ECF_UNKNOWN)
		{
			EXPECT_EQ(ze::fromIrrColorFormat(theirs[i]), format) << names[i];
			EXPECT_EQ(ze::getBytesPerTexel(format) * 8, video::IImage::getBitsPerPixelFromFormat(theirs[i])) << names[i];
		}
	}
	EXPECT_EQ(ze::ECF_UNKNOWN, 16);
	EXPECT_EQ(ze::fromIrrColorFormat(video::ECF_UNKNOWN), ze::ECF_UNKNOWN);
	EXPECT_EQ(ze::getLevelSize(ze::ECF_DXT1, 5, 5), 4u * 8);
	EXPECT_EQ(ze::getLevelSize(ze::ECF_DXT5, 5, 5), 4u * 16);
	EXPECT_EQ(ze::getLevelSize(ze::ECF_L8, 5, 5), 25u);
}
} // namespace
