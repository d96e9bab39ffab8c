// Point-cloud meshes and tangent meshes.
#include "scene/CZeMeshManipulator.h"

#include "frame/ZeLog.h"

#include <cstring>
#include <vector>

using namespace irr;

namespace
{
	struct PolyInfo
	{
		f32 Area;
		u32 Count;
	};

	struct MBInfo
	{
		u32 First;
		u32 Count;
		std::vector<PolyInfo> Polys;
	};

	// Index i of a buffer, 16- or 32-bit.
	u32 indexAt(const scene::IMeshBuffer* buffer, u32 i)
	{
		if (buffer->getIndexType() == video::EIT_32BIT)
			return reinterpret_cast<const u32*>(buffer->getIndices())[i];
		return buffer->getIndices()[i];
	}

	// The three vertex indices of triangle t; false when one is out of range.
	bool triangleAt(const scene::IMeshBuffer* buffer, u32 t, u32 v[3])
	{
		const u32 vertexCount = buffer->getVertexCount();
		for (u32 k = 0; k < 3; ++k)
		{
			v[k] = indexAt(buffer, t * 3 + k);
			if (v[k] >= vertexCount)
				return false;
		}
		return true;
	}

	// Square root as u times an approximate inverse square root.
	f32 fastSqrt(f32 u)
	{
		u32 bits;
		memcpy(&bits, &u, 4);
		bits = 0x5F3759DFu - (bits >> 1);
		f32 y;
		memcpy(&y, &bits, 4);
		y = y * (1.5f - 0.5f * u * y * y);
		y = y * (1.5f - 0.5f * u * y * y);
		return y * u;
	}
}

scene::SMesh* CZeMeshManipulator::createPointCloudMesh(const scene::IMeshManipulator* manipulator,
	const scene::IMesh* mesh, u32 pointCount)
{
	(void)manipulator;
	scene::SMesh* out = new scene::SMesh();
	if (!mesh)
		return out;
	const u32 bufferCount = mesh->getMeshBufferCount();

	// Areas.
	std::vector<MBInfo> infos(bufferCount);
	f32 totalArea = 0.0f;
	for (u32 b = 0; b < bufferCount; ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const u32 triangles = buffer->getIndexCount() / 3;
		infos[b].Polys.resize(triangles);
		for (u32 t = 0; t < triangles; ++t)
		{
			u32 v[3];
			f32 area = 0.0f;
			if (triangleAt(buffer, t, v))
				area = core::triangle3df(buffer->getPosition(v[0]), buffer->getPosition(v[1]),
					buffer->getPosition(v[2])).getArea();
			infos[b].Polys[t].Area = area;
			infos[b].Polys[t].Count = 0;
			totalArea += area;
		}
	}

	// Shares and remainder; a mesh without area gets no points.
	u64 total = 0;
	if (totalArea > 0.0f)
	{
		for (u32 b = 0; b < bufferCount; ++b)
		{
			infos[b].First = (u32)total;
			infos[b].Count = 0;
			for (PolyInfo& poly : infos[b].Polys)
			{
				const f32 share = (f32)pointCount * poly.Area / totalArea;
				poly.Count = !(share > 0.0f) ? 0 : share >= (f32)pointCount ? pointCount : (u32)share;
				infos[b].Count += poly.Count;
			}
			total += infos[b].Count;
		}
		if (bufferCount > 0 && !infos[bufferCount - 1].Polys.empty())
		{
			MBInfo& last = infos[bufferCount - 1];
			PolyInfo& poly = last.Polys.back();
			total -= last.Count;
			if (total + last.Count <= pointCount)
				poly.Count += pointCount - (u32)(total + last.Count);
			else
			{
				const u64 excess = total + last.Count - pointCount;
				poly.Count = excess >= poly.Count ? 0 : poly.Count - (u32)excess;
			}
			last.Count = 0;
			for (const PolyInfo& p : last.Polys)
				last.Count += p.Count;
			total += last.Count;
		}
		if (total != pointCount)
			zeLog(EZELL_WARN, "CZeMeshManipulator::createPointCloudMesh : Warning, total=%d different from expected numVertices=%d",
				(s32)total, (s32)pointCount);
	}
	else
	{
		for (MBInfo& info : infos)
			info.First = info.Count = 0;
		if (pointCount > 0)
			zeLog(EZELL_WARN, "CZeMeshManipulator::createPointCloudMesh : Warning, the mesh has no area, no points made");
	}

	// Points.
	u32 state = 0;
	u32 running = 0;
	for (u32 b = 0; b < bufferCount; ++b)
	{
		const scene::IMeshBuffer* source = mesh->getMeshBuffer(b);
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		buffer->Material = source->getMaterial();
		if (source->getVertexType() == video::EVT_TANGENTS)
		{
			zeLog(EZELL_ERROR, "CZeMeshManipulator::createPointCloudMesh : error, video::EVT_TANGENTS is not supported\n");
		}
		else if (infos[b].Count > 0)
		{
			buffer->Vertices.reallocate(infos[b].Count);
			const u32 triangles = (u32)infos[b].Polys.size();
			for (u32 t = 0; t < triangles; ++t)
			{
				u32 v[3];
				if (infos[b].Polys[t].Count == 0 || !triangleAt(source, t, v))
					continue;
				for (u32 p = 0; p < infos[b].Polys[t].Count; ++p)
				{
					const u32 x1 = state * 214013u + 2531011u;
					state = x1 * 214013u + 2531011u;
					const f32 u = (f32)((x1 >> 16) & 0x7FFF) * 3.0518509447574615e-05f;
					const f32 w = (f32)((state >> 16) & 0x7FFF) * 3.0518509447574615e-05f;
					const f32 s = fastSqrt(u);
					const f32 w0 = 1.0f - s;
					const f32 w1 = s * (1.0f - w);
					const f32 w2 = s * w;
					video::S3DVertex vertex;
					vertex.Pos = source->getPosition(v[0]) * w0 + source->getPosition(v[1]) * w1 +
						source->getPosition(v[2]) * w2;
					vertex.Normal = source->getNormal(v[0]) * w0 + source->getNormal(v[1]) * w1 +
						source->getNormal(v[2]) * w2;
					vertex.Normal.normalize();
					vertex.TCoords = source->getTCoords(v[0]) * w0 + source->getTCoords(v[1]) * w1 +
						source->getTCoords(v[2]) * w2;
					vertex.Color = video::SColor(running++);
					buffer->Vertices.push_back(vertex);
				}
			}
		}
		buffer->recalculateBoundingBox();
		out->addMeshBuffer(buffer);
		buffer->drop();
	}
	out->recalculateBoundingBox();
	return out;
}

scene::IMesh* CZeMeshManipulator::createMeshWithTangents(const scene::IMeshManipulator* manipulator,
	scene::IMesh* mesh, bool carrySecondTCoords)
{
	if (!manipulator || !mesh)
		return 0;
	scene::IMesh* copy = manipulator->createMeshWithTangents(mesh, false, false, false, true);
	if (!copy || !carrySecondTCoords)
		return copy;

	const u32 bufferCount = copy->getMeshBufferCount();
	bool ok = bufferCount == mesh->getMeshBufferCount();
	for (u32 b = 0; ok && b < bufferCount; ++b)
	{
		scene::IMeshBuffer* r = copy->getMeshBuffer(b);
		const scene::IMeshBuffer* s = mesh->getMeshBuffer(b);
		if (r->getVertexType() != video::EVT_TANGENTS || s->getVertexType() != video::EVT_2TCOORDS ||
			r->getIndexCount() != s->getIndexCount())
		{
			ok = false;
			break;
		}
		video::S3DVertexTangents* rv = static_cast<video::S3DVertexTangents*>(r->getVertices());
		const video::S3DVertex2TCoords* sv = static_cast<const video::S3DVertex2TCoords*>(s->getVertices());
		const u32 rCount = r->getVertexCount();
		const u32 sCount = s->getVertexCount();
		const u32 indexCount = r->getIndexCount();
		for (u32 i = 0; i < indexCount; ++i)
		{
			const u32 a = indexAt(r, i);
			const u32 c = indexAt(s, i);
			if (a >= rCount || c >= sCount || !rv[a].Pos.equals(sv[c].Pos, 0.000001f) ||
				!core::equals(rv[a].TCoords.X, sv[c].TCoords.X, 0.000001f) ||
				!core::equals(rv[a].TCoords.Y, sv[c].TCoords.Y, 0.000001f))
			{
				ok = false;
				break;
			}
			rv[a].Binormal.X = sv[c].TCoords2.X;
			rv[a].Binormal.Y = sv[c].TCoords2.Y;
		}
	}
	if (!ok)
	{
		copy->drop();
		return 0;
	}
	return copy;
}
