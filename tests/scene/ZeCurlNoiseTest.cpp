// Curl noise: cache files, the built-in generation, tables from volume
// images, sampling and the image for shaders, on the NULL device.
#include "scene/ZeCurlNoise.h"

#include "core/ZeEngineCore.h"
#include "frame/ZeLog.h"
#include "libext/ZeImageExt.h"

#include "ZeCurlNoiseTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <unistd.h>

using namespace irr;
using namespace zecurltest;

namespace
{
// The engine log's lines without their line ends.
std::vector<std::string> g_lines;
void captureLog(const char* line)
{
	g_lines.emplace_back(line, strcspn(line, "\n"));
}

class CurlNoise : public ::testing::Test
{
protected:
	void SetUp() override
	{
		char pattern[] = "/tmp/zelv-curl-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		Device = createDevice(video::EDT_NULL);
		ASSERT_NE(Device, nullptr);
		Driver = Device->getVideoDriver();
		ze::registerImageLoaders(Driver);
		g_lines.clear();
		zeSetLogSink(captureLog);
	}
	void TearDown() override
	{
		zeCurlNoiseFree();
		zeSetLogSink(nullptr);
		Device->drop();
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}
	std::string path(const char* name) const { return Tmp + "/" + name; }
	// Loads a cache of the bytes; true when it loaded.
	bool loadCache(const Bytes& bytes)
	{
		writeBytes(path("c.cache"), bytes);
		return zeCurlNoiseLoad(Device, path("c.cache").c_str());
	}
	std::vector<f32> sample(f32 x, f32 y, f32 z) const
	{
		const f32 p[3] = { x, y, z };
		std::vector<f32> out(4, -1.0f);
		zeCurlNoiseSample(p, out.data());
		return out;
	}

	std::string Tmp;
	IrrlichtDevice* Device = nullptr;
	video::IVideoDriver* Driver = nullptr;
};

// A W = 4 table whose texel i holds (i, -i, 2i) (mod 256).
Bytes rampTable()
{
	Bytes t;
	for (int i = 0; i < 64; ++i)
		for (int v : { i, -i, 2 * i })
			t.push_back(static_cast<unsigned char>(v & 0xFF));
	return t;
}
} // namespace

// ---- Cache files ----------------------------------------------------------------
TEST_F(CurlNoise, CacheSizeMustBeAWholeCubeTable)
{
	const struct
	{
		size_t Size;
		const char* Message;  // null: loads
	} cases[] = {
		{ 786432, nullptr },
		{ 786435, "ERROR : CurlNoise3D file not have W = H = D (sz=64)" },
		{ 786433, "ERROR : CurlNoise3D file not multiple of 3 bytes" },
		{ 0, "ERROR : CurlNoise3D file not have W = H = D (sz=0)" },
		{ 3 * 2 * 2 * 3, "ERROR : CurlNoise3D file not have W = H = D (sz=2)" },
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.Size);
		ASSERT_TRUE(loadCache(rampTable()));  // a table in place, which a failure must drop
		g_lines.clear();
		Bytes bytes(c.Size, 7);
		EXPECT_EQ(loadCache(bytes), c.Message == nullptr);
		if (c.Message)
		{
			EXPECT_EQ(g_lines, std::vector<std::string>{ c.Message });
			EXPECT_EQ(zeCurlNoiseWidth(), 1u);
			EXPECT_EQ(curlTable(), Bytes(3, 0));
		}
		else
		{
			EXPECT_TRUE(g_lines.empty());
			EXPECT_EQ(zeCurlNoiseWidth(), 64u);
			EXPECT_EQ(curlTable(), bytes);
		}
	}

	// A cube beyond 1024 texels a side is refused by its size alone (a sparse file).
	g_lines.clear();
	const std::string huge = path("huge.cache");
	writeBytes(huge, {});
	ASSERT_EQ(truncate(huge.c_str(), 1025LL * 1025 * 1025 * 3), 0);
	EXPECT_FALSE(zeCurlNoiseLoad(Device, huge.c_str()));
	EXPECT_EQ(g_lines, std::vector<std::string>{ "ERROR : CurlNoise3D file not have W = H = D (sz=1025)" });

	g_lines.clear();
	EXPECT_FALSE(zeCurlNoiseLoad(Device, path("missing.cache").c_str()));
	EXPECT_EQ(g_lines, std::vector<std::string>{ "ERROR : failed to open CurlNoise3D file" });
	EXPECT_EQ(zeCurlNoiseWidth(), 1u);
}

TEST_F(CurlNoise, SavedTableLoadsBackByteForByte)
{
	ASSERT_TRUE(zeCurlNoiseCreateDefault());
	const Bytes made = curlTable();
	ASSERT_EQ(made.size(), 786432u);
	ASSERT_TRUE(zeCurlNoiseSave(Device, path("t.cache").c_str()));
	EXPECT_EQ(readBytes(path("t.cache")), made);
	// Only the cache is left: its part was renamed over it.
	EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Tmp), std::filesystem::directory_iterator()), 1);

	zeCurlNoiseFree();
	ASSERT_TRUE(zeCurlNoiseLoad(Device, path("t.cache").c_str()));
	EXPECT_EQ(curlTable(), made);

	// A folder that does not exist takes no cache.
	EXPECT_FALSE(zeCurlNoiseSave(Device, path("none/t.cache").c_str()));
}

// ---- Sampling -----------------------------------------------------------------------
TEST_F(CurlNoise, SamplesWrapOnEveryAxisAndBlendTrilinearly)
{
	ASSERT_TRUE(loadCache(rampTable()));
	auto texel = [](int x, int y, int z) {
		const int i = x + 4 * y + 16 * z;
		return std::vector<f32>{ static_cast<f32>(static_cast<s8>(i)), static_cast<f32>(static_cast<s8>(-i)),
			static_cast<f32>(static_cast<s8>(2 * i)), 0.0f };
	};
	f32 read[4];
	zeCurlNoiseTexel(3, 2, 1, read);
	EXPECT_EQ(std::vector<f32>(read, read + 4), texel(3, 2, 1));

	EXPECT_EQ(sample(4.5f, 0, 0), sample(0.5f, 0, 0));
	EXPECT_EQ(sample(2, 1, 3), texel(2, 1, 3));
	EXPECT_EQ(sample(-2, -3, -1), texel(2, 1, 3));
	const std::vector<f32> ends = sample(-0.5f, 0, 0);
	for (int c = 0; c < 3; ++c)
		EXPECT_FLOAT_EQ(ends[c], 0.5f * (texel(3, 0, 0)[c] + texel(0, 0, 0)[c])) << c;
	// A quarter of the way along each axis from texel (1, 1, 1): texel i holds
	// (i, -i, 2i), linear in the coordinates, so the blend is the value there.
	const std::vector<f32> inside = sample(1.25f, 1.25f, 1.25f);
	const f32 at = 1.25f + 4 * 1.25f + 16 * 1.25f;
	EXPECT_NEAR(inside[0], at, 1e-4f);
	EXPECT_NEAR(inside[1], -at, 1e-4f);
	EXPECT_NEAR(inside[2], 2 * at, 1e-4f);
	EXPECT_EQ(inside[3], 0.0f);

	// Points that are not finite sample zero; far ones stay in the table.
	const f32 inf = std::numeric_limits<f32>::infinity();
	const std::vector<f32> zero(4, 0.0f);
	EXPECT_EQ(sample(std::nanf(""), 0, 0), zero);
	EXPECT_EQ(sample(0, inf, 0), zero);
	EXPECT_EQ(sample(0, 0, -inf), zero);
	EXPECT_EQ(sample(4e9f, 1e30f, -1e38f), texel(0, 0, 0));
}

TEST_F(CurlNoise, BuiltInTableSamplesZeroEverywhere)
{
	ASSERT_TRUE(loadCache(rampTable()));
	zeCurlNoiseFree();
	EXPECT_EQ(zeCurlNoiseWidth(), 1u);
	for (f32 p : { 0.0f, 0.5f, -7.25f, 1e6f })
		EXPECT_EQ(sample(p, -p, 0.5f * p), std::vector<f32>(4, 0.0f)) << p;
}

// ---- The built-in generation ----------------------------------------------------
namespace
{
// The generation written out from its definition, with no shared lattice.
f32 scalar(int a, int b, int c)
{
	return 64.0f + 64.0f * zePerlinNoise3Periodic(a * 0.0625f, b * 0.0625f, c * 0.0625f, 4, 4, 4);
}
f32 potential(int axis, int x, int y, int z)
{
	static const int offsets[3][3] = { { 0, 0, 0 }, { 31, -48, 13 }, { -233, -113, -185 } };
	const int* o = offsets[axis];
	return scalar(x + o[0], y + o[1], z + o[2]) + 0.5f * scalar(2 * x + o[0], 2 * y + o[1], 2 * z + o[2]);
}
s8 curlByte(f32 v)
{
	return static_cast<s8>(static_cast<u8>(static_cast<int>(v) & 0xFF));
}
} // namespace

TEST_F(CurlNoise, DefaultTableFollowsItsFormulaAndRepeats)
{
	ASSERT_TRUE(zeCurlNoiseCreateDefault());
	ASSERT_EQ(zeCurlNoiseWidth(), 64u);
	const Bytes first = curlTable();
	for (const auto& t : std::vector<std::vector<int>>{ { 0, 0, 0 }, { 63, 17, 5 }, { 31, 63, 62 }, { 8, 40, 63 } })
	{
		const int x = t[0], y = t[1], z = t[2];
		SCOPED_TRACE(testing::Message() << x << " " << y << " " << z);
		const s8 expected[3] = {
			curlByte((potential(2, x, y + 1, z) - potential(2, x, y - 1, z)) -
				(potential(1, x, y, z + 1) - potential(1, x, y, z - 1))),
			curlByte((potential(0, x, y, z + 1) - potential(0, x, y, z - 1)) -
				(potential(2, x + 1, y, z) - potential(2, x - 1, y, z))),
			curlByte((potential(1, x + 1, y, z) - potential(1, x - 1, y, z)) -
				(potential(0, x, y + 1, z) - potential(0, x, y - 1, z))) };
		f32 got[4];
		zeCurlNoiseTexel(static_cast<u32>(x), static_cast<u32>(y), static_cast<u32>(z), got);
		for (int c = 0; c < 3; ++c)
			EXPECT_EQ(got[c], expected[c]) << c;
	}
	// Not a constant field, and the same bytes every time.
	EXPECT_NE(std::count(first.begin(), first.end(), first[0]), static_cast<long>(first.size()));
	ASSERT_TRUE(zeCurlNoiseCreateDefault());
	EXPECT_EQ(curlTable(), first);
}

// ---- Tables from volume images --------------------------------------------------------
TEST_F(CurlNoise, EightBitVolumeGivesTheCurlOfItsPotential)
{
	const Bytes volume = noiseBytes(5, 12345);
	writeBytes(path("v.dds"), dds(5, 5, 5, 8, volume));
	ASSERT_TRUE(zeCurlNoiseFromImage(Driver, path("v.dds").c_str()));
	ASSERT_EQ(zeCurlNoiseWidth(), 5u);
	Bytes expected;
	for (int z = 0; z < 5; ++z)
		for (int y = 0; y < 5; ++y)
			for (int x = 0; x < 5; ++x)
			{
				signed char c[3];
				volumeCurl(volume, 5, x, y, z, c);
				expected.insert(expected.end(), { u8(c[0]), u8(c[1]), u8(c[2]) });
			}
	EXPECT_EQ(curlTable(), expected);
}

TEST_F(CurlNoise, ImagesThatAreNotEightBitCubesAreRefused)
{
	const struct
	{
		const char* Name;
		Bytes File;
	} cases[] = {
		{ "2D", dds(4, 4, 0, 8, noiseBytes(4, 1)) },
		{ "depth differs", dds(4, 4, 2, 8, noiseBytes(4, 2)) },
		{ "height differs", dds(4, 2, 4, 8, noiseBytes(4, 3)) },
		{ "32 bits", dds(4, 4, 4, 32, Bytes(4 * 4 * 4 * 4, 9)) },
		{ "cube of six", dds(6, 6, 0, 8, Bytes(6 * 6 * 6, 9), 0xFE00) },
		{ "truncated", dds(4, 4, 4, 8, Bytes(63, 9)) },
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.Name);
		ASSERT_TRUE(loadCache(rampTable()));
		writeBytes(path("bad.dds"), c.File);
		EXPECT_FALSE(zeCurlNoiseFromImage(Driver, path("bad.dds").c_str()));
		EXPECT_EQ(zeCurlNoiseWidth(), 1u);
		EXPECT_EQ(curlTable(), Bytes(3, 0));
	}
	EXPECT_FALSE(zeCurlNoiseFromImage(Driver, path("missing.dds").c_str()));
}

TEST_F(CurlNoise, BuiltNoiseVolumeGivesASixtyFourCubeTable)
{
	ASSERT_TRUE(zeCurlNoiseFromImage(Driver, ZELV_BINARY_DIR "/data/textures/NoiseVolume.dds"));
	EXPECT_EQ(zeCurlNoiseWidth(), 64u);
	// The field moves particles: its bytes are spread, not a few wrapped extremes.
	const Bytes t = curlTable();
	long moving = 0, wrapped = 0;
	for (u8 b : t)
	{
		moving += b != 0;
		wrapped += b >= 100 && b <= 156;  // beyond +-100
	}
	EXPECT_GT(moving, static_cast<long>(t.size()) / 2);
	EXPECT_LT(wrapped, static_cast<long>(t.size()) / 100);
}

// ---- The image for shaders --------------------------------------------------------------
TEST_F(CurlNoise, ImageCarriesTheTableBiasedInBlueGreenRed)
{
	ASSERT_TRUE(loadCache(rampTable()));
	video::IImage* image = zeCurlNoiseCreateImage(Driver);
	ASSERT_NE(image, nullptr);
	ze::IImageExt* volume = dynamic_cast<ze::IImageExt*>(image);
	ASSERT_NE(volume, nullptr);
	EXPECT_EQ(volume->getFormat(), ze::ECF_A8R8G8B8);
	EXPECT_EQ(image->getDimension(), core::dimension2d<u32>(4, 4));
	EXPECT_EQ(volume->getDepth(), 4u);
	const u8* texels = static_cast<const u8*>(image->lock());
	Bytes expected;
	for (int i = 0; i < 64; ++i)
		expected.insert(expected.end(), { u8(2 * i + 128), u8(-i + 128), u8(i + 128), 255 });
	EXPECT_EQ(Bytes(texels, texels + 64 * 4), expected);
	image->unlock();
	image->drop();

	zeCurlNoiseFree();
	image = zeCurlNoiseCreateImage(Driver);
	ASSERT_NE(image, nullptr);
	EXPECT_EQ(image->getPixel(0, 0).color, 0xFF808080u);
	image->drop();
}
