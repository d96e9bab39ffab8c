// XM meshes: aligned vertex store, joint influences and software skinning.
#include "CZeMeshXM.h"

#include "frame/ZeLog.h"

#include <cstring>
#include <xmmintrin.h>

using namespace irr;

namespace
{
const f32 MIN_WEIGHT = 0.0001f;

// Pos and Normal of the three library vertex types sit where S3DVertex puts
// them; only the pitch differs.
bool vertexPitch(video::E_VERTEX_TYPE type, u32& pitch)
{
	switch (type)
	{
	case video::EVT_STANDARD:
	case video::EVT_2TCOORDS:
	case video::EVT_TANGENTS:
		pitch = video::getVertexPitchFromType(type);
		return true;
	default:
		return false;
	}
}

template <typename TVertex>
bool fillFromMesh(ze::TZeAlignedStore<TVertex>& store, scene::IMeshBuffer* source, const char* who)
{
	const u32 count = source ? source->getVertexCount() : 0;
	if (!store.allocate(count))
	{
		zeLog(EZELL_ERROR, "%s::create: failed to alloc %d vertices", who, int(count));
		return false;
	}
	u32 pitch = 0;
	if (!count || !vertexPitch(source->getVertexType(), pitch))
		return true;
	const u8* bytes = static_cast<const u8*>(source->getVertices());
	for (u32 i = 0; i < count; ++i)
	{
		const video::S3DVertex& v = *reinterpret_cast<const video::S3DVertex*>(bytes + std::size_t(i) * pitch);
		TVertex& out = store[i];
		out.Position[0] = v.Pos.X;
		out.Position[1] = v.Pos.Y;
		out.Position[2] = v.Pos.Z;
		out.Position[3] = 1.f;
		out.Normal[0] = v.Normal.X;
		out.Normal[1] = v.Normal.Y;
		out.Normal[2] = v.Normal.Z;
		out.Normal[3] = 0.f;
	}
	return true;
}

void setIdentity(SZeMatrixXM& m)
{
	std::memset(m.M, 0, sizeof(m.M));
	m.M[0] = m.M[5] = m.M[10] = m.M[15] = 1.f;
}

// Blends the vertex's joint matrices and transforms its position and normal.
inline void skinVertex(const SZeVertexXM& v, const SZeMatrixXM* matrices, f32* position, f32* normal)
{
	__m128 r0 = _mm_setzero_ps(), r1 = _mm_setzero_ps(), r2 = _mm_setzero_ps(), r3 = _mm_setzero_ps();
	for (u32 k = 0; k < v.InfluenceCount; ++k)
	{
		const f32* m = matrices[v.Joints[k]].M;
		const __m128 w = _mm_set1_ps(v.Weights[k]);
		r0 = _mm_add_ps(r0, _mm_mul_ps(w, _mm_load_ps(m)));
		r1 = _mm_add_ps(r1, _mm_mul_ps(w, _mm_load_ps(m + 4)));
		r2 = _mm_add_ps(r2, _mm_mul_ps(w, _mm_load_ps(m + 8)));
		r3 = _mm_add_ps(r3, _mm_mul_ps(w, _mm_load_ps(m + 12)));
	}
	const __m128 p = _mm_load_ps(v.Position);
	const __m128 n = _mm_load_ps(v.Normal);
	const __m128 linear = _mm_add_ps(
	    _mm_add_ps(_mm_mul_ps(_mm_shuffle_ps(p, p, _MM_SHUFFLE(0, 0, 0, 0)), r0),
	               _mm_mul_ps(_mm_shuffle_ps(p, p, _MM_SHUFFLE(1, 1, 1, 1)), r1)),
	    _mm_mul_ps(_mm_shuffle_ps(p, p, _MM_SHUFFLE(2, 2, 2, 2)), r2));
	_mm_store_ps(position, _mm_add_ps(linear, _mm_mul_ps(_mm_shuffle_ps(p, p, _MM_SHUFFLE(3, 3, 3, 3)), r3)));
	_mm_store_ps(normal,
	             _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_shuffle_ps(n, n, _MM_SHUFFLE(0, 0, 0, 0)), r0),
	                                   _mm_mul_ps(_mm_shuffle_ps(n, n, _MM_SHUFFLE(1, 1, 1, 1)), r1)),
	                        _mm_mul_ps(_mm_shuffle_ps(n, n, _MM_SHUFFLE(2, 2, 2, 2)), r2)));
}
} // namespace

void CZeStaticMeshBufferXM::create(CZeStaticMeshBuffersXM& buffers, scene::IMesh* source)
{
	buffers.clear();
	const u32 count = source ? source->getMeshBufferCount() : 0;
	buffers.resize(count);
	for (u32 b = 0; b < count; ++b)
		fillFromMesh(buffers[b].Vertices, source->getMeshBuffer(b), "CZeStaticMeshBufferXM");
}

bool CZeMeshBufferXM::create(CZeMeshXM& mesh, scene::IMesh* source)
{
	mesh.Buffers.clear();
	const u32 count = source ? source->getMeshBufferCount() : 0;
	mesh.Buffers.resize(count);
	for (u32 b = 0; b < count; ++b)
		fillFromMesh(mesh.Buffers[b].Vertices, source->getMeshBuffer(b), "CZeMeshBufferXM");
	return true;
}

bool CZeMeshXM::create(scene::ISkinnedMesh* source)
{
	JointCount = 0;
	Matrices.release();
	if (!source)
	{
		zeLog(EZELL_ERROR, "CZeMeshXM::create: no skinned mesh");
		return false;
	}
	if (!CZeMeshBufferXM::create(*this, source))
		return false;

	core::array<scene::ISkinnedMesh::SJoint*>& joints = source->getAllJoints();
	const u32 jointCount = joints.size();
	if (!Matrices.allocate(std::size_t(jointCount) + 1))
	{
		zeLog(EZELL_ERROR, "CZeMeshXM::create: failed to alloc %d+1 joints", int(jointCount));
		return false;
	}
	JointCount = jointCount;

	bool warnedFull = false;
	bool warnedRange = false;
	for (u32 j = 0; j < jointCount; ++j)
	{
		const scene::ISkinnedMesh::SJoint* joint = joints[j];
		if (!joint)
			continue;
		for (u32 w = 0; w < joint->Weights.size(); ++w)
		{
			const scene::ISkinnedMesh::SWeight& weight = joint->Weights[w];
			if (!(weight.strength > MIN_WEIGHT))
				continue;
			if (weight.buffer_id >= Buffers.size() || weight.vertex_id >= Buffers[weight.buffer_id].getVertexCount())
			{
				if (!warnedRange)
				{
					zeLog(EZELL_WARN, "CZeMeshXM::create: Warning, weight out of range on MeshBuffer=%d Vertice=%d",
					      int(weight.buffer_id), int(weight.vertex_id));
					warnedRange = true;
				}
				continue;
			}
			SZeVertexXM& v = Buffers[weight.buffer_id].Vertices[weight.vertex_id];
			if (v.InfluenceCount < SZeVertexXM::MAX_INFLUENCES)
			{
				v.Joints[v.InfluenceCount] = j;
				v.Weights[v.InfluenceCount] = weight.strength;
				++v.InfluenceCount;
			}
			else if (!warnedFull)
			{
				zeLog(EZELL_WARN, "CZeMeshXM::create: Warning, too much joints > MAX %d on MeshBuffer=%d Vertice=%d",
				      int(SZeVertexXM::MAX_INFLUENCES), int(weight.buffer_id), int(weight.vertex_id));
				warnedFull = true;
			}
		}
	}

	for (CZeMeshBufferXM& buffer : Buffers)
		for (u32 i = 0; i < buffer.getVertexCount(); ++i)
		{
			SZeVertexXM& v = buffer.Vertices[i];
			if (!v.InfluenceCount)
			{
				v.Joints[0] = JointCount;
				v.Weights[0] = 1.f;
				v.InfluenceCount = 1;
			}
		}

	for (u32 j = 0; j <= JointCount; ++j)
		setIdentity(Matrices[j]);
	return true;
}

CZeMeshXM* CZeMeshXM::createFromSkinnedMesh(scene::ISkinnedMesh* source)
{
	CZeMeshXM* mesh = new (std::nothrow) CZeMeshXM;
	if (!mesh)
	{
		zeLog(EZELL_ERROR, "CZeMeshXM::create: failed to alloc the mesh");
		return nullptr;
	}
	if (!mesh->create(source))
	{
		delete mesh;
		return nullptr;
	}
	return mesh;
}

void CZeMeshXM::resetFromStatic(const CZeStaticMeshBuffersXM& buffers)
{
	const std::size_t count = buffers.size() < Buffers.size() ? buffers.size() : Buffers.size();
	for (std::size_t b = 0; b < count; ++b)
	{
		const SZeStaticVertexXM* from = buffers[b].getVertices();
		SZeVertexXM* to = Buffers[b].getVertices();
		const u32 n = buffers[b].getVertexCount() < Buffers[b].getVertexCount() ? buffers[b].getVertexCount()
		                                                                        : Buffers[b].getVertexCount();
		for (u32 i = 0; i < n; ++i)
		{
			_mm_store_ps(to[i].Position, _mm_load_ps(from[i].Position));
			_mm_store_ps(to[i].Normal, _mm_load_ps(from[i].Normal));
		}
	}
}

void CZeMeshXM::updateJointMatrices(scene::ISkinnedMesh* source)
{
	if (!source || !Matrices.size())
		return;
	core::array<scene::ISkinnedMesh::SJoint*>& joints = source->getAllJoints();
	const u32 count = joints.size() < JointCount ? joints.size() : JointCount;
	core::matrix4 product(core::matrix4::EM4CONST_NOTHING);
	for (u32 j = 0; j < count; ++j)
	{
		if (!joints[j])
			continue;
		product.setbyproduct(joints[j]->GlobalAnimatedMatrix, joints[j]->GlobalInversedMatrix);
		std::memcpy(Matrices[j].M, product.pointer(), sizeof(Matrices[j].M));
	}
	setIdentity(Matrices[JointCount]);
}

bool CZeMeshXM::skinMesh(scene::IMesh* target) const
{
	return writeToMesh(target, true, "CZeMeshXM::skinMesh");
}

bool CZeMeshXM::copyToMesh(scene::IMesh* target) const
{
	return writeToMesh(target, false, "CZeMeshXM::copyToMesh");
}

bool CZeMeshXM::writeToMesh(scene::IMesh* target, bool skin, const char* prefix) const
{
	if (!target || target->getMeshBufferCount() != Buffers.size())
	{
		zeLog(EZELL_ERROR, "%s: not same number of buffers", prefix);
		return false;
	}
	const SZeMatrixXM* matrices = Matrices.data();
	for (u32 b = 0; b < Buffers.size(); ++b)
	{
		scene::IMeshBuffer* out = target->getMeshBuffer(b);
		u32 pitch = 0;
		if (!out || !vertexPitch(out->getVertexType(), pitch))
		{
			zeLog(EZELL_ERROR, "%s: not EVT_STANDARD vertex type", prefix);
			return false;
		}
		const CZeMeshBufferXM& buffer = Buffers[b];
		const u32 count = buffer.getVertexCount();
		if (out->getVertexCount() != count)
		{
			zeLog(EZELL_ERROR, "%s: not same number of vertices", prefix);
			return false;
		}
		if (skin && !matrices)
		{
			zeLog(EZELL_ERROR, "%s: no joint matrices", prefix);
			return false;
		}
		u8* bytes = static_cast<u8*>(out->getVertices());
		const SZeVertexXM* in = buffer.getVertices();
		alignas(16) f32 position[4];
		alignas(16) f32 normal[4];
		for (u32 i = 0; i < count; ++i)
		{
			video::S3DVertex& v = *reinterpret_cast<video::S3DVertex*>(bytes + std::size_t(i) * pitch);
			const f32* p = in[i].Position;
			const f32* n = in[i].Normal;
			if (skin)
			{
				skinVertex(in[i], matrices, position, normal);
				p = position;
				n = normal;
			}
			v.Pos.set(p[0], p[1], p[2]);
			v.Normal.set(n[0], n[1], n[2]);
		}
	}
	target->setDirty(scene::EBT_VERTEX);
	return true;
}
