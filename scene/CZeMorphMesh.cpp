// Morph meshes: loading, mapping a ".zmorph" file onto ".x" meshes, series of
// whole meshes, and applying weighted morphs before skinning.
#include "CZeMorphMesh.h"

#include "ZeMorphMapFile.h"
#include "core/CZeSceneManagerService.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"

#include <cstring>

using namespace irr;

// ---- Names ------------------------------------------------------------------------
namespace
{
// Position of the extension's '.' in the last path component, or -1.
s32 extensionDot(const core::stringc& name)
{
	const s32 dot = name.findLast('.');
	const s32 slash = core::max_(name.findLast('/'), name.findLast('\\'));
	return dot > slash ? dot : -1;
}
} // namespace

core::stringc zeMorphMapFileName(const char* objectName)
{
	const core::stringc name(objectName ? objectName : "");
	const s32 dot = extensionDot(name);
	return (dot < 0 ? name : name.subString(0, u32(dot))) + ".zmorph";
}

core::stringc zeMorphSeriesFileName(const char* objectName, u32 i)
{
	const core::stringc name(objectName ? objectName : "");
	const s32 dot = extensionDot(name);
	if (dot < 0)
		return core::stringc();
	core::stringc result = name.subString(0, u32(dot));
	result += ".morph";
	result += core::stringc(i);
	result += name.subString(u32(dot), name.size() - u32(dot));
	return result;
}

bool zeMorphFileExists(io::IFileSystem* fileSystem, const char* objectName)
{
	if (!fileSystem || !objectName)
		return false;
	const core::stringc first = zeMorphSeriesFileName(objectName, 1);
	if (!first.empty() && fileSystem->existFile(first))
		return true;
	return fileSystem->existFile(zeMorphMapFileName(objectName));
}

// ---- XM morph records ----------------------------------------------------------------
bool CZeMeshBufferMorphMapXM::create(u32 capacity)
{
	Count = 0;
	if (!Records.allocate(capacity))
	{
		zeLog(EZELL_ERROR, "CZeMeshBufferMorphMapXM::create: failed to alloc %d vertices", s32(capacity));
		return false;
	}
	return true;
}

bool CZeMeshBufferMorphMapXM::add(u32 index, const f32* position, const f32* normal)
{
	if (Count >= Records.size())
		return false;
	SZeMorphRecordXM& r = Records[Count++];
	r.Index = index;
	r.Position[0] = position[0];
	r.Position[1] = position[1];
	r.Position[2] = position[2];
	r.Position[3] = 0.f;
	r.Normal[0] = normal[0];
	r.Normal[1] = normal[1];
	r.Normal[2] = normal[2];
	r.Normal[3] = 0.f;
	return true;
}

// ---- Morph-map loader -------------------------------------------------------------------
namespace
{
s32 findPoint(const u32* indices, u32 count, u32 s)
{
	s32 lo = 0, hi = s32(count) - 1;
	while (lo <= hi)
	{
		const s32 mid = lo + (hi - lo) / 2;
		const s32 v = s32(indices[mid]);
		if (v == s32(s))
			return mid;
		if (v < s32(s))
			lo = mid + 1;
		else
			hi = mid - 1;
	}
	return -1;
}

bool buildBuffer(CZeMeshBufferMorphMapXM& out, const u32* table, u32 vertexCount, bool ordered,
                 const CZeLWZMorphReader& reader)
{
	const u32 points = reader.getNumPoints();
	const u32* idx = reader.getPointIndices();
	const f32* first = reader.getFirstVectors();
	const f32* second = reader.getSecondVectors();
	if (ordered)
	{
		if (!out.create(points))
			return false;
		u32 cursor = 0;
		for (u32 p = 0; p < points && cursor < vertexCount; ++p)
		{
			while (cursor < vertexCount && table[cursor] < idx[p])
				++cursor;
			if (cursor < vertexCount && table[cursor] == idx[p])
				out.add(cursor, first + 3 * p, second + 3 * p);
		}
		return true;
	}
	// Several vertices may share one point: count the matches first so that the
	// records are never too few.
	for (int pass = 0; pass < 2; ++pass)
	{
		u32 matches = 0;
		s32 previous = -1;
		for (u32 v = 0; v < vertexCount; ++v)
		{
			const u32 s = table[v];
			s32 found = -1;
			if (previous >= 0 && u32(previous) + 1 < points && idx[previous + 1] == s)
				found = previous + 1;
			else
				found = findPoint(idx, points, s);
			previous = found;
			if (found < 0)
				continue;
			++matches;
			if (pass == 1)
				out.add(v, first + 3 * found, second + 3 * found);
		}
		if (pass == 0 && !out.create(core::max_(points, matches)))
			return false;
	}
	return true;
}
} // namespace

bool CZeMorphMapLoader::load(CZeMorphMapXM*& map, io::IFileSystem* fileSystem, const char* fileName,
                             scene::IMesh* mesh)
{
	io::IReadFile* file =
		fileSystem && fileName && zeIsOpenableOnDisk(fileName) ? fileSystem->createAndOpenFile(fileName) : nullptr;
	if (!file)
	{
		zeLog(EZELL_ERROR, "CZeMorphMapLoader: failed to open morphmap file %s", fileName ? fileName : "");
		return false;
	}
	const bool ok = createMorphMap(map, file, mesh);
	file->drop();
	if (!ok)
		zeLog(EZELL_ERROR, "CZeMorphMapLoader: failed to read morphmap file %s", fileName);
	return ok;
}

bool CZeMorphMapLoader::createMorphMap(CZeMorphMapXM*& map, io::IReadFile* file, scene::IMesh* mesh)
{
	map = nullptr;
	if (!mesh)
		return false;
	const u32 bufferCount = mesh->getMeshBufferCount();
	std::vector<bool> ordered(bufferCount, true);
	for (u32 b = 0; b < bufferCount; ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const u32 n = buffer->getVertexCount();
		const u32* table = ze::getOriginalVerticesIndices(buffer);
		if (n && !table)
		{
			zeLog(EZELL_ERROR, "CZeMorphMapLoader::createMorphMap: OriginalVerticesIndices not found in mesh");
			return false;
		}
		for (u32 v = 1; v < n; ++v)
			if (table[v] <= table[v - 1])
			{
				zeLog(EZELL_WARN,
				      "CZeMorphMapLoader::createMorphMap: Warning, OriginalVerticesIndices are not ordered in "
				      "meshbuffer %d, slower load",
				      s32(b));
				ordered[b] = false;
				break;
			}
	}
	CZeLWZMorphReader reader;
	if (!reader.open(file))
	{
		zeLog(EZELL_ERROR, "CZeMorphMapLoader: failed to open morphmap file: %s", reader.getError().c_str());
		return false;
	}
	CZeMorphMapXM* result = new CZeMorphMapXM;
	for (s32 m = 0; m < reader.getMorphCount(); ++m)
	{
		const bool read = reader.readNext();
		if (!read && !reader.canReadOn())
		{
			zeLog(EZELL_ERROR, "CZeMorphMapLoader: failed to read next morph: %s", reader.getError().c_str());
			delete result;
			reader.close();
			return false;
		}
		// A morph the reader refused stays in its place without points, so that
		// the morphs after it keep their numbers.
		result->emplace_back(bufferCount);
		if (!read)
		{
			zeLog(EZELL_WARN, "CZeMorphMapLoader: morph %d '%s' of %s left out: %s", m + 1, reader.getName(),
			      file->getFileName().c_str(), reader.getError().c_str());
			continue;
		}
		CZeMeshMorphMapXM& morph = result->back();
		for (u32 b = 0; b < bufferCount; ++b)
		{
			const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
			const u32 n = buffer->getVertexCount();
			if (n)
				buildBuffer(morph[b], ze::getOriginalVerticesIndices(buffer), n, ordered[b], reader);
		}
	}
	reader.endForm();
	reader.close();
	map = result;
	return true;
}

// ---- Vertex access ----------------------------------------------------------------------
namespace
{
// Position and normal of vertex i of a buffer of any of the three vertex types.
video::S3DVertex& vertexAt(scene::IMeshBuffer* buffer, u32 i)
{
	switch (buffer->getVertexType())
	{
	case video::EVT_2TCOORDS:
		return static_cast<video::S3DVertex2TCoords*>(buffer->getVertices())[i];
	case video::EVT_TANGENTS:
		return static_cast<video::S3DVertexTangents*>(buffer->getVertices())[i];
	default:
		return static_cast<video::S3DVertex*>(buffer->getVertices())[i];
	}
}

bool sameLayout(scene::IMesh* a, scene::IMesh* b)
{
	if (!a || !b || a->getMeshBufferCount() != b->getMeshBufferCount())
		return false;
	for (u32 i = 0; i < a->getMeshBufferCount(); ++i)
		if (a->getMeshBuffer(i)->getVertexType() != b->getMeshBuffer(i)->getVertexType() ||
		    a->getMeshBuffer(i)->getVertexCount() != b->getMeshBuffer(i)->getVertexCount())
			return false;
	return true;
}

const core::aabbox3df& emptyBox()
{
	static const core::aabbox3df box(-1.f, -1.f, -1.f, 1.f, 1.f, 1.f);
	return box;
}

// The box around every vertex of the mesh; each buffer's box is refreshed.
core::aabbox3df boxOfVertices(scene::IMesh* mesh)
{
	core::aabbox3df box(emptyBox());
	bool first = true;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		if (!buffer || !buffer->getVertexCount())
			continue;
		buffer->recalculateBoundingBox();
		if (first)
			box = buffer->getBoundingBox();
		else
			box.addInternalBox(buffer->getBoundingBox());
		first = false;
	}
	return box;
}

// Calls f(morph, weight) for each target that names a morph (1-based, at most
// morphCount) with a weight other than 0, in order.
template <typename F>
void forEachTarget(u32 count, const u32* indices, const f32* weights, std::size_t morphCount, F f)
{
	if (!indices || !weights)
		return;
	for (u32 k = 0; k < count; ++k)
	{
		const u32 m = indices[k];
		const f32 w = weights[k];
		if (m == 0 || m > morphCount || w == 0.f)
			continue;
		f(m - 1, w);
	}
}
} // namespace

// ---- CZeMorphMeshBase ---------------------------------------------------------------------
CZeMorphMeshBase::CZeMorphMeshBase(scene::IMeshManipulator* manipulator)
	: Manipulator(manipulator), Box(emptyBox())
{
}

CZeMorphMeshBase::~CZeMorphMeshBase() { CZeMorphMeshBase::clear(); }

void CZeMorphMeshBase::clear()
{
	if (Working)
		Working->drop();
	if (SkinnedMesh)
		SkinnedMesh->drop();
	Working = nullptr;
	SkinnedMesh = nullptr;
	delete StaticBuffers;
	delete MeshXM;
	StaticBuffers = nullptr;
	MeshXM = nullptr;
}

bool CZeMorphMeshBase::initStaticInstance(scene::IMesh* mesh)
{
	if (!mesh || !Manipulator)
		return false;
	Working = Manipulator->createMeshCopy(mesh);
	Box = Working->getBoundingBox();
	return true;
}

bool CZeMorphMeshBase::initSkinnedInstance(scene::ISkinnedMesh* mesh)
{
	if (!mesh || !Manipulator)
		return false;
	// Switching hardware skinning off puts the vertices back in the static
	// pose; on again, the library leaves them to us, whoever shares the mesh.
	mesh->setHardwareSkinning(false);
	mesh->setHardwareSkinning(true);
	Working = Manipulator->createMeshCopy(mesh);
	StaticBuffers = new CZeStaticMeshBuffersXM;
	CZeStaticMeshBufferXM::create(*StaticBuffers, Working);
	Box = Working->getBoundingBox();
	MeshXM = new CZeMeshXM;
	if (!MeshXM->create(mesh))
		return false;
	SkinnedMesh = mesh;
	SkinnedMesh->grab();
	return true;
}

bool CZeMorphMeshBase::morphXM(u32 count, const u32* indices, const f32* weights)
{
	if (!MeshXM || !StaticBuffers)
		return false;
	MeshXM->resetFromStatic(*StaticBuffers);
	addMorphsXM(*MeshXM, count, indices, weights);
	return true;
}

void CZeMorphMeshBase::skinWorking(f32 frame)
{
	SkinnedMesh->animateMesh(frame, 1.f);
	SkinnedMesh->skinMesh();
	MeshXM->updateJointMatrices(SkinnedMesh);
	if (MeshXM->skinMesh(Working))
	{
		Box = boxOfVertices(Working);
		Working->setBoundingBox(Box);
	}
}

void CZeMorphMeshBase::cloneInto(CZeMorphMeshBase& copy) const
{
	if (Working)
		copy.Working = Manipulator->createMeshCopy(Working);
	copy.Box = Box;
	if (StaticBuffers)
		copy.StaticBuffers = new CZeStaticMeshBuffersXM(*StaticBuffers);
	if (MeshXM)
		copy.MeshXM = new CZeMeshXM(*MeshXM);
	if (SkinnedMesh && copy.Working && copy.StaticBuffers && copy.MeshXM)
	{
		copy.SkinnedMesh = SkinnedMesh;
		copy.SkinnedMesh->grab();
	}
}

u32 CZeMorphMeshBase::getFrameCount() const { return SkinnedMesh ? SkinnedMesh->getFrameCount() : 0; }

// Buffers and box are always the instance's own.
u32 CZeMorphMeshBase::getMeshBufferCount() const
{
	return Working ? Working->getMeshBufferCount() : 0;
}
scene::IMeshBuffer* CZeMorphMeshBase::getMeshBuffer(u32 nr) const
{
	return Working ? Working->getMeshBuffer(nr) : nullptr;
}
scene::IMeshBuffer* CZeMorphMeshBase::getMeshBuffer(const video::SMaterial& material) const
{
	return Working ? Working->getMeshBuffer(material) : nullptr;
}
const core::aabbox3d<f32>& CZeMorphMeshBase::getBoundingBox() const
{
	return Box;
}
void CZeMorphMeshBase::setBoundingBox(const core::aabbox3df& box)
{
	Box = box;
}
void CZeMorphMeshBase::setMaterialFlag(video::E_MATERIAL_FLAG flag, bool newvalue)
{
	if (Working)
		Working->setMaterialFlag(flag, newvalue);
}
void CZeMorphMeshBase::setHardwareMappingHint(scene::E_HARDWARE_MAPPING hint, scene::E_BUFFER_TYPE buffer)
{
	if (Working)
		Working->setHardwareMappingHint(hint, buffer);
}
void CZeMorphMeshBase::setDirty(scene::E_BUFFER_TYPE buffer)
{
	if (Working)
		Working->setDirty(buffer);
}

// ---- CZeMorphMeshMorphMapXM ---------------------------------------------------------------
CZeMorphMeshMorphMapXM::CZeMorphMeshMorphMapXM(scene::IMeshManipulator* manipulator)
	: CZeMorphMeshBase(manipulator)
{
}

CZeMorphMeshMorphMapXM::~CZeMorphMeshMorphMapXM() { clear(); }

void CZeMorphMeshMorphMapXM::clear()
{
	CZeMorphMeshBase::clear();
	delete Map;
	Map = nullptr;
}

bool CZeMorphMeshMorphMapXM::initFromStaticMesh(scene::IMesh* mesh, CZeMorphMapXM* map)
{
	clear();
	if (!initStaticInstance(mesh))
	{
		delete map;
		return false;
	}
	Map = map;
	StaticBuffers = new CZeStaticMeshBuffersXM;
	CZeStaticMeshBufferXM::create(*StaticBuffers, mesh);
	MeshXM = new CZeMeshXM;
	return CZeMeshBufferXM::create(*MeshXM, mesh);
}

bool CZeMorphMeshMorphMapXM::initFromSkinnedMesh(scene::ISkinnedMesh* mesh, CZeMorphMapXM* map)
{
	clear();
	Map = map;
	return initSkinnedInstance(mesh);
}

void CZeMorphMeshMorphMapXM::addMorphsXM(CZeMeshXM& mesh, u32 count, const u32* indices, const f32* weights) const
{
	if (!Map)
		return;
	forEachTarget(count, indices, weights, Map->size(), [&](u32 m, f32 w) {
		const CZeMeshMorphMapXM& morph = (*Map)[m];
		for (u32 b = 0; b < morph.size() && b < mesh.getBufferCount(); ++b)
		{
			CZeMeshBufferXM& target = mesh.getBuffer(b);
			SZeVertexXM* vertices = target.getVertices();
			const SZeMorphRecordXM* r = morph[b].getRecords();
			for (u32 i = 0; i < morph[b].getCount(); ++i)
			{
				if (r[i].Index >= target.getVertexCount())
					continue;
				SZeVertexXM& v = vertices[r[i].Index];
				for (int c = 0; c < 4; ++c)
				{
					v.Position[c] += w * r[i].Position[c];
					v.Normal[c] += w * r[i].Normal[c];
				}
			}
		}
	});
}

void CZeMorphMeshMorphMapXM::applyMorphs(u32 count, const u32* indices, const f32* weights, f32 frame)
{
	if (!Working || !morphXM(count, indices, weights))
		return;
	if (SkinnedMesh)
		skinWorking(frame);
	else
		MeshXM->copyToMesh(Working);
	setDirty(scene::EBT_VERTEX);
}

u32 CZeMorphMeshMorphMapXM::getMorphCount() const { return Working && Map ? u32(Map->size()) : 0; }

IZeMorphMesh* CZeMorphMeshMorphMapXM::clone() const
{
	CZeMorphMeshMorphMapXM* copy = new CZeMorphMeshMorphMapXM(Manipulator);
	cloneInto(*copy);
	if (Map)
		copy->Map = new CZeMorphMapXM(*Map);
	return copy;
}

// ---- Series morph map -----------------------------------------------------------------------
bool zeBuildSeriesMorphMap(CZeMorphMap& map, const core::array<scene::IMesh*>& members)
{
	map.clear();
	if (members.empty() || !members[0])
		return false;
	scene::IMesh* rest = members[0];
	for (u32 t = 1; t < members.size(); ++t)
		if (!sameLayout(rest, members[t]))
		{
			zeLog(EZELL_ERROR, "Morph mesh %d differs from the first in buffers, vertex counts or vertex types",
			      s32(t + 1));
			map.clear();
			return false;
		}
	const f32 minMove = 1.4210854715202004e-14f;
	for (u32 t = 1; t < members.size(); ++t)
	{
		map.emplace_back(rest->getMeshBufferCount());
		CZeMeshMorphMap& morph = map.back();
		for (u32 b = 0; b < rest->getMeshBufferCount(); ++b)
		{
			scene::IMeshBuffer* r = rest->getMeshBuffer(b);
			scene::IMeshBuffer* m = members[t]->getMeshBuffer(b);
			const bool tangents = m->getVertexType() == video::EVT_TANGENTS;
			for (u32 k = 0; k < m->getVertexCount(); ++k)
			{
				const video::S3DVertex& a = vertexAt(r, k);
				const video::S3DVertex& c = vertexAt(m, k);
				const core::vector3df dPos = c.Pos - a.Pos;
				const core::vector3df dNormal = c.Normal - a.Normal;
				if (dPos.getLengthSQ() < minMove && core::abs_(dNormal.X) < 0.1f && core::abs_(dNormal.Y) < 0.1f &&
				    core::abs_(dNormal.Z) < 0.1f)
					continue;
				video::S3DVertexTangents d;
				d.Pos = dPos;
				d.Normal = dNormal;
				d.Color = video::SColor(k);
				d.TCoords = core::vector2df(0.f, 0.f);
				if (tangents)
				{
					const video::S3DVertexTangents& ta = static_cast<const video::S3DVertexTangents&>(a);
					const video::S3DVertexTangents& tc = static_cast<const video::S3DVertexTangents&>(c);
					d.Tangent = tc.Tangent - ta.Tangent;
					d.Binormal = tc.Binormal - ta.Binormal;
				}
				morph[b].push_back(d);
			}
		}
	}
	return true;
}

namespace
{
void applyMap(scene::IMesh* mesh, const CZeMorphMap& map, u32 count, const u32* indices, const f32* weights)
{
	forEachTarget(count, indices, weights, map.size(), [&](u32 m, f32 w) {
		const CZeMeshMorphMap& morph = map[m];
		for (u32 b = 0; b < morph.size() && b < mesh->getMeshBufferCount(); ++b)
		{
			scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
			const bool tangents = buffer->getVertexType() == video::EVT_TANGENTS;
			for (u32 i = 0; i < morph[b].size(); ++i)
			{
				const video::S3DVertexTangents& d = morph[b][i];
				const u32 index = d.Color.color;
				if (index >= buffer->getVertexCount())
					continue;
				video::S3DVertex& v = vertexAt(buffer, index);
				v.Pos += d.Pos * w;
				v.Normal += d.Normal * w;
				if (tangents)
				{
					video::S3DVertexTangents& t = static_cast<video::S3DVertexTangents&>(v);
					t.Tangent += d.Tangent * w;
					t.Binormal += d.Binormal * w;
				}
			}
		}
	});
}

// Every morph of the map has one entry per mesh buffer. Without a map any
// mesh fits; a map never fits a missing mesh.
bool mapFits(scene::IMesh* mesh, const CZeMorphMap* map)
{
	if (!map)
		return true;
	if (!mesh)
		return false;
	for (const CZeMeshMorphMap& morph : *map)
		if (morph.size() != mesh->getMeshBufferCount())
			return false;
	return true;
}
} // namespace

// ---- CZeMorphMeshMorphMap ---------------------------------------------------------------------
CZeMorphMeshMorphMap::CZeMorphMeshMorphMap(scene::IMeshManipulator* manipulator)
	: CZeMorphMeshBase(manipulator)
{
}

CZeMorphMeshMorphMap::~CZeMorphMeshMorphMap() { clear(); }

void CZeMorphMeshMorphMap::clear()
{
	CZeMorphMeshBase::clear();
	if (Source)
		Source->drop();
	if (Rest)
		Rest->drop();
	Source = nullptr;
	Rest = nullptr;
	delete Map;
	Map = nullptr;
}

bool CZeMorphMeshMorphMap::initFromStaticMesh(scene::IMesh* mesh, CZeMorphMap* map)
{
	clear();
	if (!mapFits(mesh, map) || !initStaticInstance(mesh))
	{
		delete map;
		return false;
	}
	Source = mesh;
	Source->grab();
	Map = map;
	return true;
}

bool CZeMorphMeshMorphMap::initFromSkinnedMesh(scene::ISkinnedMesh* mesh, CZeMorphMap* map)
{
	clear();
	if (!mapFits(mesh, map))
	{
		delete map;
		return false;
	}
	Map = map;
	return initSkinnedInstance(mesh);
}

bool CZeMorphMeshMorphMap::copyPositionsAndNormals(scene::IMesh* destination, scene::IMesh* source)
{
	if (!destination || !source || destination->getMeshBufferCount() > source->getMeshBufferCount())
		return false;
	for (u32 b = 0; b < destination->getMeshBufferCount(); ++b)
	{
		scene::IMeshBuffer* d = destination->getMeshBuffer(b);
		scene::IMeshBuffer* s = source->getMeshBuffer(b);
		if (d->getVertexType() != s->getVertexType() || s->getVertexCount() < d->getVertexCount())
			return false;
		for (u32 i = 0; i < d->getVertexCount(); ++i)
		{
			vertexAt(d, i).Pos = vertexAt(s, i).Pos;
			vertexAt(d, i).Normal = vertexAt(s, i).Normal;
		}
	}
	return true;
}

// The series deltas on the XM vertices of a skinned instance, before skinning.
// Skinning writes positions and normals only, so tangent deltas do not apply.
void CZeMorphMeshMorphMap::addMorphsXM(CZeMeshXM& mesh, u32 count, const u32* indices, const f32* weights) const
{
	if (!Map)
		return;
	forEachTarget(count, indices, weights, Map->size(), [&](u32 m, f32 w) {
		const CZeMeshMorphMap& morph = (*Map)[m];
		for (u32 b = 0; b < morph.size() && b < mesh.getBufferCount(); ++b)
		{
			CZeMeshBufferXM& target = mesh.getBuffer(b);
			SZeVertexXM* vertices = target.getVertices();
			for (u32 i = 0; i < morph[b].size(); ++i)
			{
				const video::S3DVertexTangents& d = morph[b][i];
				const u32 index = d.Color.color;
				if (index >= target.getVertexCount())
					continue;
				SZeVertexXM& v = vertices[index];
				v.Position[0] += w * d.Pos.X;
				v.Position[1] += w * d.Pos.Y;
				v.Position[2] += w * d.Pos.Z;
				v.Normal[0] += w * d.Normal.X;
				v.Normal[1] += w * d.Normal.Y;
				v.Normal[2] += w * d.Normal.Z;
			}
		}
	});
}

void CZeMorphMeshMorphMap::applyMorphs(u32 count, const u32* indices, const f32* weights, f32 frame)
{
	if (!Working)
		return;
	if (SkinnedMesh)
	{
		// Rest pose, deltas, then our own skinning into this instance's copy.
		if (!morphXM(count, indices, weights))
			return;
		skinWorking(frame);
	}
	else
	{
		// A clone has no source: its working copy keeps the rest pose it was
		// cloned with, restored from the saved copy.
		copyPositionsAndNormals(Working, Source ? Source : Rest);
		if (Map)
			applyMap(Working, *Map, count, indices, weights);
	}
	setDirty(scene::EBT_VERTEX);
}

u32 CZeMorphMeshMorphMap::getMorphCount() const { return Working && Map ? u32(Map->size()) : 0; }

IZeMorphMesh* CZeMorphMeshMorphMap::clone() const
{
	CZeMorphMeshMorphMap* copy = new CZeMorphMeshMorphMap(Manipulator);
	cloneInto(*copy);
	if (Map)
		copy->Map = new CZeMorphMap(*Map);
	if (Working && !SkinnedMesh)
		copy->Rest = Manipulator->createMeshCopy(Source ? Source : Rest);
	return copy;
}

// ---- Loading ----------------------------------------------------------------------------------------
namespace
{
template <typename T, typename TMap>
IZeMorphMesh* initMorphMesh(scene::IMeshManipulator* manipulator, scene::IAnimatedMesh* mesh, TMap* map)
{
	T* morph = new T(manipulator);
	scene::ISkinnedMesh* skinned =
		mesh->getMeshType() == scene::EAMT_SKINNED ? static_cast<scene::ISkinnedMesh*>(mesh) : nullptr;
	bool ok;
	if (skinned && skinned->getFrameCount() >= 1)
		ok = morph->initFromSkinnedMesh(skinned, map);
	else
		ok = morph->initFromStaticMesh(mesh->getMesh(0), map);
	if (!ok)
	{
		zeLog(EZELL_ERROR, "zeLoadMorphMesh: failed to initialise the morph mesh");
		morph->drop();
		return nullptr;
	}
	return morph;
}
} // namespace

IZeMorphMesh* zeLoadMorphMesh(IrrlichtDevice* device, const char* objectName)
{
	if (!device || !objectName)
		return nullptr;
	scene::ISceneManager* smgr = device->getSceneManager();
	io::IFileSystem* fs = device->getFileSystem();
	// The engine's own loaders for the kinds it reads itself: a file they refuse
	// never falls through to the library's loaders.
	scene::IAnimatedMesh* mesh = CZeSceneManagerService::loadMesh(smgr, objectName);
	if (!mesh)
		return nullptr;
	scene::IMeshManipulator* manipulator = smgr->getMeshManipulator();
	const core::stringc mapName = zeMorphMapFileName(objectName);
	if (fs->existFile(mapName))
	{
		CZeMorphMapXM* map = nullptr;
		scene::IMesh* frame0 = mesh->getMeshType() == scene::EAMT_SKINNED ? mesh : mesh->getMesh(0);
		if (!CZeMorphMapLoader::load(map, fs, mapName.c_str(), frame0))
			return nullptr;
		return initMorphMesh<CZeMorphMeshMorphMapXM>(manipulator, mesh, map);
	}
	if (!fs->existFile(zeMorphSeriesFileName(objectName, 1)))
		return nullptr;
	core::array<scene::IMesh*> members;
	for (u32 i = 1;; ++i)
	{
		const core::stringc name = zeMorphSeriesFileName(objectName, i);
		if (!fs->existFile(name))
			break;
		scene::IAnimatedMesh* member = CZeSceneManagerService::loadMesh(smgr, name);
		if (!member)
		{
			zeLog(EZELL_ERROR, "Failed to load morph mesh '%s'", name.c_str());
			return nullptr;
		}
		members.push_back(member->getMesh(0));
	}
	CZeMorphMap* map = new CZeMorphMap;
	if (!zeBuildSeriesMorphMap(*map, members) || !sameLayout(members[0], mesh->getMesh(0)))
	{
		zeLog(EZELL_ERROR, "zeLoadMorphMesh: morph series of '%s' does not match its object", objectName);
		delete map;
		return nullptr;
	}
	return initMorphMesh<CZeMorphMeshMorphMap>(manipulator, mesh, map);
}
