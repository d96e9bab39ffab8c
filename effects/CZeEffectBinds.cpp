// The built-in binds and the semantic map. Engine values bind by semantic
// (case insensitive); the named textures and node values also by name.
#include "effects/CZeEffectContext.h"
#include "core/IZeManager.h"
#include "core/IZeServices.h"

#include "frame/ZeFile.h"
#include "libext/ZeTextureExt.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace irr;

namespace
{
bool named(const SZeFxParameter& p, const char* name)
{
	return (!p.Semantic.empty() && zeStricmp(p.Semantic.c_str(), name) == 0) || p.Name == name;
}

bool hasSemantic(const SZeFxParameter& p, const char* semantic)
{
	return !p.Semantic.empty() && zeStricmp(p.Semantic.c_str(), semantic) == 0;
}

bool isNumeric(const SZeFxParameter& p)
{
	return p.Type != EZEFPT_SAMPLER;
}

// Up to four floats into a parameter, as many as it holds.
void setVector(IZeEffect* effect, const SZeFxParameter* p, const f32* v, u32 count)
{
	effect->setFloatArray(p, v, std::min(count, p->getComponentCount()));
}

// ---- Transforms ------------------------------------------------------------------------
// A semantic is a base name and an optional "Inverse", "Transpose" or
// "InverseTranspose" suffix: "WorldViewProjection", "ViewInverse", ...
enum ETransform
{
	ET_WORLD = 0,
	ET_VIEW,
	ET_PROJECTION,
	ET_WORLD_VIEW,
	ET_VIEW_PROJECTION,
	ET_WORLD_VIEW_PROJECTION,
	ET_LAST_VIEW,
	ET_LAST_PROJECTION,
	ET_LAST_VIEW_PROJECTION,
	ET_COUNT
};
const char* const g_transforms[ET_COUNT] = {"World", "View", "Projection", "WorldView", "ViewProjection",
	"WorldViewProjection", "LastView", "LastProjection", "LastViewProjection"};
const u32 INVERSE = 1, TRANSPOSE = 2;

class CZeTransformBind : public IZeEffectBind
{
public:
	explicit CZeTransformBind(CZeEffectContext* context) : Context(context) {}

	s32 match(const SZeFxParameter& parameter) const override
	{
		if (parameter.Type != EZEFPT_MATRIX || parameter.Semantic.empty())
			return -1;
		static const char* const suffixes[] = {"", "Inverse", "Transpose", "InverseTranspose"};
		for (u32 t = 0; t < ET_COUNT; ++t)
			for (u32 s = 0; s < 4; ++s)
				if (zeStricmp(parameter.Semantic.c_str(), (std::string(g_transforms[t]) + suffixes[s]).c_str()) == 0)
					return static_cast<s32>(t * 4 + s);
		return -1;
	}

	void update(s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) override
	{
		video::IVideoDriver* driver = context.Driver;
		const core::matrix4& world = driver->getTransform(video::ETS_WORLD);
		const core::matrix4& view = driver->getTransform(video::ETS_VIEW);
		const core::matrix4& projection = driver->getTransform(video::ETS_PROJECTION);
		const IZeLastFrameInfo* last = Context->getLastFrameInfo();
		const core::matrix4& lastView = last ? last->getPrevView() : view;
		const core::matrix4& lastProjection = last ? last->getPrevProjection() : projection;
		core::matrix4 m;
		switch (static_cast<ETransform>(key / 4))
		{
		case ET_WORLD: m = world; break;
		case ET_VIEW: m = view; break;
		case ET_PROJECTION: m = projection; break;
		case ET_WORLD_VIEW: m = view * world; break;
		case ET_VIEW_PROJECTION: m = projection * view; break;
		case ET_WORLD_VIEW_PROJECTION: m = projection * view * world; break;
		case ET_LAST_VIEW: m = lastView; break;
		case ET_LAST_PROJECTION: m = lastProjection; break;
		default: m = lastProjection * lastView; break;
		}
		const u32 flags = static_cast<u32>(key) % 4;
		if (flags & INVERSE)
			m.makeInverse();  // left as it is when singular
		if (flags & TRANSPOSE)
			m = m.getTransposed();
		effect->setMatrix(parameter, m);
	}

private:
	CZeEffectContext* Context;
};

// ---- Camera, time and sizes -----------------------------------------------------------------
enum EValue
{
	EV_CAMERA_POSITION = 0,
	EV_CAMERA_RANGE,
	EV_TIME,
	EV_SCREEN_SIZE,
	EV_SCREEN_SIZE_INVERSE,
	EV_TARGET_SIZE,
	EV_TARGET_SIZE_INVERSE,
	EV_COUNT
};
const char* const g_values[EV_COUNT] = {"CameraPosition", "CameraRange", "Time", "ScreenSize", "ScreenSizeInverse",
	"RenderTargetSize", "RenderTargetSizeInverse"};

class CZeValueBind : public IZeEffectBind
{
public:
	s32 match(const SZeFxParameter& parameter) const override
	{
		for (u32 i = 0; isNumeric(parameter) && i < EV_COUNT; ++i)
			if (hasSemantic(parameter, g_values[i]))
				return static_cast<s32>(i);
		return -1;
	}

	void update(s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) override
	{
		video::IVideoDriver* driver = context.Driver;
		f32 v[4] = {0.f, 0.f, 0.f, 0.f};
		switch (static_cast<EValue>(key))
		{
		case EV_CAMERA_POSITION:
		{
			core::matrix4 inverse;
			driver->getTransform(video::ETS_VIEW).getInverse(inverse);
			const core::vector3df at = inverse.getTranslation();
			v[0] = at.X, v[1] = at.Y, v[2] = at.Z, v[3] = 1.f;
			break;
		}
		case EV_CAMERA_RANGE:
		{
			// near, far, far - near, 1 / far
			const scene::ICameraSceneNode* camera =
				context.Device ? context.Device->getSceneManager()->getActiveCamera() : nullptr;
			if (camera)
			{
				v[0] = camera->getNearValue(), v[1] = camera->getFarValue();
				v[2] = v[1] - v[0], v[3] = v[1] != 0.f ? 1.f / v[1] : 0.f;
			}
			break;
		}
		case EV_TIME:
			v[0] = context.Device ? static_cast<f32>(context.Device->getTimer()->getTime()) / 1000.f : 0.f;
			break;
		default:
		{
			const bool target = key == EV_TARGET_SIZE || key == EV_TARGET_SIZE_INVERSE;
			const core::dimension2du size = target ? driver->getCurrentRenderTargetSize() : driver->getScreenSize();
			const f32 w = static_cast<f32>(size.Width), h = static_cast<f32>(size.Height);
			const f32 iw = w > 0.f ? 1.f / w : 0.f, ih = h > 0.f ? 1.f / h : 0.f;
			const bool inverse = key == EV_SCREEN_SIZE_INVERSE || key == EV_TARGET_SIZE_INVERSE;
			v[0] = inverse ? iw : w, v[1] = inverse ? ih : h, v[2] = inverse ? w : iw, v[3] = inverse ? h : ih;
		}
		}
		setVector(effect, parameter, v, 4);
	}
};

// ---- Named textures ----------------------------------------------------------------------------
// The renderers' targets and the curl noise by sampler name, and any texture a
// sampler names with target=, found again at every draw.
const char* const g_textures[] = {"DepthRTT", "NormalRTT", "LightRTT", "CurlNoise3D"};

class CZeTextureBind : public IZeEffectBind
{
public:
	s32 match(const SZeFxParameter& parameter) const override
	{
		if (parameter.Type != EZEFPT_SAMPLER)
			return -1;
		if (!parameter.Target.empty())
			return 0;
		for (u32 i = 0; i < 4; ++i)
			if (named(parameter, g_textures[i]))
				return static_cast<s32>(i + 1);
		return -1;
	}

	void update(s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) override
	{
		const char* name = key == 0 ? parameter->Target.c_str() : g_textures[key - 1];
		// The engine's texture manager makes the curl-noise volume on first request.
		IZeManager* manager = zeGetManager();
		IZeTextureManager* textures = manager ? manager->getTextureManager() : nullptr;
		if (video::ITexture* texture = textures ? textures->findTexture(name) : ze::findTexture(context.Driver, name))
			effect->setSamplerTexture(parameter, texture, parameter->SRGB);
	}
};

// ---- Node-extension values -------------------------------------------------------------------------
const char* const g_nodeValues[] = {"CubeMapPosition", "CubeMapAABBPosition", "CubeMapAABBScale"};

class CZeNodeExtBind : public IZeEffectBind
{
public:
	explicit CZeNodeExtBind(CZeEffectContext* context) : Context(context) {}

	s32 match(const SZeFxParameter& parameter) const override
	{
		for (u32 i = 0; isNumeric(parameter) && i < 3; ++i)
			if (named(parameter, g_nodeValues[i]))
				return static_cast<s32>(i);
		return -1;
	}

	void update(s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) override
	{
		core::vector3df value(0.f, 0.f, 0.f);
		const IZeNodeExtValues* values = Context->NodeExtValues;
		if (!values || !context.Record || !context.Record->Node ||
			!values->getNodeExtValue(context.Record->Node, static_cast<EZE_NODE_EXT_VALUE>(key), &value))
			value.set(0.f, 0.f, 0.f);
		const f32 v[4] = {value.X, value.Y, value.Z, 0.f};
		setVector(effect, parameter, v, 3);
	}

private:
	CZeEffectContext* Context;
};

// ---- The semantic map ------------------------------------------------------------------------------
class CZeSemanticMap : public IZeEffectBindSemanticMap
{
public:
	s32 match(const SZeFxParameter& parameter) const override
	{
		for (size_t i = 0; isNumeric(parameter) && i < Entries.size(); ++i)
			if (hasSemantic(parameter, Entries[i].Name.c_str()))
				return static_cast<s32>(i);
		return -1;
	}

	void update(s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) override
	{
		const SEntry& e = Entries[static_cast<size_t>(key)];
		effect->setFloatArray(parameter, e.Values, std::min(e.Count, parameter->getComponentCount()));
	}

	bool addSemantic(const char* name, s32 type) override
	{
		if (!name || !*name || type < EZEFPT_BOOL || type > EZEFPT_MATRIX || find(name))
			return false;
		SEntry e;
		e.Name = name;
		e.Count = type == EZEFPT_MATRIX ? 16 : type >= EZEFPT_FLOAT ? static_cast<u32>(type - EZEFPT_FLOAT + 1) : 1;
		Entries.push_back(e);
		return true;
	}

	bool setSemanticFloat(const char* name, f32 value) override { return setSemanticFloatArray(name, &value, 1); }

	bool setSemanticFloatArray(const char* name, const f32* values, u32 count) override
	{
		SEntry* e = find(name);
		if (!e || !values || count > e->Count)
			return false;
		std::copy(values, values + count, e->Values);
		return true;
	}

private:
	struct SEntry
	{
		std::string Name;
		u32 Count = 1;
		f32 Values[16] = {};
	};
	SEntry* find(const char* name)
	{
		for (SEntry& e : Entries)
			if (name && zeStricmp(e.Name.c_str(), name) == 0)
				return &e;
		return nullptr;
	}
	std::vector<SEntry> Entries;
};
} // namespace

void zeAddBuiltInBinds(CZeEffectContext* context)
{
	IZeEffectBind* binds[] = {new CZeTransformBind(context), new CZeValueBind(), new CZeTextureBind(),
		new CZeNodeExtBind(context)};
	for (IZeEffectBind* bind : binds)
	{
		context->addBind(bind);
		bind->drop();
	}
}

IZeEffectBindSemanticMap* zeCreateSemanticMap()
{
	return new CZeSemanticMap();
}
