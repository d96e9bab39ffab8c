// GL textures of our own and of the library, render targets, copies, driver
// states and material side records, drawn for real and read back.
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "libext/IZeVideoDriverExt.h"
#include "libext/ZeGL.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/ZeTestDisplay.h"

using namespace irr;
using core::dimension2d;
using V = std::vector<float>;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

// Texel (x, y) of a float readback `width` texels wide.
V at(const V& rgba, u32 width, u32 x, u32 y)
{
	const auto i = rgba.begin() + (static_cast<long>(y) * width + x) * 4;
	return V(i, i + 4);
}
// Texel `index` of a readback as A8R8G8B8 bytes.
u32 argb(const V& rgba, size_t index)
{
	auto byte = [&](int c) { return static_cast<u32>(std::lround(rgba[index * 4 + c] * 255.f)); };
	return byte(3) << 24 | byte(0) << 16 | byte(1) << 8 | byte(2);
}

class TextureGL : public ::testing::Test
{
protected:
	void SetUp() override
	{
		SZeSetupParams p = zetest::glWindowSetup(256, 256);
		p.antialias = 0;
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
		Driver = zeGetContext()->driver;
		ASSERT_EQ(Driver->getDriverType(), video::EDT_OPENGL);
		Colour = program("uniform vec4 c;\nvoid main() { gl_FragColor = c; }\n");
		while (glGetError() != GL_NO_ERROR)
		{
		}
	}

	void TearDown() override
	{
		for (GLuint p : Programs)
			glDeleteProgram(p);
		ze::clearMaterialExts();
		ze::removeAllTextures();
		zeTerm();
	}

	// A program of a pass-through vertex shader and `fragment` (GLSL 1.30).
	GLuint program(const std::string& fragment)
	{
		const std::string sources[2] = { "void main() { gl_Position = gl_Vertex; }\n", fragment };
		const GLuint p = glCreateProgram();
		for (int i = 0; i < 2; ++i)
		{
			const std::string text = "#version 130\n" + sources[i];
			const char* source = text.c_str();
			const GLuint shader = glCreateShader(i ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER);
			glShaderSource(shader, 1, &source, nullptr);
			glCompileShader(shader);
			glAttachShader(p, shader);
			glDeleteShader(shader);
		}
		glLinkProgram(p);
		GLint linked = 0;
		glGetProgramiv(p, GL_LINK_STATUS, &linked);
		EXPECT_TRUE(linked) << fragment;
		Programs.push_back(p);
		return p;
	}

	// A quad of `p` in device coordinates at depth z; blending and depth as set.
	void draw(GLuint p, float x0 = -1, float y0 = -1, float x1 = 1, float y1 = 1, float z = 0)
	{
		glDisable(GL_CULL_FACE);
		glDisable(GL_ALPHA_TEST);
		glDisable(GL_SCISSOR_TEST);
		glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
		glUseProgram(p);
		glBegin(GL_QUADS);
		glVertex3f(x0, y0, z);
		glVertex3f(x1, y0, z);
		glVertex3f(x1, y1, z);
		glVertex3f(x0, y1, z);
		glEnd();
		glUseProgram(0);
	}
	// The same in one colour.
	void fill(const V& c, float x0 = -1, float y0 = -1, float x1 = 1, float y1 = 1, float z = 0)
	{
		glUseProgram(Colour);
		glUniform4f(glGetUniformLocation(Colour, "c"), c[0], c[1], c[2], c[3]);
		draw(Colour, x0, y0, x1, y1, z);
	}

	// Runs `p` (sampler "tex" on unit 5, "size" the target's) over a float target and reads it back.
	V sample(GLuint p, dimension2d<u32> size)
	{
		video::ITexture* target = ze::addRenderTargetTexture(Driver, size, "probe", ze::ECF_A32B32G32R32F);
		V rgba;
		if (!target)
			return rgba;
		Driver->setRenderTarget(target, true, true, video::SColor(0));
		glDisable(GL_DEPTH_TEST);
		glDisable(GL_BLEND);
		glUseProgram(p);
		glUniform2f(glGetUniformLocation(p, "size"), static_cast<float>(size.Width), static_cast<float>(size.Height));
		glUniform1i(glGetUniformLocation(p, "tex"), 5);
		draw(p);
		Driver->setRenderTarget(nullptr, false, false);
		EXPECT_TRUE(ze::readTexture(target, &rgba));
		Driver->removeTexture(target);
		return rgba;
	}

	// A library texture from an A8R8G8B8 image, pixel i = texels[i] (repeated).
	video::ITexture* libraryTexture(const char* name, u32 side, const std::vector<u32>& texels)
	{
		video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, dimension2d<u32>(side, side));
		for (u32 i = 0; i < side * side; ++i)
			image->setPixel(i % side, i / side, video::SColor(texels[i % texels.size()]));
		video::ITexture* texture = Driver->addTexture(name, image);
		image->drop();
		return texture;
	}

	video::IVideoDriver* Driver = nullptr;
	GLuint Colour = 0;
	std::vector<GLuint> Programs;
};

TEST_F(TextureGL, EveryKindIsFilledAndReadBackExactly)
{
	std::vector<u32> texels(24);
	for (u32 i = 0; i < texels.size(); ++i)
		texels[i] = (255 - i) << 24 | i * 0x0A0B07u;
	V rgba;
	video::ITexture* flat = libraryTexture("flat", 2, texels);
	ASSERT_TRUE(ze::readTexture(flat, &rgba));
	ASSERT_EQ(rgba.size(), 16u);
	for (size_t i = 0; i < 4; ++i)
		EXPECT_EQ(argb(rgba, i), texels[i]) << i;
	EXPECT_EQ(ze::getTextureKind(flat), ze::ETK_2D);
	EXPECT_EQ(ze::getTextureFormat(flat), ze::ECF_A8R8G8B8);

	ze::ITexture3D* vol = ze::createTexture3D(Driver, "vol", 2, 3, 4, ze::ECF_A8R8G8B8);
	ASSERT_NE(vol, nullptr);
	EXPECT_FALSE(vol->upload(texels.data(), 4));
	ASSERT_TRUE(vol->upload(texels.data(), 96));
	ASSERT_TRUE(ze::readTexture(vol, &rgba));
	ASSERT_EQ(rgba.size(), 96u);
	for (size_t i = 0; i < 24; ++i)
		EXPECT_EQ(argb(rgba, i), texels[i]) << i;
	EXPECT_EQ(vol->getKind(), ze::ETK_3D);
	EXPECT_EQ(vol->getSize(), dimension2d<u32>(2, 3));
	EXPECT_EQ(vol->getDepth(), 4u);
	EXPECT_EQ(vol->getPitch(), 8u);
	EXPECT_EQ(vol->lock(), nullptr);

	const V values = { -2.5f, 7.25f, 1e6f, -0.f, 0.1f, 3.f, -4.f, 0.5f };
	ze::ITexture3D* deep = ze::createTexture3D(Driver, "deep", 1, 1, 2, ze::ECF_A32B32G32R32F);
	ASSERT_TRUE(deep && deep->upload(values.data(), 32));
	ASSERT_TRUE(ze::readTexture(deep, &rgba));
	EXPECT_EQ(rgba, values);

	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "cube", 2, ze::ECF_A8R8G8B8, false);
	ASSERT_TRUE(cube && !cube->isRenderTarget());
	EXPECT_FALSE(cube->uploadFace(6, texels.data(), 16));
	for (u32 face = 0; face < 6; ++face)
		ASSERT_TRUE(cube->uploadFace(face, &texels[face * 4], 16));
	for (u32 face = 0; face < 6; ++face)
	{
		ASSERT_TRUE(ze::readTexture(cube, &rgba, face));
		for (u32 i = 0; i < 4; ++i)
			EXPECT_EQ(argb(rgba, i), texels[face * 4 + i]) << face << " " << i;
	}

	ze::ITextureIndirect* indirect = ze::createTextureIndirect("ind", deep);
	ASSERT_TRUE(ze::readTexture(indirect, &rgba));
	EXPECT_EQ(rgba, values);
	EXPECT_EQ(ze::getTextureKind(indirect), ze::ETK_INDIRECT);
	EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	for (ze::ITextureExt* t : std::vector<ze::ITextureExt*>{ vol, deep, cube, indirect })
		t->drop();
}

TEST_F(TextureGL, ShadersSampleCubeFacesByDirectionAndVolumeTexels)
{
	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "faces", 2, ze::ECF_A8R8G8B8, false);
	ASSERT_NE(cube, nullptr);
	const u32 faceColour[6] = { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF };
	for (u32 face = 0; face < 6; ++face)
		ASSERT_TRUE(cube->uploadFace(face, std::vector<u32>(4, faceColour[face]).data(), 16));
	glActiveTexture(GL_TEXTURE5);
	glBindTexture(GL_TEXTURE_CUBE_MAP, cube->getGLName());
	const V seen = sample(program("uniform samplerCube tex;\n"
		"const vec3 d[6] = vec3[6](vec3(1,0,0), vec3(-1,0,0), vec3(0,1,0), vec3(0,-1,0), vec3(0,0,1), vec3(0,0,-1));\n"
		"void main() { gl_FragColor = textureCube(tex, d[int(gl_FragCoord.x)]); }\n"), dimension2d<u32>(6, 1));
	ASSERT_EQ(seen.size(), 24u);
	for (u32 face = 0; face < 6; ++face)
		EXPECT_EQ(argb(seen, face), faceColour[face]) << "direction " << face;

	std::vector<u32> texels(64);
	for (u32 i = 0; i < 64; ++i)
		texels[i] = 0xFF000000 | (i * 4) << 16 | (255 - i) << 8 | (i * 37 & 0xFF);
	ze::ITexture3D* vol = ze::createTexture3D(Driver, "vol", 4, 4, 4, ze::ECF_A8R8G8B8);
	ASSERT_TRUE(vol && vol->upload(texels.data(), 256));
	glActiveTexture(GL_TEXTURE5);
	glBindTexture(GL_TEXTURE_3D, vol->getGLName());
	glActiveTexture(GL_TEXTURE0);
	const V slices = sample(program("uniform sampler3D tex;\n"  // slice z at x from 4 z
		"void main() { vec2 p = floor(gl_FragCoord.xy);\n"
		"  gl_FragColor = texture3D(tex, (vec3(mod(p.x, 4.0), p.y, floor(p.x / 4.0)) + 0.5) / 4.0); }\n"),
		dimension2d<u32>(16, 4));
	ASSERT_EQ(slices.size(), 256u);
	for (u32 i = 0; i < 64; ++i)  // texel (x, y, z) = i
		EXPECT_EQ(argb(slices, i / 4 % 4 * 16 + i / 16 * 4 + i % 4), texels[i]) << i;
	cube->drop();
	vol->drop();
}

TEST_F(TextureGL, CubeTargetIsDrawnFaceByFaceWithItsOwnDepthAndGivesTheScreenBack)
{
	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "env", 16, ze::ECF_A8R8G8B8, true);
	ASSERT_TRUE(cube && cube->isRenderTarget());
	GLint viewport[4];
	for (u32 face = 0; face < 6; ++face)
	{
		ASSERT_TRUE(cube->bindFaceAsRenderTarget(Driver, face, true, true, video::SColor(255, 40 * face, 10, 200)));
		glGetIntegerv(GL_VIEWPORT, viewport);
		EXPECT_EQ(viewport[2], 16);
		EXPECT_EQ(Driver->getCurrentRenderTargetSize(), dimension2d<u32>(16, 16));
		if (face != 4)
			continue;
		glEnable(GL_DEPTH_TEST);
		glDepthFunc(GL_LESS);
		glDepthMask(GL_TRUE);
		fill({ 0, 1, 0, 1 });
		fill({ 1, 0, 0, 1 }, -1, -1, 1, 1, 0.5f);  // behind: kept out by the cube's depth buffer
	}
	Driver->setRenderTarget(nullptr, false, false);
	GLint framebuffer = -1;
	glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
	glGetIntegerv(GL_VIEWPORT, viewport);
	EXPECT_EQ(framebuffer, 0);
	EXPECT_EQ(viewport[2], 256);
	EXPECT_EQ(viewport[3], 256);
	for (u32 face = 0; face < 6; ++face)
	{
		V rgba;
		ASSERT_TRUE(ze::readTexture(cube, &rgba, face));
		const u32 expected = face == 4 ? 0xFF00FF00 : video::SColor(255, 40 * face, 10, 200).color;
		EXPECT_EQ(argb(rgba, 0), expected) << face;
		EXPECT_EQ(argb(rgba, 255), expected) << face;
	}
	cube->drop();
}

TEST_F(TextureGL, FloatTargetsKeepValuesOutsideZeroToOneAndTwoAreWrittenInOnePass)
{
	EXPECT_EQ(ze::addRenderTargetTexture(Driver, dimension2d<u32>(8, 8), "l8", ze::ECF_L8), nullptr);
	EXPECT_EQ(ze::addRenderTargetTexture(Driver, dimension2d<u32>(8, 8), "dxt", ze::ECF_DXT1), nullptr);
	V rgba;
	for (ze::ECOLOR_FORMAT format : { ze::ECF_A32B32G32R32F, ze::ECF_R32F })
	{
		SCOPED_TRACE(ze::getColorFormatName(format));
		video::ITexture* target = ze::addRenderTargetTexture(Driver, dimension2d<u32>(8, 8), "f", format);
		ASSERT_NE(target, nullptr);
		EXPECT_EQ(ze::getTextureFormat(target), format);
		Driver->setRenderTarget(target, false, false);
		glClearColor(-2.5f, 7.25f, 1000.5f, -0.125f);
		glClear(GL_COLOR_BUFFER_BIT);
		glDisable(GL_DEPTH_TEST);
		fill({ 7.25f, -2.5f, 0.0625f, 3.f }, 0, -1, 1, 1);
		Driver->setRenderTarget(nullptr, false, false);
		ASSERT_TRUE(ze::readTexture(target, &rgba));
		const bool all = format == ze::ECF_A32B32G32R32F;
		EXPECT_EQ(at(rgba, 8, 1, 3), all ? V({ -2.5f, 7.25f, 1000.5f, -0.125f }) : V({ -2.5f, 0, 0, 1 }));
		EXPECT_EQ(at(rgba, 8, 6, 3), all ? V({ 7.25f, -2.5f, 0.0625f, 3.f }) : V({ 7.25f, 0, 0, 1 }));
		Driver->removeTexture(target);
	}

	video::ITexture* a = ze::addRenderTargetTexture(Driver, dimension2d<u32>(8, 8), "a", ze::ECF_A32B32G32R32F);
	video::ITexture* b = ze::addRenderTargetTexture(Driver, dimension2d<u32>(8, 8), "b", ze::ECF_A32B32G32R32F);
	ASSERT_TRUE(a && b);
	core::array<video::IRenderTarget> targets;
	targets.push_back(video::IRenderTarget(a));
	targets.push_back(video::IRenderTarget(b));
	ASSERT_TRUE(Driver->setRenderTarget(targets, true, true, video::SColor(0)));
	draw(program("void main() { gl_FragData[0] = vec4(1.5, 0.25, 0.0, 1.0);\n"
		"  gl_FragData[1] = vec4(0.0, 0.5, -3.0, 1.0); }\n"));
	Driver->setRenderTarget(nullptr, false, false);
	ASSERT_TRUE(ze::readTexture(a, &rgba));
	EXPECT_EQ(at(rgba, 8, 4, 4), V({ 1.5f, 0.25f, 0.f, 1.f }));
	ASSERT_TRUE(ze::readTexture(b, &rgba));
	EXPECT_EQ(at(rgba, 8, 4, 4), V({ 0.f, 0.5f, -3.f, 1.f }));
}

TEST_F(TextureGL, OnlyATargetWithItsOwnDepthBufferKeepsAnotherTargetsDepthOut)
{
	for (bool own : { false, true })
	{
		SCOPED_TRACE(own ? "own depth" : "shared depth");
		auto add = own ? ze::addRenderTargetTextureOwnZBuffer : ze::addRenderTargetTexture;
		video::ITexture* near = add(Driver, dimension2d<u32>(32, 32), own ? "near-own" : "near", ze::ECF_A8R8G8B8);
		video::ITexture* far = add(Driver, dimension2d<u32>(32, 32), own ? "far-own" : "far", ze::ECF_A8R8G8B8);
		ASSERT_TRUE(near && far);
		EXPECT_EQ(ze::hasOwnZBuffer(near), own);
		Driver->setRenderTarget(near, true, true, video::SColor(0));
		glEnable(GL_DEPTH_TEST);
		glDepthFunc(GL_LESS);
		glDepthMask(GL_TRUE);
		fill({ 1, 0, 0, 1 }, -1, -1, 1, 1, -0.5f);
		Driver->setRenderTarget(far, true, false, video::SColor(0));
		fill({ 0, 1, 0, 1 }, -1, -1, 1, 1, 0.5f);
		Driver->setRenderTarget(nullptr, false, false);
		V rgba;
		ASSERT_TRUE(ze::readTexture(far, &rgba));
		EXPECT_EQ(argb(rgba, 16 * 32 + 16), own ? 0xFF00FF00 : 0x00000000u);
	}
}

TEST_F(TextureGL, StencilOperationsAndComparisonsMaskDraws)
{
	IZeVideoDriverExt* ext = zeCreateVideoDriverExt(Driver);
	video::ITexture* target =
		ze::addRenderTargetTextureOwnZBuffer(Driver, dimension2d<u32>(8, 3), "stencil", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(target && ext);
	Driver->setRenderTarget(target, true, true, video::SColor(0));
	glDisable(GL_DEPTH_TEST);
	// Rows start from stencil 0, 255 and 1; column c then applies operation c + 1.
	ext->setStencilEnable(true);
	ext->setStencilFunc(EZECMP_ALWAYS);
	ext->setStencilPass(EZESO_INVERT);
	fill({ 1, 0, 0, 1 }, -1, -1.f / 3, 1, 1.f / 3);
	ext->setStencilPass(EZESO_REPLACE);
	fill({ 1, 0, 0, 1 }, -1, 1.f / 3, 1, 1);
	for (int c = 0; c < 8; ++c)
	{
		ext->setStencilPass(c + 1);
		fill({ 1, 0, 0, 1 }, -1 + c / 4.f, -1, -1 + (c + 1) / 4.f, 1);
	}
	auto apply = [](int op, int s) {
		const int results[8] = { s, 0, 1, s < 255 ? s + 1 : 255, s > 0 ? s - 1 : 0, ~s & 255, (s + 1) & 255,
			(s - 1) & 255 };
		return results[op - 1];
	};
	auto passes = [](int func, int s) {  // the reference, 1, against the stored value
		const bool results[8] = { false, 1 <= s, 1 == s, 1 < s, 1 != s, 1 >= s, 1 > s, true };
		return results[func];
	};
	ext->setStencilPass(EZESO_KEEP);
	for (int func = EZECMP_NEVER; func <= EZECMP_ALWAYS; ++func)
	{
		glClear(GL_COLOR_BUFFER_BIT);
		ext->setStencilFunc(func);
		fill({ 0, 1, 0, 1 });
		V rgba;
		ASSERT_TRUE(ze::readTexture(target, &rgba));
		const int start[3] = { 0, 255, 1 };
		for (int row = 0; row < 3; ++row)
			for (int c = 0; c < 8; ++c)
				EXPECT_EQ(argb(rgba, row * 8 + c) == 0xFF00FF00, passes(func, apply(c + 1, start[row])))
					<< "comparison " << func << ", operation " << c + 1 << ", from " << start[row];
	}
	ext->setStencilEnable(false);
	EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
	Driver->setRenderTarget(nullptr, false, false);
	delete ext;
}

TEST_F(TextureGL, SeparateAlphaBlendAndNeverPassingDepthPutStatesBack)
{
	IZeVideoDriverExt* ext = zeCreateVideoDriverExt(Driver);
	video::ITexture* target = ze::addRenderTargetTexture(Driver, dimension2d<u32>(4, 4), "blend", ze::ECF_A32B32G32R32F);
	ASSERT_TRUE(target && ext);
	Driver->setRenderTarget(target, false, true);
	glClearColor(0.f, 0.f, 1.f, 0.25f);
	glClear(GL_COLOR_BUFFER_BIT);
	glDisable(GL_DEPTH_TEST);
	glDisable(GL_BLEND);
	glBlendFunc(GL_ONE, GL_ONE);
	ext->setSeparateAlphaBlend(true);
	fill({ 1, 0, 0, 0.5f }, -1, -1, 0, 1);
	ext->setSeparateAlphaBlend(false);
	EXPECT_FALSE(glIsEnabled(GL_BLEND));
	GLint blend[2] = { 0, 0 };
	glGetIntegerv(GL_BLEND_SRC_ALPHA, &blend[0]);
	glGetIntegerv(GL_BLEND_DST_ALPHA, &blend[1]);
	EXPECT_EQ(blend[0], GL_ONE);
	EXPECT_EQ(blend[1], GL_ONE);
	glDepthFunc(GL_LESS);
	ext->setDepthNeverPass(true);
	fill({ 0, 1, 0, 1 }, 0, -1, 1, 0);
	ext->setDepthNeverPass(false);
	EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
	GLint func = 0;
	glGetIntegerv(GL_DEPTH_FUNC, &func);
	EXPECT_EQ(func, GL_LESS);
	fill({ 0, 1, 0, 1 }, 0, 0, 1, 1);
	Driver->setRenderTarget(nullptr, false, false);
	V rgba;
	ASSERT_TRUE(ze::readTexture(target, &rgba));
	EXPECT_EQ(at(rgba, 4, 0, 0), V({ 0.5f, 0.f, 0.5f, 0.625f }));  // alpha: 0.5 + 0.25 * (1 - 0.5)
	EXPECT_EQ(at(rgba, 4, 3, 0), V({ 0.f, 0.f, 1.f, 0.25f }));     // never passed
	EXPECT_EQ(at(rgba, 4, 3, 3), V({ 0.f, 1.f, 0.f, 1.f }));
	delete ext;
	IZeVideoDriverExt* none = zeCreateVideoDriverExt(nullptr);  // no GL driver: touches nothing
	none->setStencilEnable(true);
	EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
	delete none;
}

TEST_F(TextureGL, GPUCopiesFillCubeFacesVolumesAndOtherFormats)
{
	std::vector<u32> texels(16);
	for (u32 i = 0; i < 16; ++i)
		texels[i] = 0xFF000000 | i * 0x0F0D0B;
	video::ITexture* flat = libraryTexture("src", 4, texels);
	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "dst", 4, ze::ECF_A8R8G8B8, false);
	ASSERT_TRUE(flat && cube);
	for (u32 face = 0; face < 6; ++face)
		ASSERT_TRUE(cube->uploadFace(face, std::vector<u32>(16, 0).data(), 64));
	EXPECT_FALSE(ze::copyTextureToCubeFace(libraryTexture("small", 2, texels), cube, 3));
	ASSERT_TRUE(ze::copyTextureToCubeFace(flat, cube, 3));
	V rgba;
	for (u32 face = 0; face < 6; ++face)
	{
		ASSERT_TRUE(ze::readTexture(cube, &rgba, face));
		for (u32 i = 0; i < 16; ++i)
			EXPECT_EQ(argb(rgba, i), face == 3 ? texels[i] : 0u) << face << " " << i;
	}

	ze::ITexture3D* a = ze::createTexture3D(Driver, "a", 2, 2, 4, ze::ECF_A8R8G8B8);
	ze::ITexture3D* b = ze::createTexture3D(Driver, "b", 2, 2, 4, ze::ECF_A8R8G8B8);
	ASSERT_TRUE(a && b && a->upload(texels.data(), 64));
	ASSERT_TRUE(ze::copyTexture(a, b));
	EXPECT_FALSE(ze::copyTexture(a, cube));
	video::ITexture* wide = ze::addRenderTargetTexture(Driver, dimension2d<u32>(4, 4), "wide", ze::ECF_A32B32G32R32F);
	ASSERT_TRUE(ze::copyTexture(flat, wide));  // 8-bit into float: converted on the way
	for (video::ITexture* copy : { static_cast<video::ITexture*>(b), wide })
	{
		ASSERT_TRUE(ze::readTexture(copy, &rgba));
		for (u32 i = 0; i < 16; ++i)
			EXPECT_EQ(argb(rgba, i), texels[i]) << copy->getName().getPath().c_str() << " " << i;
	}
	EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	cube->drop();
	a->drop();
	b->drop();
}

TEST_F(TextureGL, IndirectTexturesFollowTheirTargetAndTheRegistryFindsByName)
{
	ze::ITexture3D* vol = ze::createTexture3D(Driver, "Volume", 2, 2, 2, ze::ECF_R32F);
	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "sky", 8, ze::ECF_A8R8G8B8, false);
	video::ITexture* scene = ze::addRenderTargetTexture(Driver, dimension2d<u32>(16, 16), "scene", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(vol && cube && scene);
	ze::ITextureIndirect* indirect = ze::createTextureIndirect("ind", vol);
	EXPECT_EQ(indirect->getGLName(), vol->getGLName());
	EXPECT_EQ(indirect->getGLTarget(), static_cast<unsigned int>(GL_TEXTURE_3D));
	EXPECT_EQ(indirect->getSize(), dimension2d<u32>(2, 2));
	EXPECT_EQ(indirect->getFormat(), ze::ECF_R32F);
	const s32 cubeRefs = cube->getReferenceCount();
	indirect->setTarget(cube);
	EXPECT_EQ(cube->getReferenceCount(), cubeRefs + 1);
	EXPECT_EQ(indirect->getSize(), dimension2d<u32>(8, 8));
	unsigned int glTarget = 0;
	EXPECT_EQ(ze::getGLTextureName(indirect, &glTarget), cube->getGLName());
	EXPECT_EQ(glTarget, static_cast<unsigned int>(GL_TEXTURE_CUBE_MAP));
	ze::ITextureIndirect* outer = ze::createTextureIndirect("outer", indirect);
	EXPECT_EQ(ze::resolve(outer), cube);
	indirect->setTarget(outer);  // a loop: refused
	EXPECT_EQ(indirect->getTarget(), cube);
	indirect->setTarget(nullptr);
	EXPECT_EQ(cube->getReferenceCount(), cubeRefs);
	EXPECT_EQ(indirect->getGLName(), 0u);
	EXPECT_EQ(indirect->getSize(), dimension2d<u32>(0, 0));

	EXPECT_EQ(ze::findTexture(Driver, "Volume"), vol);
	EXPECT_EQ(ze::findTexture(Driver, "sky"), cube);
	EXPECT_EQ(ze::findTexture(Driver, "scene"), scene);
	EXPECT_EQ(ze::findTexture(Driver, "nothing"), nullptr);
	ze::removeTexture(cube);
	EXPECT_EQ(ze::findTexture(Driver, "sky"), nullptr);
	EXPECT_EQ(cube->getReferenceCount(), 1);
	ze::removeAllTextures();
	EXPECT_EQ(ze::findTexture(Driver, "Volume"), nullptr);
	EXPECT_EQ(vol->getReferenceCount(), 1);
	EXPECT_EQ(vol->getGLName(), 0u);   // its GL texture went with the registry
	EXPECT_NE(cube->getGLName(), 0u);  // out of the registry before: still its own
	for (ze::ITextureExt* t : std::vector<ze::ITextureExt*>{ vol, cube, indirect, outer })
		t->drop();
}

TEST_F(TextureGL, LibraryTextureNameIsWhatASamplerSeesAndKeepsTheLibrarysBindingsTrue)
{
	const std::vector<u32> image = { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF };
	video::ITexture* shown = libraryTexture("shown", 2, image);
	video::ITexture* other = libraryTexture("other", 2, { 0xFF808080 });
	ASSERT_TRUE(shown && other);
	unsigned int target = 0;
	const unsigned int name = ze::getGLTextureName(shown, &target);
	ASSERT_NE(name, 0u);
	EXPECT_EQ(target, static_cast<unsigned int>(GL_TEXTURE_2D));
	EXPECT_EQ(ze::getGLTextureName(shown), name);
	EXPECT_NE(ze::getGLTextureName(other), name);
	GLint active = 0;
	glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
	EXPECT_EQ(active, GL_TEXTURE0);
	glActiveTexture(GL_TEXTURE5);
	glBindTexture(GL_TEXTURE_2D, name);
	glActiveTexture(GL_TEXTURE0);
	const V seen = sample(program("uniform sampler2D tex;\nuniform vec2 size;\n"
		"void main() { gl_FragColor = texture2D(tex, gl_FragCoord.xy / size); }\n"), dimension2d<u32>(2, 2));
	ASSERT_EQ(seen.size(), 16u);
	for (u32 i = 0; i < 4; ++i)
		EXPECT_EQ(argb(seen, i), image[i]) << i;

	// A name learnt between two draws of the library leaves its record of
	// unit 0 true: the second draw shows its own texture, not the first one's.
	video::ITexture* late = libraryTexture("late", 2, { 0xFF20C040 });
	video::ITexture* canvas = ze::addRenderTargetTexture(Driver, dimension2d<u32>(4, 4), "canvas", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(late && canvas);
	Driver->beginScene(false, false);
	Driver->setRenderTarget(canvas, true, true, video::SColor(0));
	Driver->draw2DImage(other, core::position2d<s32>(0, 0));
	EXPECT_NE(ze::getGLTextureName(late), 0u);
	Driver->draw2DImage(late, core::position2d<s32>(2, 2));
	Driver->setRenderTarget(nullptr, false, false);
	Driver->endScene();
	V rgba;
	ASSERT_TRUE(ze::readTexture(canvas, &rgba));
	EXPECT_EQ(argb(rgba, 12), 0xFF808080);  // the library's targets keep the top row last
	EXPECT_EQ(argb(rgba, 3), 0xFF20C040);

	// Learning a name touches no binding: not the texture on unit 0 that a draw
	// is about to read, nor the frame buffer being drawn into.
	video::ITexture* fresh = libraryTexture("fresh", 2, { 0xFF102030 });
	video::ITexture* freshTarget = ze::addRenderTargetTexture(Driver, dimension2d<u32>(4, 4), "freshTarget", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(fresh && freshTarget);
	Driver->setRenderTarget(canvas, false, false);
	GLint framebufferBefore = 0;
	glBindTexture(GL_TEXTURE_2D, name);
	glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebufferBefore);
	const unsigned int freshName = ze::getGLTextureName(fresh);
	const unsigned int freshTargetName = ze::getGLTextureName(freshTarget);
	GLint boundAfter = 0, framebufferAfter = 0;
	glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundAfter);
	glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebufferAfter);
	Driver->setRenderTarget(nullptr, false, false);
	EXPECT_NE(freshName, 0u);
	EXPECT_NE(freshTargetName, 0u);
	EXPECT_NE(freshName, freshTargetName);
	EXPECT_EQ(boundAfter, static_cast<GLint>(name));
	EXPECT_EQ(framebufferAfter, framebufferBefore);
	ASSERT_TRUE(ze::readTexture(freshTarget, &rgba));
	EXPECT_EQ(rgba.size(), 64u);
}

TEST_F(TextureGL, MaterialSideRecordHoldsOurTexturesAndBindsThemFromUnitFour)
{
	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "env", 2, ze::ECF_A8R8G8B8, false);
	ze::ITexture3D* vol = ze::createTexture3D(Driver, "vol", 2, 2, 2, ze::ECF_A8R8G8B8);
	video::ITexture* flat = libraryTexture("flat", 2, { 0xFF336699 });
	ASSERT_TRUE(cube && vol && flat);
	ze::ITextureIndirect* indirect = ze::createTextureIndirect("ind", vol);
	video::SMaterial material;
	EXPECT_EQ(ze::getMaterialExt(material), nullptr);
	const s32 cubeRefs = cube->getReferenceCount();
	ze::setMaterialTexture(material, 1, cube);
	EXPECT_EQ(material.TextureLayer[1].Texture, nullptr);
	EXPECT_EQ(ze::getMaterialTexture(material, 1), cube);
	EXPECT_EQ(cube->getReferenceCount(), cubeRefs + 1);
	ze::setMaterialTexture(material, 0, flat);
	EXPECT_EQ(material.TextureLayer[0].Texture, flat);
	ze::setMaterialTexture(material, 2, indirect);
	ze::setMaterialTexture(material, 5, flat);
	ze::setMaterialVertexTexture(material, 0, vol);

	const video::SMaterial copy = material;
	EXPECT_EQ(ze::getMaterialExt(copy), ze::getMaterialExt(material));
	EXPECT_EQ(ze::getMaterialTextureUnit(copy, 0), 0u);
	EXPECT_EQ(ze::getMaterialTextureUnit(copy, 1), 5u);
	glActiveTexture(GL_TEXTURE3);
	EXPECT_EQ(ze::bindMaterialExtTextures(copy), 4u);
	GLint active = 0;
	glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
	EXPECT_EQ(active, GL_TEXTURE0);
	auto boundOn = [](u32 unit, GLenum query) {
		GLint name = 0;
		glActiveTexture(GL_TEXTURE0 + unit);
		glGetIntegerv(query, &name);
		glActiveTexture(GL_TEXTURE0);
		return static_cast<unsigned int>(name);
	};
	EXPECT_EQ(boundOn(5, GL_TEXTURE_BINDING_CUBE_MAP), cube->getGLName());
	EXPECT_EQ(boundOn(6, GL_TEXTURE_BINDING_3D), vol->getGLName());  // the indirect's target
	EXPECT_EQ(boundOn(9, GL_TEXTURE_BINDING_2D), ze::getGLTextureName(flat));
	EXPECT_EQ(boundOn(12, GL_TEXTURE_BINDING_3D), vol->getGLName());

	ze::setMaterialTexture(material, 1, nullptr);
	EXPECT_EQ(ze::getMaterialTexture(material, 1), nullptr);
	EXPECT_EQ(ze::getMaterialTexture(copy, 1), cube);
	video::SMaterial stale;
	stale.MaterialTypeParam2 = 3.5f;
	EXPECT_EQ(ze::getMaterialExt(stale), nullptr);
	ze::clearMaterialExts();
	EXPECT_EQ(cube->getReferenceCount(), cubeRefs);
	EXPECT_EQ(ze::getMaterialTexture(copy, 1), nullptr);
	video::SMaterial fresh;
	ze::setMaterialTexture(fresh, 1, cube);
	ASSERT_NE(ze::getMaterialExt(fresh), nullptr);
	EXPECT_EQ(ze::getMaterialExt(copy), nullptr);  // a new record never takes a freed handle
	ze::clearMaterialExts();
	for (ze::ITextureExt* t : std::vector<ze::ITextureExt*>{ cube, vol, indirect })
		t->drop();
}

// A texture that only says it belongs to the OpenGL driver has no GL name:
// nothing of the driver's GL texture class is asked of it.
class CPosingTexture : public video::ITexture
{
public:
	CPosingTexture() : video::ITexture("posing") {}
	void* lock(video::E_TEXTURE_LOCK_MODE, u32) override { return nullptr; }
	void unlock() override {}
	const dimension2d<u32>& getOriginalSize() const override { return Size; }
	const dimension2d<u32>& getSize() const override { return Size; }
	video::E_DRIVER_TYPE getDriverType() const override { return video::EDT_OPENGL; }
	video::ECOLOR_FORMAT getColorFormat() const override { return video::ECF_A8R8G8B8; }
	u32 getPitch() const override { return 16; }
	void regenerateMipMapLevels(void*) override {}

private:
	dimension2d<u32> Size{4, 4};
};

TEST(TextureNames, ATextureOfAnotherClassHasNoGLName)
{
	CPosingTexture* posing = new CPosingTexture();
	unsigned int target = 7;
	EXPECT_EQ(ze::getGLTextureName(posing, &target), 0u);
	EXPECT_EQ(target, 0u);
	EXPECT_EQ(posing->getReferenceCount(), 1);
	posing->drop();
}

std::vector<std::string> g_resets;
TEST(DeviceReset, CallbacksFirePreThenPostWithTheirUserValue)
{
	static int user = 0;
	zeSetDeviceResetCallbacks([](void* u) { g_resets.push_back(u == &user ? "pre" : "pre?"); },
		[](void* u) { g_resets.push_back(u == &user ? "post" : "post?"); }, &user);
	zeFireDeviceReset();
	EXPECT_EQ(g_resets, std::vector<std::string>({ "pre", "post" }));
	zeSetDeviceResetCallbacks(nullptr, nullptr, nullptr);
	zeFireDeviceReset();
	EXPECT_EQ(g_resets.size(), 2u);
}
} // namespace
