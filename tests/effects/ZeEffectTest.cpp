// Effects drawn for real (Xvfb, llvmpipe) through the library's driver, with
// materials whose user data is an SZeMaterialExt, read back with glReadPixels.
#include "core/IZeGpuProgramming.h"
#include "core/ZeGpuState.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "libext/ZeGL.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include "ZeCallCounts.h"

#include <gtest/gtest.h>

#include "frame/ZeTestDisplay.h"
#include "frame/ZeTestFifo.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace irr;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const int SIZE = 64;
const char* const SHADERS = R"(
struct VsOut { float4 Pos : POSITION; float2 Uv : TEXCOORD0; };
float4x4 WorldViewProj;
float4 Color;
VsOut vsPass(float4 pos : POSITION, float2 uv : TEXCOORD0) { VsOut o; o.Pos = pos; o.Uv = uv; return o; }
VsOut vsMove(float4 pos : POSITION, float2 uv : TEXCOORD0) { VsOut o; o.Pos = mul(pos, WorldViewProj); o.Uv = uv; return o; }
float4 psColor(float2 uv : TEXCOORD0) : COLOR { return Color; }
float4 psGreen(float2 uv : TEXCOORD0) : COLOR { return float4(0, 1, 0, 1); }
)";

// A technique of one pass.
std::string technique(const char* name, const char* vs, const char* ps, const char* states = "")
{
	return std::string("//ZELV_PP: technique ") + name + "\n//ZELV_PP: pass\n//ZELV_PP: vertex " + vs +
		"\n//ZELV_PP: pixel " + ps + "\n//ZELV_PP: cull none\n" + states;
}

struct Pixels
{
	std::vector<u8> Bytes;
	// (x, y) from the top-left, as the window shows it.
	const u8* at(int x, int y) const { return &Bytes[((SIZE - 1 - y) * SIZE + x) * 4]; }
	bool lit(int x, int y) const { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2] > 0; }
	int litCount() const
	{
		int n = 0;
		for (int i = 0; i < SIZE * SIZE; ++i)
			n += Bytes[i * 4] + Bytes[i * 4 + 1] + Bytes[i * 4 + 2] > 0;
		return n;
	}
};

::testing::AssertionResult near(const u8* got, int r, int g, int b)
{
	if (std::abs(got[0] - r) <= 2 && std::abs(got[1] - g) <= 2 && std::abs(got[2] - b) <= 2)
		return ::testing::AssertionSuccess();
	return ::testing::AssertionFailure() << "got (" << int(got[0]) << ", " << int(got[1]) << ", " << int(got[2])
		<< "), expected (" << r << ", " << g << ", " << b << ")";
}

class EffectGL : public ::testing::Test
{
protected:
	void SetUp() override
	{
		SZeSetupParams p = zetest::glWindowSetup(SIZE, SIZE);
		p.antialias = 0;
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
		Device = zeGetContext()->device;
		Driver = zeGetContext()->driver;
		ASSERT_EQ(Driver->getDriverType(), video::EDT_OPENGL);
		Gpu = zeCreateGpuProgramming(Driver);
		Gpu->setShaderCache("", false);
		Manager = zeCreateEffectManager(Device, Gpu);
		char pattern[] = "/tmp/zelv-fx-gl-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Dir = pattern;
	}

	void TearDown() override
	{
		for (IZeEffect* e : Effects)
			e->drop();
		delete Manager;
		delete Gpu;
		ze::clearMaterialExts();
		ze::removeAllTextures();
		zeTerm();
		std::filesystem::remove_all(Dir);
	}

	IZeEffect* load(const std::string& declarations, const SZeMacro* macros = nullptr)
	{
		const std::string file = Dir + "/fx" + std::to_string(Effects.size()) + ".hlsl";
		std::ofstream(file) << declarations << SHADERS;
		IZeEffect* e = Manager->createEffect(file.c_str(), -1, macros, nullptr);
		EXPECT_NE(e, nullptr) << Manager->getLastError();
		if (e)
			Effects.push_back(e);
		return e;
	}

	// A material drawn by technique t, pass 0 of the effect through `record`.
	video::SMaterial material(IZeEffect* e, SZeMaterialExt& record, s32 t = 0)
	{
		video::SMaterial m;
		EXPECT_TRUE(e->getPassMaterial(static_cast<u32>(t), 0, m));
		record.Effect = e;
		record.Technique = t;
		ze::setMaterialUserData(m, &record);
		return m;
	}

	void begin()
	{
		Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		for (video::E_TRANSFORMATION_STATE s : {video::ETS_WORLD, video::ETS_VIEW, video::ETS_PROJECTION})
			Driver->setTransform(s, core::IdentityMatrix);
	}

	// A rectangle in clip space (a triangle when `triangle`), texture v downwards.
	void draw(const video::SMaterial& m, f32 x0 = -1, f32 y0 = -1, f32 x1 = 1, f32 y1 = 1, bool triangle = false)
	{
		const video::SColor white(255, 255, 255, 255);
		const video::S3DVertex v[4] = {{x0, y0, 0.5f, 0, 0, -1, white, 0, 1}, {x0, y1, 0.5f, 0, 0, -1, white, 0, 0},
			{x1, y1, 0.5f, 0, 0, -1, white, 1, 0}, {x1, y0, 0.5f, 0, 0, -1, white, 1, 1}};
		const u16 indices[6] = {0, 1, 2, 0, 2, 3};
		Driver->setMaterial(m);
		Driver->drawVertexPrimitiveList(v, 4, indices, triangle ? 1 : 2, video::EVT_STANDARD, scene::EPT_TRIANGLES,
			video::EIT_16BIT);
	}

	Pixels end()
	{
		Pixels p;
		p.Bytes.resize(SIZE * SIZE * 4);
		glReadBuffer(GL_BACK);
		glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, p.Bytes.data());
		Driver->endScene();
		return p;
	}

	IrrlichtDevice* Device = nullptr;
	video::IVideoDriver* Driver = nullptr;
	IZeGpuProgramming* Gpu = nullptr;
	IZeEffectManager* Manager = nullptr;
	std::vector<IZeEffect*> Effects;
	std::string Dir;
};
} // namespace

// A default texture that names a pipe is refused without waiting for a writer.
TEST_F(EffectGL, DefaultTexturesThatAreNotFilesAreNotOpened)
{
	const std::string pipe = Dir + "/pipe.dds";
	ASSERT_TRUE(zetest::makeFifo(pipe));
	IZeEffect* e = nullptr;
	EXPECT_TRUE(zetest::returnsPromptly(pipe, [&] {
		e = load("//ZELV_PP: sampler 2D Flat layer=none texture=" + pipe + "\n//ZELV_PP: sampler CUBE Sky layer=none texture=" +
			pipe + "\n//ZELV_PP: sampler 3D Fog layer=none texture=" + pipe + "\n" +
			technique("main", "vsPass", "psColor"));
	}));
	ASSERT_TRUE(e);
	for (const char* name : {"Flat", "Sky", "Fog"})
		EXPECT_EQ(e->getSamplerTexture(e->getParameterByName(name)), nullptr) << name;
}

TEST_F(EffectGL, ParametersByNameColourAndUnknownNamesAreIgnoredOrRefused)
{
	IZeEffect* e = load("//ZELV_PP: param float4 Color default=1,0,0,1\n" + technique("main", "vsPass", "psColor"));
	ASSERT_TRUE(e);
	SZeMaterialExt record;
	const video::SMaterial m = material(e, record);
	begin();
	draw(m, -1, -1, 0, 1);
	Pixels p = end();
	EXPECT_TRUE(near(p.at(16, 32), 255, 0, 0));  // the declared default
	EXPECT_FALSE(p.lit(48, 32));

	const f32 colour[5] = {0.2f, 0.4f, 0.6f, 1.f, 9.f};
	e->setFloatArrayByName("Color", colour, 4);
	e->setFloatByName("Missing", 1.f);
	e->setFloatArrayByName("Missing", colour, 4);
	e->setMatrixByName("Missing", core::IdentityMatrix);
	const SZeFxParameter* c = e->getParameterByName("Color");
	ASSERT_TRUE(c);
	EXPECT_EQ(e->getParameterByName("Missing"), nullptr);
	EXPECT_EQ(e->getParameterIndex("Missing"), -1);
	core::array<const SZeFxParameter*> list;
	EXPECT_EQ(e->getParametersByName("Missing", list), 0u);
	EXPECT_EQ(e->getParametersByName("Color", list), 1u);
	EXPECT_EQ(list[0], c);
	EXPECT_FALSE(e->setFloat(nullptr, 1.f));
	EXPECT_FALSE(e->setFloatArray(c, colour, 5));  // more than a float4 holds
	EXPECT_FALSE(e->setMatrix(c, core::IdentityMatrix));
	EXPECT_FALSE(e->setSamplerTexture(c, nullptr, false));
	EXPECT_FALSE(e->setSamplerTextureByIndex(-1, nullptr));
	EXPECT_FALSE(e->setSamplerTextureByIndex(e->getParameterIndex("Color"), nullptr));
	EXPECT_FALSE(e->setSamplerTextureByIndex(1000, nullptr));
	IZeEffect* other = load("//ZELV_PP: param float4 Color\n" + technique("main", "vsPass", "psColor"));
	ASSERT_TRUE(other);
	EXPECT_FALSE(e->setFloat(other->getParameterByName("Color"), 0.f));  // another effect's handle

	begin();
	draw(m);
	p = end();
	EXPECT_TRUE(near(p.at(32, 32), 51, 102, 153));
	EXPECT_TRUE(e->setFloat(c, 0.f));  // the first component only
	begin();
	draw(m);
	EXPECT_TRUE(near(end().at(8, 8), 0, 102, 153));
}

TEST_F(EffectGL, MatrixByNameTransformsLikeTheFixedFunctionPipeline)
{
	IZeEffect* e = load(technique("main", "vsMove", "psGreen"));
	ASSERT_TRUE(e);
	core::matrix4 rotation, scale, move;
	rotation.setRotationDegrees(core::vector3df(0, 0, 30));
	scale.setScale(0.6f);
	move.setTranslation(core::vector3df(0.25f, -0.1f, 0));
	const core::matrix4 world = move * rotation * scale;
	e->setMatrixByName("WorldViewProj", world);
	SZeMaterialExt record;
	begin();
	draw(material(e, record), -1, -1, 1, 1, true);
	const Pixels shader = end();

	video::SMaterial plain;
	plain.Lighting = false;
	plain.BackfaceCulling = false;
	begin();
	Driver->setTransform(video::ETS_WORLD, world);
	draw(plain, -1, -1, 1, 1, true);
	const Pixels fixed = end();
	EXPECT_GT(shader.litCount(), 300);
	EXPECT_LT(shader.litCount(), SIZE * SIZE / 2);
	int differ = 0;
	for (int y = 0; y < SIZE; ++y)
		for (int x = 0; x < SIZE; ++x)
			differ += shader.lit(x, y) != fixed.lit(x, y) || (shader.lit(x, y) && !near(shader.at(x, y), 0, 255, 0));
	EXPECT_EQ(differ, 0);
}

TEST_F(EffectGL, DocumentedExampleBuilds)
{
	std::ifstream doc(ZELV_SOURCE_DIR "/docs/effects.md");
	const std::string text((std::istreambuf_iterator<char>(doc)), std::istreambuf_iterator<char>());
	const size_t begin = text.find("```hlsl\n"), end = text.find("```", begin + 8);
	ASSERT_NE(begin, std::string::npos);
	const std::string file = Dir + "/example.hlsl";
	std::ofstream(file) << text.substr(begin + 8, end - begin - 8);
	const SZeMacro shadow[] = {{"USE_SHADOW", nullptr}, {nullptr, nullptr}};
	for (const SZeMacro* macros : {static_cast<const SZeMacro*>(nullptr), shadow})
	{
		IZeEffect* e = Manager->createEffect(file.c_str(), -1, macros, nullptr);
		ASSERT_TRUE(e) << Manager->getLastError();
		EXPECT_EQ(e->getTechniqueCount(), macros ? 3u : 2u);
		EXPECT_EQ(e->getTechniqueIndex("shadow"), macros ? 1 : -1);
		EXPECT_EQ(e->getPassCount(0), 2u);
		EXPECT_EQ(e->getParameterByName("BaseMap")->Layer, 0);
		e->drop();
	}
}

TEST_F(EffectGL, CreationErrorsNameFileLineAndPass)
{
	const std::string file = Dir + "/broken.hlsl";
	std::ofstream(file) << technique("main", "vsPass", "psMissing") << SHADERS;
	EXPECT_EQ(Manager->createEffect(file.c_str(), -1, nullptr, nullptr), nullptr);
	EXPECT_EQ(std::string(Manager->getLastError()).rfind(file + ":2: pass 'p0' of technique 'main': ", 0), 0u)
		<< Manager->getLastError();
	std::ofstream(file) << "//ZELV_PP: sampler CUBE Color\n" << technique("main", "vsPass", "psColor") << SHADERS;
	EXPECT_EQ(Manager->createEffect(file.c_str(), -1, nullptr, nullptr), nullptr);
	EXPECT_EQ(std::string(Manager->getLastError()),
		file + ":1: 'Color' is declared a CUBE sampler but the shader reads a number");
	// Arrays the shader declares keep to the driver's units, as declared parameters do.
	std::ofstream(file) << technique("main", "vsPass", "psMany") << SHADERS
						<< "sampler2D Many[100000000];\nfloat4 psMany(float2 uv : TEXCOORD0) : COLOR { return tex2D(Many[1], uv); }\n";
	EXPECT_EQ(Manager->createEffect(file.c_str(), -1, nullptr, nullptr), nullptr);
	const std::string many = Manager->getLastError();
	EXPECT_EQ(many.rfind(file + ":2: pass 'p0' of technique 'main': ZeGPU: Failed to Compile pixel shader ", 0), 0u) << many;
	EXPECT_NE(many.find("'Many' reads texture units past the pixel stage's "), std::string::npos) << many;
	// Macros that double one another in the shader code fail within their budget.
	std::string doubling = "#define M0 +1\n";
	for (int i = 1; i <= 40; ++i)
		doubling += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + " M" + std::to_string(i - 1) + "\n";
	std::ofstream(file) << technique("main", "vsPass", "psMany") << SHADERS << doubling
						<< "float4 psMany() : COLOR { return float4(0 M40, 0, 0, 1); }\n";
	EXPECT_EQ(Manager->createEffect(file.c_str(), -1, nullptr, nullptr), nullptr);
	EXPECT_NE(std::string(Manager->getLastError()).find(": macros in the shader code expand to more than 65536 tokens"),
		std::string::npos) << Manager->getLastError();
	// An effect named ".dae" is the HLSL file of the same base name.
	std::ofstream(Dir + "/scene.hlsl") << technique("main", "vsPass", "psColor") << SHADERS;
	IZeEffect* named = Manager->createEffect((Dir + "/scene.dae").c_str(), -1, nullptr, nullptr);
	EXPECT_NE(named, nullptr) << Manager->getLastError();
	if (named)
		named->drop();
	EXPECT_EQ(Manager->createEffect((Dir + "/missing.dae").c_str(), -1, nullptr, nullptr), nullptr);
	EXPECT_NE(std::string(Manager->getLastError()).find("missing.hlsl"), std::string::npos) << Manager->getLastError();
	EXPECT_TRUE(load(technique("main", "vsPass", "psColor")));
	EXPECT_STREQ(Manager->getLastError(), "");
}

TEST_F(EffectGL, TechniquesSwitchAndAnnotationsRead)
{
	IZeEffect* e = load("//ZELV_PP: param float4 Color default=1,0,0,1\n" + technique("main", "vsPass", "psColor") +
		"//ZELV_PP: annotation render \"solidpost\"\n" + technique("depth", "vsPass", "psGreen"));
	ASSERT_TRUE(e);
	EXPECT_EQ(e->getFirstTechnique(), 0);
	EXPECT_EQ(e->getTechniqueIndex("depth"), 1);
	EXPECT_EQ(e->getTechniqueIndex("shadow"), -1);
	EXPECT_STREQ(e->getAnnotationString(e->getTechniqueAnnotation(0, "render")), "solidpost");
	EXPECT_EQ(e->getTechniqueAnnotation(0, "rendertarget"), nullptr);
	EXPECT_EQ(e->getTechniqueAnnotation(1, "render"), nullptr);

	SZeMaterialExt record;
	const video::SMaterial m = material(e, record);
	// The same material throughout: the record is read at every draw.
	for (s32 t : {1, 0, 1})
	{
		record.Technique = t;
		begin();
		draw(m);
		EXPECT_TRUE(near(end().at(32, 32), t ? 0 : 255, t ? 255 : 0, 0)) << "technique " << t;
	}
}

TEST_F(EffectGL, AdditiveBlendingAccumulates)
{
	IZeEffect* e = load("//ZELV_PP: param float4 Color default=0.25,0.125,0,1\n" +
		technique("add", "vsPass", "psColor", "//ZELV_PP: blend add\n") + technique("plain", "vsPass", "psColor"));
	ASSERT_TRUE(e);
	SZeMaterialExt add, plain;
	begin();
	for (int i = 0; i < 3; ++i)
		draw(material(e, add, 0));
	Pixels p = end();
	EXPECT_TRUE(near(p.at(32, 32), 191, 96, 0));
	begin();
	draw(material(e, add, 0));
	draw(material(e, plain, 1));
	EXPECT_TRUE(near(end().at(32, 32), 64, 32, 0));
}

TEST_F(EffectGL, MultipleTargetPassWritesBothTargets)
{
	IZeEffect* e = load(technique("main", "vsPass", "psTwo", "//ZELV_PP: targets 2\n") +
		"struct Two { float4 C0 : COLOR0; float4 C1 : COLOR1; };\n"
		"Two psTwo(float2 uv : TEXCOORD0) { Two o; o.C0 = float4(1, 0.5, 0, 1); o.C1 = float4(0, 0, 1, 1); return o; }\n");
	ASSERT_TRUE(e);
	EXPECT_EQ(e->getPass(0, 0)->Targets, 2u);
	video::ITexture* t0 = ze::addRenderTargetTexture(Driver, {16, 16}, "mrt0", ze::ECF_A8R8G8B8);
	video::ITexture* t1 = ze::addRenderTargetTexture(Driver, {16, 16}, "mrt1", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(t0 && t1);
	core::array<video::IRenderTarget> targets;
	targets.push_back(video::IRenderTarget(t0));
	targets.push_back(video::IRenderTarget(t1));
	SZeMaterialExt record;
	begin();
	ASSERT_TRUE(Driver->setRenderTarget(targets, true, true, video::SColor(0, 0, 0, 0)));
	draw(material(e, record));
	Driver->setRenderTarget(nullptr, false, false);
	end();
	std::vector<float> a, b;
	ASSERT_TRUE(ze::readTexture(t0, &a));
	ASSERT_TRUE(ze::readTexture(t1, &b));
	for (size_t i : {size_t(0), a.size() / 8, a.size() / 4 - 1})
	{
		EXPECT_NEAR(a[i * 4], 1.f, 0.01f);
		EXPECT_NEAR(a[i * 4 + 1], 0.5f, 0.01f);
		EXPECT_NEAR(b[i * 4], 0.f, 0.01f);
		EXPECT_NEAR(b[i * 4 + 2], 1.f, 0.01f);
	}
}

TEST_F(EffectGL, SamplersReadTheirTexelsThroughTheMaterial)
{
	IZeEffect* e = load(
		"//ZELV_PP: sampler 2D Flat layer=0 filter=point address=clamp\n//ZELV_PP: sampler CUBE Sky layer=1\n"
		"//ZELV_PP: sampler 3D Volume layer=2 filter=point\n//ZELV_PP: sampler 2D Own layer=none filter=point\n" +
		technique("main", "vsPass", "psSample") +
		"sampler2D Flat; samplerCUBE Sky; sampler3D Volume; sampler2D Own; float4 Where;\n"
		"float4 psSample(float2 uv : TEXCOORD0) : COLOR { return Where.w < 1 ? tex2D(Flat, uv) :\n"
		"  Where.w < 2 ? texCUBE(Sky, Where.xyz) : Where.w < 3 ? tex3D(Volume, Where.xyz) : tex2D(Own, uv); }\n");
	ASSERT_TRUE(e);
	video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, {2, 1});
	image->setPixel(0, 0, video::SColor(255, 255, 0, 0));
	image->setPixel(1, 0, video::SColor(255, 0, 0, 255));
	video::ITexture* flat = Driver->addTexture("flat", image);
	image->fill(video::SColor(255, 0, 255, 0));
	video::ITexture* green = Driver->addTexture("green", image);
	image->drop();
	ze::ITextureCUBE* sky = ze::createTextureCUBE(Driver, "sky", 1, ze::ECF_A8R8G8B8, false);
	const u32 faces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
	for (u32 f = 0; sky && f < 6; ++f)
		sky->uploadFace(f, &faces[f], 4);
	ze::ITexture3D* volume = ze::createTexture3D(Driver, "volume", 1, 1, 2, ze::ECF_A8R8G8B8);
	const u32 slices[2] = {0xFF00FF00, 0xFFFFFFFF};
	ASSERT_TRUE(flat && green && sky && volume && volume->upload(slices, 8));

	const SZeFxParameter* flatP = e->getParameterByName("Flat");
	const SZeFxParameter* skyP = e->getParameterByName("Sky");
	EXPECT_EQ(e->getSamplerKind(skyP), EZESK_CUBE);
	EXPECT_EQ(e->getSamplerKind(e->getParameterByName("Volume")), EZESK_3D);
	EXPECT_EQ(e->getSamplerKind(e->getParameterByName("Where")), EZESK_NONE);
	SZeMaterialExt record;
	video::SMaterial m = material(e, record);
	EXPECT_TRUE(e->setSamplerTextureOnMaterial(0, 0, flatP, m, flat, false));
	EXPECT_TRUE(e->setSamplerTextureOnMaterial(0, 0, skyP, m, sky, false));
	EXPECT_FALSE(e->setSamplerTextureOnMaterial(0, 0, skyP, m, flat, false));  // a 2D texture for a cube
	EXPECT_FALSE(e->setSamplerTexture(skyP, volume, false));
	EXPECT_FALSE(e->setSamplerTextureOnMaterial(0, 1, flatP, m, flat, false));
	ze::setMaterialTexture(m, 2, volume);
	EXPECT_EQ(m.TextureLayer[0].Texture, flat);  // the library's layer
	EXPECT_EQ(ze::getMaterialTextureUnit(m, 1), ze::MATERIAL_EXT_FIRST_UNIT + 1);  // cube: the side record
	EXPECT_TRUE(e->setSamplerTexture(flatP, green, false));  // the material's layer wins over it
	EXPECT_TRUE(e->setSamplerTexture(e->getParameterByName("Own"), flat, false));

	const struct
	{
		f32 Where[4];
		u8 Left[3], Right[3];
	} cases[] = {{{0, 0, 0, 0}, {255, 0, 0}, {0, 0, 255}}, {{1, 0, 0, 1}, {255, 0, 0}, {255, 0, 0}},
		{{0, 0, -1, 1}, {255, 0, 255}, {255, 0, 255}}, {{0, 1, 0, 1}, {0, 0, 255}, {0, 0, 255}},
		{{0.5f, 0.5f, 0.25f, 2}, {0, 255, 0}, {0, 255, 0}}, {{0.5f, 0.5f, 0.75f, 2}, {255, 255, 255}, {255, 255, 255}},
		{{0, 0, 0, 3}, {255, 0, 0}, {0, 0, 255}}};
	for (const auto& c : cases)
	{
		e->setFloatArrayByName("Where", c.Where, 4);
		begin();
		draw(m);
		const Pixels p = end();
		EXPECT_TRUE(near(p.at(16, 32), c.Left[0], c.Left[1], c.Left[2])) << "w " << c.Where[3] << " z " << c.Where[2];
		EXPECT_TRUE(near(p.at(48, 32), c.Right[0], c.Right[1], c.Right[2])) << "w " << c.Where[3] << " z " << c.Where[2];
	}
	ze::setMaterialTexture(m, 0, nullptr);  // now the sampler's own texture shows
	const f32 flatCase[4] = {0, 0, 0, 0};
	e->setFloatArrayByName("Where", flatCase, 4);
	begin();
	draw(m);
	EXPECT_TRUE(near(end().at(16, 32), 0, 255, 0));
	sky->drop();
	volume->drop();
}

TEST_F(EffectGL, SemanticMapAndSizesReachTheirParameters)
{
	IZeEffect* e = load("//ZELV_PP: param float Level semantic=BloomThreshold\n"
		"//ZELV_PP: param float4 Screen semantic=ScreenSize\n" + technique("main", "vsPass", "psLevel") +
		"float Level; float4 Screen;\n"
		"float4 psLevel(float2 uv : TEXCOORD0) : COLOR { return float4(Level, Screen.x / 256, Screen.w * 16, 1); }\n");
	ASSERT_TRUE(e);
	SZeMaterialExt record;
	const video::SMaterial m = material(e, record);
	begin();
	draw(m);
	EXPECT_TRUE(near(end().at(32, 32), 0, 64, 64));  // no map yet: Level stays 0
	// A map made after the first draw: the pass lists its binds again.
	IZeEffectBindSemanticMap* map = Manager->createEffectBindSemanticMap();
	ASSERT_TRUE(map);
	EXPECT_TRUE(map->addSemantic("BloomThreshold", EZEFPT_FLOAT));
	EXPECT_FALSE(map->addSemantic("BloomThreshold", EZEFPT_FLOAT));
	EXPECT_FALSE(map->setSemanticFloat("FStop", 1.f));
	for (f32 level : {0.5f, 0.25f})
	{
		EXPECT_TRUE(map->setSemanticFloat("BloomThreshold", level));
		begin();
		draw(m);
		EXPECT_TRUE(near(end().at(32, 32), static_cast<int>(level * 255 + 0.5f), 64, 64));
	}
	map->drop();
}

TEST_F(EffectGL, WorldViewProjectionBindFollowsEachNode)
{
	IZeEffect* e = load("//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection\n" +
		technique("main", "vsMove", "psGreen"));
	ASSERT_TRUE(e);
	scene::ISceneManager* smgr = Device->getSceneManager();
	scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
	const video::SColor white(255, 255, 255, 255);
	for (const core::vector2df& at : {core::vector2df(-1, -1), core::vector2df(-1, 1), core::vector2df(1, 1)})
		buffer->Vertices.push_back(video::S3DVertex(at.X, at.Y, 0, 0, 0, -1, white, 0, 0));
	for (u16 i : {0, 1, 2})
		buffer->Indices.push_back(i);
	buffer->recalculateBoundingBox();
	scene::SMesh* mesh = new scene::SMesh();
	mesh->addMeshBuffer(buffer);
	mesh->recalculateBoundingBox();
	buffer->drop();
	scene::IMeshSceneNode* nodes[2] = {smgr->addMeshSceneNode(mesh, nullptr, -1, core::vector3df(-2.5f, 0, 0)),
		smgr->addMeshSceneNode(mesh, nullptr, -1, core::vector3df(2.5f, 1, 0), core::vector3df(0, 0, 90))};
	mesh->drop();
	smgr->setActiveCamera(smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -10), core::vector3df(0, 0, 0)));

	SZeMaterialExt records[2];
	Pixels drawn[2];
	for (int pass = 0; pass < 2; ++pass)
	{
		for (int n = 0; n < 2; ++n)
		{
			video::SMaterial& m = nodes[n]->getMaterial(0);
			m.BackfaceCulling = false;
			m.Lighting = false;
			if (pass == 0)
			{
				e->getPassMaterial(0, 0, m);
				records[n].Effect = e;
				records[n].Node = nodes[n];
				ze::setMaterialUserData(m, &records[n]);
			}
			else
				m.MaterialType = video::EMT_SOLID;  // the library draws the same scene
		}
		Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		smgr->drawAll();
		drawn[pass] = end();
	}
	int differ = 0, left = 0, right = 0, green = 0;
	for (int y = 0; y < SIZE; ++y)
		for (int x = 0; x < SIZE; ++x)
		{
			differ += drawn[0].lit(x, y) != drawn[1].lit(x, y);
			(x < SIZE / 2 ? left : right) += drawn[0].lit(x, y);
			green += drawn[0].lit(x, y) && near(drawn[0].at(x, y), 0, 255, 0);  // the effect's, not the library's white
		}
	EXPECT_EQ(differ, 0);
	EXPECT_EQ(green, left + right);
	EXPECT_GT(left, 20);
	EXPECT_GT(right, 20);
	for (int y = 0; y < SIZE; ++y)
		EXPECT_FALSE(drawn[0].lit(SIZE / 2, y)) << y;
}

// Samplers on the library's unit 0, a side-record layer and a unit of their own.
const char* const SAMPLING = R"(
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: sampler 2D Base layer=0 filter=point
//ZELV_PP: sampler 2D Extra layer=5 filter=point
//ZELV_PP: sampler 2D Own layer=none filter=point
sampler2D Base; sampler2D Extra; sampler2D Own; float4 Mix;
float4 psMix(float2 uv : TEXCOORD0) : COLOR
{
	return Mix.x * tex2D(Base, uv) + Mix.y * tex2D(Extra, uv) + Mix.z * tex2D(Own, uv);
}
)";

// A one-texel texture of a colour.
video::ITexture* texel(video::IVideoDriver* driver, const char* name, video::SColor colour)
{
	video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, {1, 1});
	image->fill(colour);
	video::ITexture* t = driver->addTexture(name, image);
	image->drop();
	return t;
}

TEST_F(EffectGL, ASecondIdenticalCommitBindsAndAllocatesNothing)
{
	IZeEffect* e = load(std::string(SAMPLING) + technique("main", "vsMove", "psMix"));
	ASSERT_TRUE(e);
	video::ITexture* red = texel(Driver, "red", video::SColor(255, 255, 0, 0));
	video::ITexture* green = texel(Driver, "green", video::SColor(255, 0, 255, 0));
	video::ITexture* blue = texel(Driver, "blue", video::SColor(255, 0, 0, 255));
	video::ITexture* white = texel(Driver, "white", video::SColor(255, 255, 255, 255));
	ASSERT_TRUE(red && green && blue && white);
	SZeMaterialExt record;
	video::SMaterial m = material(e, record);
	ze::setMaterialTexture(m, 0, red);
	ze::setMaterialTexture(m, 5, green);
	ASSERT_TRUE(e->setSamplerTexture(e->getParameterByName("Own"), blue, false));
	IZeEffectCallback* callback = e->getCallback();
	ASSERT_TRUE(callback);
	for (video::ITexture* t : {red, green, blue, white})
		ASSERT_NE(ze::getGLTextureName(t), 0u);  // the library's names, found once

	zetest::SCallCounts first, second;
	{
		zetest::ZeCounting counting(first);
		ASSERT_TRUE(callback->onSetConstants(e, record, m));
	}
	EXPECT_EQ(first.UseProgram, 1);
	EXPECT_EQ(first.BindTexture, 2);  // the side record's layer and the sampler's own texture
	EXPECT_EQ(first.BindSampler, 2);
	{
		zetest::ZeCounting counting(second);
		ASSERT_TRUE(callback->onSetConstants(e, record, m));
	}
	EXPECT_EQ(second.UseProgram, 0);
	EXPECT_EQ(second.BindTexture, 0);
	EXPECT_EQ(second.BindSampler, 0);
	EXPECT_EQ(second.Allocations, 0);

	// Another texture of its own: that one bind and nothing else.
	ASSERT_TRUE(e->setSamplerTexture(e->getParameterByName("Own"), white, false));
	{
		zetest::ZeCounting counting(second);
		ASSERT_TRUE(callback->onSetConstants(e, record, m));
	}
	EXPECT_EQ(second.BindTexture, 1);
	EXPECT_EQ(second.UseProgram, 0);
	EXPECT_EQ(second.BindSampler, 0);
	zeUnbindProgram();
	{
		zetest::ZeCounting counting(second);
		ASSERT_TRUE(callback->onSetConstants(e, record, m));
	}
	EXPECT_EQ(second.UseProgram, 1);  // unbound in between
	zeUnbindProgram();
	e->setSamplerTexture(e->getParameterByName("Own"), blue, false);

	// What skipped binds leave in place still draws right: each sampler alone,
	// through materials that share units, with the library's own drawing between.
	SZeMaterialExt otherRecord;
	video::SMaterial other = material(e, otherRecord);
	ze::setMaterialTexture(other, 0, white);
	ze::setMaterialTexture(other, 5, blue);
	video::SMaterial plain;
	plain.Lighting = false;
	plain.BackfaceCulling = false;
	plain.setTexture(0, green);
	const struct
	{
		f32 Mix[4];
		u8 First[3], Second[3];
	} cases[] = {{{1, 0, 0, 0}, {255, 0, 0}, {255, 255, 255}}, {{0, 1, 0, 0}, {0, 255, 0}, {0, 0, 255}},
		{{0, 0, 1, 0}, {0, 0, 255}, {0, 0, 255}}};
	for (const auto& c : cases)
	{
		e->setFloatArrayByName("Mix", c.Mix, 4);
		e->setMatrixByName("WorldViewProj", core::IdentityMatrix);
		begin();
		draw(m, -1, -1, -0.5f, 1);
		draw(m, -0.5f, -1, 0, 1);
		draw(plain, 0, -1, 0.5f, 1);
		draw(other, 0.5f, -1, 1, 1);
		const Pixels p = end();
		EXPECT_TRUE(near(p.at(4, 32), c.First[0], c.First[1], c.First[2])) << c.Mix[0] << c.Mix[1] << c.Mix[2];
		EXPECT_TRUE(near(p.at(20, 32), c.First[0], c.First[1], c.First[2])) << c.Mix[0] << c.Mix[1] << c.Mix[2];
		EXPECT_TRUE(near(p.at(40, 32), 0, 255, 0));
		EXPECT_TRUE(near(p.at(60, 32), c.Second[0], c.Second[1], c.Second[2])) << c.Mix[0] << c.Mix[1] << c.Mix[2];
	}
}

TEST_F(EffectGL, FlippedTargetsKeepFrontFacesWithoutAskingTheDriver)
{
	IZeEffect* e = load(technique("main", "vsPass", "psGreen", "//ZELV_PP: cull back\n"));
	ASSERT_TRUE(e);
	video::ITexture* target = ze::addRenderTargetTexture(Driver, {32, 32}, "flipped", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(target);
	SZeMaterialExt record;
	const video::SMaterial m = material(e, record);
	// Two triangles: the left one wound as the library's front faces, the right
	// one the other way round (culled).
	const video::SColor white(255, 255, 255, 255);
	const video::S3DVertex v[6] = {{-0.9f, -0.9f, 0.5f, 0, 0, -1, white, 0, 0}, {-0.9f, 0.9f, 0.5f, 0, 0, -1, white, 0, 0},
		{-0.1f, 0.9f, 0.5f, 0, 0, -1, white, 0, 0}, {0.1f, -0.9f, 0.5f, 0, 0, -1, white, 0, 0},
		{0.9f, 0.9f, 0.5f, 0, 0, -1, white, 0, 0}, {0.1f, 0.9f, 0.5f, 0, 0, -1, white, 0, 0}};
	const u16 indices[6] = {0, 1, 2, 3, 4, 5};
	video::SMaterial plain;
	plain.Lighting = false;

	zetest::SCallCounts counts;
	begin();
	ASSERT_TRUE(Driver->setRenderTarget(target, true, true, video::SColor(255, 0, 0, 0)));
	zeSetRenderTargetFlip(true);
	{
		zetest::ZeCounting counting(counts);
		for (int i = 0; i < 2; ++i)
		{
			// Another material type between the two draws unbinds the program.
			Driver->setMaterial(m);
			Driver->drawVertexPrimitiveList(v, 6, indices, 2, video::EVT_STANDARD, scene::EPT_TRIANGLES, video::EIT_16BIT);
			Driver->setMaterial(plain);
			Driver->draw3DLine(core::vector3df(2, 2, 2), core::vector3df(3, 3, 3));
		}
	}
	zeSetRenderTargetFlip(false);
	Driver->setRenderTarget(nullptr, false, false);
	begin();
	draw(m, 0, 0, 0, 0);  // no area: sets the material up
	Driver->drawVertexPrimitiveList(v, 6, indices, 2, video::EVT_STANDARD, scene::EPT_TRIANGLES, video::EIT_16BIT);
	const Pixels window = end();
	EXPECT_EQ(counts.FrontFaceQueries, 0);
	EXPECT_EQ(counts.FrontFace, 4);  // swapped for each draw, back for each unbinding
	GLint winding = 0;
	glGetIntegerv(GL_FRONT_FACE, &winding);
	EXPECT_EQ(winding, GL_CW);  // the library's

	// The window: the left triangle shows, the right one is culled.
	EXPECT_TRUE(near(window.at(12, 20), 0, 255, 0));
	EXPECT_FALSE(window.lit(52, 20));
	// The target holds the same picture, its top in its first rows as
	// Direct3D-style shaders read it.
	std::vector<float> texels;
	ASSERT_TRUE(ze::readTexture(target, &texels));
	ASSERT_EQ(texels.size(), 32u * 32u * 4u);
	auto at = [&](int x, int y) { return &texels[(static_cast<size_t>(y) * 32 + static_cast<size_t>(x)) * 4]; };
	int left = 0, right = 0;
	for (int y = 0; y < 32; ++y)
		for (int x = 0; x < 32; ++x)
			(x < 16 ? left : right) += at(x, y)[1] > 0.5f;
	EXPECT_GT(left, 150);
	EXPECT_EQ(right, 0);
	EXPECT_GT(at(6, 5)[1], 0.5f);  // the wide end of the left triangle is on top, in the first rows
	EXPECT_LT(at(6, 26)[1], 0.5f);
}

TEST_F(EffectGL, SrgbFlagsDecodeTexelsWhenSampled)
{
	// Base reads library layer 0 and is declared sRGB; Extra reads side-record
	// layer 5; Own reads its own texture, through a function taking the sampler.
	IZeEffect* e = load(std::string("//ZELV_PP: sampler 2D Base layer=0 filter=point srgb=on\n"
		"//ZELV_PP: sampler 2D Extra layer=5 filter=point\n//ZELV_PP: sampler 2D Own layer=none filter=point\n") +
		technique("main", "vsPass", "psPick") +
		"sampler2D Base; sampler2D Extra; sampler2D Own; float4 Pick;\n"
		"float4 through(sampler2D s, float2 uv) { return tex2D(s, uv); }\n"
		"float4 psPick(float2 uv : TEXCOORD0) : COLOR\n"
		"{\n  float4 c = Pick.x * tex2D(Base, uv) + Pick.y * tex2Dlod(Extra, float4(uv, 0, 0)) + Pick.z * through(Own, uv);\n"
		"  return float4(c.r, c.a, c.b, 1);  // alpha shown in green\n}\n");
	ASSERT_TRUE(e);
	// Mid grey, and a dark grey below the curve's linear segment (10 / 12.92).
	video::ITexture* grey = texel(Driver, "grey", video::SColor(128, 128, 128, 10));
	video::ITexture* grey2 = texel(Driver, "grey2", video::SColor(128, 128, 128, 10));
	video::ITexture* grey3 = texel(Driver, "grey3", video::SColor(128, 128, 128, 10));
	ASSERT_TRUE(grey && grey2 && grey3);
	SZeMaterialExt record;
	video::SMaterial m = material(e, record);  // the pass's material: layer 0 flagged sRGB
	const SZeFxParameter* base = e->getParameterByName("Base");
	const SZeFxParameter* extra = e->getParameterByName("Extra");
	ASSERT_TRUE(e->setSamplerTextureOnMaterial(0, 0, base, m, grey, true));
	ASSERT_TRUE(e->setSamplerTextureOnMaterial(0, 0, extra, m, grey2, false));
	ASSERT_TRUE(e->setSamplerTexture(e->getParameterByName("Own"), grey3, true));

	// Linear values of the sRGB codes 128 and 10: ((128 / 255 + 0.055) / 1.055)^2.4
	// and 10 / 255 / 12.92, as 0-255.
	const int mid = static_cast<int>(std::lround(std::pow((128 / 255.0 + 0.055) / 1.055, 2.4) * 255));
	const int dark = static_cast<int>(std::lround(10 / 255.0 / 12.92 * 255));
	ASSERT_EQ(mid, 55);
	ASSERT_EQ(dark, 1);
	auto sample = [&](f32 x, f32 y, f32 z) {
		const f32 pick[4] = {x, y, z, 0};
		e->setFloatArrayByName("Pick", pick, 4);
		begin();
		draw(m);
		const Pixels p = end();
		return std::vector<int>{p.at(32, 32)[0], p.at(32, 32)[2], p.at(32, 32)[1]};
	};
	auto expect = [&](f32 x, f32 y, f32 z, int rgb, int blue, const char* what) {
		const std::vector<int> got = sample(x, y, z);
		EXPECT_NEAR(got[0], rgb, 1) << what;
		EXPECT_NEAR(got[1], blue, 1) << what;
		EXPECT_EQ(got[2], 128) << what;  // alpha stays as stored
	};
	expect(1, 0, 0, mid, dark, "library layer, declared sRGB");
	expect(0, 1, 0, 128, 10, "side-record layer, flag off");
	expect(0, 0, 1, mid, dark, "own texture, flag on");

	// The flags turned the other way: through the material's per-layer word and
	// the sampler's own texture.
	ze::setMaterialTextureSRGB(m, 0, 0);
	ze::setMaterialTextureSRGB(m, 5, 1);
	ASSERT_TRUE(e->setSamplerTexture(e->getParameterByName("Own"), grey3, false));
	expect(1, 0, 0, 128, 10, "library layer, flag off");
	expect(0, 1, 0, mid, dark, "side-record layer, flag on");
	expect(0, 0, 1, 128, 10, "own texture, flag off");
}

TEST_F(EffectGL, LiveEffectsOfOneFileKeepTheirSamplerLayersOverTheSharedProgram)
{
	// Each effect draws with its sampler's own texture (unit 4 + layer) before
	// the next is made from the file, and they all share one program.
	const std::string file = Dir + "/shared.hlsl";
	std::ofstream(file) << technique("main", "vsPass", "psTex") << SHADERS
						<< "sampler2D Tex : register(s1);\n"
						   "float4 psTex(float2 uv : TEXCOORD0) : COLOR { return tex2D(Tex, uv); }\n";
	video::ITexture* own = texel(Driver, "own", video::SColor(255, 255, 0, 0));
	const video::SColor colours[3] = {video::SColor(255, 0, 255, 0), video::SColor(255, 0, 0, 255),
		video::SColor(255, 255, 255, 0)};
	video::ITexture* layered[3];
	SZeMaterialExt records[3];
	video::SMaterial materials[3];
	for (int i = 0; i < 3; ++i)
	{
		IZeEffect* e = Manager->createEffect(file.c_str(), -1, nullptr, nullptr);
		ASSERT_NE(e, nullptr) << Manager->getLastError();
		Effects.push_back(e);
		EXPECT_EQ(e->getProgram(0, 0), Effects[0]->getProgram(0, 0));
		const SZeFxParameter* tex = e->getParameterByName("Tex");
		ASSERT_NE(tex, nullptr);
		EXPECT_EQ(tex->Layer, 1) << "effect " << i;
		EXPECT_EQ(tex->Register, 1) << "effect " << i;
		ASSERT_TRUE(e->setSamplerTexture(tex, own, false));
		materials[i] = material(e, records[i]);
		begin();
		draw(materials[i]);
		EXPECT_TRUE(near(end().at(32, 32), 255, 0, 0)) << "effect " << i << ", its own texture";
		layered[i] = texel(Driver, ("layer" + std::to_string(i)).c_str(), colours[i]);
		EXPECT_TRUE(e->setSamplerTextureOnMaterial(0, 0, tex, materials[i], layered[i], false));
	}
	// Drawn in turn, each reads its material's layer 1.
	for (int round = 0; round < 2; ++round)
		for (int i = 0; i < 3; ++i)
		{
			begin();
			draw(materials[i]);
			EXPECT_TRUE(near(end().at(32, 32), colours[i].getRed(), colours[i].getGreen(), colours[i].getBlue()))
				<< "effect " << i << ", round " << round;
		}
}
