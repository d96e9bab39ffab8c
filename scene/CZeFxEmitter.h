// The particle emitter (CZeFxEmitter, the one implementation of IZeFxEmitter)
// with its records, pools and process-wide random numbers.
//
// Index:
//   - Records: SZeParticle, SZeParticleInstance
//   - Pools: SZeParticlePool, the shared pool
//   - Random numbers
//   - SZeFxEmitterState
//   - CZeFxEmitter: the interface, the node's operations, tests' views
//
// Live particles form a circular, singly linked list drawn from a pool: births
// take records from the pool's free list, deaths move them to the died list,
// where they stay, data intact, until the emitter's next update (children of
// generator 6 read them there), and then return to the free list. Nothing is
// allocated while simulating. Main thread only.
//
// An update moves the particles' contents between the records of the live
// list (not those of the died list) and may link its records again, so that
// the list (back to front when sorting, else in birth order) goes through
// memory in order: across updates a record names a place in the list, not a
// particle.
#pragma once

#include "IZeFxEmitter.h"
#include "ZeAlignedStore.h"

#include <irrlicht.h>

#include <cstddef>
#include <memory>

// ---- Records ------------------------------------------------------------------
// One particle: a cache line, 16-byte vectors. next links the circular live
// list; the free list and the died list are null-terminated through it.
struct alignas(16) SZeParticle
{
	SZeParticle* next;
	irr::f32 birthTime;   // seconds
	irr::f32 deathTime;   // seconds; alive while not below the update's time
	irr::f32 sortKey;     // squared distance to the camera (sorting emitters)
	alignas(16) irr::f32 position[4];   // w = 1
	alignas(16) irr::f32 velocity[4];   // w = 0
};
static_assert(sizeof(SZeParticle) == 64, "a particle fills one cache line");

// What the node draws per particle: 36 bytes, every field f32.
struct SZeParticleInstance
{
	irr::f32 position[3];   // bytes 0-11
	irr::f32 birthTime;     // bytes 12-15
	irr::f32 deathTime;     // bytes 16-19
	irr::f32 zero;          // bytes 20-23, always 0
	irr::f32 velocity[3];   // bytes 24-35
};
static_assert(sizeof(SZeParticleInstance) == 36 && offsetof(SZeParticleInstance, birthTime) == 12 &&
	offsetof(SZeParticleInstance, zero) == 20 && offsetof(SZeParticleInstance, velocity) == 24,
	"the particle instance record is 36 packed floats");

// ---- Pools --------------------------------------------------------------------
// Records on 64-byte boundaries, the head of their free list, and the scratch
// with which an update of any one emitter drawing from the pool sorts and
// puts its list in memory order: two sort words and one record index per
// record (20 bytes beside each 64).
struct SZeParticlePool
{
	ze::TZeAlignedStore<SZeParticle> records;
	SZeParticle* freeList = nullptr;
	ze::TZeAlignedStore<irr::u64> sortWords;   // 2 x capacity
	ze::TZeAlignedStore<irr::u32> sortSlots;   // capacity

	// Room for capacity records, all linked on the free list, and the sort
	// scratch; false when the memory cannot be had or the pool already has
	// records.
	bool create(irr::u32 capacity);
	// The head of the free list, unlinked, or null when the pool is empty.
	SZeParticle* take()
	{
		SZeParticle* p = freeList;
		if (p)
			freeList = p->next;
		return p;
	}
};

// Records of the shared pool, which every emitter of the default node uses.
const irr::u32 ZE_SHARED_PARTICLE_POOL_CAPACITY = 262144;
// Default capacity of an emitter's private pool.
const irr::u32 ZE_PRIVATE_PARTICLE_POOL_CAPACITY = 65536;

// ---- Random numbers -----------------------------------------------------------
// One process-wide 32-bit state shared by every emitter and generator, 0 at
// start: state = state x 214013 + 2531011, a draw is (state >> 16) & 0x7FFF.
irr::u32 zeParticleRandom();
// Sets the state; tests and frame capture seed it for repeatable runs.
void zeParticleRandomSeed(irr::u32 state);
irr::u32 zeParticleRandomState();

// ---- SZeFxEmitterState --------------------------------------------------------
// Every value of one emitter; vectors are x, y, z, w.
struct alignas(16) SZeFxEmitterState
{
	irr::f32 birthRate = 100.f;
	irr::f32 generatorSize[3] = { 1.f, 1.f, 1.f };
	irr::u32 particleLimit = 0;
	irr::f32 weight = 1.f;
	irr::f32 weightRange = 0.f;
	irr::f32 particleSize = 0.f;
	irr::f32 particleSizeRange = 0.f;
	irr::f32 resistance = 1.f;
	irr::f32 resistanceRange = 0.f;
	irr::f32 lifeTime = 2.f;
	irr::f32 lifeTimeRange = 0.f;
	alignas(16) irr::f32 velocity[4] = {};
	irr::f32 explosion = 0.f;
	irr::f32 vibration = 0.f;
	irr::f32 vibrationMin = 0.f;
	alignas(16) irr::f32 gravity[4] = {};
	irr::f32 auxVector[3] = {};
	irr::f32 auxFactor = 1.f;
	irr::f32 parentMotion = 1.f;
	irr::f32 auxValue = 0.f;
	irr::f32 randomVelocity = 0.f;
	irr::f32 curlNoisePower = 0.f;
	irr::f32 curlNoiseFrequency = 4.f;
	alignas(16) irr::f32 transform[16] = { 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1 };
	alignas(16) irr::f32 cameraPosition[4] = { 0, 0, 0, 1 };
	irr::u8 sortFlag = 0;
	irr::u32 generatorType = 0;
	irr::scene::IMesh* generatorMesh = nullptr;   // one reference held
	irr::u32 meshBufferCursor = 0;
	irr::u32 meshVertexCursor = 0;
	SZeFxEmitterState* parent = nullptr;          // cleared when the parent goes
	irr::u8 sharedPool = 0;
	SZeParticlePool* pool = nullptr;
	irr::u32 lastTimeMs = 0;                      // 0: no update yet
	alignas(16) irr::f32 lastSamplePosition[4] = {};
	irr::u32 lastSampleTimeMs = 0;
	alignas(16) irr::f32 emitterVelocity[4] = {};
	alignas(16) irr::f32 previousSpawnPosition[4] = {};
	alignas(16) irr::f32 previousInheritedVelocity[4] = {};
	irr::f32 birthCarry = 0.f;
	SZeParticle* liveTail = nullptr;              // the tail's next is the head
	irr::u32 liveCount = 0;
	irr::u32 emittedCount = 0;
	irr::u32 parentCursorIndex = 0;               // list place reached in the parent (generator 5)
	SZeParticle* parentCursor = nullptr;          // used within one birth step only
	SZeParticle* diedList = nullptr;
};

// ---- CZeFxEmitter -------------------------------------------------------------
// Embedded as a member of its scene node, which calls initPool once, then per
// visible frame setTransform, setCameraPosition and update; fillInstances to
// draw; clearParticles(true) when hidden.
class CZeFxEmitter final : public IZeFxEmitter
{
public:
	CZeFxEmitter();
	// Gives the particles back (a private pool is freed, a shared one released),
	// lets children go, leaves its parent and drops the generator mesh.
	~CZeFxEmitter();
	CZeFxEmitter(const CZeFxEmitter&) = delete;
	CZeFxEmitter& operator=(const CZeFxEmitter&) = delete;

	// IZeFxEmitter
	void setBirthRate(irr::f32 rate) override;
	void setGeneratorSize(irr::f32 x, irr::f32 y, irr::f32 z) override;
	void setParticleLimit(irr::u32 limit) override;
	void setWeight(irr::f32 weight, irr::f32 range) override;
	void setParticleSize(irr::f32 size, irr::f32 range) override;
	void setResistance(irr::f32 resistance, irr::f32 range) override;
	void setLifeTime(irr::f32 life, irr::f32 range) override;
	void setVelocity(irr::f32 x, irr::f32 y, irr::f32 z) override;
	void setExplosion(irr::f32 explosion) override;
	void setVibration(irr::f32 vibration, irr::f32 minimum) override;
	void setGravity(irr::f32 x, irr::f32 y, irr::f32 z) override;
	void setAuxVector(irr::f32 x, irr::f32 y, irr::f32 z) override;
	void setAuxFactor(irr::f32 factor) override;
	void setParentMotion(irr::f32 share) override;
	void setAuxValue(irr::f32 value) override;
	void setRandomVelocity(irr::f32 strength) override;
	void setCurlNoisePower(irr::f32 power) override;
	void setCurlNoiseFrequency(irr::f32 frequency) override;
	void setTransform(const irr::f32* matrix) override;
	void setCameraPosition(irr::f32 x, irr::f32 y, irr::f32 z) override;
	void setBlendMode(irr::u8 sorted) override;
	void setGeneratorType(irr::u32 type) override;
	irr::s32 setGeneratorMesh(irr::scene::IMesh* mesh) override;
	void setParentEmitter(IZeFxEmitter* parent) override;
	irr::u32 getParticleCount() const override;
	void reset() override;
	void resetEmittedCount() override;

	// The pool: with shared set, the process-wide pool of 262,144 records (made
	// by its first user, freed with its last); otherwise a private pool of
	// capacity records (0: 65,536). A pool held before is given up first.
	// -1 for a capacity below 0 or a pool that cannot be made (logged); the
	// emitter then has no pool and gives no births.
	irr::s32 initPool(irr::s32 capacity, bool shared);
	// One simulation step at the frame time timeMs. The first update (also
	// after a clear, at time 0, or when time went back) only notes the time and
	// place.
	void update(irr::u32 timeMs);
	// Writes one record per live particle from the head (farthest first when
	// sorting, else birth order), at most max; returns the number written.
	irr::u32 fillInstances(SZeParticleInstance* out, irr::u32 max) const;
	// Returns the died list to the pool; then, unless keepPrivate is set and
	// the pool is private, every live particle too, and the next update starts
	// afresh.
	void clearParticles(bool keepPrivate);
	// Appends one still particle at (x, y, z) living from birthMs to deathMs;
	// nothing when the pool is empty.
	void addStaticParticle(irr::f32 x, irr::f32 y, irr::f32 z, irr::u32 birthMs, irr::u32 deathMs);

	const SZeFxEmitterState& getState() const { return *State; }
	// Users of the shared pool; the pool exists while this is above 0.
	static irr::u32 getSharedPoolReferences();

private:
	void releasePool();
	void returnDied();
	// Gives the live particles born after `now` (seconds) back to the pool.
	void dropBornAfter(irr::f32 now);
	void restart(irr::u32 timeMs);
	void detachParent();

	std::unique_ptr<SZeFxEmitterState> State;
	CZeFxEmitter* Parent = nullptr;
	CZeFxEmitter* FirstChild = nullptr;
	CZeFxEmitter* NextSibling = nullptr;
};
