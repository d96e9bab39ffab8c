// zelv-skin-bench: XM skinning speed on one core.
//
// Builds a skinned mesh of 100,000 vertices and 32 joints, gives every vertex
// 4, then 8, influences, and times reset + skinning into the mesh's own buffers
// (best of 5 runs of 20 frames). Also times 10 weighted morph deltas (position
// and normal) over every vertex. Prints vertices per second and
// vertex-influences per second for the single thread that does the work.
//
// Usage: zelv-skin-bench [vertices]
#include "frame/ZeLog.h"
#include "scene/CZeMeshXM.h"

#include <irrlicht.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <xmmintrin.h>

using namespace irr;

namespace
{
const u32 JOINTS = 32;
const u32 FRAMES = 20;
const u32 RUNS = 5;
const u32 MORPHS = 10;

double seconds(std::chrono::steady_clock::time_point from)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

scene::ISkinnedMesh* buildMesh(scene::ISceneManager* smgr, u32 vertices, u32 influences)
{
	scene::ISkinnedMesh* mesh = smgr->createSkinnedMesh();
	scene::SSkinMeshBuffer* buffer = mesh->addMeshBuffer();
	buffer->Vertices_Standard.reallocate(vertices);
	for (u32 i = 0; i < vertices; ++i)
	{
		const f32 a = f32(i) * 0.001f;
		buffer->Vertices_Standard.push_back(video::S3DVertex(std::cos(a), f32(i) * 1e-4f, std::sin(a), std::cos(a), 0.f,
		                                                     std::sin(a), video::SColor(255, 255, 255, 255), 0.f, 0.f));
	}
	scene::ISkinnedMesh::SJoint* joints[JOINTS];
	for (u32 j = 0; j < JOINTS; ++j)
		joints[j] = mesh->addJoint(nullptr);
	mesh->setHardwareSkinning(true);
	mesh->finalize();
	for (u32 i = 0; i < vertices; ++i)
		for (u32 k = 0; k < influences; ++k)
		{
			scene::ISkinnedMesh::SWeight* weight = mesh->addWeight(joints[(i / 64 + k * 5) % JOINTS]);
			weight->buffer_id = 0;
			weight->vertex_id = i;
			weight->strength = 1.f / f32(influences);
		}
	return mesh;
}

void poseJoints(scene::ISkinnedMesh* mesh, u32 frame)
{
	core::array<scene::ISkinnedMesh::SJoint*>& joints = mesh->getAllJoints();
	for (u32 j = 0; j < joints.size(); ++j)
	{
		core::matrix4 m;
		m.setRotationDegrees(core::vector3df(f32(frame + j), f32(2 * j), f32(frame)));
		m.setTranslation(core::vector3df(f32(j) * 0.1f, f32(frame) * 0.01f, 0.f));
		joints[j]->GlobalAnimatedMatrix = m;
	}
}

void benchSkinning(scene::ISceneManager* smgr, u32 vertices, u32 influences)
{
	scene::ISkinnedMesh* mesh = buildMesh(smgr, vertices, influences);
	CZeStaticMeshBuffersXM statics;
	CZeStaticMeshBufferXM::create(statics, mesh);
	CZeMeshXM xm;
	if (!xm.create(mesh))
	{
		std::printf("create failed\n");
		mesh->drop();
		return;
	}
	double best = 1e30;
	for (u32 run = 0; run < RUNS; ++run)
	{
		const auto start = std::chrono::steady_clock::now();
		for (u32 frame = 0; frame < FRAMES; ++frame)
		{
			poseJoints(mesh, frame);
			xm.resetFromStatic(statics);
			xm.updateJointMatrices(mesh);
			xm.skinMesh(mesh);
		}
		const double t = seconds(start);
		best = t < best ? t : best;
	}
	const double verticesPerSecond = double(vertices) * FRAMES / best;
	std::printf("skinning, %u influences: %.2f ms/frame, %.1f M vertices/s/core, %.1f M vertex-influences/s/core "
	            "(check %.3f)\n",
	            influences, best * 1000.0 / FRAMES, verticesPerSecond * 1e-6, verticesPerSecond * influences * 1e-6,
	            f64(mesh->getMeshBuffer(0)->getPosition(vertices / 2).X));
	mesh->drop();
}

// Morph-style deltas: the vertex index and a position and normal displacement
// on 16-byte boundaries.
struct alignas(16) SDelta
{
	u32 Index;
	u32 Pad[3];
	f32 Position[4];
	f32 Normal[4];
};

void benchMorphs(scene::ISceneManager* smgr, u32 vertices)
{
	scene::ISkinnedMesh* mesh = buildMesh(smgr, vertices, 1);
	CZeStaticMeshBuffersXM statics;
	CZeStaticMeshBufferXM::create(statics, mesh);
	CZeMeshXM xm;
	xm.create(mesh);
	ze::TZeAlignedStore<SDelta> deltas;
	if (!deltas.allocate(std::size_t(vertices) * MORPHS))
	{
		mesh->drop();
		return;
	}
	for (u32 m = 0; m < MORPHS; ++m)
		for (u32 i = 0; i < vertices; ++i)
		{
			SDelta& d = deltas[std::size_t(m) * vertices + i];
			d.Index = i;
			d.Position[1] = 0.001f * f32(m + 1);
			d.Normal[0] = 0.0001f * f32(m);
		}
	double best = 1e30;
	for (u32 run = 0; run < RUNS; ++run)
	{
		const auto start = std::chrono::steady_clock::now();
		for (u32 frame = 0; frame < FRAMES; ++frame)
		{
			xm.resetFromStatic(statics);
			SZeVertexXM* v = xm.getBuffer(0).getVertices();
			for (u32 m = 0; m < MORPHS; ++m)
			{
				const __m128 w = _mm_set1_ps(0.1f * f32(m + 1) + 0.01f * f32(frame));
				const SDelta* d = &deltas[std::size_t(m) * vertices];
				for (u32 i = 0; i < vertices; ++i)
				{
					SZeVertexXM& out = v[d[i].Index];
					_mm_store_ps(out.Position,
					             _mm_add_ps(_mm_load_ps(out.Position), _mm_mul_ps(w, _mm_load_ps(d[i].Position))));
					_mm_store_ps(out.Normal, _mm_add_ps(_mm_load_ps(out.Normal), _mm_mul_ps(w, _mm_load_ps(d[i].Normal))));
				}
			}
			xm.copyToMesh(mesh);
		}
		const double t = seconds(start);
		best = t < best ? t : best;
	}
	const double deltasPerSecond = double(vertices) * MORPHS * FRAMES / best;
	std::printf("morphs, %u weighted deltas per vertex + reset + copy: %.2f ms/frame, %.1f M deltas/s/core "
	            "(check %.3f)\n",
	            MORPHS, best * 1000.0 / FRAMES, deltasPerSecond * 1e-6,
	            f64(mesh->getMeshBuffer(0)->getPosition(vertices / 2).Y));
	mesh->drop();
}
} // namespace

int main(int argc, char** argv)
{
	const u32 vertices = argc > 1 ? u32(std::strtoul(argv[1], nullptr, 10)) : 100000u;
	if (!vertices)
	{
		std::printf("usage: zelv-skin-bench [vertices]\n");
		return 1;
	}
	zeSetLogLevel(EZELL_ERROR);
	IrrlichtDevice* device = createDevice(video::EDT_NULL);
	if (!device)
		return 1;
	device->getLogger()->setLogLevel(ELL_NONE);
	std::printf("%u vertices, %u joints, single thread\n", vertices, JOINTS);
	benchSkinning(device->getSceneManager(), vertices, 4);
	benchSkinning(device->getSceneManager(), vertices, 8);
	benchMorphs(device->getSceneManager(), vertices);
	device->drop();
	return 0;
}
