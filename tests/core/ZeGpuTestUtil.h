// The GPU-programming tests' fixture: a 64 x 64 OpenGL window (Xvfb in the
// test run), the service over its driver, quads drawn through the library's
// vertex arrays with a program bound, and the back buffer read back.
#pragma once

#include "core/IZeGpuProgramming.h"
#include "core/ZeGpuState.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFrameTestUtil.h"
#include "frame/ZeTestDisplay.h"
#include "libext/ZeGL.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace zegputest
{
using namespace irr;
using zetest::writeText;

const int SIZE = 64;
const char* const PASS_VS = "float4 mainVS(float4 p : POSITION) : POSITION { return p; }\n";

struct Pixels
{
	std::vector<u8> Bytes;
	// (x, y) from the top-left, as the window shows it.
	video::SColor at(int x, int y) const
	{
		const u8* p = &Bytes[((SIZE - 1 - y) * SIZE + x) * 4];
		return video::SColor(p[3], p[0], p[1], p[2]);
	}
	bool lit(int x, int y) const { return at(x, y).getRed() + at(x, y).getGreen() + at(x, y).getBlue() > 0; }
};

// Channels within 2 of 0-255 values.
inline ::testing::AssertionResult near(video::SColor got, int r, int g, int b)
{
	if (std::abs(int(got.getRed()) - r) <= 2 && std::abs(int(got.getGreen()) - g) <= 2 && std::abs(int(got.getBlue()) - b) <= 2)
		return ::testing::AssertionSuccess();
	return ::testing::AssertionFailure() << "got (" << got.getRed() << ", " << got.getGreen() << ", " << got.getBlue()
										 << "), want (" << r << ", " << g << ", " << b << ")";
}

class GpuGL : public zetest::FileLayerTest
{
protected:
	void SetUp() override
	{
		zetest::FileLayerTest::SetUp();
		SZeSetupParams p = zetest::glWindowSetup(SIZE, SIZE);
		p.antialias = 0;
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
		Driver = zeGetContext()->driver;
		ASSERT_EQ(Driver->getDriverType(), video::EDT_OPENGL);
		Gpu.reset(zeCreateGpuProgramming(Driver));
		zeSetRenderTargetFlip(false);
	}

	void TearDown() override
	{
		for (IZeShaderProgram* p : Programs)
			p->drop();
		if (!Textures.empty())
			glDeleteTextures(static_cast<GLsizei>(Textures.size()), Textures.data());
		Gpu.reset();
		zeTerm();
		zetest::FileLayerTest::TearDown();
	}

	IZeShaderProgram* program(const std::string& file, const SZeMacro* macros = nullptr, const char* ps = "mainPS")
	{
		IZeShaderProgram* p = Gpu->createProgram(file.c_str(), "mainVS", ps, macros);
		EXPECT_NE(p, nullptr) << Gpu->getLastError();
		if (p)
			Programs.push_back(p);
		return p;
	}

	// Writes float4 registers of a named constant.
	void set(IZeShaderProgram* p, const char* name, EZE_SHADER_STAGE stage, std::vector<f32> values)
	{
		const s32 i = p->findConstant(name, stage);
		ASSERT_GE(i, 0) << name;
		values.resize((values.size() + 3) / 4 * 4, 0.f);
		p->setRegisters(stage, p->getConstants()[i].RegisterIndex, values.data(), static_cast<u32>(values.size() / 4));
	}

	// One frame: a quad over [x0, x1] x [y0, y1] in clip space through the
	// library's vertex arrays, with `p` bound (null: fixed function), read back.
	Pixels draw(IZeShaderProgram* p, const core::matrix4& world = core::matrix4(), bool tangents = false,
		f32 x0 = -1, f32 y0 = -1, f32 x1 = 1, f32 y1 = 1)
	{
		Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		video::SMaterial m;
		m.Lighting = false;
		m.BackfaceCulling = false;
		m.ZBuffer = video::ECFN_ALWAYS;
		Driver->setMaterial(m);
		Driver->setTransform(video::ETS_WORLD, world);
		Driver->setTransform(video::ETS_VIEW, core::matrix4());
		Driver->setTransform(video::ETS_PROJECTION, core::matrix4());
		const video::SColor c(255, 255, 128, 64);
		video::S3DVertexTangents v[4] = {
			video::S3DVertexTangents(x0, y0, 0, 0, 0, -1, c, 0, 1, 1, 0.5f, 0.25f, 0.75f, 0.5f, 0.375f),
			video::S3DVertexTangents(x0, y1, 0, 0, 0, -1, c, 0, 0, 1, 0.5f, 0.25f, 0.75f, 0.5f, 0.375f),
			video::S3DVertexTangents(x1, y1, 0, 0, 0, -1, c, 1, 0, 1, 0.5f, 0.25f, 0.75f, 0.5f, 0.375f),
			video::S3DVertexTangents(x1, y0, 0, 0, 0, -1, c, 1, 1, 1, 0.5f, 0.25f, 0.75f, 0.5f, 0.375f) };
		video::S3DVertex plain[4];
		for (int i = 0; i < 4; ++i)
			plain[i] = video::S3DVertex(v[i].Pos, v[i].Normal, v[i].Color, v[i].TCoords);
		const u16 indices[6] = { 0, 1, 2, 0, 2, 3 };
		if (p)
			p->use();
		if (tangents)
			Driver->drawVertexPrimitiveList(v, 4, indices, 2, video::EVT_TANGENTS);
		else
			Driver->drawVertexPrimitiveList(plain, 4, indices, 2, video::EVT_STANDARD);
		if (p)
			zeUnbindProgram();
		Pixels out;
		out.Bytes.resize(SIZE * SIZE * 4);
		glReadBuffer(GL_BACK);
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, out.Bytes.data());
		Driver->endScene();
		return out;
	}

	GLuint texture(GLenum target, u32 unit)
	{
		GLuint t = 0;
		glGenTextures(1, &t);
		Textures.push_back(t);
		glActiveTexture(GL_TEXTURE0 + unit);
		glBindTexture(target, t);
		glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
		glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
		return t;
	}

	std::string file(const std::string& name, const std::string& text)
	{
		writeText(path(name), text);
		return path(name);
	}

	video::IVideoDriver* Driver = nullptr;
	std::unique_ptr<IZeGpuProgramming> Gpu;
	std::vector<IZeShaderProgram*> Programs;
	std::vector<GLuint> Textures;
};
} // namespace zegputest
