// The OpenGL particle-system node: every live particle (up to 65,536) drawn
// as an instance of one quad, from buffers that all such nodes share.
//
// The particle effect must be compiled with ZE_INSTANCED_MACRO (an effect's
// "//ZELV_PP: define ZELV_INSTANCED"): its passes then read the quad corner,
// centre, life and velocity from the generic attributes the node points at
// (core/IZeGpuProgramming.h), and the same program still draws the plain
// node's standard vertices.
//
// A draw: the records go into the instance buffer, orphaned first; one
// degenerate triangle through the 3D library applies the material (the
// effect's program and constants); then glDrawElementsInstanced in chunks of
// at most 4096 instances. The node leaves the GL state as the library
// expects it: no buffer bound, its attribute arrays off with divisor 0, the
// corner attribute's current value (0, 0, 0, 1), the program in use as the
// effect renderer left it.
#pragma once

#include "scene/CZeParticleSystemSceneNode.h"

// The shared GL objects; the reference count counts GL nodes.
struct SZeParticleInstancingData
{
	bool Created = false;
	irr::u32 Capacity = 0;            // instances
	unsigned int QuadBuffer = 0;      // the corners (0, 0, 1), (0, 1, 1), (1, 1, 1), (1, 0, 1)
	unsigned int IndexBuffer = 0;     // 0, 2, 1, 0, 3, 2 (16-bit)
	unsigned int InstanceBuffer = 0;  // Capacity SZeParticleInstance records, rewritten by every draw
};

class CZeGLParticleSystemSceneNode : public CZeParticleSystemSceneNode
{
public:
	// Instances per draw call at most.
	static constexpr irr::u32 CHUNK = 4096;

	// The three forms of the plain node; each holds a reference to the shared data.
	CZeGLParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id);
	CZeGLParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id,
		irr::u32 extra);
	CZeGLParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id,
		irr::scene::IMeshSceneNode* meshNode);
	~CZeGLParticleSystemSceneNode() override;

	void render() override;
	void renderInstancing() override;

	// Whether the driver draws instanced: the OpenGL driver on GL 3.3 or later.
	static bool isAvailable(irr::video::IVideoDriver* driver);
	// Before a device reset: the shared GL objects go (the reference count
	// stays); the next draw makes them again.
	static void onDeviceReset();

	// The shared data, null until a draw makes it; the GL nodes holding it.
	static const SZeParticleInstancingData* getInstancingData();
	static irr::s32 getSharedDataReferences();
	// Tests follow the instanced draw calls: told of each one's first
	// instance and count. Null stops it.
	typedef void (*DrawTrace)(irr::u32 firstInstance, irr::u32 count);
	static void setDrawTrace(DrawTrace trace);

private:
	static void addRefSharedData();
	static void removeRefSharedData();
	static bool createInstancingData(irr::u32 capacity);
	static void releaseInstancingData();
	// Writes up to `count` records into the orphaned instance buffer; the
	// number written, 0 when the buffer cannot be mapped (logged).
	irr::u32 fillInstanceBuffer(irr::u32 count);
	static void drawInstanced(const SZeParticleInstancingData& data, irr::u32 count);
};
