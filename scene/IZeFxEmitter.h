// The particle emitter that every particle-system scene node embeds: births
// through a generator, motion under velocity, resistance, gravity, jitter and
// curl noise, death at the end of a particle's life, and an optional
// back-to-front order for blending. Setters only store; the owning node's
// next update uses the values. Times are in seconds, speeds in world units
// per second.
#pragma once

#include <irrlicht.h>

class IZeFxEmitter
{
public:
	// Particles per second (0 or below: none).
	virtual void setBirthRate(irr::f32 rate) = 0;
	// Extents of the box and sphere generators.
	virtual void setGeneratorSize(irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	// Births allowed until the emitted count is cleared; 0 means no limit.
	virtual void setParticleLimit(irr::u32 limit) = 0;
	// Divides the resistance; 0 or below acts as 1. The range is kept only.
	virtual void setWeight(irr::f32 weight, irr::f32 range) = 0;
	// Kept for the particle effect; the simulation does not read it.
	virtual void setParticleSize(irr::f32 size, irr::f32 range) = 0;
	// Velocity damping per second (divided by the weight). The range is kept only.
	virtual void setResistance(irr::f32 resistance, irr::f32 range) = 0;
	// Life of new particles: life plus a uniform spread of full width range.
	virtual void setLifeTime(irr::f32 life, irr::f32 range) = 0;
	// Initial velocity in the emitter's own frame.
	virtual void setVelocity(irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	// Initial speed along the generator's direction.
	virtual void setExplosion(irr::f32 explosion) = 0;
	// Initial speed along a random direction; the minimum is kept only.
	virtual void setVibration(irr::f32 vibration, irr::f32 minimum) = 0;
	// Acceleration in world units per second squared.
	virtual void setGravity(irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	// Kept for callers; the simulation does not read them.
	virtual void setAuxVector(irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	virtual void setAuxFactor(irr::f32 factor) = 0;
	// Share of the emitter's own motion (of the parent particle's velocity for
	// the parent generators) given to new particles.
	virtual void setParentMotion(irr::f32 share) = 0;
	virtual void setAuxValue(irr::f32 value) = 0;
	// Strength of the per-update velocity jitter.
	virtual void setRandomVelocity(irr::f32 strength) = 0;
	// Strength of the curl-noise displacement.
	virtual void setCurlNoisePower(irr::f32 power) = 0;
	// Scale from world position to curl-noise texels.
	virtual void setCurlNoiseFrequency(irr::f32 frequency) = 0;
	// World transformation of the emitter, 16 floats in the 3D library's
	// matrix layout (translation in elements 12, 13, 14).
	virtual void setTransform(const irr::f32* matrix) = 0;
	// Eye position for the back-to-front order.
	virtual void setCameraPosition(irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	// Non-zero: keep the live particles ordered farthest first.
	virtual void setBlendMode(irr::u8 sorted) = 0;
	// Generator 0 box, 1 sphere, 2 mesh vertices, 3 mesh normals, 4 mesh
	// surface, 5 a parent's live particles, 6 a parent's particles that died in
	// its last update. Other values give no births.
	virtual void setGeneratorType(irr::u32 type) = 0;
	// Mesh of generators 2 to 4 (held by reference; null lets it go); the
	// walk restarts at its first vertex. Returns 0.
	virtual irr::s32 setGeneratorMesh(irr::scene::IMesh* mesh) = 0;
	// Emitter whose particles feed generators 5 and 6, or null. An emitter
	// that is destroyed first is let go by its children.
	virtual void setParentEmitter(IZeFxEmitter* parent) = 0;
	// Live particles after the last update.
	virtual irr::u32 getParticleCount() const = 0;
	// Empties the emitter and clears the emitted count; the next update starts afresh.
	virtual void reset() = 0;
	// Allows new births under the particle limit.
	virtual void resetEmittedCount() = 0;

protected:
	~IZeFxEmitter() = default;
};
