// Particle generators: where each of the seven places its births and with
// which velocity, recomputed here from the random sequence; mesh walks and
// triangles (16- and 32-bit indices, unusable buffers, changed meshes),
// parent particles in list order, and the nozzle table.
#include "ZeParticleTestUtil.h"

#include "frame/ZeLog.h"
#include "scene/ZeParticleGenerators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace irr;

namespace
{
const f32 DT = 0.1f;

// First update at 1000 ms, then one 100 ms later with the random state seeded.
void birthStep(CZeFxEmitter& emitter, u32 seed)
{
	emitter.update(1000);
	zeParticleRandomSeed(seed);
	emitter.update(1100);
}

// A generating emitter whose particles keep their birth velocity.
void generating(CZeFxEmitter& emitter, u32 type, f32 birthRate)
{
	ASSERT_EQ(emitter.initPool(0, false), 0);
	emitter.setGeneratorType(type);
	emitter.setBirthRate(birthRate);
	emitter.setResistance(0.f, 0.f);
	emitter.setLifeTime(100.f, 0.f);
}

// Three uniform draws in order.
core::vector3df draws(SLcg& lcg)
{
	const f32 x = lcg.uniform();
	const f32 y = lcg.uniform();
	return core::vector3df(x, y, lcg.uniform());
}

core::vector3df unit(core::vector3df v)
{
	const f32 length2 = v.X * v.X + v.Y * v.Y + v.Z * v.Z;
	return length2 > 0.f ? v * (1.f / std::sqrt(length2)) : core::vector3df();
}

void expectNear(const f32* actual, const core::vector3df& expected, const char* what, u32 i)
{
	EXPECT_NEAR(actual[0], expected.X, 1e-4) << what << " of birth " << i;
	EXPECT_NEAR(actual[1], expected.Y, 1e-4) << what << " of birth " << i;
	EXPECT_NEAR(actual[2], expected.Z, 1e-4) << what << " of birth " << i;
}

video::S3DVertex vertex(f32 x, f32 y, f32 z, f32 nx = 0.f, f32 ny = 0.f, f32 nz = 1.f)
{
	return video::S3DVertex(x, y, z, nx, ny, nz, video::SColor(255, 255, 255, 255), 0.f, 0.f);
}

scene::SMeshBuffer* buffer16(const std::vector<video::S3DVertex>& vertices, const std::vector<u16>& indices)
{
	scene::SMeshBuffer* b = new scene::SMeshBuffer;
	for (const video::S3DVertex& v : vertices)
		b->Vertices.push_back(v);
	for (u16 i : indices)
		b->Indices.push_back(i);
	return b;
}

void addBuffer(scene::SMesh* mesh, scene::IMeshBuffer* buffer)
{
	mesh->addMeshBuffer(buffer);
	buffer->drop();
}
} // namespace

TEST(ParticleGenerators, BoxPlacesBirthsInItsExtentsThroughTheTransform)
{
	CZeFxEmitter emitter;
	generating(emitter, 0, 30.f);
	emitter.setGeneratorSize(2.f, 4.f, 6.f);
	emitter.setVelocity(0.5f, 0.f, 0.f);
	emitter.setExplosion(2.f);
	emitter.setVibration(3.f, 0.f);
	emitter.setLifeTime(2.f, 1.f);
	core::matrix4 m;
	m.setRotationDegrees(core::vector3df(0.f, 90.f, 0.f));
	m.setTranslation(core::vector3df(1.f, 2.f, 3.f));
	emitter.setTransform(m.pointer());
	birthStep(emitter, 99);

	const std::vector<const SZeParticle*> list = liveList(emitter);
	ASSERT_EQ(list.size(), 3u);
	SLcg lcg{ 99 };
	for (u32 i = 0; i < 3; ++i)
	{
		const f32 life = 2.f + 1.f * lcg.uniform();
		const core::vector3df p = draws(lcg) * core::vector3df(2.f, 4.f, 6.f);
		const core::vector3df r = draws(lcg);
		core::vector3df position = p;
		m.transformVect(position);
		core::vector3df velocity = core::vector3df(0.5f, 0.f, 0.f) + unit(p) * 2.f + unit(r) * 3.f;
		m.rotateVect(velocity);
		expectNear(list[i]->velocity, velocity, "velocity", i);
		expectNear(list[i]->position, position + velocity * DT, "position", i);
		EXPECT_EQ(list[i]->birthTime, 1.1f);
		EXPECT_NEAR(list[i]->deathTime, 1.1f + life, 1e-6);
	}
	EXPECT_EQ(zeParticleRandomState(), lcg.state);
}

TEST(ParticleGenerators, BoxOfSizeTwoByZeroByZeroIsALine)
{
	CZeFxEmitter emitter;
	generating(emitter, 0, 2000.f);
	emitter.setGeneratorSize(2.f, 0.f, 0.f);
	core::matrix4 m;
	m.setTranslation(core::vector3df(5.f, 6.f, 7.f));
	emitter.setTransform(m.pointer());
	birthStep(emitter, 4);
	const std::vector<const SZeParticle*> list = liveList(emitter);
	ASSERT_EQ(list.size(), 200u);
	f32 low = 5.f, high = 5.f;
	for (const SZeParticle* p : list)
	{
		EXPECT_EQ(p->position[1], 6.f);
		EXPECT_EQ(p->position[2], 7.f);
		EXPECT_LE(std::abs(p->position[0] - 5.f), 1.f);
		low = std::min(low, p->position[0]);
		high = std::max(high, p->position[0]);
		EXPECT_EQ(p->velocity[1], 0.f);
	}
	EXPECT_GT(high - low, 1.8f);
}

TEST(ParticleGenerators, SphereFillsItsEllipsoidWithTheDistanceUniform)
{
	CZeFxEmitter emitter;
	generating(emitter, 1, 1000.f);
	emitter.setGeneratorSize(2.f, 2.f, 4.f);
	emitter.setExplosion(1.f);
	birthStep(emitter, 17);
	const std::vector<const SZeParticle*> list = liveList(emitter);
	ASSERT_EQ(list.size(), 100u);
	SLcg lcg{ 17 };
	lcg.draw();
	const core::vector3df u = draws(lcg);
	const f32 radius = f32(lcg.draw()) * 0.5f / 32767.f;
	const core::vector3df p0 = unit(u) * radius * core::vector3df(2.f, 2.f, 4.f);
	expectNear(list[0]->velocity, unit(p0), "velocity", 0);
	expectNear(list[0]->position, p0 + unit(p0) * DT, "position", 0);
	for (const SZeParticle* p : list)
	{
		const f32 x = p->position[0] - p->velocity[0] * DT, y = p->position[1] - p->velocity[1] * DT,
			z = p->position[2] - p->velocity[2] * DT;
		EXPECT_LE(x * x / 4.f + y * y / 4.f + z * z / 16.f, 0.25f + 1e-5f);
	}
}

// A generator point at the exact centre has no direction: the explosion adds
// nothing instead of a non-number.
TEST(ParticleGenerators, PointEmitterGivesFiniteVelocities)
{
	for (u32 type : { 0u, 1u })
	{
		CZeFxEmitter emitter;
		generating(emitter, type, 100.f);
		emitter.setGeneratorSize(0.f, 0.f, 0.f);
		emitter.setExplosion(5.f);
		emitter.setVelocity(0.f, 1.f, 0.f);
		birthStep(emitter, 1);
		const std::vector<const SZeParticle*> list = liveList(emitter);
		ASSERT_EQ(list.size(), 10u);
		for (const SZeParticle* p : list)
			expectNear(p->velocity, core::vector3df(0.f, 1.f, 0.f), "velocity", type);
	}
}

TEST(ParticleGenerators, MeshVerticesAreWalkedInOrderOverAndOver)
{
	scene::SMesh* mesh = new scene::SMesh;
	addBuffer(mesh, buffer16({ vertex(1, 0, 0), vertex(2, 0, 0), vertex(3, 0, 0) }, {}));
	addBuffer(mesh, buffer16({}, {}));
	addBuffer(mesh, buffer16({ vertex(4, 0, 0), vertex(5, 0, 0) }, {}));
	CZeFxEmitter emitter;
	generating(emitter, 2, 70.f);
	emitter.setGeneratorMesh(mesh);
	mesh->drop();
	birthStep(emitter, 1);
	emitter.update(1200);
	std::vector<f32> xs;
	for (const SZeParticle* p : liveList(emitter))
		xs.push_back(p->position[0]);
	EXPECT_EQ(xs, (std::vector<f32>{ 1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3, 4 }));

	// A mesh that lost buffers, then vertices, under the cursors: the walk
	// goes on inside it.
	ASSERT_EQ(emitter.getState().meshBufferCursor, 2u);
	ASSERT_EQ(emitter.getState().meshVertexCursor, 1u);
	for (u32 b = 1; b < 3; ++b)
		mesh->MeshBuffers[b]->drop();
	mesh->MeshBuffers.set_used(1);
	emitter.setBirthRate(20.f);
	emitter.update(1300);
	static_cast<scene::SMeshBuffer*>(mesh->getMeshBuffer(0))->Vertices.set_used(1);
	emitter.update(1400);
	xs.clear();
	for (const SZeParticle* p : liveList(emitter))
		xs.push_back(p->position[0]);
	EXPECT_EQ(std::vector<f32>(xs.begin() + 14, xs.end()), (std::vector<f32>{ 1, 2, 1, 1 }));

	// setGeneratorMesh starts the walk again.
	emitter.setGeneratorMesh(mesh);
	EXPECT_EQ(emitter.getState().meshVertexCursor, 0u);
}

TEST(ParticleGenerators, MeshNormalsGiveTheExplosionDirection)
{
	scene::SMesh* mesh = new scene::SMesh;
	addBuffer(mesh, buffer16({ vertex(1, 1, 0, 0, 3, 4), vertex(0, 0, 0, 0, 0, 0) }, {}));
	for (u32 type : { 2u, 3u })
	{
		CZeFxEmitter emitter;
		generating(emitter, type, 20.f);
		emitter.setGeneratorMesh(mesh);
		emitter.setExplosion(2.f);
		birthStep(emitter, 1);
		const std::vector<const SZeParticle*> list = liveList(emitter);
		ASSERT_EQ(list.size(), 2u);
		const core::vector3df v0 = type == 3 ? core::vector3df(0.f, 1.2f, 1.6f) : unit(core::vector3df(1, 1, 0)) * 2.f;
		expectNear(list[0]->velocity, v0, "velocity", type);
		expectNear(list[0]->position, core::vector3df(1, 1, 0) + v0 * DT, "position", type);
		expectNear(list[1]->velocity, core::vector3df(), "velocity of a zero direction", type);
	}
	mesh->drop();
}

// Triangles of 16- and 32-bit buffers, the buffer without triangles passed
// over: each point recomputed from the draws.
TEST(ParticleGenerators, MeshSurfacePointsLieOnTheTrianglesOfBothIndexSizes)
{
	scene::SMesh* mesh = new scene::SMesh;
	addBuffer(mesh, buffer16({ vertex(0, 0, 0), vertex(1, 0, 0), vertex(0, 1, 0), vertex(1, 1, 0) }, { 0, 1, 2, 1, 3, 2 }));
	addBuffer(mesh, buffer16({ vertex(9, 9, 9) }, {}));
	scene::CDynamicMeshBuffer* wide = new scene::CDynamicMeshBuffer(video::EVT_STANDARD, video::EIT_32BIT);
	wide->getVertexBuffer().push_back(vertex(7, 7, 7));
	wide->getVertexBuffer().push_back(vertex(0, 0, 5));
	wide->getVertexBuffer().push_back(vertex(2, 0, 5));
	wide->getVertexBuffer().push_back(vertex(0, 2, 5));
	for (u32 i : { 1u, 2u, 3u })
		wide->getIndexBuffer().push_back(i);
	addBuffer(mesh, wide);

	CZeFxEmitter emitter;
	generating(emitter, 4, 400.f);
	emitter.setGeneratorMesh(mesh);
	mesh->drop();
	birthStep(emitter, 5);
	const std::vector<const SZeParticle*> list = liveList(emitter);
	ASSERT_EQ(list.size(), 40u);

	const core::vector3df corners[3][3] = {
		{ { 0, 0, 0 }, { 1, 0, 0 }, { 0, 1, 0 } },
		{ { 1, 0, 0 }, { 1, 1, 0 }, { 0, 1, 0 } },
		{ { 0, 0, 5 }, { 2, 0, 5 }, { 0, 2, 5 } },
	};
	SLcg lcg{ 5 };
	u32 onWide = 0;
	for (u32 i = 0; i < list.size(); ++i)
	{
		lcg.draw();
		const u32 b = u32(f32(lcg.draw()) * (2.f - 0.001f) / 32767.f);
		const u32 triangles = b == 0 ? 2 : 1;
		const u32 k = u32(f32(lcg.draw()) * (f32(triangles) - 0.001f) / 32767.f);
		const f32 s = std::sqrt(f32(lcg.draw()) / 32767.f);
		const f32 t = f32(lcg.draw()) / 32767.f;
		const core::vector3df* c = corners[b == 0 ? k : 2];
		const core::vector3df p = c[0] * (1.f - s) + c[1] * (s * (1.f - t)) + c[2] * (s * t);
		for (u32 d = 0; d < 3; ++d)
			lcg.draw();
		expectNear(list[i]->position, p, "position", i);
		onWide += b;
	}
	EXPECT_GT(onWide, 5u);
	EXPECT_LT(onWide, 35u);
}

TEST(ParticleGenerators, UnusableMeshesGiveNoBirths)
{
	scene::SMesh* empty = new scene::SMesh;
	scene::SMesh* noTriangles = new scene::SMesh;
	addBuffer(noTriangles, buffer16({ vertex(1, 2, 3) }, {}));
	addBuffer(noTriangles, buffer16({}, { 0, 0, 0 }));
	scene::SMesh* badIndices = new scene::SMesh;
	addBuffer(badIndices, buffer16({ vertex(1, 2, 3), vertex(1, 2, 3), vertex(1, 2, 3) }, { 0, 1, 7 }));
	struct Case
	{
		u32 type;
		scene::SMesh* mesh;
		u32 births;
	} cases[] = {
		{ 2, empty, 0 }, { 3, empty, 0 }, { 4, empty, 0 }, { 4, noTriangles, 0 }, { 4, badIndices, 0 },
		{ 2, noTriangles, 15 }, { 2, nullptr, 0 },
	};
	for (const Case& c : cases)
	{
		CZeFxEmitter emitter;
		generating(emitter, c.type, 155.f);
		emitter.setGeneratorMesh(c.mesh);
		birthStep(emitter, 1);
		EXPECT_EQ(emitter.getParticleCount(), c.births) << "type " << c.type;
		if (c.mesh != badIndices && !c.births)
		{
			EXPECT_EQ(emitter.getState().birthCarry, 0.f) << "a generator that cannot work is not called";
		}
	}
	empty->drop();
	noTriangles->drop();
	badIndices->drop();
}

// The parent's four particles, two per update, in list order from the one
// after the cursor: 1, 2 / 3, 0 / 1, 2.
TEST(ParticleGenerators, ParentLiveParticlesAreTakenInListOrderAcrossUpdates)
{
	CZeFxEmitter parent;
	stillEmitter(parent);
	for (u32 i = 0; i < 4; ++i)
		parent.addStaticParticle(f32(i), 0.f, 0.f, 0, 100000);
	CZeFxEmitter child;
	generating(child, 5, 40.f);
	child.setParentEmitter(&parent);
	child.setExplosion(3.f);
	for (u32 t = 1000; t <= 1150; t += 50)
	{
		parent.update(t);
		child.update(t);
	}
	std::vector<f32> xs;
	for (const SZeParticle* p : liveList(child))
	{
		xs.push_back(p->position[0]);
		EXPECT_EQ(p->velocity[0], 0.f) << "a still parent particle gives no direction";
	}
	EXPECT_EQ(xs, (std::vector<f32>{ 1, 2, 3, 0, 1, 2 }));
	EXPECT_EQ(child.getState().parentCursorIndex, 2u);
}

TEST(ParticleGenerators, ParentDiedParticlesGiveBirthsByRateOverThirty)
{
	struct Case
	{
		f32 rate;
		std::vector<f32> xs;
	} cases[] = { { 30.f, { 3, 2, 1 } }, { 10.f, { 3 } }, { 60.f, { 3, 2, 1, 3, 2, 1 } } };
	for (const Case& c : cases)
	{
		CZeFxEmitter parent;
		stillEmitter(parent);
		for (u32 i = 1; i <= 3; ++i)
			parent.addStaticParticle(f32(i), 0.f, 0.f, 0, 1010);
		parent.addStaticParticle(9.f, 0.f, 0.f, 0, 100000);
		CZeFxEmitter child;
		generating(child, 6, c.rate);
		child.setParentEmitter(&parent);
		child.setParentMotion(2.f);
		parent.update(1000);
		child.update(1000);
		parent.setGravity(0.f, -10.f, 0.f);
		parent.update(1050);
		ASSERT_EQ(diedCount(parent), 3u);
		child.update(1050);
		std::vector<f32> xs;
		for (const SZeParticle* p : liveList(child))
		{
			xs.push_back(p->position[0]);
			EXPECT_EQ(p->velocity[1], 0.f) << "the died particles did not move";
		}
		EXPECT_EQ(xs, c.xs) << "rate " << c.rate;
	}
}

// Without a parent particle nothing is born (not a birth at the origin).
TEST(ParticleGenerators, ParentGeneratorsWithoutParentParticlesGiveNoBirths)
{
	for (u32 type : { 5u, 6u })
	{
		CZeFxEmitter parent;
		stillEmitter(parent);
		CZeFxEmitter child;
		generating(child, type, 500.f);
		child.update(1000);
		child.update(1100);
		EXPECT_EQ(child.getParticleCount(), 0u) << "no parent, type " << type;
		child.setParentEmitter(&parent);
		parent.update(1100);
		child.update(1200);
		parent.update(1200);
		child.update(1300);
		EXPECT_EQ(child.getParticleCount(), 0u) << "an empty parent, type " << type;
	}
}

TEST(ParticleGenerators, NozzleTypesMapOntoGeneratorsAndOthersAreRefused)
{
	static std::vector<std::string> lines;
	zeSetLogSink([](const char* line) { lines.push_back(line); });
	const s32 generator[] = { 0, 1, 2, 3, -1, 4, -1, -1, 5, 6, -1 };
	for (s32 nozzle = 0; nozzle <= 10; ++nozzle)
		EXPECT_EQ(zeGeneratorTypeForNozzle(nozzle, 12, "spark.png"), generator[nozzle]) << nozzle;
	EXPECT_EQ(zeGeneratorTypeForNozzle(-1, 3, nullptr), -1);
	zeSetLogSink(nullptr);
	ASSERT_EQ(lines.size(), 5u);
	EXPECT_EQ(lines[0], "ERROR : Unsupported Nozzle type 4 for fxemitter id=12 (image file='spark.png')\n");
	EXPECT_EQ(lines[4], "ERROR : Unsupported Nozzle type -1 for fxemitter id=3 (image file='')\n");
}
