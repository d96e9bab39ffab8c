// Helpers of the emitter and generator tests: an independent copy of the
// random sequence, the live list as a vector, and emitter set-up.
#pragma once

#include "scene/CZeFxEmitter.h"

#include <irrlicht.h>

#include <vector>

// The emitters' random sequence, computed here from its definition.
struct SLcg
{
	irr::u32 state;
	irr::u32 draw()
	{
		state = state * 214013u + 2531011u;
		return (state >> 16) & 0x7FFF;
	}
	irr::f32 uniform() { return irr::f32(draw()) / 32767.f - 0.5f; }
};

// The live particles from the head.
inline std::vector<const SZeParticle*> liveList(const CZeFxEmitter& emitter)
{
	std::vector<const SZeParticle*> list;
	const SZeParticle* tail = emitter.getState().liveTail;
	if (tail)
		for (const SZeParticle* p = tail->next;; p = p->next)
		{
			list.push_back(p);
			if (p == tail)
				break;
		}
	return list;
}

inline irr::u32 diedCount(const CZeFxEmitter& emitter)
{
	irr::u32 n = 0;
	for (const SZeParticle* p = emitter.getState().diedList; p; p = p->next)
		++n;
	return n;
}

// An emitter that only moves what it is given: no births, no resistance.
inline void stillEmitter(CZeFxEmitter& emitter, irr::s32 capacity = 64)
{
	emitter.initPool(capacity, false);
	emitter.setBirthRate(0.f);
	emitter.setResistance(0.f, 0.f);
}
