#include "scene/ZeParticleGenerators.h"

#include "frame/ZeLog.h"
#include "scene/CZeFxEmitter.h"

#include <cfloat>
#include <cmath>

using namespace irr;

namespace
{
enum EGenerator
{
	EG_BOX = 0,
	EG_SPHERE,
	EG_MESH_VERTICES,
	EG_MESH_NORMALS,
	EG_MESH_SURFACE,
	EG_PARENT_LIVE,
	EG_PARENT_DIED,
	EG_COUNT
};

// Scene nozzle type -> generator type.
const struct
{
	s32 nozzle;
	s32 generator;
} NOZZLES[] = {
	{ 0, EG_BOX }, { 1, EG_SPHERE }, { 2, EG_MESH_VERTICES }, { 3, EG_MESH_NORMALS }, { 5, EG_MESH_SURFACE },
	{ 8, EG_PARENT_LIVE }, { 9, EG_PARENT_DIED },
};

f32 uniform()
{
	return f32(zeParticleRandom()) / 32767.f - 0.5f;
}

// A unit vector along v; a zero (or denormal) vector gives zero.
void normalise(const f32 v[3], f32 out[3])
{
	const f32 length2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
	const f32 scale = length2 >= FLT_MIN ? 1.f / std::sqrt(length2) : 0.f;
	for (u32 i = 0; i < 3; ++i)
		out[i] = v[i] * scale;
}

// ---- Mesh sources ---------------------------------------------------------------
u32 vertexCount(const scene::IMeshBuffer* buffer)
{
	return buffer ? buffer->getVertexCount() : 0;
}

// Triangles of a buffer that has vertices and indices (16 or 32 bits).
u32 triangleCount(const scene::IMeshBuffer* buffer)
{
	return vertexCount(buffer) && buffer->getIndices() ? buffer->getIndexCount() / 3 : 0;
}

// Buffers that the generator can take points from: with vertices for the
// vertex walks, with triangles for the surface.
u32 usableBuffers(const scene::IMesh* mesh, bool triangles)
{
	u32 usable = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		usable += (triangles ? triangleCount(buffer) : vertexCount(buffer)) ? 1 : 0;
	}
	return usable;
}

// The vertex under the walk's cursors, which then advance through every vertex
// of every buffer in order, over and over. Cursors outside the mesh (it may
// have changed) restart at its first vertex; empty buffers are passed over.
bool nextVertex(SZeFxEmitterState& s, const scene::IMesh* mesh, bool normals, f32 point[3], f32 direction[3])
{
	const u32 buffers = mesh->getMeshBufferCount();
	if (!buffers)
		return false;
	if (s.meshBufferCursor >= buffers)
		s.meshBufferCursor = s.meshVertexCursor = 0;
	for (u32 tried = 0; tried <= buffers; ++tried)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(s.meshBufferCursor);
		const u32 count = vertexCount(buffer);
		if (s.meshVertexCursor < count)
		{
			const core::vector3df& p = buffer->getPosition(s.meshVertexCursor);
			const core::vector3df& g = normals ? buffer->getNormal(s.meshVertexCursor) : p;
			point[0] = p.X, point[1] = p.Y, point[2] = p.Z;
			direction[0] = g.X, direction[1] = g.Y, direction[2] = g.Z;
			if (++s.meshVertexCursor >= count)
			{
				s.meshVertexCursor = 0;
				if (++s.meshBufferCursor >= buffers)
					s.meshBufferCursor = 0;
			}
			return true;
		}
		s.meshVertexCursor = 0;
		if (++s.meshBufferCursor >= buffers)
			s.meshBufferCursor = 0;
	}
	return false;
}

// A uniform point on a random triangle of a random buffer with triangles
// (four draws); false when the triangle's indices lie outside its buffer.
bool surfacePoint(const scene::IMesh* mesh, u32 usable, f32 point[3])
{
	const u32 r1 = zeParticleRandom();
	u32 pick = u32(f32(r1) * (f32(usable) - 0.001f) / 32767.f);
	const scene::IMeshBuffer* buffer = nullptr;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		if (triangleCount(mesh->getMeshBuffer(b)) && pick-- == 0)
		{
			buffer = mesh->getMeshBuffer(b);
			break;
		}
	const u32 triangles = triangleCount(buffer);
	const u32 r2 = zeParticleRandom();
	u32 k = u32(f32(r2) * (f32(triangles) - 0.001f) / 32767.f);
	if (k >= triangles)
		k = triangles - 1;
	const f32 s = std::sqrt(f32(zeParticleRandom()) / 32767.f);
	const f32 t = f32(zeParticleRandom()) / 32767.f;
	u32 corner[3];
	for (u32 c = 0; c < 3; ++c)
		corner[c] = buffer->getIndexType() == video::EIT_32BIT
			? reinterpret_cast<const u32*>(buffer->getIndices())[3 * k + c]
			: buffer->getIndices()[3 * k + c];
	const u32 vertices = buffer->getVertexCount();
	if (corner[0] >= vertices || corner[1] >= vertices || corner[2] >= vertices)
		return false;
	const core::vector3df& p0 = buffer->getPosition(corner[0]);
	const core::vector3df& p1 = buffer->getPosition(corner[1]);
	const core::vector3df& p2 = buffer->getPosition(corner[2]);
	const f32 w0 = 1.f - s, w1 = s * (1.f - t), w2 = s * t;
	point[0] = w0 * p0.X + w1 * p1.X + w2 * p2.X;
	point[1] = w0 * p0.Y + w1 * p1.Y + w2 * p2.Y;
	point[2] = w0 * p0.Z + w1 * p1.Z + w2 * p2.Z;
	return true;
}

// Births for x = the expected count: floor(x), at most remaining; a negative
// or not-a-number x gives none, and nothing is converted out of range.
u32 birthsFor(f32 x, u32 remaining)
{
	if (!(x >= 1.f))
		return 0;
	if (x >= f32(remaining))
		return remaining;
	return u32(x);
}
} // namespace

u32 zeGenerateParticles(SZeFxEmitterState& s, f32 now, f32 dt, u32 remaining)
{
	const u32 type = s.generatorType;
	if (!s.pool || type >= EG_COUNT)
		return 0;
	const bool meshType = type >= EG_MESH_VERTICES && type <= EG_MESH_SURFACE;
	const bool parentType = type >= EG_PARENT_LIVE;
	const scene::IMesh* mesh = s.generatorMesh;
	u32 surfaceBuffers = 0;
	if (meshType)
	{
		if (!mesh)
			return 0;
		surfaceBuffers = usableBuffers(mesh, type == EG_MESH_SURFACE);
		if (!surfaceBuffers)
			return 0;
	}
	if (parentType && !s.parent)
		return 0;

	// How many.
	u32 n;
	if (type == EG_PARENT_DIED)
	{
		u32 died = 0;
		for (const SZeParticle* p = s.parent->diedList; p; p = p->next)
			++died;
		n = birthsFor(f32(died) * s.birthRate / 30.f, remaining);
		s.birthCarry = 0.f;
	}
	else
	{
		const f32 x = s.birthRate * dt + s.birthCarry;
		const f32 whole = std::floor(x);
		s.birthCarry = x >= 0.f && std::isfinite(x) ? x - whole : 0.f;
		n = birthsFor(whole, remaining);
	}

	// The emitter's motion since the previous birth step.
	const f32* m = s.transform;
	f32 inherited[4], path[4], pathVelocity[4];
	for (u32 i = 0; i < 4; ++i)
	{
		inherited[i] = s.emitterVelocity[i] * s.parentMotion;
		path[i] = (i < 3 ? s.previousSpawnPosition[i] - m[12 + i] : s.previousSpawnPosition[3] - 1.f);
		pathVelocity[i] = s.previousInheritedVelocity[i] - inherited[i];
	}
	for (u32 i = 0; i < 3; ++i)
		s.previousSpawnPosition[i] = m[12 + i];
	s.previousSpawnPosition[3] = 1.f;
	for (u32 i = 0; i < 4; ++i)
		s.previousInheritedVelocity[i] = inherited[i];

	// Where parent particles are taken from.
	const SZeFxEmitterState* parent = s.parent;
	SZeParticle* parentHead = nullptr;
	SZeParticle* parentTail = nullptr;
	if (type == EG_PARENT_LIVE)
	{
		parentTail = parent->liveTail;
		if (!parentTail)
			return 0;
		parentHead = parentTail->next;
		if (s.parentCursorIndex >= parent->liveCount)
			s.parentCursorIndex = 0;
		s.parentCursor = parentHead;
		for (u32 k = 0; k < s.parentCursorIndex; ++k)
		{
			if (s.parentCursor == parentTail)
			{
				s.parentCursor = parentHead;
				s.parentCursorIndex = 0;
				break;
			}
			s.parentCursor = s.parentCursor->next;
		}
	}
	else if (type == EG_PARENT_DIED)
		s.parentCursor = nullptr;

	u32 born = 0;
	for (u32 i = 0; i < n && s.pool->freeList; ++i)
	{
		f32 life = s.lifeTime + s.lifeTimeRange * uniform();
		if (!(life >= 0.f))
			life = 0.f;

		f32 point[3] = {};
		f32 direction[3] = {};
		switch (type)
		{
		case EG_BOX:
			for (u32 a = 0; a < 3; ++a)
				point[a] = direction[a] = uniform() * s.generatorSize[a];
			break;
		case EG_SPHERE:
		{
			const f32 u[3] = { uniform(), uniform(), uniform() };
			const f32 radius = f32(zeParticleRandom()) * 0.5f / 32767.f;
			normalise(u, point);
			for (u32 a = 0; a < 3; ++a)
				point[a] = direction[a] = point[a] * radius * s.generatorSize[a];
			break;
		}
		case EG_MESH_VERTICES:
		case EG_MESH_NORMALS:
			nextVertex(s, mesh, type == EG_MESH_NORMALS, point, direction);
			break;
		case EG_MESH_SURFACE:
			if (!surfacePoint(mesh, surfaceBuffers, point))
				continue;
			for (u32 a = 0; a < 3; ++a)
				direction[a] = point[a];
			break;
		case EG_PARENT_LIVE:
			if (s.parentCursor == parentTail)
			{
				s.parentCursor = parentHead;
				s.parentCursorIndex = 0;
			}
			else
			{
				s.parentCursor = s.parentCursor->next;
				++s.parentCursorIndex;
			}
			break;
		default:
			s.parentCursor = s.parentCursor && s.parentCursor->next ? s.parentCursor->next : parent->diedList;
			break;
		}
		if (parentType)
			for (u32 a = 0; a < 3; ++a)
			{
				point[a] = s.parentCursor->position[a];
				direction[a] = s.parentCursor->velocity[a];
			}
		const f32 random[3] = { uniform(), uniform(), uniform() };

		SZeParticle* p = s.pool->take();
		if (s.liveTail)
		{
			p->next = s.liveTail->next;
			s.liveTail->next = p;
		}
		else
			p->next = p;
		s.liveTail = p;
		p->birthTime = now;
		p->deathTime = now + life;
		p->sortKey = 0.f;

		const f32 spread = f32(i) / f32(n);
		if (parentType)
			for (u32 a = 0; a < 3; ++a)
				p->position[a] = point[a];
		else
			for (u32 a = 0; a < 3; ++a)
				p->position[a] = m[a] * point[0] + m[4 + a] * point[1] + m[8 + a] * point[2] + m[12 + a] + spread * path[a];
		p->position[3] = 1.f;

		f32 unitDirection[3], unitRandom[3], local[3];
		normalise(direction, unitDirection);
		normalise(random, unitRandom);
		for (u32 a = 0; a < 3; ++a)
			local[a] = s.velocity[a] + s.explosion * unitDirection[a] + s.vibration * unitRandom[a];
		for (u32 a = 0; a < 3; ++a)
		{
			f32 v = m[a] * local[0] + m[4 + a] * local[1] + m[8 + a] * local[2];
			v += parentType ? s.parentMotion * direction[a] : inherited[a] + spread * pathVelocity[a];
			p->velocity[a] = v;
		}
		p->velocity[3] = 0.f;
		++born;
	}
	return born;
}

s32 zeGeneratorTypeForNozzle(s32 nozzle, s32 emitterId, const char* imageFile)
{
	for (const auto& entry : NOZZLES)
		if (entry.nozzle == nozzle)
			return entry.generator;
	zeLog(EZELL_ERROR, "Unsupported Nozzle type %d for fxemitter id=%d (image file='%s')", nozzle, emitterId,
		imageFile ? imageFile : "");
	return -1;
}
