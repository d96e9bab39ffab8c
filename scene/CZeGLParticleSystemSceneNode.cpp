#include "scene/CZeGLParticleSystemSceneNode.h"

#include "core/IZeGpuProgramming.h"
#include "core/IZeManager.h"
#include "libext/ZeGL.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>

using namespace irr;

namespace
{
SZeParticleInstancingData* g_data = nullptr;
s32 g_references = 0;
CZeGLParticleSystemSceneNode::DrawTrace g_trace = nullptr;

const u32 INSTANCE_ATTRIBS[] = {ZE_INSTANCE_ATTRIB_CENTRE, ZE_INSTANCE_ATTRIB_LIFE, ZE_INSTANCE_ATTRIB_VELOCITY};

// Errors of other code must not read as ours, nor ours linger for others.
void clearGLErrors()
{
	for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i)
	{
	}
}

void deleteBuffers(SZeParticleInstancingData& data)
{
	for (unsigned int* buffer : {&data.IndexBuffer, &data.InstanceBuffer, &data.QuadBuffer})
		if (*buffer)
		{
			glDeleteBuffers(1, buffer);
			*buffer = 0;
		}
	data.Created = false;
	data.Capacity = 0;
}
} // namespace

// ---- Construction and shared data -----------------------------------------------------
CZeGLParticleSystemSceneNode::CZeGLParticleSystemSceneNode(scene::ISceneNode* parent, scene::ISceneManager* manager,
	s32 id)
	: CZeParticleSystemSceneNode(parent, manager, id)
{
	addRefSharedData();
}

CZeGLParticleSystemSceneNode::CZeGLParticleSystemSceneNode(scene::ISceneNode* parent, scene::ISceneManager* manager,
	s32 id, u32 extra)
	: CZeParticleSystemSceneNode(parent, manager, id, extra)
{
	addRefSharedData();
}

CZeGLParticleSystemSceneNode::CZeGLParticleSystemSceneNode(scene::ISceneNode* parent, scene::ISceneManager* manager,
	s32 id, scene::IMeshSceneNode* meshNode)
	: CZeParticleSystemSceneNode(parent, manager, id, meshNode)
{
	addRefSharedData();
}

CZeGLParticleSystemSceneNode::~CZeGLParticleSystemSceneNode()
{
	removeRefSharedData();
}

bool CZeGLParticleSystemSceneNode::isAvailable(video::IVideoDriver* driver)
{
	if (!driver || driver->getDriverType() != video::EDT_OPENGL)
		return false;
	const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
	int major = 0, minor = 0;
	if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2)
		return false;
	return major > 3 || (major == 3 && minor >= 3);
}

void CZeGLParticleSystemSceneNode::addRefSharedData()
{
	++g_references;
}

void CZeGLParticleSystemSceneNode::removeRefSharedData()
{
	if (--g_references > 0)
		return;
	if (g_references < 0)
	{
		zeEngineLog(3, "CZeGLParticleSystemSceneNode: Invalid negative sharedDataRefCount=%d", g_references);
		g_references = 0;
	}
	if (g_data)
	{
		zeEngineLog(0, "CZeGLParticleSystemSceneNode::removeRefSharedData: remove VertexBuffer");
		releaseInstancingData();
	}
}

void CZeGLParticleSystemSceneNode::onDeviceReset()
{
	if (!g_data)
		return;
	zeEngineLog(0, "CZeGLParticleSystemSceneNode::onDeviceReset: remove VertexBuffer");
	releaseInstancingData();
}

const SZeParticleInstancingData* CZeGLParticleSystemSceneNode::getInstancingData()
{
	return g_data;
}

s32 CZeGLParticleSystemSceneNode::getSharedDataReferences()
{
	return g_references;
}

void CZeGLParticleSystemSceneNode::setDrawTrace(DrawTrace trace)
{
	g_trace = trace;
}

bool CZeGLParticleSystemSceneNode::createInstancingData(u32 capacity)
{
	static const f32 corners[12] = {0.f, 0.f, 1.f, 0.f, 1.f, 1.f, 1.f, 1.f, 1.f, 1.f, 0.f, 1.f};
	static const u16 indices[6] = {0, 2, 1, 0, 3, 2};
	SZeParticleInstancingData* data = new SZeParticleInstancingData();
	struct SStep
	{
		const char* Name;
		GLenum Target;
		GLsizeiptr Size;
		const void* Contents;
		GLenum Usage;
		unsigned int* Buffer;
	};
	const SStep steps[] = {
		{"glBufferData Vertex", GL_ARRAY_BUFFER, sizeof(corners), corners, GL_STATIC_DRAW, &data->QuadBuffer},
		{"glBufferData Index", GL_ELEMENT_ARRAY_BUFFER, sizeof(indices), indices, GL_STATIC_DRAW, &data->IndexBuffer},
		{"glBufferData Instance", GL_ARRAY_BUFFER, GLsizeiptr(capacity) * GLsizeiptr(sizeof(SZeParticleInstance)),
			nullptr, GL_STREAM_DRAW, &data->InstanceBuffer},
	};
	clearGLErrors();
	for (const SStep& step : steps)
	{
		glGenBuffers(1, step.Buffer);
		glBindBuffer(step.Target, *step.Buffer);
		glBufferData(step.Target, step.Size, step.Contents, step.Usage);
		glBindBuffer(step.Target, 0);
		if (glGetError() != GL_NO_ERROR)
		{
			zeEngineLog(3, "CZeGLParticleSystemSceneNode Error : %s", step.Name);
			clearGLErrors();
			deleteBuffers(*data);
			delete data;
			return false;
		}
	}
	data->Created = true;
	data->Capacity = capacity;
	g_data = data;
	return true;
}

void CZeGLParticleSystemSceneNode::releaseInstancingData()
{
	if (!g_data)
		return;
	deleteBuffers(*g_data);
	delete g_data;
	g_data = nullptr;
}

// ---- Drawing --------------------------------------------------------------------------
void CZeGLParticleSystemSceneNode::render()
{
	if (RenderEnabled)
		renderInstancing();
}

void CZeGLParticleSystemSceneNode::renderInstancing()
{
	if (!g_data)
	{
		zeEngineLog(0, "CZeGLParticleSystemSceneNode: Allocate VertexBuffer for Particles");
		if (!createInstancingData(ZE_PARTICLE_DRAW_RECORDS))
		{
			zeEngineLog(3, "CZeGLParticleSystemSceneNode: Failed to allocate the vertex buffers");
			return;
		}
	}
	u32 count = std::min(Emitter.getParticleCount(), g_data->Capacity);
	if (count)
		count = fillInstanceBuffer(count);
	if (!count)
		return;
	video::IVideoDriver* driver = SceneManager->getVideoDriver();
	driver->setMaterial(Material);
	driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
	// One degenerate triangle: the driver applies the material, the effect
	// renderer its program and constants, which the instanced draw then uses.
	const video::S3DVertex origin(0.f, 0.f, 0.f, 0.f, 0.f, 0.f, video::SColor(255, 255, 255, 255), 0.f, 0.f);
	const u16 degenerate[3] = {0, 0, 0};
	driver->drawVertexPrimitiveList(&origin, 1, degenerate, 1, video::EVT_STANDARD, scene::EPT_TRIANGLES,
		video::EIT_16BIT);
	drawInstanced(*g_data, count);
}

u32 CZeGLParticleSystemSceneNode::fillInstanceBuffer(u32 count)
{
	const GLsizeiptr bytes = GLsizeiptr(count) * GLsizeiptr(sizeof(SZeParticleInstance));
	glBindBuffer(GL_ARRAY_BUFFER, g_data->InstanceBuffer);
	// Invalidating the whole buffer orphans the storage earlier draws may still read.
	void* records = glMapBufferRange(GL_ARRAY_BUFFER, 0, bytes, GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
	if (!records)
	{
		zeEngineLog(3, "CZeGLParticleSystemSceneNode: glMapBufferRange failed");
		clearGLErrors();
		glBindBuffer(GL_ARRAY_BUFFER, 0);
		return 0;
	}
	count = Emitter.fillInstances(static_cast<SZeParticleInstance*>(records), count);
	const bool kept = glUnmapBuffer(GL_ARRAY_BUFFER) == GL_TRUE;
	glBindBuffer(GL_ARRAY_BUFFER, 0);
	if (!kept)
	{
		zeEngineLog(3, "CZeGLParticleSystemSceneNode: glUnmapBuffer failed");
		return 0;
	}
	return count;
}

void CZeGLParticleSystemSceneNode::drawInstanced(const SZeParticleInstancingData& data, u32 count)
{
	if (!count)
		return;
	// The library turned its client arrays off after the degenerate triangle:
	// the instanced draw reads only the attributes set here.
	glBindBuffer(GL_ARRAY_BUFFER, data.QuadBuffer);
	glVertexAttribPointer(ZE_INSTANCE_ATTRIB_CORNER, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(f32), nullptr);
	glEnableVertexAttribArray(ZE_INSTANCE_ATTRIB_CORNER);
	glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, data.IndexBuffer);
	glBindBuffer(GL_ARRAY_BUFFER, data.InstanceBuffer);
	for (u32 attrib : INSTANCE_ATTRIBS)
	{
		glEnableVertexAttribArray(attrib);
		glVertexAttribDivisor(attrib, 1);
	}
	const GLsizei stride = sizeof(SZeParticleInstance);
	for (u32 first = 0; first < count; first += CHUNK)
	{
		const u32 chunk = std::min(count - first, CHUNK);
		const uintptr_t base = uintptr_t(first) * sizeof(SZeParticleInstance);
		glVertexAttribPointer(ZE_INSTANCE_ATTRIB_CENTRE, 3, GL_FLOAT, GL_FALSE, stride,
			reinterpret_cast<const void*>(base + offsetof(SZeParticleInstance, position)));
		glVertexAttribPointer(ZE_INSTANCE_ATTRIB_LIFE, 3, GL_FLOAT, GL_FALSE, stride,
			reinterpret_cast<const void*>(base + offsetof(SZeParticleInstance, birthTime)));
		glVertexAttribPointer(ZE_INSTANCE_ATTRIB_VELOCITY, 3, GL_FLOAT, GL_FALSE, stride,
			reinterpret_cast<const void*>(base + offsetof(SZeParticleInstance, velocity)));
		glDrawElementsInstanced(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr, GLsizei(chunk));
		if (g_trace)
			g_trace(first, chunk);
	}
	for (u32 attrib : INSTANCE_ATTRIBS)
	{
		glVertexAttribDivisor(attrib, 0);
		glDisableVertexAttribArray(attrib);
	}
	glDisableVertexAttribArray(ZE_INSTANCE_ATTRIB_CORNER);
	// Its current value tells the programs that no instanced draw runs.
	glVertexAttrib4f(ZE_INSTANCE_ATTRIB_CORNER, 0.f, 0.f, 0.f, 1.f);
	glBindBuffer(GL_ARRAY_BUFFER, 0);
	glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}
