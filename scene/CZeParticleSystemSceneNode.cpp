#include "scene/CZeParticleSystemSceneNode.h"

#include "core/IZeManager.h"

#include <algorithm>

using namespace irr;

// ---- Shared quads ---------------------------------------------------------------
namespace
{
SZeParticleQuadData* g_quadData = nullptr;

void releaseQuadData(SZeParticleQuadData* data)
{
	if (data && data == g_quadData && --g_quadData->References == 0)
	{
		delete g_quadData;
		g_quadData = nullptr;
	}
}
} // namespace

SZeParticleQuadData::SZeParticleQuadData()
	: Records(new SZeParticleInstance[ZE_PARTICLE_DRAW_RECORDS]), Quads(new scene::SMeshBuffer())
{
	static const f32 corners[4][2] = {{0.f, 0.f}, {0.f, 1.f}, {1.f, 1.f}, {1.f, 0.f}};
	static const u16 quadIndices[6] = {0, 2, 1, 0, 3, 2};
	Quads->Vertices.set_used(4 * ZE_PARTICLE_PLAIN_QUADS);
	Quads->Indices.set_used(6 * ZE_PARTICLE_PLAIN_QUADS);
	for (u32 q = 0; q < ZE_PARTICLE_PLAIN_QUADS; ++q)
	{
		for (u32 c = 0; c < 4; ++c)
			Quads->Vertices[4 * q + c] = video::S3DVertex(0.f, 0.f, 0.f, 0.f, 0.f, 0.f,
				video::SColor(255, 255, 255, 255), corners[c][0], corners[c][1]);
		for (u32 i = 0; i < 6; ++i)
			Quads->Indices[6 * q + i] = static_cast<u16>(4 * q + quadIndices[i]);
	}
}

SZeParticleQuadData::~SZeParticleQuadData()
{
	Quads->drop();
}

SZeParticleQuadData* CZeParticleSystemSceneNode::acquireQuadData()
{
	if (!g_quadData)
		g_quadData = new SZeParticleQuadData();
	++g_quadData->References;
	return g_quadData;
}

const SZeParticleQuadData* CZeParticleSystemSceneNode::getQuadData()
{
	return g_quadData;
}

void CZeParticleSystemSceneNode::expandQuads(SZeParticleQuadData& data, u32 count)
{
	video::S3DVertex* vertex = data.Quads->Vertices.pointer();
	for (u32 i = 0; i < count; ++i)
	{
		const SZeParticleInstance& record = data.Records[i];
		const core::vector3df centre(record.position[0], record.position[1], record.position[2]);
		const core::vector3df life(record.birthTime, record.deathTime, 0.f);
		for (u32 c = 0; c < 4; ++c, ++vertex)
		{
			vertex->Pos = centre;
			vertex->Normal = life;
		}
	}
}

// ---- The node ---------------------------------------------------------------------
CZeParticleSystemSceneNode::CZeParticleSystemSceneNode(scene::ISceneNode* parent, scene::ISceneManager* manager, s32 id)
	: IZeParticleSystemSceneNode(parent, manager, id), Box(-1.f, -1.f, -1.f, 1.f, 1.f, 1.f)
{
	setAutomaticCulling(scene::EAC_OFF);
	Emitter.initPool(0, true);
}

CZeParticleSystemSceneNode::CZeParticleSystemSceneNode(scene::ISceneNode* parent, scene::ISceneManager* manager, s32 id,
	u32 extra)
	: IZeParticleSystemSceneNode(parent, manager, id, extra), Box(-1.f, -1.f, -1.f, 1.f, 1.f, 1.f)
{
	setAutomaticCulling(scene::EAC_OFF);
	Emitter.initPool(static_cast<s32>(ZE_PRIVATE_PARTICLE_POOL_CAPACITY), false);
}

CZeParticleSystemSceneNode::CZeParticleSystemSceneNode(scene::ISceneNode* parent, scene::ISceneManager* manager, s32 id,
	scene::IMeshSceneNode* meshNode)
	: IZeParticleSystemSceneNode(parent, manager, id), Box(-1.f, -1.f, -1.f, 1.f, 1.f, 1.f)
{
	setAutomaticCulling(scene::EAC_OFF);
	scene::IMesh* mesh = meshNode ? meshNode->getMesh() : nullptr;
	u32 vertices = 0;
	for (u32 b = 0; mesh && b < mesh->getMeshBufferCount(); ++b)
		vertices += mesh->getMeshBuffer(b)->getVertexCount();
	Emitter.initPool(static_cast<s32>(vertices ? vertices : ZE_PRIVATE_PARTICLE_POOL_CAPACITY), false);
	for (u32 b = 0; mesh && b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		for (u32 v = 0; v < buffer->getVertexCount(); ++v)
		{
			const core::vector3df& p = buffer->getPosition(v);
			Emitter.addStaticParticle(p.X, p.Y, p.Z, 0, 4294967295u);
		}
	}
}

CZeParticleSystemSceneNode::~CZeParticleSystemSceneNode()
{
	releaseQuadData(QuadData);
}

void CZeParticleSystemSceneNode::OnRegisterSceneNode()
{
	if (!IsVisible)
		return;
	SceneManager->registerNodeForRendering(this, scene::ESNRP_TRANSPARENT);
	ISceneNode::OnRegisterSceneNode();
}

void CZeParticleSystemSceneNode::OnAnimate(u32 timeMs)
{
	ISceneNode::OnAnimate(timeMs);
	if (!IsVisible)
		return;
	Emitter.setTransform(AbsoluteTransformation.pointer());
	// Without a camera the emitter keeps the eye it had (only the back-to-front
	// order reads it).
	if (const scene::ICameraSceneNode* camera = SceneManager->getActiveCamera())
	{
		const core::vector3df eye = camera->getAbsolutePosition();
		Emitter.setCameraPosition(eye.X, eye.Y, eye.Z);
	}
	Emitter.update(timeMs);
}

void CZeParticleSystemSceneNode::render()
{
	if (RenderEnabled)
		renderParticles();
}

void CZeParticleSystemSceneNode::setVisible(bool visible)
{
	if (!visible)
		Emitter.clearParticles(true);
	ISceneNode::setVisible(visible);
}

video::SMaterial& CZeParticleSystemSceneNode::getMaterial(u32)
{
	return Material;
}

void CZeParticleSystemSceneNode::renderInstancing()
{
	zeEngineLog(3, "CZeParticleSystemSceneNode::renderInstancing not implemented");
}

void CZeParticleSystemSceneNode::renderParticles()
{
	if (!QuadData)
		QuadData = acquireQuadData();
	// Only the records that get a quad are exported.
	const u32 count = Emitter.fillInstances(QuadData->Records.get(), ZE_PARTICLE_PLAIN_QUADS);
	if (!count)
		return;
	expandQuads(*QuadData, count);
	video::IVideoDriver* driver = SceneManager->getVideoDriver();
	driver->setMaterial(Material);
	driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
	driver->drawVertexPrimitiveList(QuadData->Quads->getVertices(), 4 * count, QuadData->Quads->getIndices(),
		2 * count, video::EVT_STANDARD, scene::EPT_TRIANGLES, video::EIT_16BIT);
}
