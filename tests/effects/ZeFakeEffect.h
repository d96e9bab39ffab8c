// A recording effect service for tests on the NULL driver: effects with the
// parameters and technique annotations a test declares, which record the
// values and textures set on them, and a manager that records every creation
// (file, base material type, macros) and fails the files a test names.
#pragma once

#include "core/IZeManager.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeLog.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zetest
{
using namespace irr;

class FakeEffect : public IZeEffect
{
public:
	FakeEffect(const std::string& file, const std::vector<SZeFxParameter>& parameters, int* alive)
		: File(file), Parameters(parameters), Alive(alive)
	{
		++*Alive;
	}
	~FakeEffect() override { --*Alive; }

	const char* getFileName() const override { return File.c_str(); }
	u32 getTechniqueCount() const override { return 2; }
	s32 getTechniqueIndex(const char* name) const override
	{
		return std::string(name) == "main" ? 0 : std::string(name) == "depth" ? 1 : -1;
	}
	s32 getFirstTechnique() const override { return 0; }
	const char* getTechniqueName(u32 technique) const override
	{
		return technique == 0 ? "main" : technique == 1 ? "depth" : nullptr;
	}
	u32 getPassCount(u32 technique) const override { return technique < 2 ? 1 : 0; }
	const SZeFxPass* getPass(u32 technique, u32 pass) const override
	{
		return technique < 2 && pass == 0 ? &Pass : nullptr;
	}
	IZeShaderProgram* getProgram(u32, u32) const override { return nullptr; }
	const SZeFxAnnotation* getTechniqueAnnotation(u32 technique, const char* name) const override
	{
		const auto it = name && technique == 0 ? Annotations.find(name) : Annotations.end();
		return it == Annotations.end() ? nullptr : &it->second;
	}
	const char* getAnnotationString(const SZeFxAnnotation* annotation) const override
	{
		return annotation ? annotation->Value.c_str() : nullptr;
	}

	u32 getParameterCount() const override { return static_cast<u32>(Parameters.size()); }
	const SZeFxParameter* getParameter(u32 index) const override
	{
		return index < Parameters.size() ? &Parameters[index] : nullptr;
	}
	const SZeFxParameter* getParameterByName(const char* name) const override
	{
		const s32 i = getParameterIndex(name);
		return i >= 0 ? &Parameters[static_cast<size_t>(i)] : nullptr;
	}
	s32 getParameterIndex(const char* name) const override
	{
		for (size_t i = 0; i < Parameters.size(); ++i)
			if (name && Parameters[i].Name == name)
				return static_cast<s32>(i);
		return -1;
	}
	u32 getParametersByName(const char* name, core::array<const SZeFxParameter*>& out) const override
	{
		const SZeFxParameter* p = getParameterByName(name);
		if (p)
			out.push_back(p);
		return p ? 1 : 0;
	}
	EZE_SAMPLER_KIND getSamplerKind(const SZeFxParameter* parameter) const override
	{
		return parameter ? parameter->SamplerKind : EZESK_NONE;
	}

	bool setBool(const SZeFxParameter* p, bool value) override { return store(p, {value ? 1.f : 0.f}); }
	bool setInt(const SZeFxParameter* p, s32 value) override { return store(p, {static_cast<f32>(value)}); }
	bool setFloat(const SZeFxParameter* p, f32 value) override { return store(p, {value}); }
	bool setFloatArray(const SZeFxParameter* p, const f32* values, u32 count) override
	{
		// The count is checked first: the values are only read within it.
		return owns(p) && count <= p->getComponentCount() && store(p, std::vector<f32>(values, values + count));
	}
	bool setMatrix(const SZeFxParameter* p, const core::matrix4& m) override
	{
		return store(p, std::vector<f32>(m.pointer(), m.pointer() + 16));
	}
	u32 getFloatArray(const SZeFxParameter* p, f32* values, u32 count) const override
	{
		const auto it = p ? Values.find(p->Name.c_str()) : Values.end();
		if (it == Values.end())
			return 0;
		u32 n = 0;
		for (; n < count && n < it->second.size(); ++n)
			values[n] = it->second[n];
		return n;
	}
	void setFloatByName(const char* name, f32 value) override { setFloat(getParameterByName(name), value); }
	void setFloatArrayByName(const char* name, const f32* values, u32 count) override
	{
		setFloatArray(getParameterByName(name), values, count);
	}
	void setMatrixByName(const char* name, const core::matrix4& value) override
	{
		setMatrix(getParameterByName(name), value);
	}

	bool setSamplerTexture(const SZeFxParameter* p, video::ITexture* texture, bool srgb) override
	{
		if (!owns(p) || p->Type != EZEFPT_SAMPLER || Refused.count(p->Name.c_str()))
			return false;
		Textures[p->Name.c_str()] = texture;
		TextureSRGB[p->Name.c_str()] = srgb;
		++TextureSets;
		return true;
	}
	bool setSamplerTextureByIndex(s32 index, video::ITexture* texture) override
	{
		return index >= 0 && setSamplerTexture(getParameter(static_cast<u32>(index)), texture, false);
	}
	video::ITexture* getSamplerTexture(const SZeFxParameter* p) const override
	{
		const auto it = p ? Textures.find(p->Name.c_str()) : Textures.end();
		return it == Textures.end() ? nullptr : it->second;
	}
	bool setSamplerTextureOnMaterial(u32, u32, const SZeFxParameter* p, video::SMaterial&, video::ITexture*,
		bool) override
	{
		return owns(p) && p->Type == EZEFPT_SAMPLER;
	}
	bool getPassMaterial(u32 technique, u32 pass, video::SMaterial& material) const override
	{
		if (!getPass(technique, pass))
			return false;
		material.MaterialType = video::EMT_SOLID;
		return true;
	}
	bool setupMaterial(u32 technique, u32 pass, video::SMaterial& material) const override
	{
		return getPassMaterial(technique, pass, material);
	}
	IZeEffectCallback* getCallback() const override { return nullptr; }

	// Values as set, by parameter name; textures and their sRGB flags.
	std::map<std::string, std::vector<f32>> Values;
	std::map<std::string, video::ITexture*> Textures;
	std::map<std::string, bool> TextureSRGB;
	int TextureSets = 0;
	// Parameters whose values or textures this effect refuses.
	std::set<std::string> Refused;

	// The render targets the passes write.
	void setTargets(u32 targets) { Pass.Targets = targets; }

	// Gives the first technique an annotation.
	void annotate(const char* name, const char* value)
	{
		SZeFxAnnotation& a = Annotations[name];
		a.Name = name;
		a.Value = value;
	}

private:
	bool owns(const SZeFxParameter* p) const
	{
		return p && p >= Parameters.data() && p < Parameters.data() + Parameters.size();
	}
	bool store(const SZeFxParameter* p, const std::vector<f32>& values)
	{
		if (!owns(p) || p->Type == EZEFPT_SAMPLER || Refused.count(p->Name.c_str()) ||
			values.size() > p->getComponentCount())
			return false;
		Values[p->Name.c_str()] = values;
		return true;
	}

	std::string File;
	std::vector<SZeFxParameter> Parameters;
	std::map<std::string, SZeFxAnnotation> Annotations;
	SZeFxPass Pass;
	int* Alive;
};

// A parameter of a type and component count, or a sampler of a kind.
inline SZeFxParameter fakeParameter(const char* name, EZE_FX_PARAM_TYPE type, u32 components = 1,
	EZE_SAMPLER_KIND kind = EZESK_NONE)
{
	SZeFxParameter p;
	p.Name = name;
	p.Type = type;
	p.Columns = components;
	p.SamplerKind = type == EZEFPT_SAMPLER ? (kind == EZESK_NONE ? EZESK_2D : kind) : EZESK_NONE;
	return p;
}

// A semantic map that keeps its float values by name and refuses the names a test lists.
class FakeSemanticMap : public IZeEffectBindSemanticMap
{
public:
	s32 match(const SZeFxParameter&) const override { return -1; }
	void update(s32, IZeEffect*, const SZeFxParameter*, const SZeBindContext&) override {}
	bool addSemantic(const char* name, s32 type) override
	{
		if (!name || Values.count(name) || Refused.count(name) || type != EZEFPT_FLOAT)
			return false;
		Names.push_back(name);
		Values[name] = 0.0f;
		return true;
	}
	bool setSemanticFloat(const char* name, f32 value) override
	{
		const auto it = name ? Values.find(name) : Values.end();
		if (it == Values.end())
			return false;
		it->second = value;
		return true;
	}
	bool setSemanticFloatArray(const char* name, const f32* values, u32 count) override
	{
		return count > 0 && setSemanticFloat(name, values[0]);
	}

	std::vector<std::string> Names;  // in the order added
	std::map<std::string, f32> Values;
	std::set<std::string> Refused;
};

// One createEffect call.
struct FakeCreation
{
	std::string File;
	s32 BaseMaterialType;
	std::vector<std::pair<std::string, std::string>> Macros;  // a null definition reads "<none>"
	bool Created;
};

class FakeEffectManager : public IZeEffectManager
{
public:
	IZeEffect* createEffect(const char* file, s32 baseMaterialType, const SZeMacro* macros,
		IZeEffectCallback*) override
	{
		FakeCreation call{file ? file : "", baseMaterialType, {}, false};
		for (const SZeMacro* m = macros; m && m->Name; ++m)
			call.Macros.emplace_back(m->Name, m->Definition ? m->Definition : "<none>");
		LastError = "";
		for (const std::string& failing : Failing)
			if (call.File.find(failing) != std::string::npos)
			{
				LastError = call.File + ":3: fake reason\nsecond line";
				zeLog(EZELL_ERROR, "%s", LastError.c_str());
				Calls.push_back(call);
				return nullptr;
			}
		call.Created = true;
		Calls.push_back(call);
		return new FakeEffect(call.File, Parameters, &Alive);
	}
	const char* getLastError() const override { return LastError.c_str(); }
	void addEffectBind(IZeEffectBind* bind) override { Binds.push_back(bind); }
	bool removeEffectBind(IZeEffectBind* bind) override
	{
		const auto it = std::find(Binds.begin(), Binds.end(), bind);
		if (it == Binds.end())
			return false;
		Binds.erase(it);
		return true;
	}
	// A new FakeSemanticMap, already among the binds as the engine's are (the
	// last one made is kept in LastMap, neither held), or null when
	// NoSemanticMaps is set.
	IZeEffectBindSemanticMap* createEffectBindSemanticMap() override
	{
		if (NoSemanticMaps)
			return nullptr;
		LastMap = new FakeSemanticMap();
		LastMap->Refused = RefusedSemantics;
		Binds.push_back(LastMap);
		return LastMap;
	}
	void setLastFrameInfoProvider(ZeLastFrameInfoProvider, void*) override {}
	void setNodeExtValues(IZeNodeExtValues*) override {}
	void releaseTextureUnits() override {}
	IZeEffectCallback* getDefaultCallback() const override { return nullptr; }
	s32 getMaterialType(s32) override { return -1; }

	// Every effect made gets these parameters.
	std::vector<SZeFxParameter> Parameters;
	// Files whose name contains one of these fail.
	std::vector<std::string> Failing;
	bool NoSemanticMaps = false;
	std::set<std::string> RefusedSemantics;
	FakeSemanticMap* LastMap = nullptr;
	// The binds added and not removed (not held).
	std::vector<IZeEffectBind*> Binds;
	std::vector<FakeCreation> Calls;
	std::string LastError;
	// Fake effects alive (made by any manager).
	static int Alive;
};
inline int FakeEffectManager::Alive = 0;

// The manager the engine made last (null before the first set-up).
inline FakeEffectManager*& currentFakeEffects()
{
	static FakeEffectManager* manager = nullptr;
	return manager;
}

// Has every engine set-up make a FakeEffectManager (after the other factories
// are registered).
inline void registerFakeEffects()
{
	SZeServiceFactories factories = zeGetServiceFactories();
	factories.createEffectManager = [](IZeManager*) -> IZeEffectManager* {
		currentFakeEffects() = new FakeEffectManager();
		return currentFakeEffects();
	};
	factories.deleteEffectManager = [](IZeEffectManager* manager) {
		if (currentFakeEffects() == manager)
			currentFakeEffects() = nullptr;
		delete manager;
	};
	zeRegisterServiceFactories(factories);
}
} // namespace zetest
