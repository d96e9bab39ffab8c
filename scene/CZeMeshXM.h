// XM meshes: the engine's own aligned copy of a mesh's vertices, the joint
// influences of a skinned mesh, and software skinning into a library mesh.
//
// Per frame: resetFromStatic, morphs on the XM vertices, then copyToMesh (static
// meshes) or, after the library has animated the joints, updateJointMatrices
// and skinMesh (skinned meshes).
#pragma once

#include "ZeAlignedStore.h"

#include <irrlicht.h>
#include <vector>

// One vertex of the working store: position (w = 1) and normal (w = 0) on
// 16-byte boundaries, then up to 8 joint influences. 112 bytes.
struct alignas(16) SZeVertexXM
{
	static constexpr irr::u32 MAX_INFLUENCES = 8;

	irr::f32 Position[4];
	irr::f32 Normal[4];
	irr::u32 InfluenceCount;
	irr::u32 Joints[MAX_INFLUENCES];
	irr::f32 Weights[MAX_INFLUENCES];
};
static_assert(sizeof(SZeVertexXM) == 112, "XM vertex is 112 bytes");

// The rest pose of one vertex. 32 bytes.
struct alignas(16) SZeStaticVertexXM
{
	irr::f32 Position[4];
	irr::f32 Normal[4];
};
static_assert(sizeof(SZeStaticVertexXM) == 32, "static XM vertex is 32 bytes");

// A joint matrix in the library's element order (row 3 translates).
struct alignas(64) SZeMatrixXM
{
	irr::f32 M[16];
};

class CZeMeshXM;
class CZeStaticMeshBufferXM;
typedef std::vector<CZeStaticMeshBufferXM> CZeStaticMeshBuffersXM;

// The rest pose of one mesh buffer.
class CZeStaticMeshBufferXM
{
public:
	// One buffer per mesh buffer of `source`, each with its vertex count of
	// static vertices (positions and normals of standard, two-coordinate and
	// tangent vertices). A buffer whose storage cannot be had stays empty.
	static void create(CZeStaticMeshBuffersXM& buffers, irr::scene::IMesh* source);

	irr::u32 getVertexCount() const { return irr::u32(Vertices.size()); }
	SZeStaticVertexXM* getVertices() { return Vertices.data(); }
	const SZeStaticVertexXM* getVertices() const { return Vertices.data(); }

private:
	ze::TZeAlignedStore<SZeStaticVertexXM> Vertices;
};

// The working vertices of one mesh buffer.
class CZeMeshBufferXM
{
public:
	// Fills the buffers of `mesh` from `source` like CZeStaticMeshBufferXM::create,
	// with no influences. Always true.
	static bool create(CZeMeshXM& mesh, irr::scene::IMesh* source);

	irr::u32 getVertexCount() const { return irr::u32(Vertices.size()); }
	SZeVertexXM* getVertices() { return Vertices.data(); }
	const SZeVertexXM* getVertices() const { return Vertices.data(); }

private:
	friend class CZeMeshXM;
	ze::TZeAlignedStore<SZeVertexXM> Vertices;
};

// Working vertices of a whole mesh with joint matrices. Copies are deep.
class CZeMeshXM
{
public:
	// Buffers, influences and joint count + 1 matrices (the last the identity)
	// from a skinned mesh. Weights of 0.0001 and below are ignored, influences
	// past the eighth and weights naming a missing buffer or vertex are skipped
	// with a warning; vertices without influence follow the identity.
	bool create(irr::scene::ISkinnedMesh* source);

	// A new XM mesh made with create, or null (with a logged message) when the
	// source is missing or create fails. The caller deletes it.
	static CZeMeshXM* createFromSkinnedMesh(irr::scene::ISkinnedMesh* source);

	// Copies the rest pose back over positions and normals; influences stay.
	void resetFromStatic(const CZeStaticMeshBuffersXM& buffers);

	// Matrix j = global animated x global inverse of joint j, as the library
	// skins; the matrix after the last joint stays the identity.
	void updateJointMatrices(irr::scene::ISkinnedMesh* source);

	// Writes the skinned positions and normals into `target`, which must have as
	// many buffers, each with as many vertices (standard, two-coordinate or
	// tangent vertices), then flags its vertex data as changed. False, with a
	// logged message, when the target does not match.
	bool skinMesh(irr::scene::IMesh* target) const;

	// As skinMesh, writing the positions and normals unchanged.
	bool copyToMesh(irr::scene::IMesh* target) const;

	irr::u32 getBufferCount() const { return irr::u32(Buffers.size()); }
	CZeMeshBufferXM& getBuffer(irr::u32 i) { return Buffers[i]; }
	const CZeMeshBufferXM& getBuffer(irr::u32 i) const { return Buffers[i]; }
	irr::u32 getJointCount() const { return JointCount; }
	// Joint matrix j (j up to the joint count), or null before create.
	const SZeMatrixXM* getJointMatrix(irr::u32 j) const
	{
		return j < Matrices.size() ? &Matrices[j] : nullptr;
	}

private:
	friend class CZeMeshBufferXM;
	bool writeToMesh(irr::scene::IMesh* target, bool skin, const char* prefix) const;

	std::vector<CZeMeshBufferXM> Buffers;
	irr::u32 JointCount = 0;
	ze::TZeAlignedStore<SZeMatrixXM> Matrices;
};
