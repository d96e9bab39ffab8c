// The plain particle-system node: draws up to 16,384 particles as indexed
// quads of standard vertices through the 3D library, from quads shared by
// every plain node of the process. It serves the NULL driver and drivers
// without instancing; CZeGLParticleSystemSceneNode draws instanced.
#pragma once

#include "scene/CZeFxEmitter.h"
#include "scene/IZeParticleSystemSceneNode.h"

#include <irrlicht.h>

#include <memory>

// Instance records one draw exports at most.
const irr::u32 ZE_PARTICLE_DRAW_RECORDS = 65536;
// Quads of the plain draw: particles past them in list order are not drawn.
const irr::u32 ZE_PARTICLE_PLAIN_QUADS = 16384;

// The plain draw's records and quads, one per process, made by the first
// plain draw and freed with the last plain node that drew. Quad q is
// vertices 4q to 4q + 3 with texture coordinates (0, 0), (0, 1), (1, 1),
// (1, 0) and indices 4q, 4q + 2, 4q + 1, 4q, 4q + 3, 4q + 2, written once;
// each draw writes only the positions (the centre) and normals (birth time,
// death time, 0) of the quads it draws.
struct SZeParticleQuadData
{
	SZeParticleQuadData();
	~SZeParticleQuadData();
	SZeParticleQuadData(const SZeParticleQuadData&) = delete;
	SZeParticleQuadData& operator=(const SZeParticleQuadData&) = delete;

	std::unique_ptr<SZeParticleInstance[]> Records;  // ZE_PARTICLE_DRAW_RECORDS
	irr::scene::SMeshBuffer* Quads;                   // ZE_PARTICLE_PLAIN_QUADS quads
	irr::u32 References = 0;
};

class CZeParticleSystemSceneNode : public IZeParticleSystemSceneNode
{
public:
	// On the shared particle pool.
	CZeParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id);
	// On a private pool of 65,536 records; the extra value is ignored.
	CZeParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id,
		irr::u32 extra);
	// On a private pool as large as the mesh node's mesh has vertices (65,536
	// without any), holding one still particle at each vertex's position that
	// lives from 0 to 4,294,967,295 ms.
	CZeParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id,
		irr::scene::IMeshSceneNode* meshNode);
	~CZeParticleSystemSceneNode() override;

	void setRenderEnabled(bool enabled) override { RenderEnabled = enabled; }
	bool isRenderEnabled() const { return RenderEnabled; }
	IZeFxEmitter* getFxEmitter() override { return &Emitter; }
	CZeFxEmitter& getEmitter() { return Emitter; }

	// Registers the node in the transparent pass while visible.
	void OnRegisterSceneNode() override;
	// While visible: the emitter gets the absolute transformation, the active
	// camera's position (kept when there is no camera) and one update.
	void OnAnimate(irr::u32 timeMs) override;
	void render() override;
	// Hiding empties an emitter on the shared pool (a private pool keeps its particles).
	void setVisible(bool visible) override;
	const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override { return Box; }
	// Every index answers the node's one material.
	irr::video::SMaterial& getMaterial(irr::u32 index) override;
	irr::u32 getMaterialCount() const override { return 1; }

	// The instanced draw: this class has none (it logs so).
	virtual void renderInstancing();
	// The plain draw: the first 16,384 particles in list order.
	virtual void renderParticles();

	// The shared quad data while plain nodes hold it, else null.
	static const SZeParticleQuadData* getQuadData();

protected:
	irr::video::SMaterial Material;
	CZeFxEmitter Emitter;
	bool RenderEnabled = true;

private:
	static SZeParticleQuadData* acquireQuadData();
	// Writes the centres and lives of the first `count` records into their quads.
	static void expandQuads(SZeParticleQuadData& data, irr::u32 count);

	irr::core::aabbox3d<irr::f32> Box;
	SZeParticleQuadData* QuadData = nullptr;  // held once this node drew
};
