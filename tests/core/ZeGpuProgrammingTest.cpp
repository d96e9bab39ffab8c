// HLSL programs drawn for real (Xvfb, llvmpipe) through the library's vertex
// arrays and read back; constant tables; the shader cache; rebuilds.
#include "core/ZeGpuTestUtil.h"

#include <openssl/sha.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace irr;
using namespace zegputest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const char* const COLOUR_PS = "float4 Offset;\nfloat4 Colour;\n"
							  "float4 mainPS() : COLOR0 { return Colour + Offset; }\n";

TEST_F(GpuGL, RegistersColourTheQuadAndChangesReachTheNextDraw)
{
	IZeShaderProgram* p = program(file("shaders/colour.hlsl", std::string(PASS_VS) + COLOUR_PS));
	ASSERT_NE(p, nullptr);
	set(p, "Colour", EZESS_PIXEL, { 0.5f, 0.25f, 0, 1 });
	set(p, "Offset", EZESS_PIXEL, { 0, 0.5f, 0.25f, 0 });
	Pixels a = draw(p);
	EXPECT_TRUE(near(a.at(0, 0), 128, 191, 64));
	EXPECT_TRUE(near(a.at(SIZE - 1, SIZE - 1), 128, 191, 64));
	set(p, "Colour", EZESS_PIXEL, { 0, 0, 0.5f, 1 });  // Offset stays as uploaded
	EXPECT_TRUE(near(draw(p).at(32, 32), 0, 128, 191));
}

TEST_F(GpuGL, ColumnMajorMatrixTransformsLikeTheFixedFunctionPipeline)
{
	IZeShaderProgram* p = program(file("shaders/wvp.hlsl", "float4x4 WorldViewProj;\n"
		"float4 mainVS(float4 p : POSITION) : POSITION { return mul(p, WorldViewProj); }\n"
		"float4 mainPS() : COLOR0 { return float4(1, 1, 1, 1); }\n"));
	ASSERT_NE(p, nullptr);
	core::matrix4 scale, rotation, translation;
	scale.setScale(core::vector3df(0.5f, 0.6f, 1));
	rotation.setRotationDegrees(core::vector3df(0, 0, 30));
	translation.setTranslation(core::vector3df(0.2f, -0.1f, 0));
	const core::matrix4 m = translation * rotation * scale;
	auto silhouette = [&](const Pixels& px) {
		std::vector<bool> mask;
		for (int y = 0; y < SIZE; ++y)
			for (int x = 0; x < SIZE; ++x)
				mask.push_back(px.lit(x, y));
		return mask;
	};
	auto differing = [](const std::vector<bool>& a, const std::vector<bool>& b) {
		int n = 0;
		for (size_t i = 0; i < a.size(); ++i)
			n += a[i] != b[i];
		return n;
	};
	const std::vector<bool> fixed = silhouette(draw(nullptr, m));
	const int covered = static_cast<int>(std::count(fixed.begin(), fixed.end(), true));
	ASSERT_GT(covered, 300);
	ASSERT_LT(covered, SIZE * SIZE / 2);
	const core::matrix4 transposed = m.getTransposed();
	set(p, "WorldViewProj", EZESS_VERTEX, std::vector<f32>(transposed.pointer(), transposed.pointer() + 16));
	EXPECT_LE(differing(silhouette(draw(p)), fixed), 8);  // edge pixels at most
	set(p, "WorldViewProj", EZESS_VERTEX, std::vector<f32>(m.pointer(), m.pointer() + 16));
	EXPECT_GT(differing(silhouette(draw(p)), fixed), 100);  // untransposed is another shape
}

TEST_F(GpuGL, MacrosSwitchCodePathsAndCarryValues)
{
	const std::string f = file("shaders/macro.hlsl", std::string(PASS_VS) +
		"float4 mainPS() : COLOR0 {\n#ifdef RED\n return float4(LEVEL, 0, 0, 1);\n#else\n return float4(0, 0, 1, 1);\n#endif\n}\n");
	const SZeMacro red[] = { { "RED", nullptr }, { "LEVEL", "0.5" }, { nullptr, nullptr } };
	IZeShaderProgram* a = program(f, red);
	IZeShaderProgram* b = program(f);
	ASSERT_TRUE(a && b);
	EXPECT_TRUE(near(draw(a).at(10, 10), 128, 0, 0));
	EXPECT_TRUE(near(draw(b).at(10, 10), 0, 0, 255));
}

TEST_F(GpuGL, VertexInputsComeFromTheArraysAndVaryingsOfOtherWidthsLink)
{
	IZeShaderProgram* p = program(file("shaders/io.hlsl",
		"struct VOut { float4 pos : POSITION; float4 uv : TEXCOORD0; float2 extra : TEXCOORD1; float4 col : COLOR0; };\n"
		"VOut mainVS(float3 pos : POSITION, float2 uv : TEXCOORD0, float4 col : COLOR0, float3 t : TANGENT,\n"
		"  float3 b : BINORMAL, float3 n : NORMAL) {\n"
		"  VOut o; o.pos = float4(pos, 1); o.col = col;\n"
		"  o.uv = float4(uv, t.y, b.z); o.extra = float2(-n.z, 0.25); return o; }\n"
		"float4 mainPS(float2 uv : TEXCOORD0, float4 extra : TEXCOORD1, float4 col : COLOR0) : COLOR0 {\n"
		"#ifdef EXTRA\n return float4(extra.x * extra.w, extra.z, extra.y, 1);\n#elif defined(TANGENTS)\n return float4(0, 0, 0, 0);\n#else\n"
		" return float4(uv.x, col.g, uv.y, 1);\n#endif\n}\n"
		"float4 tangentPS(float4 uv : TEXCOORD0) : COLOR0 { return float4(uv.zw, 0, 1); }\n"));
	ASSERT_NE(p, nullptr);
	const Pixels a = draw(p);
	EXPECT_TRUE(near(a.at(0, 0), 2, 128, 2));           // texcoords (0, 0) top-left
	EXPECT_TRUE(near(a.at(SIZE - 1, SIZE - 1), 253, 128, 253));
	const SZeMacro extra[] = { { "EXTRA", "1" }, { nullptr, nullptr } };
	IZeShaderProgram* e = program(path("shaders/io.hlsl"), extra);  // float2 written, float4 read: z 0, w 1
	ASSERT_NE(e, nullptr);
	EXPECT_TRUE(near(draw(e).at(20, 20), 255, 0, 64));
	IZeShaderProgram* t = program(path("shaders/io.hlsl"), nullptr, "tangentPS");
	ASSERT_NE(t, nullptr);
	EXPECT_TRUE(near(draw(t, core::matrix4(), true).at(20, 20), 128, 96, 0));  // tangent.y, binormal.z
}

TEST_F(GpuGL, SamplersOf2DCubeAnd3DTexturesReadTheirTexels)
{
	IZeShaderProgram* p = program(file("shaders/tex.hlsl", std::string(
		"sampler2D Flat; samplerCUBE Sky : register(s2); sampler3D Volume; float4 Where;\n"
		"struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
		"VOut mainVS(float4 p : POSITION, float2 uv : TEXCOORD0) { VOut o; o.pos = p; o.uv = uv; return o; }\n"
		"float4 mainPS(float2 uv : TEXCOORD0) : COLOR0 {\n"
		"  return Where.w < 1 ? tex2D(Flat, uv) : Where.w < 2 ? texCUBE(Sky, Where.xyz) : tex3D(Volume, Where.xyz); }\n")));
	ASSERT_NE(p, nullptr);
	const auto& table = p->getConstants();
	const s32 flat = p->findConstant("Flat", EZESS_PIXEL), sky = p->findConstant("Sky", EZESS_PIXEL),
			  volume = p->findConstant("Volume", EZESS_PIXEL);
	ASSERT_TRUE(flat >= 0 && sky >= 0 && volume >= 0);
	EXPECT_EQ(table[flat].Type, EZECT_SAMPLER_2D);
	EXPECT_EQ(table[sky].Type, EZECT_SAMPLER_CUBE);
	EXPECT_EQ(table[volume].Type, EZECT_SAMPLER_3D);
	EXPECT_EQ(table[sky].RegisterIndex, 2u);
	EXPECT_NE(table[flat].RegisterIndex, table[volume].RegisterIndex);
	const u32 flatRegister = table[flat].RegisterIndex;
	p->setSamplerUnit(static_cast<u32>(flat), 5);
	EXPECT_EQ(table[flat].RegisterIndex, flatRegister);  // the unit is the holder's, the table the shader's

	const u32 quad[4] = { 0xff0000ff, 0xff00ff00, 0xffff0000, 0xffffffff };  // RGBA bytes, rows from the top
	texture(GL_TEXTURE_2D, 5);
	glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, quad);
	const u32 decoy = 0xff808080;
	texture(GL_TEXTURE_2D, 0);  // the unit Flat would take without setSamplerUnit
	glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &decoy);
	texture(GL_TEXTURE_CUBE_MAP, 2);
	for (u32 face = 0; face < 6; ++face)
	{
		const u32 texel = 0xff000000 | (face * 40 + 20);
		glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &texel);
	}
	texture(GL_TEXTURE_3D, table[volume].RegisterIndex);
	const u32 slices[2] = { 0xff00ff00, 0xffff00ff };
	glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA, 1, 1, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, slices);
	glActiveTexture(GL_TEXTURE0);

	set(p, "Where", EZESS_PIXEL, { 0, 0, 0, 0 });
	const Pixels a = draw(p);
	EXPECT_TRUE(near(a.at(8, 8), 255, 0, 0));
	EXPECT_TRUE(near(a.at(56, 8), 0, 255, 0));
	EXPECT_TRUE(near(a.at(8, 56), 0, 0, 255));
	EXPECT_TRUE(near(a.at(56, 56), 255, 255, 255));
	const f32 directions[6][3] = { { 1, 0, 0 }, { -1, 0, 0 }, { 0, 1, 0 }, { 0, -1, 0 }, { 0, 0, 1 }, { 0, 0, -1 } };
	for (int face = 0; face < 6; ++face)
	{
		set(p, "Where", EZESS_PIXEL, { directions[face][0], directions[face][1], directions[face][2], 1.5f });
		EXPECT_TRUE(near(draw(p).at(32, 32), face * 40 + 20, 0, 0)) << "face " << face;
	}
	set(p, "Where", EZESS_PIXEL, { 0.5f, 0.5f, 0.25f, 2.5f });
	EXPECT_TRUE(near(draw(p).at(32, 32), 0, 255, 0));
	set(p, "Where", EZESS_PIXEL, { 0.5f, 0.5f, 0.75f, 2.5f });
	EXPECT_TRUE(near(draw(p).at(32, 32), 255, 0, 255));
}

TEST_F(GpuGL, SamplersDecodeSrgbTexelsWhenAsked)
{
	// Every kind of sampler and read the HLSL side has, an array, a sampler
	// passed to a function, and a vertex-stage read.
	IZeShaderProgram* p = program(file("shaders/srgb.hlsl", std::string(
		"sampler2D Flat; samplerCUBE Sky; sampler3D Volume; sampler2D Pair[2]; sampler2D Vert; float4 Read;\n"
		"struct VOut { float4 pos : POSITION; float4 fromVertex : TEXCOORD0; };\n"
		"VOut mainVS(float4 p : POSITION) { VOut o; o.pos = p; o.fromVertex = tex2Dlod(Vert, float4(0.5, 0.5, 0, 0)); return o; }\n"
		"float4 samplerTwice(sampler2D s, float2 uv) { return 0.5 * tex2D(s, uv) + 0.5 * tex2Dbias(s, float4(uv, 0, 0)); }\n"
		"float4 mainPS(float4 fromVertex : TEXCOORD0) : COLOR0 {\n"
		"  float2 uv = float2(0.5, 0.5);\n"
		"  return Read.x < 1 ? tex2D(Flat, uv) : Read.x < 2 ? tex2Dlod(Flat, float4(uv, 0, 0)) :\n"
		"    Read.x < 3 ? tex2Dproj(Flat, float4(uv, 0, 1)) : Read.x < 4 ? tex2Dgrad(Flat, uv, 0, 0) :\n"
		"    Read.x < 5 ? texCUBE(Sky, float3(1, 0, 0)) : Read.x < 6 ? tex3D(Volume, float3(uv, 0.5)) :\n"
		"    Read.x < 7 ? tex2D(Pair[0], uv) : Read.x < 8 ? tex2D(Pair[1], uv) : Read.x < 9 ? samplerTwice(Flat, uv) : fromVertex; }\n")));
	ASSERT_NE(p, nullptr) << Gpu->getLastError();
	const char* names[] = { "Flat", "Sky", "Volume", "Pair" };
	s32 index[4];
	for (int i = 0; i < 4; ++i)
	{
		index[i] = p->findConstant(names[i], EZESS_PIXEL);
		ASSERT_GE(index[i], 0) << names[i];
	}
	const s32 vert = p->findConstant("Vert", EZESS_VERTEX);
	ASSERT_GE(vert, 0);
	// Mid grey (alpha 128 too) everywhere.
	const u32 grey = 0x80808080;
	const u32 units[4] = { 5, 6, 7, 8 };
	p->setSamplerUnit(static_cast<u32>(index[0]), units[0]);
	texture(GL_TEXTURE_2D, units[0]);
	glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &grey);
	p->setSamplerUnit(static_cast<u32>(index[1]), units[1]);
	texture(GL_TEXTURE_CUBE_MAP, units[1]);
	for (u32 face = 0; face < 6; ++face)
		glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &grey);
	p->setSamplerUnit(static_cast<u32>(index[2]), units[2]);
	texture(GL_TEXTURE_3D, units[2]);
	glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA, 1, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &grey);
	p->setSamplerUnit(static_cast<u32>(index[3]), units[3]);  // elements on units 8 and 9
	for (u32 unit : { 8u, 9u })
	{
		texture(GL_TEXTURE_2D, unit);
		glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &grey);
	}
	p->setSamplerUnit(static_cast<u32>(vert), 10);
	texture(GL_TEXTURE_2D, 10);
	glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &grey);
	glActiveTexture(GL_TEXTURE0);

	const int linear = static_cast<int>(std::lround(std::pow((128 / 255.0 + 0.055) / 1.055, 2.4) * 255));  // 55
	struct Case { f32 Read; s32 Constant; };
	const Case cases[] = { { 0.5f, index[0] }, { 1.5f, index[0] }, { 2.5f, index[0] }, { 3.5f, index[0] },
		{ 4.5f, index[1] }, { 5.5f, index[2] }, { 6.5f, index[3] }, { 7.5f, index[3] }, { 8.5f, index[0] }, { 9.5f, vert } };
	for (const Case& c : cases)
	{
		set(p, "Read", EZESS_PIXEL, { c.Read, 0, 0, 0 });
		p->setSamplerSRGB(static_cast<u32>(c.Constant), false);
		EXPECT_TRUE(near(draw(p).at(32, 32), 128, 128, 128)) << "read " << c.Read << ", flag off";
		p->setSamplerSRGB(static_cast<u32>(c.Constant), true);
		EXPECT_TRUE(near(draw(p).at(32, 32), linear, linear, linear)) << "read " << c.Read << ", flag on";
		p->setSamplerSRGB(static_cast<u32>(c.Constant), false);
	}
	// Alpha stays as stored; the flag outlives a rebuild of the program.
	IZeShaderProgram* alpha = program(file("shaders/alpha.hlsl", std::string(PASS_VS) +
		"sampler2D Flat;\nfloat4 mainPS() : COLOR0 { return tex2D(Flat, float2(0.5, 0.5)).aaaa; }\n"));
	ASSERT_NE(alpha, nullptr);
	const u32 flat = static_cast<u32>(alpha->findConstant("Flat", EZESS_PIXEL));
	alpha->setSamplerUnit(flat, units[0]);
	alpha->setSamplerSRGB(flat, true);
	EXPECT_TRUE(near(draw(alpha).at(32, 32), 128, 128, 128));
	writeText(path("shaders/alpha.hlsl"), std::string(PASS_VS) +
		"sampler2D Flat;\nfloat4 mainPS() : COLOR0 { return tex2D(Flat, float2(0.5, 0.5)).rrra; }\n");
	const std::string changed = path("shaders/alpha.hlsl");
	const char* files[] = { changed.c_str() };
	ASSERT_EQ(Gpu->updateShaders(1, files), 1u);
	EXPECT_TRUE(near(draw(alpha).at(32, 32), linear, linear, linear));
}

TEST_F(GpuGL, ArraysPastTheDriversUnitsAndRegistersAreRefusedBeforeGL)
{
	GLint units = 0, vertexUnits = 0, combined = 0;
	glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
	glGetIntegerv(GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS, &vertexUnits);
	glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &combined);
	ASSERT_GT(units, 1);
	ASSERT_GE(combined, 16 + vertexUnits);  // vertex samplers start at unit 16
	const u32 registers = Gpu->getMaxConstantRegisters();
	auto shader = [&](const std::string& name, const std::string& declaration, const char* read) {
		return file("shaders/" + name + ".hlsl", std::string(PASS_VS) + declaration + ";\n" +
			"float4 mainPS() : COLOR0 { return " + read + "; }\n");
	};
	const std::string n = std::to_string(units), regs = std::to_string(registers);
	const struct
	{
		std::string File;
		std::string Error;  // "": builds
	} cases[] = {
		{shader("fit", "sampler2D s[" + n + "]", "tex2D(s[0], float2(0.5, 0.5))"), ""},
		{shader("past", "sampler2D s[" + n + "] : register(s1)", "tex2D(s[0], float2(0.5, 0.5))"),
			"pixel shader %\n's' reads texture units past the pixel stage's " + n + " (s1 to s" + n + ")"},
		{shader("huge", "sampler2D s[100000000]", "tex2D(s[0], float2(0.5, 0.5))"),
			"pixel shader %\n's' reads texture units past the pixel stage's " + n + " (s0 to s99999999)"},
		{shader("two", "sampler2D s[2147483647] : register(s3); sampler2D t[2147483647]",
			 "tex2D(s[1], float2(0.5, 0.5)) + tex2D(t[1], float2(0.5, 0.5))"),
			"pixel shader %\n's' reads texture units past the pixel stage's " + n + " (s3 to s2147483649)"},
		{shader("squareSamplers", "sampler2D s[2][2]", "tex2D(s[1][0], float2(0.5, 0.5))"),
			"vertex shader %\n's': sampler arrays have one dimension"},
		{file("shaders/vertex.hlsl", "sampler2D v[" + std::to_string(vertexUnits + 1) + "];\n"
			"float4 mainVS(float4 p : POSITION) : POSITION { return p + tex2Dlod(v[0], float4(0, 0, 0, 0)); }\n"
			"float4 mainPS() : COLOR0 { return 1; }\n"),
			"vertex shader %\n'v' reads texture units past the vertex stage's " + std::to_string(vertexUnits) + " (s0 to s"
				+ std::to_string(vertexUnits) + ")"},
		{shader("regs", "float4 c[" + regs + "]", "c[0]"), ""},
		{shader("pastRegs", "float4 c[" + std::to_string(registers + 1) + "]", "c[0]"),
			"pixel shader %\n'c' takes constant registers past the stage's " + regs + " (c0 to c" + regs + ")"},
		{shader("unread", "float4 c[100000000]", "1"),
			"vertex shader %\nthe constants take registers past the stage's " + regs + " (c0 to c99999999)"},
		// Past what SPIR-V's 32-bit sizes hold: past any driver's registers.
		{shader("square", "float4 c[65536][65536]", "c[1][0]"),
			"pixel shader %\n'c' takes constant registers past the stage's " + regs + " (c0 to c4294967294)"},
	};
	for (const auto& c : cases)
	{
		const SZeGpuStats before = Gpu->getStats();
		IZeShaderProgram* p = Gpu->createProgram(c.File.c_str(), "mainVS", "mainPS", nullptr);
		if (p)
			Programs.push_back(p);
		EXPECT_EQ(p != nullptr, c.Error.empty()) << c.File << ": " << Gpu->getLastError();
		std::string expected = c.Error;
		if (!expected.empty())
			expected = "ZeGPU: Failed to Compile " + expected.replace(expected.find('%'), 1, c.File);
		EXPECT_EQ(p ? "" : Gpu->getLastError(), expected);
		EXPECT_EQ(Gpu->getStats().Links, before.Links + (p ? 1 : 0)) << c.File;  // refused before GL compiles it
	}
	// Samplers without a register take the first units free for all their elements.
	IZeShaderProgram* p = program(shader("gaps", "sampler2D a : register(s0); sampler2D b : register(s2); sampler2D c[2]; "
		"sampler2D d", "tex2D(a, 0.5) + tex2D(b, 0.5) + tex2D(c[1], 0.5) + tex2D(d, 0.5)"));
	ASSERT_NE(p, nullptr);
	EXPECT_EQ(p->getConstants()[p->findConstant("c", EZESS_PIXEL)].RegisterIndex, 3u);
	EXPECT_EQ(p->getConstants()[p->findConstant("d", EZESS_PIXEL)].RegisterIndex, 1u);
}

TEST_F(GpuGL, IncludesResolveFromAZipMountedInMemory)
{
	Zip = zetest::buildZip({ { "fx/main.hlsl", std::string(PASS_VS) + "#include \"near.hlsl\"\n#include \"far.hlsl\"\n"
												  "float4 mainPS() : COLOR0 { return float4(NEAR_RED, FAR_GREEN, 0, 1); }\n" },
		{ "fx/near.hlsl", "#define NEAR_RED 1\n" }, { "shaders/far.hlsl", "#define FAR_GREEN 0.5\n" } });
	ASSERT_EQ(zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
	ASSERT_TRUE(zeIsPackedFilesystem());
	IZeShaderProgram* p = program("fx/main.hlsl");
	ASSERT_NE(p, nullptr);
	EXPECT_TRUE(near(draw(p).at(5, 5), 255, 128, 0));
	std::vector<std::string> sources;
	for (u32 i = 0; i < p->getSourceFiles().size(); ++i)
		sources.push_back(p->getSourceFiles()[i].c_str());
	EXPECT_EQ(sources, (std::vector<std::string>{ "fx/main.hlsl", "fx/near.hlsl", "shaders/far.hlsl" }));
}

TEST_F(GpuGL, ConstantTableGivesRegistersShapesAndLayoutsOfWhatEachStageReads)
{
	IZeShaderProgram* p = program(file("shaders/table.hlsl",
		"float4x4 WorldViewProj; row_major float4x3 Bones[3]; float3x2 Skew; float Scale; float2 Offsets[2];\n"
		"bool Flag; int Count; float Unread;\n"
		"float4 mainVS(float4 p : POSITION) : POSITION {\n"
		"  p = mul(p, WorldViewProj); p.xyz += mul(p, Bones[2]) + float3(mul(p.xyz, Skew), 0); return p; }\n"
		"float4 mainPS() : COLOR0 { return float4(Flag ? Scale : 1, Offsets[1].y, Count / 4.0, 1); }\n"));
	ASSERT_NE(p, nullptr);
	// Globals take registers in declaration order, each from a register of its own
	// (Flag and Count would share one in a cbuffer); column_major matrices take a
	// register per column, row_major ones per row.
	struct Want { const char* name; EZE_SHADER_STAGE stage; EZE_CONSTANT_TYPE type; u32 index, count, rows, columns, elements; bool rowMajor; };
	const Want wants[] = { { "WorldViewProj", EZESS_VERTEX, EZECT_FLOAT, 0, 4, 4, 4, 1, false },
		{ "Bones", EZESS_VERTEX, EZECT_FLOAT, 4, 12, 4, 3, 3, true }, { "Skew", EZESS_VERTEX, EZECT_FLOAT, 16, 2, 3, 2, 1, false },
		{ "Scale", EZESS_PIXEL, EZECT_FLOAT, 18, 1, 1, 1, 1, false }, { "Offsets", EZESS_PIXEL, EZECT_FLOAT, 19, 2, 1, 2, 2, false },
		{ "Flag", EZESS_PIXEL, EZECT_BOOL, 21, 1, 1, 1, 1, false }, { "Count", EZESS_PIXEL, EZECT_INT, 22, 1, 1, 1, 1, false } };
	const auto& table = p->getConstants();
	for (const Want& w : wants)
	{
		const s32 at = p->findConstant(w.name, w.stage);
		ASSERT_GE(at, 0) << w.name;
		EXPECT_EQ(p->findConstant(w.name, w.stage == EZESS_VERTEX ? EZESS_PIXEL : EZESS_VERTEX), -1) << w.name;
		const SZeShaderConstant& c = table[at];
		EXPECT_EQ(c.Type, w.type) << w.name;
		EXPECT_EQ(c.RegisterIndex, w.index) << w.name;
		EXPECT_EQ(c.RegisterCount, w.count) << w.name;
		EXPECT_EQ(c.Rows, w.rows) << w.name;
		EXPECT_EQ(c.Columns, w.columns) << w.name;
		EXPECT_EQ(c.Elements, w.elements) << w.name;
		EXPECT_EQ(c.RowMajor, w.rowMajor) << w.name;
	}
	EXPECT_EQ(p->findConstant("Unread", EZESS_PIXEL), -1);
	for (u32 i = 1; i < table.size(); ++i)
		EXPECT_LE(table[i - 1].Stage, table[i].Stage);  // vertex stage first
	// The registers the table names are the ones the shader reads.
	const f32 identity[16] = { 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1 };
	set(p, "WorldViewProj", EZESS_VERTEX, std::vector<f32>(identity, identity + 16));
	set(p, "Scale", EZESS_PIXEL, { 0.25f });
	set(p, "Offsets", EZESS_PIXEL, { 9, 9, 9, 9, 9, 0.5f });
	set(p, "Count", EZESS_PIXEL, { 3 });
	set(p, "Flag", EZESS_PIXEL, { 1 });
	EXPECT_TRUE(near(draw(p).at(32, 32), 64, 128, 191));
	set(p, "Flag", EZESS_PIXEL, { 0 });
	EXPECT_TRUE(near(draw(p).at(32, 32), 255, 128, 191));
}

// SHA-1 through libcrypto and a bit-by-bit base32, apart from the service's.
std::string expectedKey(const std::string& text)
{
	unsigned char h[20];
	SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), h);
	std::string out;
	for (int bit = 0; bit < 160; bit += 5)
	{
		int v = 0;
		for (int k = bit; k < bit + 5; ++k)
			v = v << 1 | ((h[k / 8] >> (7 - k % 8)) & 1);
		out += "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"[v];
	}
	return out;
}

std::string readAll(const std::string& name)
{
	std::ifstream in(name, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void expectStats(const IZeGpuProgramming& gpu, u32 translations, u32 hits, u32 writes)
{
	const SZeGpuStats s = gpu.getStats();
	EXPECT_EQ(s.Translations, translations);
	EXPECT_EQ(s.CacheHits, hits);
	EXPECT_EQ(s.CacheWrites, writes);
}

TEST_F(GpuGL, CacheNamesEntriesByMacroSetAndHitsUntilAnIncludeChanges)
{
	const std::string f = file("shaders/Lpp.hlsl", std::string(PASS_VS) +
		"#include \"lpp.inc\"\nfloat4 mainPS() : COLOR0 { return float4(LEVEL, GREEN, 0, 1); }\n");
	writeText(path("shaders/lpp.inc"), "#define GREEN 0.5\n");
	const SZeMacro macros[] = { { "LEVEL", "1" }, { "MODE", "two" }, { nullptr, nullptr } };
	const std::string key = expectedKey("LEVEL=1\nMODE=two\n");
	const std::string vso = "shaders!Lpp!mainVS!" + key + ".vso", pso = "shaders!Lpp!mainPS!" + key + ".pso";
	EXPECT_EQ(Gpu->getCacheFileName(f.c_str(), "mainVS", EZESS_VERTEX, macros).c_str(), vso);
	EXPECT_EQ(Gpu->getCacheFileName(f.c_str(), "mainPS", EZESS_PIXEL, macros).c_str(), pso);
	EXPECT_EQ(Gpu->getCacheFileName(f.c_str(), "mainVS", EZESS_VERTEX, nullptr).c_str(),
		"shaders!Lpp!mainVS!" + expectedKey("") + ".vso");

	const std::string cache = path("shadersCache");
	auto fresh = [&] {
		Gpu.reset(zeCreateGpuProgramming(Driver));
		Gpu->setShaderCache(cache.c_str(), false);
	};
	fresh();
	ASSERT_NE(program(f, macros), nullptr);
	expectStats(*Gpu, 2, 0, 2);
	for (const std::string& name : { vso, pso })
	{
		EXPECT_TRUE(std::filesystem::is_regular_file(cache + "/" + name)) << name;
		EXPECT_EQ(readAll(cache + "/" + name + ".inf"), "LEVEL=1\nMODE=two\n");
	}
	fresh();
	IZeShaderProgram* again = program(f, macros);
	ASSERT_NE(again, nullptr);
	expectStats(*Gpu, 0, 2, 0);
	EXPECT_EQ(Gpu->getStats().Links, 1u);
	EXPECT_TRUE(near(draw(again).at(3, 3), 255, 128, 0));

	writeText(path("shaders/lpp.inc"), "#define GREEN 0.25\n");  // both stages include it
	fresh();
	IZeShaderProgram* edited = program(f, macros);
	ASSERT_NE(edited, nullptr);
	expectStats(*Gpu, 2, 0, 2);
	EXPECT_TRUE(near(draw(edited).at(3, 3), 255, 64, 0));
}

TEST_F(GpuGL, ReadOnlyCacheWritesNothingAndBadEntriesAreRefusedAndRebuilt)
{
	const std::string f = file("shaders/ro.hlsl", std::string(PASS_VS) + COLOUR_PS);
	const std::string cache = path("cacheRO");
	auto fresh = [&](bool readOnly) {
		Gpu.reset(zeCreateGpuProgramming(Driver));
		Gpu->setShaderCache(cache.c_str(), readOnly);
	};
	fresh(true);
	ASSERT_NE(program(f), nullptr);
	EXPECT_FALSE(std::filesystem::exists(cache));
	expectStats(*Gpu, 2, 0, 0);
	fresh(false);
	ASSERT_NE(program(f), nullptr);
	fresh(true);
	ASSERT_NE(program(f), nullptr);
	expectStats(*Gpu, 0, 2, 0);

	const std::string pso = cache + "/" + Gpu->getCacheFileName(f.c_str(), "mainVS", EZESS_PIXEL, nullptr).c_str();
	const std::string entry = cache + "/" + Gpu->getCacheFileName(f.c_str(), "mainPS", EZESS_PIXEL, nullptr).c_str();
	EXPECT_FALSE(std::filesystem::exists(pso));
	const std::string good = readAll(entry);
	ASSERT_GT(good.size(), 100u);
	std::string middle = good, last = good;
	middle[good.size() / 2] ^= 0x20;
	last.back() ^= 0x20;  // in the GLSL text
	for (const std::string& bad : { middle, last, good.substr(0, good.size() / 2), std::string(40, '\xff'), std::string() })
	{
		writeText(entry, bad);
		fresh(false);
		IZeShaderProgram* p = program(f);
		ASSERT_NE(p, nullptr);
		expectStats(*Gpu, 1, 1, 1);
		EXPECT_EQ(readAll(entry), good);  // rewritten
		set(p, "Colour", EZESS_PIXEL, { 0, 1, 0, 1 });
		EXPECT_TRUE(near(draw(p).at(30, 30), 0, 255, 0));
	}
}

TEST_F(GpuGL, BrokenShadersGiveNullWithTheFailingStageAndTheCompilerMessages)
{
	auto failure = [&](const std::string& f, const char* vs, const char* ps, const char* stage, const char* message) {
		zetest::logLines().clear();
		EXPECT_EQ(Gpu->createProgram(f.c_str(), vs, ps, nullptr), nullptr);
		const std::string headline = std::string("ZeGPU: Failed to Compile ") + stage + " shader " + f;
		EXPECT_EQ(zetest::countLines("ERROR : " + headline + "\n"), 1);
		const std::string error = Gpu->getLastError();
		EXPECT_EQ(error.find(headline + "\n"), 0u) << error;
		EXPECT_NE(error.find(message), std::string::npos) << error;
		int logged = 0;
		for (const std::string& line : zetest::logLines())
			logged += line.find(message) != std::string::npos;
		EXPECT_GE(logged, 1) << message;
	};
	// A file that does not parse fails at the first stage translated.
	const std::string syntax = file("shaders/broken.hlsl", std::string(PASS_VS) +
		"float4 mainPS() : COLOR0 { return undefinedColour; }\n");
	failure(syntax, "mainVS", "mainPS", "vertex", "'undefinedColour' : unknown variable");
	const std::string f = file("shaders/pixel.hlsl", std::string(PASS_VS) +
		"float4 mainPS(float4 uv : TEXCOORD0) { return uv; }\n");
	failure(f, "mainVS", "noSuchPS", "pixel", "Entry point not found");
	failure(f, "mainVS", "mainPS", "pixel", "the return value of mainPS has no semantic");
	EXPECT_EQ(Gpu->getStats().Links, 0u);
}

TEST_F(GpuGL, UpdateShadersRebuildsLiveProgramsInPlace)
{
	const std::string f = file("shaders/Live.hlsl", std::string(PASS_VS) +
		"#include \"tint.inc\"\nfloat4 Colour;\nfloat4 mainPS() : COLOR0 { return Colour * TINT; }\n");
	writeText(path("shaders/tint.inc"), "#define TINT float4(1, 0, 0, 1)\n");
	Gpu->setShaderCache(path("cache").c_str(), false);
	IZeShaderProgram* p = program(f);
	IZeShaderProgram* other = program(file("shaders/other.hlsl", std::string(PASS_VS) + COLOUR_PS));
	ASSERT_TRUE(p && other);
	set(p, "Colour", EZESS_PIXEL, { 1, 1, 1, 1 });
	EXPECT_TRUE(near(draw(p).at(9, 9), 255, 0, 0));

	writeText(path("shaders/tint.inc"), "#define TINT float4(0, 1, 0, 1)\n");
	std::string changed = path("shaders/tint.inc");  // as a tool might name it
	for (char& c : changed)
		c = c == '/' ? '\\' : static_cast<char>(toupper(static_cast<unsigned char>(c)));
	const char* names[] = { changed.c_str() };
	EXPECT_EQ(Gpu->updateShaders(1, names), 1u);
	EXPECT_EQ(zetest::countLines("INFO : ZeGPU: shader file changed: " + changed + "\n"), 1);
	EXPECT_EQ(p->getRevision(), 1u);
	EXPECT_EQ(other->getRevision(), 0u);
	EXPECT_TRUE(near(draw(p).at(9, 9), 0, 255, 0));  // same object, Colour kept

	writeText(path("shaders/tint.inc"), "#define TINT nonsense\n");
	EXPECT_EQ(Gpu->updateShaders(1, names), 0u);
	EXPECT_EQ(p->getRevision(), 1u);
	EXPECT_TRUE(near(draw(p).at(9, 9), 0, 255, 0));  // the previous program stays
}

TEST_F(GpuGL, IdenticalRequestsShareOneLinkedProgramUntilItsLastReferenceGoes)
{
	const std::string f = file("shaders/Shared.hlsl", std::string(PASS_VS) +
		"#include \"tint.inc\"\nfloat4 Colour;\nfloat4 mainPS() : COLOR0 { return Colour * TINT; }\n"
		"float4 otherPS() : COLOR0 { return TINT; }\n");
	writeText(path("shaders/tint.inc"), "#define TINT float4(1, 0, 0, 1)\n");
	const SZeMacro macros[] = { { "LEVEL", "1" }, { "MODE", nullptr }, { nullptr, nullptr } };
	// The same names and values in other storage.
	std::string level = "LEVEL", one = "1", mode = "MODE";
	const SZeMacro copy[] = { { level.c_str(), one.c_str() }, { mode.c_str(), nullptr }, { nullptr, nullptr } };
	const SZeMacro other[] = { { "LEVEL", "2" }, { "MODE", nullptr }, { nullptr, nullptr } };

	IZeShaderProgram* a = program(f, macros);
	IZeShaderProgram* b = program(f, copy);
	ASSERT_TRUE(a && b);
	EXPECT_EQ(a, b);
	EXPECT_EQ(Gpu->getStats().Translations, 2u);  // one vertex and one pixel stage
	EXPECT_EQ(Gpu->getStats().Links, 1u);
	// Other macros, another entry point: programs of their own.
	IZeShaderProgram* c = program(f, other);
	IZeShaderProgram* d = program(f, macros, "otherPS");
	ASSERT_TRUE(c && d);
	EXPECT_NE(c, a);
	EXPECT_NE(d, a);
	EXPECT_NE(d, c);
	EXPECT_EQ(Gpu->getStats().Links, 3u);

	// Both holders draw with it; a hot rebuild rebuilds the one shared object.
	set(a, "Colour", EZESS_PIXEL, { 1, 1, 1, 1 });
	EXPECT_TRUE(near(draw(b).at(9, 9), 255, 0, 0));
	writeText(path("shaders/tint.inc"), "#define TINT float4(0, 1, 0, 1)\n");
	const std::string changed = path("shaders/tint.inc");
	const char* names[] = { changed.c_str() };
	EXPECT_EQ(Gpu->updateShaders(1, names), 3u);
	EXPECT_EQ(a->getRevision(), 1u);
	EXPECT_EQ(Gpu->getStats().Links, 6u);
	IZeShaderProgram* again = program(f, macros);
	EXPECT_EQ(again, a);
	EXPECT_EQ(Gpu->getStats().Links, 6u);
	EXPECT_TRUE(near(draw(again).at(9, 9), 0, 255, 0));

	// Once every reference is dropped, a request builds it anew.
	for (IZeShaderProgram* held : { a, b, again })
	{
		held->drop();
		Programs.erase(std::find(Programs.begin(), Programs.end(), held));
	}
	IZeShaderProgram* fresh = program(f, macros);
	ASSERT_NE(fresh, nullptr);
	EXPECT_EQ(fresh->getRevision(), 0u);
	EXPECT_EQ(Gpu->getStats().Links, 7u);
	set(fresh, "Colour", EZESS_PIXEL, { 1, 1, 1, 1 });
	EXPECT_TRUE(near(draw(fresh).at(9, 9), 0, 255, 0));
}

TEST_F(GpuGL, RenderTargetFlipTurnsTheImageKeepsFacingAndVPosCountsFromTheTop)
{
	IZeShaderProgram* p = program(file("shaders/vpos.hlsl", std::string(PASS_VS) +
		"float4 mainPS(float2 v : VPOS, float face : VFACE) : COLOR0 { return float4(v / 255.0, face > 0 ? 1 : 0.5, 1); }\n"));
	ASSERT_NE(p, nullptr);
	GLint winding = 0, after = 0;
	glGetIntegerv(GL_FRONT_FACE, &winding);
	const Pixels up = draw(p, core::matrix4(), false, -1, 0, 1, 1);  // the upper half of clip space
	EXPECT_FALSE(up.lit(10, 50));
	EXPECT_TRUE(near(up.at(10, 20), 10, 20, 255));
	zeSetRenderTargetFlip(true);
	const Pixels down = draw(p, core::matrix4(), false, -1, 0, 1, 1);
	zeSetRenderTargetFlip(false);
	glGetIntegerv(GL_FRONT_FACE, &after);
	EXPECT_EQ(after, winding);
	EXPECT_FALSE(down.lit(10, 10));
	EXPECT_TRUE(near(down.at(10, 50), 10, SIZE - 1 - 50, 255));  // rows of a target count from GL's first
}
} // namespace
