// Scenes of LightWave surfaces drawn with the engine's own material effects
// (those the current renderer gives each material type), lit by the light
// buffer, on an OpenGL window with the light pre-pass started.
#pragma once

#include "ZeRenderTestUtil.h"

#include "core/IZeRenderer.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"

#include <functional>

namespace zetest
{
class SurfaceGL : public RenderGL
{
protected:
	SurfaceGL() { LightPrePass = 1; }

	// A rectangle (corner and two edges) as a mesh; its front, towards v x u,
	// faces -z when u runs along +x and v along +y.
	static scene::IMesh* rectangle(const core::vector3df& corner, const core::vector3df& u, const core::vector3df& v)
	{
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		const core::vector3df normal = v.crossProduct(u).normalize();
		for (const core::vector3df& p : {corner, corner + u, corner + u + v, corner + v})
			buffer->Vertices.push_back(video::S3DVertex(p, normal, video::SColor(255, 255, 255, 255), {0, 0}));
		for (u16 i : {0, 2, 1, 0, 3, 2})  // clockwise seen from the front, the library's front faces
			buffer->Indices.push_back(i);
		buffer->recalculateBoundingBox();
		scene::SMesh* mesh = new scene::SMesh();
		mesh->addMeshBuffer(buffer);
		mesh->recalculateBoundingBox();
		buffer->drop();
		return mesh;
	}

	// A node of the mesh (taken over) with a LightWave surface set by `set`,
	// drawn with the effect the current renderer gives its material type.
	scene::IMeshSceneNode* surfaceNode(scene::IMesh* mesh, const std::function<void(IZeSurfaceLightwave*)>& set)
	{
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
		mesh->drop();
		IZeSceneNodeExt* ext = Manager->getSceneManager()->getSceneNodeExt(node);
		IZeSurface* surface = Manager->getSurfaceManager()->createSurfaceByType(MAKE_IRR_ID('l', 'w', 's', 'r'));
		EXPECT_TRUE(ext && surface);
		surface->initFromMaterial(node->getMaterial(0));
		set(static_cast<IZeSurfaceLightwave*>(surface));
		ext->setMaterialSurface(0, surface);
		surface->drop();
		SZeMacro macros[24] = {};
		u32 count = 20;
		s32 type = 0;
		EXPECT_TRUE(surface->getEffectCompileParameters(type, macros, count, node));
		core::stringc file;
		u32 room = 24 - count;
		EXPECT_TRUE(zeGetCurrentRenderer()->getMaterialEffect(file, macros + count, room,
			static_cast<video::E_MATERIAL_TYPE>(type)));
		IZeEffect* effect = Manager->getEffectManager()->createEffect(zeFindDataFile(file.c_str()), type, macros, nullptr);
		EXPECT_NE(effect, nullptr) << Manager->getEffectManager()->getLastError();
		if (effect)
		{
			ext->setMaterialEffect(0, effect, 0, 0);
			effect->drop();
		}
		return node;
	}

	// A surface shining in its colour alone.
	static std::function<void(IZeSurfaceLightwave*)> emissive(f32 r, f32 g, f32 b)
	{
		return [=](IZeSurfaceLightwave* s) {
			s->setParamFloat3(EZELW_BASE_COLOR, r, g, b);
			s->setParamFloat(EZELW_LUMINOSITY, 1.0f);
			s->setParamFloat(EZELW_DIFFUSE, 0.0f);
			s->setParamFloat(EZELW_SPECULARITY, 0.0f);
		};
	}

	scene::ILightSceneNode* light(video::E_LIGHT_TYPE type, const core::vector3df& position,
		const core::vector3df& rotation, f32 radius)
	{
		scene::ILightSceneNode* l = Smgr->addLightSceneNode(nullptr, position, video::SColorf(1, 1, 1), radius);
		l->setLightType(type);
		l->setRotation(rotation);
		l->getLightData().Radius = radius;
		Manager->getSceneManager()->getLightSceneNodeExt(l);
		return l;
	}

	// The window's grey level (mean of r, g, b) at a pixel.
	int grey(int x, int y)
	{
		const Rgba p = screenPixel(x, y);
		return (p.R + p.G + p.B) / 3;
	}
};
} // namespace zetest
