// Point clouds and tangent copies of meshes.
#include "scene/CZeMeshManipulator.h"

#include "frame/ZeLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace irr;

namespace
{
	std::vector<std::string> g_lines;
	void captureLine(const char* line) { g_lines.push_back(line); }
	std::string captured()
	{
		std::string all;
		for (const std::string& l : g_lines)
			all += l;
		return all;
	}

	// Adds a triangle whose texture coordinates are (x / 10, y / 10).
	void addTriangle(scene::SMeshBuffer* buffer, const core::vector3df& a, const core::vector3df& b,
		const core::vector3df& c)
	{
		const core::vector3df p[3] = {a, b, c};
		for (const core::vector3df& v : p)
		{
			buffer->Indices.push_back((u16)buffer->Vertices.size());
			buffer->Vertices.push_back(video::S3DVertex(v, core::vector3df(0, 0, 1), video::SColor(0xFFFFFFFF),
				core::vector2df(v.X / 10, v.Y / 10)));
		}
	}

	scene::SMesh* meshOf(std::vector<scene::IMeshBuffer*> buffers)
	{
		scene::SMesh* mesh = new scene::SMesh();
		for (scene::IMeshBuffer* b : buffers)
		{
			b->recalculateBoundingBox();
			mesh->addMeshBuffer(b);
			b->drop();
		}
		return mesh;
	}

	// Barycentric coordinates of p in the xy-plane triangle abc.
	core::vector3df barycentric(const core::vector3df& p, const core::vector3df& a, const core::vector3df& b,
		const core::vector3df& c)
	{
		const f32 d = (b.Y - c.Y) * (a.X - c.X) + (c.X - b.X) * (a.Y - c.Y);
		const f32 l0 = ((b.Y - c.Y) * (p.X - c.X) + (c.X - b.X) * (p.Y - c.Y)) / d;
		const f32 l1 = ((c.Y - a.Y) * (p.X - c.X) + (a.X - c.X) * (p.Y - c.Y)) / d;
		return core::vector3df(l0, l1, 1 - l0 - l1);
	}

	bool inside(const core::vector3df& l) { return l.X > -1e-4f && l.Y > -1e-4f && l.Z > -1e-4f; }
}

TEST(ZePointCloud, PointsFollowTriangleAreas)
{
	// Triangle A has area 1, triangle B area 3 (in a second buffer).
	const core::vector3df a0(0, 0, 0), a1(2, 0, 0), a2(0, 1, 0);
	const core::vector3df b0(10, 0, 0), b1(13, 0, 0), b2(10, 2, 0);
	scene::SMeshBuffer* first = new scene::SMeshBuffer();
	addTriangle(first, a0, a1, a2);
	first->Material.Shininess = 7.0f;
	scene::SMeshBuffer* second = new scene::SMeshBuffer();
	addTriangle(second, b0, b1, b2);
	scene::SMesh* mesh = meshOf({first, second});

	const u32 n = 4001;
	g_lines.clear();
	zeSetLogSink(captureLine);
	scene::SMesh* cloud = CZeMeshManipulator::createPointCloudMesh(0, mesh, n);
	zeSetLogSink(0);
	EXPECT_EQ("", captured());
	ASSERT_EQ(2u, cloud->getMeshBufferCount());
	EXPECT_EQ(0u, cloud->getMeshBuffer(0)->getIndexCount());
	EXPECT_EQ(7.0f, cloud->getMeshBuffer(0)->getMaterial().Shininess);
	const u32 inA = cloud->getMeshBuffer(0)->getVertexCount();
	const u32 inB = cloud->getMeshBuffer(1)->getVertexCount();
	EXPECT_EQ(n, inA + inB);
	EXPECT_NEAR(0.25, (double)inA / n, 0.01);
	EXPECT_NEAR(0.75, (double)inB / n, 0.01);

	// Every point lies in its triangle, with interpolated UVs and a unit normal,
	// and the colours count the points; uniform over the area, so the quarter of
	// B nearest b0 (the triangle scaled by 1/2) holds about a quarter of them.
	u32 expected = 0;
	u32 nearB0 = 0;
	for (u32 b = 0; b < 2; ++b)
	{
		const scene::IMeshBuffer* buffer = cloud->getMeshBuffer(b);
		const video::S3DVertex* v = static_cast<const video::S3DVertex*>(buffer->getVertices());
		for (u32 i = 0; i < buffer->getVertexCount(); ++i)
		{
			const core::vector3df l = b == 0 ? barycentric(v[i].Pos, a0, a1, a2) : barycentric(v[i].Pos, b0, b1, b2);
			ASSERT_TRUE(inside(l)) << b << " " << i;
			if (b == 1 && l.X > 0.5f)
				++nearB0;
			EXPECT_NEAR(v[i].Pos.X / 10, v[i].TCoords.X, 1e-5f);
			EXPECT_NEAR(v[i].Pos.Y / 10, v[i].TCoords.Y, 1e-5f);
			EXPECT_NEAR(1.0f, v[i].Normal.getLength(), 1e-5f);
			EXPECT_EQ(expected++, v[i].Color.color);
		}
	}
	EXPECT_NEAR(0.25, (double)nearB0 / inB, 0.03);

	// Equal inputs give equal clouds.
	scene::SMesh* again = CZeMeshManipulator::createPointCloudMesh(0, mesh, n);
	for (u32 b = 0; b < 2; ++b)
	{
		const scene::IMeshBuffer* x = cloud->getMeshBuffer(b);
		const scene::IMeshBuffer* y = again->getMeshBuffer(b);
		ASSERT_EQ(x->getVertexCount(), y->getVertexCount());
		for (u32 i = 0; i < x->getVertexCount(); ++i)
			ASSERT_EQ(x->getPosition(i), y->getPosition(i));
	}
	again->drop();
	cloud->drop();
	mesh->drop();
}

TEST(ZePointCloud, DegenerateAndUnsupportedInput)
{
	// No area at all: empty buffers and a warning.
	scene::SMeshBuffer* flat = new scene::SMeshBuffer();
	addTriangle(flat, core::vector3df(0, 0, 0), core::vector3df(1, 1, 0), core::vector3df(2, 2, 0));
	scene::SMesh* mesh = meshOf({flat, new scene::SMeshBuffer()});
	g_lines.clear();
	zeSetLogSink(captureLine);
	scene::SMesh* cloud = CZeMeshManipulator::createPointCloudMesh(0, mesh, 100);
	zeSetLogSink(0);
	ASSERT_EQ(2u, cloud->getMeshBufferCount());
	EXPECT_EQ(0u, cloud->getMeshBuffer(0)->getVertexCount());
	EXPECT_EQ(0u, cloud->getMeshBuffer(1)->getVertexCount());
	EXPECT_NE(std::string::npos, captured().find("WARN"));
	EXPECT_NE(std::string::npos, captured().find("the mesh has no area"));
	cloud->drop();
	mesh->drop();

	// A degenerate triangle and one with an index past the vertices get no
	// points; the good one gets them all.
	scene::SMeshBuffer* mixed = new scene::SMeshBuffer();
	addTriangle(mixed, core::vector3df(0, 0, 0), core::vector3df(1, 0, 0), core::vector3df(0, 1, 0));
	addTriangle(mixed, core::vector3df(5, 5, 0), core::vector3df(5, 5, 0), core::vector3df(6, 6, 0));
	addTriangle(mixed, core::vector3df(0, 0, 0), core::vector3df(9, 0, 0), core::vector3df(0, 9, 0));
	mixed->Indices[8] = 500;
	mesh = meshOf({mixed});
	cloud = CZeMeshManipulator::createPointCloudMesh(0, mesh, 50);
	ASSERT_EQ(50u, cloud->getMeshBuffer(0)->getVertexCount());
	for (u32 i = 0; i < 50; ++i)
		EXPECT_TRUE(inside(barycentric(cloud->getMeshBuffer(0)->getPosition(i), core::vector3df(0, 0, 0),
			core::vector3df(1, 0, 0), core::vector3df(0, 1, 0))));
	cloud->drop();
	mesh->drop();

	// An area that overflows to infinity gives no share; the remainder still
	// reaches the last triangle.
	scene::SMeshBuffer* huge = new scene::SMeshBuffer();
	addTriangle(huge, core::vector3df(0, 0, 0), core::vector3df(3e30f, 0, 0), core::vector3df(0, 3e30f, 0));
	addTriangle(huge, core::vector3df(0, 0, 0), core::vector3df(1, 0, 0), core::vector3df(0, 1, 0));
	mesh = meshOf({huge});
	cloud = CZeMeshManipulator::createPointCloudMesh(0, mesh, 10);
	ASSERT_EQ(10u, cloud->getMeshBuffer(0)->getVertexCount());
	for (u32 i = 0; i < 10; ++i)
		EXPECT_TRUE(inside(barycentric(cloud->getMeshBuffer(0)->getPosition(i), core::vector3df(0, 0, 0),
			core::vector3df(1, 0, 0), core::vector3df(0, 1, 0))));
	cloud->drop();
	mesh->drop();

	// Tangent vertices: the error line and an empty buffer; the share is lost,
	// without the total warning.
	scene::SMeshBuffer* plain = new scene::SMeshBuffer();
	addTriangle(plain, core::vector3df(0, 0, 0), core::vector3df(1, 0, 0), core::vector3df(0, 1, 0));
	scene::SMeshBufferTangents* tangents = new scene::SMeshBufferTangents();
	for (u16 k = 0; k < 3; ++k)
	{
		video::S3DVertexTangents v;
		v.Pos.set(k == 1 ? 1.f : 0.f, k == 2 ? 1.f : 0.f, 3);
		tangents->Vertices.push_back(v);
		tangents->Indices.push_back(k);
	}
	mesh = meshOf({tangents, plain});
	g_lines.clear();
	zeSetLogSink(captureLine);
	cloud = CZeMeshManipulator::createPointCloudMesh(0, mesh, 10);
	zeSetLogSink(0);
	EXPECT_EQ(0u, cloud->getMeshBuffer(0)->getVertexCount());
	EXPECT_EQ(5u, cloud->getMeshBuffer(1)->getVertexCount());
	EXPECT_NE(std::string::npos, captured().find("video::EVT_TANGENTS is not supported"));
	EXPECT_EQ(std::string::npos, captured().find("different from expected"));
	cloud->drop();
	mesh->drop();
}

TEST(ZePointCloud, ThirtyTwoBitIndices)
{
	// The only triangle uses vertices above 65535, far from the others.
	scene::CDynamicMeshBuffer* buffer = new scene::CDynamicMeshBuffer(video::EVT_STANDARD, video::EIT_32BIT);
	const u32 count = 70003;
	for (u32 i = 0; i < count; ++i)
		buffer->getVertexBuffer().push_back(video::S3DVertex((f32)(i % 7), 0, 0, 0, 0, 1, video::SColor(0), 0, 0));
	buffer->getVertexBuffer()[70000].Pos.set(100, 0, 0);
	buffer->getVertexBuffer()[70001].Pos.set(104, 0, 0);
	buffer->getVertexBuffer()[70002].Pos.set(100, 4, 0);
	for (u32 i = 70000; i < count; ++i)
		buffer->getIndexBuffer().push_back(i);
	scene::SMesh* mesh = meshOf({buffer});
	scene::SMesh* cloud = CZeMeshManipulator::createPointCloudMesh(0, mesh, 64);
	ASSERT_EQ(64u, cloud->getMeshBuffer(0)->getVertexCount());
	for (u32 i = 0; i < 64; ++i)
		EXPECT_TRUE(inside(barycentric(cloud->getMeshBuffer(0)->getPosition(i), core::vector3df(100, 0, 0),
			core::vector3df(104, 0, 0), core::vector3df(100, 4, 0)))) << i;
	cloud->drop();
	mesh->drop();
}

class ZeTangentMesh : public testing::Test
{
protected:
	void SetUp() override
	{
		Device = createDevice(video::EDT_NULL);
		ASSERT_TRUE(Device);
		Manipulator = Device->getSceneManager()->getMeshManipulator();
	}
	void TearDown() override
	{
		if (Device)
			Device->drop();
	}

	// A quad in the xy-plane; uvAlongX puts U along x (else along y). The
	// second set is (x + 5, y + 7).
	scene::SMesh* quad(bool uvAlongX)
	{
		scene::SMeshBufferLightMap* b = new scene::SMeshBufferLightMap();
		const f32 xy[4][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
		for (const auto& p : xy)
		{
			video::S3DVertex2TCoords v;
			v.Pos.set(p[0], p[1], 0);
			v.Normal.set(0, 0, 1);
			v.TCoords = uvAlongX ? core::vector2df(p[0] / 2, p[1] / 2) : core::vector2df(p[1] / 2, p[0] / 2);
			v.TCoords2.set(p[0] + 5, p[1] + 7);
			b->Vertices.push_back(v);
		}
		const u16 idx[6] = {0, 1, 2, 0, 2, 3};
		for (u16 i : idx)
			b->Indices.push_back(i);
		return meshOf({b});
	}

	IrrlichtDevice* Device = 0;
	scene::IMeshManipulator* Manipulator = 0;
};

TEST_F(ZeTangentMesh, CopiesKeepVerticesAndFollowUVs)
{
	for (bool alongX : {true, false})
		for (bool carry : {false, true})
		{
			scene::SMesh* mesh = quad(alongX);
			scene::IMesh* copy = CZeMeshManipulator::createMeshWithTangents(Manipulator, mesh, carry);
			ASSERT_TRUE(copy);
			ASSERT_EQ(1u, copy->getMeshBufferCount());
			const scene::IMeshBuffer* r = copy->getMeshBuffer(0);
			const scene::IMeshBuffer* s = mesh->getMeshBuffer(0);
			ASSERT_EQ(video::EVT_TANGENTS, r->getVertexType());
			ASSERT_EQ(s->getIndexCount(), r->getIndexCount());
			const video::S3DVertexTangents* rv = static_cast<const video::S3DVertexTangents*>(r->getVertices());
			const video::S3DVertex2TCoords* sv = static_cast<const video::S3DVertex2TCoords*>(s->getVertices());
			const core::vector3df uDirection = alongX ? core::vector3df(1, 0, 0) : core::vector3df(0, 1, 0);
			for (u32 i = 0; i < r->getIndexCount(); ++i)
			{
				const video::S3DVertexTangents& a = rv[r->getIndices()[i]];
				const video::S3DVertex2TCoords& b = sv[s->getIndices()[i]];
				EXPECT_EQ(b.Pos, a.Pos);
				EXPECT_EQ(b.Normal, a.Normal);
				EXPECT_EQ(b.TCoords, a.TCoords);
				EXPECT_NEAR(1.0f, fabsf(a.Tangent.dotProduct(uDirection)), 1e-4f) << alongX;
				if (carry)
				{
					EXPECT_EQ(b.TCoords2.X, a.Binormal.X);
					EXPECT_EQ(b.TCoords2.Y, a.Binormal.Y);
				}
				else
					EXPECT_NEAR(0.0f, a.Binormal.dotProduct(uDirection), 1e-4f);
			}
			copy->drop();
			mesh->drop();
		}
}

TEST_F(ZeTangentMesh, SecondSetNeedsTwoTextureCoordinates)
{
	scene::SMeshBuffer* plain = new scene::SMeshBuffer();
	addTriangle(plain, core::vector3df(0, 0, 0), core::vector3df(1, 0, 0), core::vector3df(0, 1, 0));
	scene::SMesh* mesh = meshOf({plain});
	EXPECT_EQ(nullptr, CZeMeshManipulator::createMeshWithTangents(Manipulator, mesh, true));
	scene::IMesh* copy = CZeMeshManipulator::createMeshWithTangents(Manipulator, mesh, false);
	ASSERT_TRUE(copy);
	EXPECT_EQ(3u, copy->getMeshBuffer(0)->getVertexCount());
	copy->drop();
	mesh->drop();
}
