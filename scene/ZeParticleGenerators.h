// Particle generators: the birth step of an emitter, and the scene nozzle
// types that choose them.
//
// Generator types: 0 box, 1 sphere, 2 mesh vertices in order, 3 mesh
// vertices along their normals, 4 random points on the mesh's triangles,
// 5 the parent's live particles, 6 the parent's particles that died in its
// last update.
#pragma once

#include <irrlicht.h>

struct SZeFxEmitterState;

// The birth step of one update (now and dt in seconds): as many births as the
// birth rate gives, at most remaining and while the pool has records; returns
// the number born. A generator whose mesh has no usable buffer, whose parent
// is missing, or an unknown type, gives none and leaves the birth carry alone.
irr::u32 zeGenerateParticles(SZeFxEmitterState& state, irr::f32 now, irr::f32 dt, irr::u32 remaining);

// The generator type for a scene nozzle type (0 box, 1 sphere, 2 and 3 mesh
// vertices and normals, 5 mesh surface, 8 and 9 the parent generators); -1
// for any other nozzle, logged at error level as "Unsupported Nozzle type %d
// for fxemitter id=%d (image file='%s')".
irr::s32 zeGeneratorTypeForNozzle(irr::s32 nozzle, irr::s32 emitterId, const char* imageFile);
