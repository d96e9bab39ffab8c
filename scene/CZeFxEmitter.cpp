#include "scene/CZeFxEmitter.h"

#include "core/IZeManager.h"
#include "scene/ZeCurlNoise.h"
#include "scene/ZeParticleGenerators.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <xmmintrin.h>

using namespace irr;

// ---- Pools --------------------------------------------------------------------
bool SZeParticlePool::create(u32 capacity)
{
	if (records.size() || !capacity)
		return false;
	if (!records.allocate(capacity) || !sortWords.allocate(2 * std::size_t(capacity)) ||
		!sortSlots.allocate(capacity))
	{
		records.release();
		sortWords.release();
		return false;
	}
	for (u32 i = 0; i + 1 < capacity; ++i)
		records[i].next = &records[i + 1];
	records[capacity - 1].next = nullptr;
	freeList = &records[0];
	return true;
}

namespace
{
SZeParticlePool* g_sharedPool = nullptr;
u32 g_sharedPoolReferences = 0;

SZeParticlePool* acquireSharedPool()
{
	if (!g_sharedPool)
	{
		zeEngineLog(0, "CZeFxEmitter: Allocate Shared ParticleBuffer");
		SZeParticlePool* pool = new (std::nothrow) SZeParticlePool;
		if (!pool || !pool->create(ZE_SHARED_PARTICLE_POOL_CAPACITY))
		{
			delete pool;
			zeEngineLog(3, "CZeFxEmitter: failed to allocate the shared particle buffer");
			return nullptr;
		}
		g_sharedPool = pool;
	}
	++g_sharedPoolReferences;
	return g_sharedPool;
}

void releaseSharedPool()
{
	if (g_sharedPoolReferences && --g_sharedPoolReferences == 0)
	{
		delete g_sharedPool;
		g_sharedPool = nullptr;
	}
}

// Puts a null-terminated list back on the pool's free list.
void giveBack(SZeParticlePool* pool, SZeParticle* list)
{
	if (!list)
		return;
	SZeParticle* last = list;
	while (last->next)
		last = last->next;
	last->next = pool->freeList;
	pool->freeList = list;
}

// ---- Random numbers -------------------------------------------------------------
u32 g_random = 0;

inline u32 draw(u32& state)
{
	state = state * 214013u + 2531011u;
	return (state >> 16) & 0x7FFF;
}
} // namespace

u32 zeParticleRandom()
{
	return draw(g_random);
}

void zeParticleRandomSeed(u32 state)
{
	g_random = state;
}

u32 zeParticleRandomState()
{
	return g_random;
}

// ---- Curl noise ------------------------------------------------------------------
namespace
{
// The curl table as the pass reads it, taken once per update.
struct SCurlTable
{
	const s8* texels;
	u32 width;
	u32 slice;
	bool powerOfTwo;
	u32 shift;   // log2 of a power-of-two width
};

SCurlTable currentCurlTable()
{
	const u32 width = zeCurlNoiseWidth();
	u32 shift = 0;
	while ((2u << shift) <= width)
		++shift;
	return { zeCurlNoiseData(), width, width * width, (width & (width - 1)) == 0, shift };
}

// zeCurlNoiseSample for any table width, one axis at a time: the same eight
// texels, weights and order of sums. Points too far out for a 32-bit cell
// (and non-numbers) go to zeCurlNoiseSample itself.
__m128 sampleCurlAnyWidth(const SCurlTable& table, __m128 at)
{
	alignas(16) f32 p[4];
	_mm_store_ps(p, at);
	u32 i0[3], i1[3];
	f32 w[3][2];
	for (u32 a = 0; a < 3; ++a)
	{
		if (!(std::abs(p[a]) < 1e9f))
		{
			alignas(16) f32 out[4];
			zeCurlNoiseSample(p, out);
			return _mm_load_ps(out);
		}
		s32 cell = s32(p[a]);
		if (f32(cell) > p[a])
			--cell;
		const f32 t = p[a] - f32(cell);
		w[a][0] = 1.f - t;
		w[a][1] = t;
		const s32 width = s32(table.width);
		const u32 i = table.powerOfTwo ? u32(cell) & (table.width - 1) : u32((cell % width + width) % width);
		i0[a] = i;
		i1[a] = i + 1 == table.width ? 0 : i + 1;
	}
	const u32 x[2] = { i0[0], i1[0] };
	const u32 y[2] = { i0[1] * table.width, i1[1] * table.width };
	const u32 z[2] = { i0[2] * table.slice, i1[2] * table.slice };
	__m128 sum = _mm_setzero_ps();
	for (u32 corner = 0; corner < 8; ++corner)
	{
		const u32 cx = corner & 1, cy = (corner >> 1) & 1, cz = corner >> 2;
		const f32 weight = w[0][cx] * w[1][cy] * w[2][cz];
		const s8* texel = table.texels + 3 * (std::size_t(x[cx]) + y[cy] + z[cz]);
		sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(weight), _mm_setr_ps(texel[0], texel[1], texel[2], 0.f)));
	}
	return sum;
}

// The three signed bytes of a texel in the low bytes of a 32-bit word.
inline s32 texelBytes(const s8* texel)
{
	return s32(u8(texel[0])) | s32(u8(texel[1])) << 8 | s32(u8(texel[2])) << 16;
}

// Two texels packed by texelBytes (in words 0 and 1 of v) as float vectors.
inline void texelsToFloats(__m128i v, __m128& first, __m128& second)
{
	const __m128i bytes = _mm_unpacklo_epi8(v, v);
	first = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(bytes, bytes), 24));
	second = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(bytes, bytes), 24));
}

template <int CORNER>
inline __m128 addCorner(__m128 sum, __m128 weights, __m128 texel)
{
	const __m128 weight = _mm_shuffle_ps(weights, weights, _MM_SHUFFLE(CORNER, CORNER, CORNER, CORNER));
	return _mm_add_ps(sum, _mm_mul_ps(weight, texel));
}

// The curl sample of the pass: the three axes at once for a power-of-two
// table and points within reach of a 32-bit cell, giving the same floats as
// sampleCurlAnyWidth (same texels, weight products and order of sums).
inline __m128 sampleCurl(const SCurlTable& table, __m128 at)
{
	const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.f), at);
	if (!table.powerOfTwo || (_mm_movemask_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(1e9f))) & 7) != 7)
		return sampleCurlAnyWidth(table, at);
	// floor: truncation, one less where it went up.
	__m128i cell = _mm_cvttps_epi32(at);
	cell = _mm_add_epi32(cell, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(cell), at)));
	const __m128 t = _mm_sub_ps(at, _mm_cvtepi32_ps(cell));
	const __m128 u = _mm_sub_ps(_mm_set1_ps(1.f), t);
	const __m128i mask = _mm_set1_epi32(s32(table.width - 1));
	const __m128i c0 = _mm_and_si128(cell, mask);
	const __m128i c1 = _mm_and_si128(_mm_add_epi32(cell, _mm_set1_epi32(1)), mask);
	alignas(16) u32 i0[4], i1[4];
	_mm_store_si128(reinterpret_cast<__m128i*>(i0), c0);
	_mm_store_si128(reinterpret_cast<__m128i*>(i1), c1);
	const u32 x[2] = { i0[0], i1[0] };
	const u32 y[2] = { i0[1] << table.shift, i1[1] << table.shift };
	const u32 z[2] = { i0[2] << 2 * table.shift, i1[2] << 2 * table.shift };
	const s8* const texels = table.texels;
	__m128i near[2], far[2];   // corners 0-3 (z0), 4-7 (z1), two words per half
	for (u32 cz = 0; cz < 2; ++cz)
	{
		const s32 t00 = texelBytes(texels + 3 * std::size_t(x[0] + y[0] + z[cz]));
		const s32 t10 = texelBytes(texels + 3 * std::size_t(x[1] + y[0] + z[cz]));
		const s32 t01 = texelBytes(texels + 3 * std::size_t(x[0] + y[1] + z[cz]));
		const s32 t11 = texelBytes(texels + 3 * std::size_t(x[1] + y[1] + z[cz]));
		near[cz] = _mm_unpacklo_epi32(_mm_cvtsi32_si128(t00), _mm_cvtsi32_si128(t10));
		far[cz] = _mm_unpacklo_epi32(_mm_cvtsi32_si128(t01), _mm_cvtsi32_si128(t11));
	}
	// Weights (wx wy) wz of the eight corners, x fastest.
	const __m128 ut = _mm_unpacklo_ps(u, t);   // ux tx uy ty
	const __m128 wxy = _mm_mul_ps(_mm_shuffle_ps(ut, ut, _MM_SHUFFLE(1, 0, 1, 0)),
		_mm_shuffle_ps(ut, ut, _MM_SHUFFLE(3, 3, 2, 2)));
	const __m128 w0 = _mm_mul_ps(wxy, _mm_shuffle_ps(u, u, _MM_SHUFFLE(2, 2, 2, 2)));
	const __m128 w1 = _mm_mul_ps(wxy, _mm_shuffle_ps(t, t, _MM_SHUFFLE(2, 2, 2, 2)));
	__m128 a, b, c, d, e, f, g, h;
	texelsToFloats(near[0], a, b);
	texelsToFloats(far[0], c, d);
	texelsToFloats(near[1], e, f);
	texelsToFloats(far[1], g, h);
	__m128 sum = addCorner<0>(_mm_setzero_ps(), w0, a);
	sum = addCorner<1>(sum, w0, b);
	sum = addCorner<2>(sum, w0, c);
	sum = addCorner<3>(sum, w0, d);
	sum = addCorner<0>(sum, w1, e);
	sum = addCorner<1>(sum, w1, f);
	sum = addCorner<2>(sum, w1, g);
	return addCorner<3>(sum, w1, h);
}

// ---- Back-to-front order ----------------------------------------------------------
// The pass writes one sort word per survivor, in list order: the key turned so
// that farther sorts lower in the high half, the survivor's list place in the
// low half. The words are therefore unique, and ordering them by value orders
// the particles farthest first with list order kept among equal keys. The
// particles' contents then move into the survivors' records in memory order:
// the records stay where they are, so from one update to the next the walks
// over the list go through memory in order however the particles move.

// Squared distances are positive: their bits order as the numbers do.
// Non-numbers turn lowest, so they go first.
inline u64 sortWord(f32 key, u32 place)
{
	u32 bits;
	std::memcpy(&bits, &key, sizeof(bits));
	return u64(0x7FFFFFFFu - (bits & 0x7FFFFFFFu)) << 32 | place;
}

// Below this many survivors the words are sorted by comparison.
const u32 SMALL_SORT = 256;
const u32 DIGIT_BITS = 11;
const u32 DIGITS = 1u << DIGIT_BITS;

// Orders n sort words by value, with spare room for as many: by comparison
// for short lists, else by a radix sort of the key half in three passes of
// 11 bits, least significant first (stable, so the list places stay in
// order among equal keys). Returns the sorted words (in words or spare), or
// null when they were in order already.
u64* sortWords(u64* words, u64* spare, u32 n)
{
	if (n < SMALL_SORT)
	{
		if (std::is_sorted(words, words + n))
			return nullptr;
		std::sort(words, words + n);
		return words;
	}
	u32 counts[3][DIGITS] = {};
	bool ordered = true;
	u64 previous = 0;
	for (u32 i = 0; i < n; ++i)
	{
		const u64 word = words[i];
		ordered &= word >= previous;
		previous = word;
		++counts[0][(word >> 32) & (DIGITS - 1)];
		++counts[1][(word >> (32 + DIGIT_BITS)) & (DIGITS - 1)];
		++counts[2][(word >> (32 + 2 * DIGIT_BITS)) & (DIGITS - 1)];
	}
	if (ordered)
		return nullptr;
	u64* from = words;
	u64* to = spare;
	for (u32 pass = 0; pass < 3; ++pass)
	{
		const u32 shift = 32 + pass * DIGIT_BITS;
		u32* const next = counts[pass];
		if (next[(from[0] >> shift) & (DIGITS - 1)] == n)
			continue;   // one digit throughout: the pass would change nothing
		u32 start = 0;
		for (u32 d = 0; d < DIGITS; ++d)
		{
			const u32 count = next[d];
			next[d] = start;
			start += count;
		}
		for (u32 i = 0; i < n; ++i)
		{
			const u64 word = from[i];
			to[next[(word >> shift) & (DIGITS - 1)]++] = word;
		}
		std::swap(from, to);
	}
	return from;
}

// A particle without its link.
struct SContents
{
	f32 birthTime;
	f32 deathTime;
	f32 sortKey;
	__m128 position;
	__m128 velocity;
};

inline SContents contentsOf(const SZeParticle& p)
{
	return { p.birthTime, p.deathTime, p.sortKey, _mm_load_ps(p.position), _mm_load_ps(p.velocity) };
}

inline void setContents(SZeParticle& p, const SContents& c)
{
	p.birthTime = c.birthTime;
	p.deathTime = c.deathTime;
	p.sortKey = c.sortKey;
	_mm_store_ps(p.position, c.position);
	_mm_store_ps(p.velocity, c.velocity);
}

// Survivors ahead whose record is fetched while the current one is swapped
// (it may still move before its turn, which only wastes the fetch).
const u32 PLACE_AHEAD = 16;

// Moves the n survivors of a pass into the records of the list taken in
// memory order: the particle at list place sorted[j] (place j when sorted is
// null, which keeps the list's order) goes to the j-th record. The pass left
// in sortSlots the records the survivors occupy in list order. The list is
// linked again when its records were not in memory order, and each
// particle's contents are swapped in from wherever they are: the addresses of
// the swaps do not depend on one another, so their memory accesses overlap.
// Records and links of the died list stay as they are. `room` is scratch for
// 2 x capacity indices.
void placeInMemoryOrder(SZeFxEmitterState& s, u32 n, const u64* sorted, u32* room)
{
	SZeParticlePool& pool = *s.pool;
	const std::size_t capacity = pool.records.size();
	u32* const slots = pool.sortSlots.data();   // by particle: the record holding it
	const bool inMemoryOrder = std::is_sorted(slots, slots + n);
	if (!sorted && inMemoryOrder)
		return;
	u32* const ordered = room;              // the records in memory order
	u32* const holder = room + capacity;    // by record: the particle it holds
	std::copy(slots, slots + n, ordered);
	if (!inMemoryOrder)
	{
		// Births since the last update are appended after an ascending part.
		u32 ascending = 1;
		while (ascending < n && ordered[ascending - 1] < ordered[ascending])
			++ascending;
		std::sort(ordered + ascending, ordered + n);
		std::merge(ordered, ordered + ascending, ordered + ascending, ordered + n, holder);
		std::copy(holder, holder + n, ordered);
	}
	for (u32 i = 0; i < n; ++i)
		holder[slots[i]] = i;
	SZeParticle* const records = pool.records.data();
	const auto place = [sorted](u32 j) { return sorted ? u32(sorted[j]) : j; };
	const u32 ahead = n > PLACE_AHEAD ? n - PLACE_AHEAD : 0;
	for (u32 j = 0; j < n; ++j)
	{
		if (j < ahead)
			_mm_prefetch(reinterpret_cast<const char*>(&records[slots[place(j + PLACE_AHEAD)]]), _MM_HINT_T0);
		const u32 from = slots[place(j)];
		const u32 to = ordered[j];
		if (!inMemoryOrder)
			records[to].next = &records[ordered[j + 1 < n ? j + 1 : 0]];
		if (from == to)
			continue;
		const SContents moving = contentsOf(records[from]);
		setContents(records[from], contentsOf(records[to]));
		setContents(records[to], moving);
		const u32 displaced = holder[to];
		holder[from] = displaced;
		slots[displaced] = from;
	}
	s.liveTail = &records[ordered[n - 1]];
}

// Keeps the n survivors of a pass farthest first: their sort words, left in
// the pool's scratch by the pass, are ordered, then the particles move into
// the list's records in memory order.
void orderBackToFront(SZeFxEmitterState& s, u32 n)
{
	SZeParticlePool& pool = *s.pool;
	const std::size_t capacity = pool.records.size();
	u64* const words = pool.sortWords.data();
	const u64* sorted = sortWords(words, words + capacity, n);
	// Words in order already leave only the records to put in memory order.
	u32* const room = reinterpret_cast<u32*>(sorted == words ? words + capacity : words);
	placeInMemoryOrder(s, n, sorted, room);
}

// ---- Advance pass ---------------------------------------------------------------
// What one pass needs, computed once per update.
struct SAdvance
{
	f32 now;
	__m128 dt;
	__m128 jitter;      // 0.05 x randomVelocity
	__m128 curlScale;   // dt x 0.04 x curlNoisePower
	__m128 frequency;   // curlNoiseFrequency
	__m128 resist;      // resistance / weight x dt
	__m128 gravity;     // gravity x dt
	__m128 camera;
	SCurlTable curl;
	SZeParticle* records;   // the pool's, and its sort scratch
	u64* sortWords;
	u32* sortSlots;
};

// One pass over the live list: deaths move to the died list, survivors take
// the steps their flags enable and are linked again in order. Each
// survivor's record goes to the sort scratch, and when sorting its key and
// list place too. Returns the survivors.
template <bool JITTER, bool CURL, bool RESIST, bool GRAVITY, bool SORT>
u32 advanceLoop(SZeFxEmitterState& s, const SAdvance& a)
{
	SZeParticle* const last = s.liveTail;
	if (!last)
		return 0;
	u32 random = g_random;
	SZeParticle* died = s.diedList;
	SZeParticle* p = last->next;
	SZeParticle* head = nullptr;
	SZeParticle* tail = nullptr;
	u32 alive = 0;
	for (;;)
	{
		SZeParticle* const next = p->next;
		_mm_prefetch(reinterpret_cast<const char*>(next), _MM_HINT_T0);
		const bool end = p == last;
		if (p->deathTime < a.now)
		{
			p->next = died;
			died = p;
		}
		else
		{
			__m128 pos = _mm_load_ps(p->position);
			__m128 vel = _mm_load_ps(p->velocity);
			if (JITTER)
			{
				// Three uniform draws ua, ub, uc as (uc, ub, ua, 0).
				const s32 ra = s32(draw(random));
				const s32 rb = s32(draw(random));
				const s32 rc = s32(draw(random));
				const __m128 drawn = _mm_cvtepi32_ps(_mm_setr_epi32(rc, rb, ra, 0));
				const __m128 u = _mm_and_ps(_mm_sub_ps(_mm_div_ps(drawn, _mm_set1_ps(32767.f)), _mm_set1_ps(0.5f)),
					_mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0)));
				vel = _mm_add_ps(vel, _mm_mul_ps(a.jitter, u));
			}
			if (CURL)
				pos = _mm_add_ps(pos, _mm_mul_ps(sampleCurl(a.curl, _mm_mul_ps(pos, a.frequency)), a.curlScale));
			if (RESIST)
				vel = _mm_sub_ps(vel, _mm_mul_ps(a.resist, vel));
			if (GRAVITY)
				vel = _mm_add_ps(vel, a.gravity);
			pos = _mm_add_ps(pos, _mm_mul_ps(vel, a.dt));
			_mm_store_ps(p->position, pos);
			_mm_store_ps(p->velocity, vel);
			if (SORT)
			{
				const __m128 d = _mm_sub_ps(pos, a.camera);
				alignas(16) f32 d2[4];
				_mm_store_ps(d2, _mm_mul_ps(d, d));
				const f32 key = (d2[0] + d2[1]) + (d2[2] + d2[3]);
				p->sortKey = key;
				a.sortWords[alive] = sortWord(key, alive);
			}
			a.sortSlots[alive] = u32(p - a.records);
			if (tail)
				tail->next = p;
			else
				head = p;
			tail = p;
			++alive;
		}
		if (end)
			break;
		p = next;
	}
	if (tail)
		tail->next = head;
	s.liveTail = tail;
	s.diedList = died;
	g_random = random;
	return alive;
}

using AdvanceFn = u32 (*)(SZeFxEmitterState&, const SAdvance&);

template <std::size_t... F>
constexpr auto advanceTable(std::index_sequence<F...>)
{
	return std::array<AdvanceFn, sizeof...(F)>{ { &advanceLoop<(F & 1) != 0, (F & 2) != 0, (F & 4) != 0,
		(F & 8) != 0, (F & 16) != 0>... } };
}

// Indexed by the flags 1 jitter, 2 curl noise, 4 resistance, 8 gravity, 16 sort.
const auto g_advanceLoops = advanceTable(std::make_index_sequence<32>());
} // namespace

// ---- CZeFxEmitter ---------------------------------------------------------------
CZeFxEmitter::CZeFxEmitter() : State(new SZeFxEmitterState)
{
}

CZeFxEmitter::~CZeFxEmitter()
{
	detachParent();
	for (CZeFxEmitter* child = FirstChild; child;)
	{
		CZeFxEmitter* next = child->NextSibling;
		child->Parent = nullptr;
		child->NextSibling = nullptr;
		child->State->parent = nullptr;
		child->State->parentCursor = nullptr;
		child = next;
	}
	FirstChild = nullptr;
	releasePool();
	if (State->generatorMesh)
		State->generatorMesh->drop();
}

void CZeFxEmitter::setBirthRate(f32 rate)
{
	State->birthRate = rate;
}

void CZeFxEmitter::setGeneratorSize(f32 x, f32 y, f32 z)
{
	State->generatorSize[0] = x;
	State->generatorSize[1] = y;
	State->generatorSize[2] = z;
}

void CZeFxEmitter::setParticleLimit(u32 limit)
{
	State->particleLimit = limit;
}

void CZeFxEmitter::setWeight(f32 weight, f32 range)
{
	State->weight = weight;
	State->weightRange = range;
}

void CZeFxEmitter::setParticleSize(f32 size, f32 range)
{
	State->particleSize = size;
	State->particleSizeRange = range;
}

void CZeFxEmitter::setResistance(f32 resistance, f32 range)
{
	State->resistance = resistance;
	State->resistanceRange = range;
}

void CZeFxEmitter::setLifeTime(f32 life, f32 range)
{
	State->lifeTime = life;
	State->lifeTimeRange = range;
}

void CZeFxEmitter::setVelocity(f32 x, f32 y, f32 z)
{
	State->velocity[0] = x;
	State->velocity[1] = y;
	State->velocity[2] = z;
	State->velocity[3] = 0.f;
}

void CZeFxEmitter::setExplosion(f32 explosion)
{
	State->explosion = explosion;
}

void CZeFxEmitter::setVibration(f32 vibration, f32 minimum)
{
	State->vibration = vibration;
	State->vibrationMin = minimum;
}

void CZeFxEmitter::setGravity(f32 x, f32 y, f32 z)
{
	State->gravity[0] = x;
	State->gravity[1] = y;
	State->gravity[2] = z;
	State->gravity[3] = 0.f;
}

void CZeFxEmitter::setAuxVector(f32 x, f32 y, f32 z)
{
	State->auxVector[0] = x;
	State->auxVector[1] = y;
	State->auxVector[2] = z;
}

void CZeFxEmitter::setAuxFactor(f32 factor)
{
	State->auxFactor = factor;
}

void CZeFxEmitter::setParentMotion(f32 share)
{
	State->parentMotion = share;
}

void CZeFxEmitter::setAuxValue(f32 value)
{
	State->auxValue = value;
}

void CZeFxEmitter::setRandomVelocity(f32 strength)
{
	State->randomVelocity = strength;
}

void CZeFxEmitter::setCurlNoisePower(f32 power)
{
	State->curlNoisePower = power;
}

void CZeFxEmitter::setCurlNoiseFrequency(f32 frequency)
{
	State->curlNoiseFrequency = frequency;
}

void CZeFxEmitter::setTransform(const f32* matrix)
{
	if (matrix)
		std::memcpy(State->transform, matrix, sizeof(State->transform));
}

void CZeFxEmitter::setCameraPosition(f32 x, f32 y, f32 z)
{
	State->cameraPosition[0] = x;
	State->cameraPosition[1] = y;
	State->cameraPosition[2] = z;
	State->cameraPosition[3] = 1.f;
}

void CZeFxEmitter::setBlendMode(u8 sorted)
{
	State->sortFlag = sorted;
}

void CZeFxEmitter::setGeneratorType(u32 type)
{
	State->generatorType = type;
}

s32 CZeFxEmitter::setGeneratorMesh(scene::IMesh* mesh)
{
	if (mesh)
		mesh->grab();
	if (State->generatorMesh)
		State->generatorMesh->drop();
	State->generatorMesh = mesh;
	State->meshBufferCursor = 0;
	State->meshVertexCursor = 0;
	return 0;
}

void CZeFxEmitter::setParentEmitter(IZeFxEmitter* parent)
{
	detachParent();
	CZeFxEmitter* emitter = dynamic_cast<CZeFxEmitter*>(parent);
	if (!emitter)
		return;
	Parent = emitter;
	NextSibling = emitter->FirstChild;
	emitter->FirstChild = this;
	State->parent = emitter->State.get();
}

void CZeFxEmitter::detachParent()
{
	if (Parent)
	{
		CZeFxEmitter** link = &Parent->FirstChild;
		while (*link != this)
			link = &(*link)->NextSibling;
		*link = NextSibling;
	}
	Parent = nullptr;
	NextSibling = nullptr;
	State->parent = nullptr;
	State->parentCursor = nullptr;
	State->parentCursorIndex = 0;
}

u32 CZeFxEmitter::getParticleCount() const
{
	return State->liveCount;
}

void CZeFxEmitter::reset()
{
	clearParticles(false);
	State->emittedCount = 0;
}

void CZeFxEmitter::resetEmittedCount()
{
	State->emittedCount = 0;
}

s32 CZeFxEmitter::initPool(s32 capacity, bool shared)
{
	if (capacity < 0)
	{
		zeEngineLog(3, "CZeFxEmitter: invalid particle pool capacity %d", capacity);
		return -1;
	}
	releasePool();
	SZeFxEmitterState& s = *State;
	if (shared)
	{
		s.pool = acquireSharedPool();
		if (!s.pool)
			return -1;
		s.sharedPool = 1;
		return 0;
	}
	const u32 records = capacity ? u32(capacity) : ZE_PRIVATE_PARTICLE_POOL_CAPACITY;
	SZeParticlePool* pool = new (std::nothrow) SZeParticlePool;
	if (!pool || !pool->create(records))
	{
		delete pool;
		zeEngineLog(3, "CZeFxEmitter: failed to allocate a particle buffer of %u records", records);
		return -1;
	}
	s.pool = pool;
	return 0;
}

void CZeFxEmitter::releasePool()
{
	SZeFxEmitterState& s = *State;
	if (!s.pool)
		return;
	returnDied();
	if (s.sharedPool)
	{
		clearParticles(false);
		releaseSharedPool();
	}
	else
		delete s.pool;
	s.pool = nullptr;
	s.sharedPool = 0;
	s.liveTail = nullptr;
	s.liveCount = 0;
	s.birthCarry = 0.f;
	s.lastTimeMs = 0;
}

void CZeFxEmitter::returnDied()
{
	SZeFxEmitterState& s = *State;
	if (s.pool)
		giveBack(s.pool, s.diedList);
	s.diedList = nullptr;
}

void CZeFxEmitter::clearParticles(bool keepPrivate)
{
	SZeFxEmitterState& s = *State;
	returnDied();
	if (keepPrivate && !s.sharedPool)
		return;
	if (s.liveTail && s.pool)
	{
		SZeParticle* head = s.liveTail->next;
		s.liveTail->next = s.pool->freeList;
		s.pool->freeList = head;
	}
	s.liveTail = nullptr;
	s.liveCount = 0;
	s.birthCarry = 0.f;
	s.lastTimeMs = 0;
}

void CZeFxEmitter::addStaticParticle(f32 x, f32 y, f32 z, u32 birthMs, u32 deathMs)
{
	SZeFxEmitterState& s = *State;
	SZeParticle* p = s.pool ? s.pool->take() : nullptr;
	if (!p)
		return;
	p->birthTime = f32(birthMs) / 1000.f;
	p->deathTime = f32(deathMs) / 1000.f;
	p->sortKey = 0.f;
	const f32 position[4] = { x, y, z, 1.f };
	std::memcpy(p->position, position, sizeof(position));
	std::memset(p->velocity, 0, sizeof(p->velocity));
	if (s.liveTail)
	{
		p->next = s.liveTail->next;
		s.liveTail->next = p;
	}
	else
		p->next = p;
	s.liveTail = p;
	++s.liveCount;
}

void CZeFxEmitter::dropBornAfter(f32 now)
{
	SZeFxEmitterState& s = *State;
	if (!s.liveTail || !s.pool)
		return;
	SZeParticle* p = s.liveTail->next;
	s.liveTail->next = nullptr;
	SZeParticle* head = nullptr;
	SZeParticle* tail = nullptr;
	u32 count = 0;
	while (p)
	{
		SZeParticle* next = p->next;
		if (p->birthTime > now)
		{
			p->next = s.pool->freeList;
			s.pool->freeList = p;
		}
		else
		{
			(tail ? tail->next : head) = p;
			tail = p;
			++count;
		}
		p = next;
	}
	if (tail)
		tail->next = head;
	s.liveTail = tail;
	s.liveCount = count;
}

void CZeFxEmitter::restart(u32 timeMs)
{
	SZeFxEmitterState& s = *State;
	s.lastTimeMs = timeMs;
	s.lastSampleTimeMs = timeMs;
	for (u32 i = 0; i < 3; ++i)
		s.lastSamplePosition[i] = s.previousSpawnPosition[i] = s.transform[12 + i];
	s.lastSamplePosition[3] = s.previousSpawnPosition[3] = 1.f;
}

void CZeFxEmitter::update(u32 timeMs)
{
	SZeFxEmitterState& s = *State;
	returnDied();
	// Time that went back starts the emitter again from here, as after hiding;
	// a private pool keeps only the particles already born by then.
	const bool back = s.lastTimeMs && timeMs < s.lastTimeMs;
	if (back)
	{
		clearParticles(true);
		dropBornAfter(f32(timeMs) / 1000.f);
	}
	if (back || !s.lastTimeMs)
	{
		restart(timeMs);
		return;
	}
	const f32 dt = f32(timeMs - s.lastTimeMs) / 1000.f;
	const f32 now = f32(timeMs) / 1000.f;
	s.lastTimeMs = timeMs;

	const u32 sinceSample = timeMs - s.lastSampleTimeMs;
	if (sinceSample > 10)
	{
		for (u32 i = 0; i < 3; ++i)
		{
			s.emitterVelocity[i] = (s.transform[12 + i] - s.lastSamplePosition[i]) * 1000.f / f32(sinceSample);
			s.lastSamplePosition[i] = s.transform[12 + i];
		}
		s.emitterVelocity[3] = 0.f;
		s.lastSamplePosition[3] = 1.f;
		s.lastSampleTimeMs = timeMs;
	}

	if (!s.particleLimit || s.emittedCount < s.particleLimit)
	{
		const u32 remaining = s.particleLimit ? s.particleLimit - s.emittedCount : 0xFFFFFFFFu;
		s.emittedCount += zeGenerateParticles(s, now, dt, remaining);
	}

	const f32 weight = s.weight > 0.f ? s.weight : 1.f;
	SAdvance a;
	a.now = now;
	a.dt = _mm_set1_ps(dt);
	a.jitter = _mm_set1_ps(0.05f * s.randomVelocity);
	a.curlScale = _mm_set1_ps(dt * 0.04f * s.curlNoisePower);
	a.frequency = _mm_set1_ps(s.curlNoiseFrequency);
	a.resist = _mm_set1_ps(s.resistance / weight * dt);
	a.gravity = _mm_setr_ps(s.gravity[0] * dt, s.gravity[1] * dt, s.gravity[2] * dt, 0.f);
	a.camera = _mm_load_ps(s.cameraPosition);
	a.curl = currentCurlTable();
	a.records = s.pool ? s.pool->records.data() : nullptr;
	a.sortWords = s.pool ? s.pool->sortWords.data() : nullptr;
	a.sortSlots = s.pool ? s.pool->sortSlots.data() : nullptr;
	const bool gravity = s.gravity[0] != 0.f || s.gravity[1] != 0.f || s.gravity[2] != 0.f;
	const u32 flags = (s.randomVelocity != 0.f ? 1 : 0) | (s.curlNoisePower != 0.f ? 2 : 0) |
		(s.resistance != 0.f ? 4 : 0) | (gravity ? 8 : 0) | (s.sortFlag ? 16 : 0);
	s.liveCount = g_advanceLoops[flags](s, a);
	// Births take records wherever deaths gave them back: the list is put
	// back in memory order, in birth order when not sorting, so that the next
	// pass walks through memory in order.
	if (s.liveCount > 1 && s.sortFlag)
		orderBackToFront(s, s.liveCount);
	else if (s.liveCount > 1)
		placeInMemoryOrder(s, s.liveCount, nullptr, reinterpret_cast<u32*>(s.pool->sortWords.data()));
}

u32 CZeFxEmitter::fillInstances(SZeParticleInstance* out, u32 max) const
{
	const SZeParticle* const tail = State->liveTail;
	if (!tail || !out)
		return 0;
	u32 count = 0;
	for (const SZeParticle* p = tail->next; count < max; p = p->next)
	{
		SZeParticleInstance& r = out[count++];
		r.position[0] = p->position[0];
		r.position[1] = p->position[1];
		r.position[2] = p->position[2];
		r.birthTime = p->birthTime;
		r.deathTime = p->deathTime;
		r.zero = 0.f;
		r.velocity[0] = p->velocity[0];
		r.velocity[1] = p->velocity[1];
		r.velocity[2] = p->velocity[2];
		if (p == tail)
			break;
	}
	return count;
}

u32 CZeFxEmitter::getSharedPoolReferences()
{
	return g_sharedPoolReferences;
}
