// The particle emitter: random sequence, birth counts, limits, lives, forces
// against hand-computed values, the back-to-front order, every specialised
// advance loop against a plain loop, pools, the instance record, time that
// goes back, and emitters that outlive what they point at.
#include "ZeParticleTestUtil.h"

#include "frame/ZeLog.h"
#include "scene/ZeCurlNoise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace irr;

namespace
{
std::vector<std::string>& logLines()
{
	static std::vector<std::string> lines;
	return lines;
}
void captureLog(const char* line) { logLines().push_back(line); }
int linesWith(const char* text)
{
	int n = 0;
	for (const std::string& line : logLines())
		n += line.find(text) != std::string::npos ? 1 : 0;
	return n;
}

// Updates at 60 per second from `from` ms for `count` frames; returns the
// births of each.
std::vector<u32> run60(CZeFxEmitter& emitter, u32 from, u32 count)
{
	std::vector<u32> births;
	for (u32 k = 1; k <= count; ++k)
	{
		const u32 before = emitter.getState().emittedCount;
		emitter.update(from + k * 1000 / 60);
		births.push_back(emitter.getState().emittedCount - before);
	}
	return births;
}
} // namespace

TEST(FxEmitter, RandomSequenceIsTheProcessWideLinearCongruence)
{
	zeParticleRandomSeed(1);
	const u32 expected[] = { 41, 18467, 6334, 26500, 19169 };
	for (u32 r : expected)
		EXPECT_EQ(zeParticleRandom(), r);
	zeParticleRandomSeed(0);
	EXPECT_EQ(zeParticleRandom(), 38u);
	EXPECT_EQ(zeParticleRandomState(), 2531011u);
}

TEST(FxEmitter, BirthRateGivesItsCountPerSecondWithTheFractionCarried)
{
	CZeFxEmitter emitter;
	ASSERT_EQ(emitter.initPool(0, false), 0);
	emitter.setLifeTime(100.f, 0.f);
	emitter.update(1000);
	EXPECT_EQ(emitter.getState().emittedCount, 0u) << "the first update only notes the time";
	const std::vector<u32> births = run60(emitter, 1000, 120);
	for (u32 n : births)
		EXPECT_TRUE(n == 1 || n == 2) << n;
	u32 firstSecond = 0;
	for (u32 k = 0; k < 60; ++k)
		firstSecond += births[k];
	EXPECT_GE(firstSecond, 99u);
	EXPECT_LE(firstSecond, 100u);
	EXPECT_NEAR(emitter.getState().emittedCount, 200.0, 1.0);
	EXPECT_EQ(emitter.getParticleCount(), emitter.getState().emittedCount);
}

TEST(FxEmitter, ParticleLimitCountsBirthsUntilTheEmittedCountIsCleared)
{
	CZeFxEmitter emitter;
	ASSERT_EQ(emitter.initPool(0, false), 0);
	emitter.setBirthRate(10000.f);
	emitter.setLifeTime(100.f, 0.f);
	emitter.setParticleLimit(10);
	emitter.update(1000);
	run60(emitter, 1000, 5);
	EXPECT_EQ(emitter.getState().emittedCount, 10u);
	EXPECT_EQ(emitter.getParticleCount(), 10u);
	emitter.resetEmittedCount();
	run60(emitter, 1100, 5);
	EXPECT_EQ(emitter.getParticleCount(), 20u) << "the first ten still live";

	emitter.reset();
	EXPECT_EQ(emitter.getParticleCount(), 0u);
	EXPECT_EQ(emitter.getState().emittedCount, 0u);
	emitter.update(2000);
	EXPECT_EQ(emitter.getState().emittedCount, 0u) << "after a reset the next update starts afresh";
}

TEST(FxEmitter, ParticleOfLifeZeroSurvivesItsBirthUpdateAndDiesAtTheNext)
{
	CZeFxEmitter emitter;
	ASSERT_EQ(emitter.initPool(0, false), 0);
	emitter.setBirthRate(60.f);
	emitter.setLifeTime(0.f, 0.f);
	emitter.setParticleLimit(1);
	emitter.update(1000);
	emitter.update(1020);
	ASSERT_EQ(emitter.getParticleCount(), 1u);
	EXPECT_EQ(liveList(emitter)[0]->deathTime, liveList(emitter)[0]->birthTime);
	emitter.update(1040);
	EXPECT_EQ(emitter.getParticleCount(), 0u);
	EXPECT_EQ(diedCount(emitter), 1u);

	// A negative life (spread below zero) is a life of 0.
	CZeFxEmitter negative;
	ASSERT_EQ(negative.initPool(0, false), 0);
	negative.setBirthRate(60.f);
	negative.setLifeTime(-5.f, 1.f);
	negative.setParticleLimit(1);
	negative.update(1000);
	negative.update(1020);
	ASSERT_EQ(negative.getParticleCount(), 1u);
	EXPECT_EQ(liveList(negative)[0]->deathTime, 1.02f);
}

// Gravity, resistance and weight over two steps of 0.1 s, by hand: the first
// step v = g dt = (0, -1, 0) and p = v dt; the second v -= k v with
// k = resistance / weight x dt, then v += g dt.
TEST(FxEmitter, GravityAndResistanceIntegrateAsComputedByHand)
{
	struct Case
	{
		f32 weight;
		f32 v2;   // y velocity after the second step
	} cases[] = {
		{ 2.f, -1.f + 0.05f - 1.f },   // k = 1 / 2 x 0.1
		{ 0.f, -1.f + 0.1f - 1.f },    // a weight of 0 acts as 1
		{ -3.f, -1.f + 0.1f - 1.f },
	};
	for (const Case& c : cases)
	{
		CZeFxEmitter emitter;
		stillEmitter(emitter);
		emitter.setGravity(0.f, -10.f, 0.f);
		emitter.addStaticParticle(0.f, 0.f, 0.f, 0, 100000);
		emitter.update(1000);
		emitter.update(1100);
		emitter.setResistance(1.f, 0.f);
		emitter.setWeight(c.weight, 0.f);
		emitter.update(1200);
		const SZeParticle* p = liveList(emitter).at(0);
		EXPECT_NEAR(p->velocity[1], c.v2, 1e-5) << "weight " << c.weight;
		EXPECT_NEAR(p->position[1], -0.1f + c.v2 * 0.1f, 1e-5) << "weight " << c.weight;
		EXPECT_EQ(p->position[0], 0.f);
		EXPECT_EQ(p->velocity[3], 0.f);
		EXPECT_EQ(p->position[3], 1.f);
	}
}

TEST(FxEmitter, SortingKeepsTheFarthestFirstAndWithoutItBirthOrder)
{
	const f32 xs[] = { 1.f, 5.f, 3.f, 9.f, 2.f, 7.f };
	for (u8 sorted : { 0, 1 })
	{
		CZeFxEmitter emitter;
		stillEmitter(emitter);
		emitter.setBlendMode(sorted);
		emitter.setCameraPosition(0.f, 0.f, 0.f);
		for (f32 x : xs)
			emitter.addStaticParticle(x, 0.f, 0.f, 0, 100000);
		emitter.update(1000);
		emitter.update(1016);
		SZeParticleInstance out[8];
		ASSERT_EQ(emitter.fillInstances(out, 8), 6u);
		for (u32 i = 0; i < 6; ++i)
		{
			const f32 expected = sorted ? std::vector<f32>{ 9, 7, 5, 3, 2, 1 }[i] : xs[i];
			EXPECT_EQ(out[i].position[0], expected) << "sorted " << int(sorted) << " record " << i;
		}
		EXPECT_EQ(liveList(emitter)[0]->sortKey, sorted ? 81.f : 0.f);
		EXPECT_EQ(emitter.getState().liveTail->position[0], sorted ? 1.f : 7.f);
	}

	// Many particles in random order: one natural merge sort, the list whole.
	CZeFxEmitter emitter;
	stillEmitter(emitter, 5000);
	emitter.setBlendMode(1);
	emitter.setCameraPosition(1.f, 2.f, 3.f);
	std::mt19937 random(7);
	std::uniform_real_distribution<f32> spread(-50.f, 50.f);
	for (u32 i = 0; i < 5000; ++i)
		emitter.addStaticParticle(spread(random), spread(random), spread(random), 0, 100000);
	emitter.update(1000);
	emitter.update(1016);
	std::vector<const SZeParticle*> list = liveList(emitter);
	ASSERT_EQ(list.size(), 5000u);
	for (u32 i = 1; i < list.size(); ++i)
		ASSERT_GE(list[i - 1]->sortKey, list[i]->sortKey) << i;
	std::sort(list.begin(), list.end());
	EXPECT_EQ(std::unique(list.begin(), list.end()), list.end());
	EXPECT_EQ(emitter.getParticleCount(), 5000u);
}

// Still particles known by their birth time (i ms), seen from a camera that
// jumps between updates, with deaths all through the list and births into the
// records of the died: each update moves whole particles, keeps the same
// particles back to front (sorted) or in birth order, in records that lie in
// memory order, and the died keep their data. Both sizes of sort: by
// comparison and by radix.
TEST(FxEmitter, UpdatesMoveWholeParticlesAndKeepTheRecordsInMemoryOrder)
{
	for (u8 sorted : { 1, 0 })
		for (u32 count : { 40u, 3000u })
		{
			SCOPED_TRACE("particles " + std::to_string(count) + (sorted ? ", sorted" : ", in birth order"));
			CZeFxEmitter emitter;
			stillEmitter(emitter, s32(2 * count));
			emitter.setBlendMode(sorted);
			std::mt19937 random(5);
			std::uniform_real_distribution<f32> spread(-50.f, 50.f);
			std::vector<std::vector<f32>> where;
			const auto add = [&](u32 deathMs) {
				where.push_back({ spread(random), spread(random), spread(random) });
				const u32 id = u32(where.size() - 1);
				emitter.addStaticParticle(where[id][0], where[id][1], where[id][2], id, deathMs);
			};
			for (u32 i = 0; i < count; ++i)
				add(i % 5 ? 100000 : 1020);
			emitter.update(1000);
			const f32 cameras[][3] = { { 0, 0, 0 }, { 60, 0, 0 }, { -60, 10, 0 }, { 0, 0, 60 } };
			u32 t = 1000;
			for (const auto& camera : cameras)
			{
				emitter.setCameraPosition(camera[0], camera[1], camera[2]);
				emitter.update(t += 16);
				const std::vector<const SZeParticle*> list = liveList(emitter);
				ASSERT_EQ(list.size(), emitter.getParticleCount());
				std::vector<bool> seen(where.size());
				for (u32 k = 0; k < list.size(); ++k)
				{
					const SZeParticle* p = list[k];
					const u32 id = u32(std::lround(p->birthTime * 1000.f));
					ASSERT_LT(id, where.size());
					EXPECT_FALSE(seen[id]) << id;
					seen[id] = true;
					const f32 d[3] = { where[id][0] - camera[0], where[id][1] - camera[1], where[id][2] - camera[2] };
					ASSERT_EQ(p->position[0], where[id][0]) << id;
					ASSERT_EQ(p->position[2], where[id][2]) << id;
					ASSERT_EQ(p->sortKey, sorted ? (d[0] * d[0] + d[1] * d[1]) + (d[2] * d[2] + 0.f) : 0.f) << id;
					ASSERT_EQ(p->deathTime, id % 5 || id >= count ? 100.f : 1.02f) << id;
					if (k)
					{
						if (sorted)
							ASSERT_GE(list[k - 1]->sortKey, p->sortKey) << k;
						else
							ASSERT_LT(list[k - 1]->birthTime, p->birthTime) << k;
						ASSERT_LT(list[k - 1], p) << "records in memory order, " << k;
					}
				}
				for (const SZeParticle* p = emitter.getState().diedList; p; p = p->next)
				{
					const u32 id = u32(std::lround(p->birthTime * 1000.f));
					EXPECT_EQ(id % 5, 0u);
					EXPECT_EQ(p->position[1], where[id][1]) << "a died particle keeps its data";
				}
				// Births into the records that the died give back at the next update.
				for (u32 i = 0; i < count / 10; ++i)
					add(100000);
			}
			EXPECT_EQ(emitter.getParticleCount(), count - count / 5 + 4 * (count / 10));
		}
}

// Keys from four distances along the axes (exact squares) and one that is
// not a number: equal keys keep the order they had in the list.
TEST(FxEmitter, SortingKeepsEqualKeysInListOrderAndPutsNonNumbersFirst)
{
	for (u32 count : { 60u, 3000u })
	{
		SCOPED_TRACE("particles " + std::to_string(count));
		CZeFxEmitter emitter;
		stillEmitter(emitter, s32(count + 1));
		emitter.setBlendMode(1);
		emitter.setCameraPosition(0.f, 0.f, 0.f);
		for (u32 i = 0; i < count; ++i)
		{
			f32 at[3] = {};
			at[(i / 4) % 3] = (i / 12) % 2 ? -f32(1 + i % 4) : f32(1 + i % 4);
			emitter.addStaticParticle(at[0], at[1], at[2], i, 100000);
		}
		emitter.addStaticParticle(std::numeric_limits<f32>::quiet_NaN(), 0.f, 0.f, count, 100000);
		emitter.update(1000);
		emitter.update(1016);
		const std::vector<const SZeParticle*> list = liveList(emitter);
		ASSERT_EQ(list.size(), count + 1);
		EXPECT_EQ(list[0]->birthTime, f32(count) / 1000.f);
		for (u32 k = 2; k < list.size(); ++k)
		{
			ASSERT_GE(list[k - 1]->sortKey, list[k]->sortKey) << k;
			if (list[k - 1]->sortKey == list[k]->sortKey)
			{
				ASSERT_LT(list[k - 1]->birthTime, list[k]->birthTime) << k;
			}
		}
		EXPECT_EQ(list[1]->sortKey, 16.f);
		EXPECT_EQ(list.back()->sortKey, 1.f);
	}
}

TEST(FxEmitter, InstanceRecordsCarryPositionTimesAndVelocity)
{
	// The layout itself is a static_assert beside the record.
	CZeFxEmitter emitter;
	stillEmitter(emitter);
	emitter.setGravity(0.f, 0.f, 5.f);
	emitter.addStaticParticle(1.f, 2.f, 3.f, 1500, 4294967295u);
	emitter.addStaticParticle(4.f, 5.f, 6.f, 0, 2000);
	SZeParticleInstance out[3];
	std::fill_n(reinterpret_cast<f32*>(out), 27, -1.f);
	ASSERT_EQ(emitter.fillInstances(out, 3), 2u);
	EXPECT_EQ(out[0].position[0], 1.f);
	EXPECT_EQ(out[0].position[2], 3.f);
	EXPECT_EQ(out[0].birthTime, 1.5f);
	EXPECT_EQ(out[0].deathTime, 4294967.295f);
	EXPECT_EQ(out[0].zero, 0.f);
	EXPECT_EQ(out[1].deathTime, 2.f);
	EXPECT_EQ(out[2].position[0], -1.f) << "nothing past the live count";
	EXPECT_EQ(emitter.fillInstances(out, 1), 1u);

	emitter.update(1000);
	emitter.update(1100);
	ASSERT_EQ(emitter.fillInstances(out, 3), 2u);
	EXPECT_NEAR(out[0].velocity[2], 0.5f, 1e-6);
	EXPECT_EQ(out[0].velocity[0], 0.f);
}

// Each of the 32 flag combinations against a plain loop over the same
// particles, with a curl table loaded from a cache file and random settings.
class FxEmitterLoops : public ::testing::Test
{
protected:
	void SetUp() override
	{
		Device = createDevice(video::EDT_NULL);
		ASSERT_NE(Device, nullptr);
		const u32 w = 8;
		std::vector<char> bytes(w * w * w * 3);
		std::mt19937 random(11);
		for (char& b : bytes)
			b = char(random() & 0xFF);
		Cache = ::testing::TempDir() + "zelv_emitter_curl.cache";
		FILE* f = std::fopen(Cache.c_str(), "wb");
		ASSERT_NE(f, nullptr);
		std::fwrite(bytes.data(), 1, bytes.size(), f);
		std::fclose(f);
		ASSERT_TRUE(zeCurlNoiseLoad(Device, Cache.c_str()));
		ASSERT_EQ(zeCurlNoiseWidth(), w);
	}
	void TearDown() override
	{
		zeCurlNoiseFree();
		std::remove(Cache.c_str());
		if (Device)
			Device->drop();
	}

	IrrlichtDevice* Device = nullptr;
	std::string Cache;
};

TEST_F(FxEmitterLoops, EverySpecialisedLoopEqualsThePlainLoop)
{
	std::mt19937 random(3);
	std::uniform_real_distribution<f32> value(-2.f, 2.f);
	for (u32 flags = 0; flags < 32; ++flags)
	{
		SCOPED_TRACE("flags " + std::to_string(flags));
		CZeFxEmitter emitter;
		ASSERT_EQ(emitter.initPool(4096, false), 0);
		emitter.setBirthRate(3000.f);
		emitter.setLifeTime(0.5f, 1.f);
		emitter.setGeneratorSize(4.f, 4.f, 4.f);
		emitter.setVelocity(0.3f, -0.2f, 0.1f);
		emitter.setExplosion(1.f);
		emitter.setVibration(0.5f, 0.f);
		u32 t = 5000;
		emitter.update(t);
		for (u32 k = 0; k < 20; ++k)
			emitter.update(t += 16);
		emitter.setBirthRate(0.f);

		const f32 jitter = flags & 1 ? value(random) : 0.f;
		const f32 curl = flags & 2 ? value(random) * 5.f : 0.f;
		const f32 resistance = flags & 4 ? std::abs(value(random)) + 0.1f : 0.f;
		const f32 weight = std::abs(value(random)) + 0.5f;
		const f32 gravity[3] = { flags & 8 ? value(random) : 0.f, flags & 8 ? value(random) : 0.f, 0.f };
		const f32 camera[3] = { value(random), value(random), value(random) };
		const f32 frequency = std::abs(value(random)) + 0.5f;
		emitter.setRandomVelocity(jitter);
		emitter.setCurlNoisePower(curl);
		emitter.setCurlNoiseFrequency(frequency);
		emitter.setResistance(resistance, 0.f);
		emitter.setWeight(weight, 0.f);
		emitter.setGravity(gravity[0], gravity[1], gravity[2]);
		emitter.setBlendMode(flags & 16 ? 1 : 0);
		emitter.setCameraPosition(camera[0], camera[1], camera[2]);

		struct Particle
		{
			f32 position[4], velocity[4], deathTime, sortKey;
		};
		std::vector<Particle> expected;
		for (const SZeParticle* p : liveList(emitter))
		{
			Particle q;
			std::copy_n(p->position, 4, q.position);
			std::copy_n(p->velocity, 4, q.velocity);
			q.deathTime = p->deathTime;
			q.sortKey = p->sortKey;
			expected.push_back(q);
		}
		ASSERT_GT(expected.size(), 500u);

		zeParticleRandomSeed(12345);
		emitter.update(t += 16);

		// The plain loop.
		SLcg lcg{ 12345 };
		const f32 now = f32(t) / 1000.f;
		const f32 dt = 16.f / 1000.f;
		const f32 k = resistance / weight * dt;
		u32 died = 0;
		std::vector<Particle> survivors;
		for (Particle q : expected)
		{
			if (q.deathTime < now)
			{
				++died;
				continue;
			}
			if (jitter != 0.f)
			{
				const f32 ua = lcg.uniform(), ub = lcg.uniform(), uc = lcg.uniform();
				q.velocity[0] += 0.05f * jitter * uc;
				q.velocity[1] += 0.05f * jitter * ub;
				q.velocity[2] += 0.05f * jitter * ua;
			}
			if (curl != 0.f)
			{
				const f32 at[3] = { q.position[0] * frequency, q.position[1] * frequency, q.position[2] * frequency };
				f32 c[4];
				zeCurlNoiseSample(at, c);
				for (u32 a = 0; a < 3; ++a)
					q.position[a] += c[a] * (dt * 0.04f * curl);
			}
			for (u32 a = 0; a < 3; ++a)
			{
				if (resistance != 0.f)
					q.velocity[a] -= k * q.velocity[a];
				q.velocity[a] += gravity[a] * dt;
				q.position[a] += q.velocity[a] * dt;
			}
			if (flags & 16)
			{
				const f32 d[3] = { q.position[0] - camera[0], q.position[1] - camera[1], q.position[2] - camera[2] };
				q.sortKey = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
			}
			survivors.push_back(q);
		}
		if (flags & 16)
			std::stable_sort(survivors.begin(), survivors.end(),
				[](const Particle& a, const Particle& b) { return a.sortKey > b.sortKey; });
		ASSERT_GT(died, 0u);
		EXPECT_EQ(diedCount(emitter), died);
		EXPECT_EQ(zeParticleRandomState(), lcg.state);

		const std::vector<const SZeParticle*> list = liveList(emitter);
		ASSERT_EQ(list.size(), survivors.size());
		EXPECT_EQ(emitter.getParticleCount(), survivors.size());
		for (u32 i = 0; i < list.size(); ++i)
		{
			const auto near = [](f32 a, f32 b) { return std::abs(a - b) <= 1e-5f * std::max(1.f, std::abs(b)); };
			for (u32 a = 0; a < 4; ++a)
			{
				ASSERT_PRED2(near, list[i]->position[a], survivors[i].position[a]) << "particle " << i;
				ASSERT_PRED2(near, list[i]->velocity[a], survivors[i].velocity[a]) << "particle " << i;
			}
			ASSERT_PRED2(near, list[i]->sortKey, survivors[i].sortKey) << "particle " << i;
		}
	}
}

TEST(FxEmitter, SharedPoolIsMadeByItsFirstUserAndFreedWithItsLast)
{
	zeSetLogSink(captureLog);
	zeSetLogLevel(EZELL_DEBUG);
	logLines().clear();
	{
		CZeFxEmitter a;
		EXPECT_EQ(CZeFxEmitter::getSharedPoolReferences(), 0u);
		ASSERT_EQ(a.initPool(0, true), 0);
		EXPECT_EQ(linesWith("DEBUG : CZeFxEmitter: Allocate Shared ParticleBuffer"), 1);
		{
			CZeFxEmitter b;
			ASSERT_EQ(b.initPool(0, true), 0);
			EXPECT_EQ(CZeFxEmitter::getSharedPoolReferences(), 2u);
			EXPECT_EQ(a.getState().pool, b.getState().pool);
			EXPECT_EQ(b.getState().sharedPool, 1);
			// b takes all but three records; its destruction gives them back.
			b.setBirthRate(1e9f);
			b.setLifeTime(100.f, 0.f);
			b.setParticleLimit(ZE_SHARED_PARTICLE_POOL_CAPACITY - 3);
			b.update(1000);
			b.update(1016);
			EXPECT_EQ(b.getParticleCount(), ZE_SHARED_PARTICLE_POOL_CAPACITY - 3);
			a.setBirthRate(1e9f);
			a.update(1000);
			a.update(1016);
			EXPECT_EQ(a.getParticleCount(), 3u) << "the shared pool ran out";
			a.reset();
		}
		EXPECT_EQ(CZeFxEmitter::getSharedPoolReferences(), 1u);
		a.update(2000);
		a.update(2016);
		EXPECT_GT(a.getParticleCount(), 100000u);
		EXPECT_EQ(linesWith("Allocate Shared ParticleBuffer"), 1);
	}
	EXPECT_EQ(CZeFxEmitter::getSharedPoolReferences(), 0u);
	CZeFxEmitter c;
	ASSERT_EQ(c.initPool(0, true), 0);
	EXPECT_EQ(linesWith("Allocate Shared ParticleBuffer"), 2) << "made again after its last user went";
	EXPECT_EQ(c.initPool(0, false), 0);
	EXPECT_EQ(CZeFxEmitter::getSharedPoolReferences(), 0u) << "a new pool gives the old one up";
	zeSetLogSink(nullptr);
	zeSetLogLevel(EZELL_INFO);
}

TEST(FxEmitter, PrivatePoolFullStopsBirthsAndHidingKeepsItsParticles)
{
	CZeFxEmitter emitter;
	EXPECT_EQ(emitter.initPool(-1, false), -1);
	EXPECT_EQ(emitter.getState().pool, nullptr);
	emitter.update(1000);
	emitter.update(1016);
	EXPECT_EQ(emitter.getParticleCount(), 0u) << "no pool, no births";

	ASSERT_EQ(emitter.initPool(5, false), 0);
	emitter.setBirthRate(1000.f);
	emitter.setLifeTime(100.f, 0.f);
	emitter.update(1000);
	emitter.update(1100);
	EXPECT_EQ(emitter.getParticleCount(), 5u);
	EXPECT_EQ(emitter.getState().emittedCount, 5u) << "only the births that happened count";
	emitter.clearParticles(true);
	EXPECT_EQ(emitter.getParticleCount(), 5u) << "a private pool keeps its particles when hidden";
	emitter.clearParticles(false);
	EXPECT_EQ(emitter.getParticleCount(), 0u);
	EXPECT_EQ(emitter.getState().lastTimeMs, 0u);
}

// Time that goes back starts the emitter again (as after hiding), so no step
// spans the wrapped difference; time 0 counts as no update yet.
TEST(FxEmitter, TimeGoingBackRestartsInsteadOfAHugeStep)
{
	for (bool shared : { true, false })
	{
		SCOPED_TRACE(shared ? "shared pool" : "private pool");
		CZeFxEmitter emitter;
		ASSERT_EQ(emitter.initPool(0, shared), 0);
		emitter.setBirthRate(60.f);
		emitter.setLifeTime(100.f, 0.f);
		emitter.setVelocity(1.f, 0.f, 0.f);
		emitter.setResistance(0.f, 0.f);
		// A still particle born at 0, as the on-mesh emitters hold.
		emitter.addStaticParticle(7.f, 0.f, 0.f, 0, 0xFFFFFFFFu);
		emitter.update(10000);
		run60(emitter, 10000, 60);
		const u32 live = emitter.getParticleCount();
		ASSERT_GE(live, 60u);

		emitter.update(500);
		EXPECT_EQ(emitter.getState().lastTimeMs, 500u);
		EXPECT_EQ(emitter.getState().emittedCount, live - 1) << "no births at the restart";
		if (shared)
			EXPECT_EQ(liveList(emitter).size(), 0u) << "like hiding, a shared pool is emptied";
		else
		{
			// Only what was born by the new time stays: particles born later
			// would live on far past their time.
			ASSERT_EQ(liveList(emitter).size(), 1u);
			EXPECT_EQ(emitter.getParticleCount(), 1u);
			EXPECT_EQ(liveList(emitter)[0]->position[0], 7.f) << "nothing moved";
		}
		emitter.update(516);
		EXPECT_LE(emitter.getState().emittedCount, live);
	}

	CZeFxEmitter zero;
	ASSERT_EQ(zero.initPool(0, false), 0);
	zero.setBirthRate(1000.f);
	zero.update(0);
	zero.update(16);
	EXPECT_EQ(zero.getState().emittedCount, 0u) << "an update at time 0 is not a start";
	zero.update(32);
	EXPECT_EQ(zero.getState().emittedCount, 16u);
}

TEST(FxEmitter, BirthCountsAreBoundedBeforeConversion)
{
	const f32 rates[] = { 1e30f, std::numeric_limits<f32>::infinity(), std::numeric_limits<f32>::quiet_NaN(), -500.f };
	const u32 expected[] = { 8, 8, 0, 0 };
	for (u32 i = 0; i < 4; ++i)
	{
		CZeFxEmitter emitter;
		ASSERT_EQ(emitter.initPool(8, false), 0);
		emitter.setBirthRate(rates[i]);
		emitter.update(1000);
		emitter.update(1016);
		emitter.update(1032);
		EXPECT_EQ(emitter.getState().emittedCount, expected[i]) << "rate " << rates[i];
		EXPECT_TRUE(std::isfinite(emitter.getState().birthCarry));
	}
}

// The births of one update spread from the emitter's current place back to
// its previous one, each with the matching share of the inherited motion:
// moving +10 in x in 0.1 s gives x = 10 - 2i and vx = 100 - 20i before the
// step, x = 20 - 4i after it.
TEST(FxEmitter, EmitterMotionSpreadsBirthsAlongItsPath)
{
	CZeFxEmitter emitter;
	ASSERT_EQ(emitter.initPool(0, false), 0);
	emitter.setGeneratorSize(0.f, 0.f, 0.f);
	emitter.setResistance(0.f, 0.f);
	emitter.setLifeTime(100.f, 0.f);
	emitter.setBirthRate(50.f);
	core::matrix4 m;
	emitter.setTransform(m.pointer());
	emitter.update(1000);
	m.setTranslation(core::vector3df(10.f, 0.f, 0.f));
	emitter.setTransform(m.pointer());
	emitter.update(1100);
	const std::vector<const SZeParticle*> list = liveList(emitter);
	ASSERT_EQ(list.size(), 5u);
	for (u32 i = 0; i < 5; ++i)
	{
		EXPECT_NEAR(list[i]->velocity[0], 100.f - 20.f * f32(i), 1e-3) << i;
		EXPECT_NEAR(list[i]->position[0], 20.f - 4.f * f32(i), 1e-3) << i;
		EXPECT_EQ(list[i]->position[1], 0.f);
	}
	EXPECT_EQ(emitter.getState().emitterVelocity[0], 100.f);
}

// Deleting a parent (its node) before its children, or the generator mesh's
// last other owner, leaves nothing dangling (AddressSanitizer checks it).
TEST(FxEmitter, EmittersOutliveTheirParentsAndHoldTheirMeshes)
{
	CZeFxEmitter child;
	ASSERT_EQ(child.initPool(0, true), 0);
	child.setGeneratorType(6);
	{
		CZeFxEmitter parent;
		ASSERT_EQ(parent.initPool(0, true), 0);
		parent.setLifeTime(0.f, 0.f);
		parent.setBirthRate(300.f);
		child.setParentEmitter(&parent);
		child.setBirthRate(30.f);
		parent.update(1000);
		child.update(1000);
		parent.update(1016);
		parent.update(1032);
		child.update(1032);
		EXPECT_GT(child.getParticleCount(), 0u);
		EXPECT_EQ(child.getState().parent, &parent.getState());
	}
	EXPECT_EQ(child.getState().parent, nullptr);
	const u32 before = child.getState().emittedCount;
	child.update(1048);
	EXPECT_EQ(child.getState().emittedCount, before);

	// A child destroyed first leaves its parent's list of children.
	CZeFxEmitter parent;
	{
		CZeFxEmitter first, second;
		first.setParentEmitter(&parent);
		second.setParentEmitter(&parent);
		second.setParentEmitter(&second);
	}
	child.setParentEmitter(&parent);

	scene::SMesh* mesh = new scene::SMesh;
	scene::SMeshBuffer* buffer = new scene::SMeshBuffer;
	buffer->Vertices.push_back(video::S3DVertex(1, 2, 3, 0, 0, 1, video::SColor(), 0, 0));
	mesh->addMeshBuffer(buffer);
	buffer->drop();
	{
		CZeFxEmitter meshEmitter;
		ASSERT_EQ(meshEmitter.initPool(0, false), 0);
		meshEmitter.setGeneratorType(2);
		EXPECT_EQ(meshEmitter.setGeneratorMesh(mesh), 0);
		EXPECT_EQ(mesh->getReferenceCount(), 2);
		meshEmitter.update(1000);
		meshEmitter.update(1100);
		EXPECT_EQ(meshEmitter.getParticleCount(), 10u);
	}
	EXPECT_EQ(mesh->getReferenceCount(), 1);
	CZeFxEmitter holder;
	holder.setGeneratorMesh(mesh);
	mesh->drop();
	ASSERT_EQ(holder.initPool(0, false), 0);
	holder.setGeneratorType(2);
	holder.update(1000);
	holder.update(1100);
	EXPECT_EQ(holder.getParticleCount(), 10u) << "the emitter keeps the mesh alive";
	EXPECT_EQ(liveList(holder)[0]->position[2], 3.f);
}
