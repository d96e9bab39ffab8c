// The engine start's curl-noise step with the scene content's resource
// manager: the cache in the data folder, the noise volume of the data
// directories, their failures, and the "CurlNoise3D" texture made from the table.
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "libext/ZeTextureExt.h"
#include "effects/IZeEffectManager.h"
#include "scene/CZeResourceManagerScene.h"
#include "scene/ZeCurlNoise.h"

#include "ZeCoreTestUtil.h"
#include "frame/ZeFrameTestUtil.h"
#include "frame/ZeTestDisplay.h"
#include "scene/ZeCurlNoiseTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace irr;
using namespace zecurltest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);
using zecoretest::linesWith;

// Lines about the curl noise (the shared effects have no effect manager here).
int curlLines()
{
	return linesWith("curl") + linesWith("Curl") + linesWith("NoiseVolume") + linesWith("failed to save");
}

const char* const REBUILT = "WARN : ZeEngine: the curl-noise cache ";
const char* const BUILT_IN = "WARN : ZeEngine: no NoiseVolume.dds in the data directories, using the built-in curl noise";

class CurlStart : public zecoretest::CoreFixture
{
protected:
	CurlStart() : CoreFixture("/tmp/zelv-curl-start-XXXXXX") {}
	void SetUp() override
	{
		CoreFixture::SetUp();
		if (IsSkipped())
			return;
		SZeServiceFactories factories = {};
		factories.createResourceManager = zeCreateResourceManagerScene;
		zeRegisterServiceFactories(factories);
		Volume = noiseBytes(4, 77);
		Cache = Tmp + "/curlNoise3D.cache";
	}
	void TearDown() override
	{
		zeUnmountArchive();
		CoreFixture::TearDown();
	}
	void writeVolume(const Bytes& file)
	{
		std::filesystem::create_directories(Tmp + "/textures");
		writeBytes(Tmp + "/textures/NoiseVolume.dds", file);
	}
	// The table the test volume gives.
	Bytes volumeTable() const
	{
		Bytes t;
		for (int z = 0; z < 4; ++z)
			for (int y = 0; y < 4; ++y)
				for (int x = 0; x < 4; ++x)
				{
					signed char c[3];
					volumeCurl(Volume, 4, x, y, z, c);
					t.insert(t.end(), { u8(c[0]), u8(c[1]), u8(c[2]) });
				}
		return t;
	}
	void start()
	{
		zecoretest::g_lines.clear();
		ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr) << " " << zeGetEngineInitError();
	}

	Bytes Volume;
	std::string Cache;
};
class CurlStartGL : public CurlStart
{
protected:
	bool useGL() const override { return true; }
};
} // namespace

TEST_F(CurlStart, VolumeMakesTheCacheWhichLaterStartsRead)
{
	writeVolume(dds(4, 4, 4, 8, Volume));
	start();
	EXPECT_EQ(curlTable(), volumeTable());
	EXPECT_EQ(readBytes(Cache), volumeTable());
	EXPECT_EQ(curlLines(), 0);
	zeTerm();
	EXPECT_EQ(zeCurlNoiseWidth(), 1u);  // the resource manager's end frees the table

	const Bytes other(2 * 2 * 2 * 3, 5);
	writeBytes(Cache, other);
	start();
	EXPECT_EQ(curlTable(), other);
	EXPECT_EQ(curlLines(), 0);
}

TEST_F(CurlStart, CacheThatDoesNotLoadIsMadeAgainFromTheVolume)
{
	writeVolume(dds(4, 4, 4, 8, Volume));
	Bytes truncated = volumeTable();
	truncated.resize(100);
	for (const Bytes& broken : { Bytes(), truncated })
	{
		SCOPED_TRACE(broken.size());
		writeBytes(Cache, broken);
		start();
		EXPECT_EQ(linesWith(REBUILT), 1);
		EXPECT_EQ(curlTable(), volumeTable());
		EXPECT_EQ(readBytes(Cache), volumeTable());
		zeTerm();
	}
}

TEST_F(CurlStart, PackedDataIsReadButNoCacheIsWritten)
{
	const std::vector<char> zip = zetest::buildZip(
		{ { "textures/NoiseVolume.dds", [&] { const Bytes d = dds(4, 4, 4, 8, Volume); return std::string(d.begin(), d.end()); }() } });
	ASSERT_EQ(zeMountArchiveMemory(zip.data(), zip.size()), 0);
	Params.dataPrefix = "";
	start();
	EXPECT_EQ(curlTable(), volumeTable());
	EXPECT_FALSE(std::filesystem::exists(Cache));
	EXPECT_EQ(curlLines(), 0);
}

TEST_F(CurlStart, WithoutTheVolumeTheBuiltInNoiseStandsInUnsaved)
{
	start();
	EXPECT_EQ(linesWith(BUILT_IN), 1);
	EXPECT_EQ(zeCurlNoiseWidth(), 64u);
	EXPECT_FALSE(std::filesystem::exists(Cache));
}

TEST_F(CurlStart, BrokenVolumeEndsTheStartAndAnUnsavableCacheIsOnlyLogged)
{
	writeVolume(dds(4, 4, 0, 8, Bytes(16, 1)));  // a 2D image
	EXPECT_EQ(zeSetup(&Params), -1);
	EXPECT_STREQ(zeGetEngineInitError(), "fails to init curl noise");
	EXPECT_EQ(zeGetManager(), nullptr);
	writeBytes(Cache, Bytes(4, 0));
	EXPECT_EQ(zeSetup(&Params), -1);
	EXPECT_STREQ(zeGetEngineInitError(), "fails to init curl noise from file cache");

	// A folder where the cache would go takes no file; the start goes on.
	writeVolume(dds(4, 4, 4, 8, Volume));
	std::filesystem::remove(Cache);
	std::filesystem::create_directories(Cache + "/keep");
	start();
	EXPECT_EQ(curlTable(), volumeTable());
	EXPECT_EQ(linesWith("ERROR : failed to save " + Cache), 1);
}

TEST_F(CurlStartGL, EffectsSampleTheTableThroughTheCurlTexture)
{
	zeRegisterSceneFactories();
	writeVolume(dds(4, 4, 4, 8, Volume));
	start();
	IZeManager* manager = zeGetManager();
	IZeTextureManager* textures = manager->getTextureManager();

	// A screen quad of slice 2, texel for pixel, through the effect's own
	// sampler: the first draw has the texture made.
	const std::string file = Tmp + "/slice.hlsl";
	std::ofstream(file) << "//ZELV_PP: sampler 3D CurlNoise3D layer=none filter=point\n"
		"//ZELV_PP: technique show\n//ZELV_PP: pass\n//ZELV_PP: vertex vsQuad\n//ZELV_PP: pixel psShow\n"
		"//ZELV_PP: ztest off\n//ZELV_PP: zwrite off\n//ZELV_PP: cull none\n"
		"struct VsOut { float4 Pos : POSITION; float2 Uv : TEXCOORD0; };\nsampler3D CurlNoise3D;\n"
		"VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)\n"
		"{ VsOut o; o.Pos = float4(pos.xy, 0, 1); o.Uv = uv; return o; }\n"
		"float4 psShow(float2 uv : TEXCOORD0) : COLOR { return tex3D(CurlNoise3D, float3(uv, 0.625)); }\n";
	IZeEffect* effect = manager->getEffectManager()->createEffect(file.c_str(), -1, nullptr, nullptr);
	ASSERT_NE(effect, nullptr) << manager->getEffectManager()->getLastError();
	video::ITexture* target = textures->getRenderTexture(core::dimension2d<u32>(4, 4), ze::ECF_A8R8G8B8);
	ASSERT_NE(target, nullptr);
	IZeRenderServices* services = manager->getRenderServices();
	ASSERT_TRUE(services->setRenderTargets(&target, 1));
	ASSERT_TRUE(services->drawScreenQuad(effect, 0, 0, nullptr));
	services->setRenderTargets(nullptr, 0);
	effect->drop();
	std::vector<float> rgba;
	ASSERT_TRUE(ze::readTexture(target, &rgba));
	ASSERT_EQ(rgba.size(), 4u * 4 * 4);

	// Texel (x, y, 2) of the image for shaders is blue, green, red, alpha in memory.
	video::IImage* image = zeCurlNoiseCreateImage(zeGetContext()->driver);
	ASSERT_NE(image, nullptr);
	const u8* slice = static_cast<const u8*>(image->lock()) + 2 * 4 * 4 * 4;
	Bytes drawn, expected;
	for (size_t i = 0; i < 16; ++i)
	{
		for (int c : { 2, 1, 0, 3 })
			drawn.push_back(static_cast<u8>(std::lround(rgba[i * 4 + c] * 255)));
		expected.insert(expected.end(), slice + i * 4, slice + i * 4 + 4);
	}
	image->unlock();
	image->drop();
	EXPECT_EQ(drawn, expected);

	video::ITexture* texture = textures->getCurlNoise3DTexture();
	EXPECT_EQ(textures->findTexture("CurlNoise3D"), texture);
	ze::ITexture3D* volume = dynamic_cast<ze::ITexture3D*>(texture);
	ASSERT_NE(volume, nullptr);
	EXPECT_EQ(volume->getDepth(), 4u);
}
