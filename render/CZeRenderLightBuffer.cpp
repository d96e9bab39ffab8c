#include "render/CZeRenderLightBuffer.h"

#include "core/ZeGpuState.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/ZeLightVolumes.h"

#include <cmath>

using namespace irr;

namespace
{
const char* const LIGHT_MACROS[CZeRenderLightBuffer::ROWS] = {"USE_DISTANT", "USE_POINT", "USE_SPOTLIGHT"};
const char* const SOFTNESS_MACROS[CZeRenderLightBuffer::COLUMNS - 1] = {"USE_SH0", "USE_SH1", "USE_SH2", "USE_SH4",
	"USE_SH8", "USE_SH16", "USE_SH32"};
const u32 ROW_DIRECTIONAL = 0, ROW_POINT = 1, ROW_SPOT = 2;

const f32 EPSILON_SCALE = 0.00001f;

// The spot light's cone volume: length along the light and radius of its base.
struct SCone
{
	f32 Length;
	f32 Base;
};

SCone spotCone(const video::SLight& data)
{
	const f32 length = ZE_LIGHT_VOLUME_SCALE * data.Radius;
	return {length, std::tan(zeLightVolumeConeAngle(data.OuterCone)) * length};
}

// Columns 1 to 7 by the shadow-map fuzz; not a number fails every test.
u32 softnessColumn(f32 fuzz)
{
	const f32 limits[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 32.0f};
	for (u32 i = 0; i < 6; ++i)
		if (fuzz < limits[i])
			return i + 1;
	return 7;
}
} // namespace

CZeRenderLightBuffer::CZeRenderLightBuffer(IrrlichtDevice* device)
	: Device(device), Driver(device ? device->getVideoDriver() : nullptr)
{
	ze::setMaterialUserData(Quad.getMaterial(), &Record);
}

CZeRenderLightBuffer::~CZeRenderLightBuffer()
{
	releaseEffects();
	if (SphereMesh)
		SphereMesh->drop();
	if (ConeMesh)
		ConeMesh->drop();
}

void CZeRenderLightBuffer::releaseEffects()
{
	for (IZeEffect*& effect : Effects)
	{
		if (effect)
			effect->drop();
		effect = nullptr;
	}
}

bool CZeRenderLightBuffer::init(IZeEffectManager* effects, const char* file)
{
	if (SphereMesh || ConeMesh || !Device)
		return false;
	if (!zeCreateLightVolumes(Device->getSceneManager(), "CZeRenderLightBuffer", &SphereMesh, &ConeMesh))
		return false;
	for (u32 i = 0; i < ROWS * COLUMNS; ++i)
	{
		const u32 row = i / COLUMNS, column = i % COLUMNS;
		if (column > 0 && row != ROW_SPOT)
			continue;
		SZeMacro macros[4] = {};
		u32 count = 0;
		macros[count++] = {LIGHT_MACROS[row], nullptr};
		if (column > 0)
		{
			macros[count++] = {"USE_SHADOW", nullptr};
			macros[count++] = {SOFTNESS_MACROS[column - 1], nullptr};
		}
		Effects[i] = effects && file ? effects->createEffect(file, -1, macros, nullptr) : nullptr;
		if (!Effects[i])
		{
			zeLog(EZELL_ERROR, "CZeRenderLightBuffer: failed to load %s", file ? file : "(null)");
			releaseEffects();
			return false;
		}
	}
	return true;
}

IZeEffect* CZeRenderLightBuffer::getEffect(u32 type, bool withShadow, f32 fuzz)
{
	u32 row = 0;
	switch (type)
	{
	case video::ELT_POINT: row = ROW_POINT; break;
	case video::ELT_SPOT: row = ROW_SPOT; break;
	case video::ELT_DIRECTIONAL: row = ROW_DIRECTIONAL; break;
	default:
		zeLog(EZELL_ERROR, "CZeRenderLightBuffer: wrong light type");
		return nullptr;
	}
	const u32 column = withShadow && row == ROW_SPOT ? softnessColumn(fuzz) : 0;
	return Effects[row * COLUMNS + column];
}

bool CZeRenderLightBuffer::beginFrame(scene::ICameraSceneNode* camera)
{
	if (!Driver)
		return false;
	View = Driver->getTransform(video::ETS_VIEW);
	if (!View.getInverse(InverseView))
		InverseView = View;
	InverseViewTransposed = InverseView.getTransposed();
	CameraPosition = camera ? camera->getAbsolutePosition() : InverseView.getTranslation();
	CameraNear = camera ? camera->getNearValue() : 0.0f;
	return true;
}

void CZeRenderLightBuffer::setShowVolumes(bool show)
{
	ShowVolumes = show;
}

void CZeRenderLightBuffer::setShadowOverride(bool on, f32 epsilon)
{
	ShadowOverride = on;
	ShadowEpsilon = epsilon;
}

void CZeRenderLightBuffer::resetStats()
{
	Stats = SZeLightBufferStats();
}

bool CZeRenderLightBuffer::renderLight(video::ITexture* target, scene::ILightSceneNode* light,
	video::ITexture* shadowMap, const core::matrix4& shadowViewProjection, f32, f32 shadowFar)
{
	const IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(light);
	if (!ext || !Driver)
		return false;
	const SZeLightExtParams& params = ext->getParams();
	const video::SLight& data = light->getLightData();
	if (data.DiffuseColor.r == 0.0f && data.DiffuseColor.g == 0.0f && data.DiffuseColor.b == 0.0f)
		return false;
	const video::E_LIGHT_TYPE type = light->getLightType();
	// A point or spot light whose radius is no finite number above 0 reaches
	// nothing (or everything, without falloff) and has no volume: left out.
	if (type != video::ELT_DIRECTIONAL && !zeLightRadiusReaches(data.Radius))
		return false;
	const bool shadowed = shadowMap && light->getCastShadow() && type == video::ELT_SPOT;
	IZeEffect* effect = getEffect(type, shadowed, params.ShadowMapFuzz);
	if (!effect)
		return false;

	enum EDraw { FULL_SCREEN, SPHERE, CONE } draw = FULL_SCREEN;
	core::vector3df direction = data.Direction;
	InverseViewTransposed.rotateVect(direction);
	direction.normalize();
	core::vector3df position = data.Position;
	View.transformVect(position);
	const f32 invRadiusSqr = 1.0f / (data.Radius * data.Radius);
	const f32 distance = data.Position.getDistanceFrom(CameraPosition) - CameraNear;
	switch (type)
	{
	case video::ELT_DIRECTIONAL:
		effect->setFloatArrayByName("LightDirection", &direction.X, 3);
		++Stats.DirectionalLights;
		break;
	case video::ELT_SPOT:
	{
		effect->setFloatArrayByName("LightDirection", &direction.X, 3);
		effect->setFloatArrayByName("LightPosition", &position.X, 3);
		effect->setFloatByName("InvLightRadiusSqr", invRadiusSqr);
		const f32 angles[2] = {std::cos(data.InnerCone * core::DEGTORAD), std::cos(data.OuterCone * core::DEGTORAD)};
		effect->setFloatArrayByName("SpotlightAngles", angles, 2);
		++Stats.SpotLights;
		const SCone cone = spotCone(data);
		if (std::sqrt(cone.Base * cone.Base + cone.Length * cone.Length) < distance)
			draw = CONE;
		break;
	}
	case video::ELT_POINT:
		effect->setFloatArrayByName("LightPosition", &position.X, 3);
		effect->setFloatByName("InvLightRadiusSqr", invRadiusSqr);
		++Stats.PointLights;
		if (ZE_LIGHT_VOLUME_SCALE * data.Radius < distance)
			draw = SPHERE;
		break;
	default:
		zeLog(EZELL_ERROR, "CZeRenderLightBuffer: wrong light type");
		return false;
	}
	effect->setFloatArrayByName("LightColor", &data.DiffuseColor.r, 3);

	if (shadowed)
	{
		effect->setMatrixByName("ShadowWorldViewProj", shadowViewProjection * InverseView);
		effect->setFloatByName("ShadowMaxD", shadowFar);
		const f32 shadowColour[3] = {params.ShadowColor[0] * params.Intensity, params.ShadowColor[1] * params.Intensity,
			params.ShadowColor[2] * params.Intensity};
		effect->setFloatArrayByName("ShadowColor", shadowColour, 3);
		const core::dimension2du& size = shadowMap->getSize();
		const f32 mapSize[2] = {static_cast<f32>(size.Width), static_cast<f32>(size.Height)};
		effect->setFloatArrayByName("ShadowMapSize", mapSize, 2);
		const SZeFxParameter* sampler = effect->getParameterByName("ShadowMap");
		if (!sampler)
			zeLog(EZELL_ERROR, "CZeRenderLightBuffer: no shader texture parameter ShadowMap");
		else
			effect->setSamplerTexture(sampler, shadowMap, false);
		effect->setFloatByName("ShadowEpsilon",
			(ShadowOverride ? ShadowEpsilon : params.ShadowEpsilon) * EPSILON_SCALE);
		++Stats.ShadowedLights;
	}

	video::SMaterial& material = Quad.getMaterial();
	effect->getPassMaterial(0, 0, material);
	Record.Effect = effect;
	Record.Technique = 0;
	Record.Pass = 0;
	ze::setMaterialUserData(material, &Record);

	Driver->setRenderTarget(target, false, false);
	zeSetRenderTargetFlip(target != nullptr);
	switch (draw)
	{
	case SPHERE: return drawPointVolume(target, light, effect);
	case CONE: return drawSpotVolume(target, light, effect);
	default: ++Stats.FullScreenDraws; return drawFullScreen(target, light, effect);
	}
}

bool CZeRenderLightBuffer::drawFullScreen(video::ITexture*, scene::ILightSceneNode*, IZeEffect* effect)
{
	effect->setMatrixByName("WorldViewProjection", core::IdentityMatrix);
	Quad.getMaterial().ZBuffer = video::ECFN_ALWAYS;
	// The camera's transforms stay for the effect's binds; the quad sets
	// the world transform, which is put back for the nodes drawn after it.
	const core::matrix4 world = Driver->getTransform(video::ETS_WORLD);
	Quad.renderInCamera(Driver);
	Driver->setTransform(video::ETS_WORLD, world);
	return true;
}

bool CZeRenderLightBuffer::drawPointVolume(video::ITexture*, scene::ILightSceneNode* light, IZeEffect* effect)
{
	const video::SLight& data = light->getLightData();
	core::matrix4 world;
	world.setTranslation(data.Position);
	world.setScale(ZE_LIGHT_VOLUME_SCALE * data.Radius);
	return drawVolume(SphereMesh, world, effect);
}

bool CZeRenderLightBuffer::drawSpotVolume(video::ITexture*, scene::ILightSceneNode* light, IZeEffect* effect)
{
	const SCone cone = spotCone(light->getLightData());
	core::matrix4 scale;
	scale.setScale(core::vector3df(cone.Base, cone.Base, cone.Length));
	return drawVolume(ConeMesh, zeGetLightFrame(light) * scale, effect);
}

bool CZeRenderLightBuffer::drawVolume(scene::IMesh* mesh, const core::matrix4& world, IZeEffect* effect)
{
	Driver->setTransform(video::ETS_WORLD, world);
	effect->setMatrixByName("WorldViewProjection",
		Driver->getTransform(video::ETS_PROJECTION) * Driver->getTransform(video::ETS_VIEW) * world);
	video::SMaterial& material = Quad.getMaterial();
	material.ZBuffer = video::ECFN_LESSEQUAL;
	Driver->setMaterial(material);
	Driver->drawMeshBuffer(mesh->getMeshBuffer(0));
	if (ShowVolumes)
	{
		video::SMaterial wire;
		wire.Wireframe = true;
		wire.Lighting = false;
		wire.ZWriteEnable = false;
		Driver->setMaterial(wire);
		Driver->drawMeshBuffer(mesh->getMeshBuffer(0));
	}
	return true;
}
