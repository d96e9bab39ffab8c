#include "render/ZeLightVolumes.h"

#include "frame/ZeLog.h"

#include <cmath>

using namespace irr;

bool zeCreateLightVolumes(scene::ISceneManager* sceneManager, const char* owner, scene::IMesh** sphere,
	scene::IMesh** cone)
{
	*sphere = nullptr;
	*cone = nullptr;
	const scene::IGeometryCreator* geometry = sceneManager ? sceneManager->getGeometryCreator() : nullptr;
	*sphere = geometry ? geometry->createSphereMesh(1.0f, 8, 8) : nullptr;
	if (!*sphere)
	{
		zeLog(EZELL_ERROR, "%s: failed to create LightSphereMesh", owner);
		return false;
	}
	const video::SColor white(255, 255, 255, 255);
	*cone = geometry->createConeMesh(1.0f, 1.0f, 4, white, white, 0.0f);
	if (!*cone)
	{
		zeLog(EZELL_ERROR, "%s: failed to create LightConeMesh", owner);
		(*sphere)->drop();
		*sphere = nullptr;
		return false;
	}
	// The library's cone stands on its base at the origin with its apex at
	// y = 1: turned -90 degrees about x the apex is at z = -1, and moved one
	// unit along z it is at the light with the base ahead.
	core::matrix4 frame;
	frame.setRotationDegrees(core::vector3df(-90.0f, 0.0f, 0.0f));
	frame.setTranslation(core::vector3df(0.0f, 0.0f, 1.0f));
	sceneManager->getMeshManipulator()->transform(*cone, frame);
	return true;
}

bool zeLightRadiusReaches(f32 radius)
{
	return std::isfinite(radius) && radius > 0.0f;
}

core::matrix4 zeGetLightRotation(const scene::ILightSceneNode* light)
{
	// The light's world orientation: its parents turn it too. Scale is taken out.
	const core::matrix4& world = light->getAbsoluteTransformation();
	core::matrix4 rotation;
	for (int axis = 0; axis < 3; ++axis)
	{
		core::vector3df v(world[axis * 4], world[axis * 4 + 1], world[axis * 4 + 2]);
		v.normalize();
		rotation[axis * 4] = v.X;
		rotation[axis * 4 + 1] = v.Y;
		rotation[axis * 4 + 2] = v.Z;
	}
	return rotation;
}

core::matrix4 zeGetLightFrame(const scene::ILightSceneNode* light)
{
	core::matrix4 frame = zeGetLightRotation(light);
	frame.setTranslation(light->getAbsolutePosition());
	return frame;
}

f32 zeLightVolumeConeAngle(f32 outerConeDegrees)
{
	return core::min_(1.1f * outerConeDegrees, 89.0f) * core::DEGTORAD;
}
