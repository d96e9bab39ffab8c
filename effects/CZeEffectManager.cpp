// The effect manager and the context it shares with its effects and renderers.
#include "effects/CZeEffect.h"
#include "effects/CZeEffectContext.h"
#include "effects/IZeEffectManager.h"
#include "effects/ZeEffectDef.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeGL.h"
#include "libext/ZeTextureExt.h"

using namespace irr;

// ---- The shared context -------------------------------------------------------------------
CZeEffectContext::CZeEffectContext(IrrlichtDevice* device, IZeGpuProgramming* gpu)
	: Device(device), Driver(device ? device->getVideoDriver() : nullptr), Gpu(gpu)
{
}

CZeEffectContext::~CZeEffectContext()
{
	detach();
}

void CZeEffectContext::detach()
{
	if (Device)
		releaseUnits();
	for (u32 i = 0; i < Binds.size(); ++i)
		Binds[i]->drop();
	Binds.clear();
	++BindRevision;
	if (DefaultCallback)
		DefaultCallback->drop();
	DefaultCallback = nullptr;
	for (auto& row : Samplers)
		for (unsigned int& sampler : row)
			if (sampler)
			{
				glDeleteSamplers(1, &sampler);
				sampler = 0;
			}
	Device = nullptr;
	LastFrame = nullptr;
	NodeExtValues = nullptr;
}

void CZeEffectContext::addBind(IZeEffectBind* bind)
{
	if (!bind || Binds.linear_search(bind) >= 0)
		return;
	bind->grab();
	Binds.push_back(bind);
	++BindRevision;
}

bool CZeEffectContext::removeBind(IZeEffectBind* bind)
{
	const s32 index = Binds.linear_search(bind);
	if (index < 0)
		return false;
	Binds.erase(static_cast<u32>(index));
	++BindRevision;
	bind->drop();
	return true;
}

IZeEffectBind* CZeEffectContext::findBind(const SZeFxParameter& parameter, s32* key) const
{
	for (u32 i = 0; i < Binds.size(); ++i)
	{
		*key = Binds[i]->match(parameter);
		if (*key >= 0)
			return Binds[i];
	}
	return nullptr;
}

s32 CZeEffectContext::getMaterialType(s32 baseType)
{
	if (baseType < 0)
		baseType = video::EMT_SOLID;
	if (!Driver || baseType > video::EMT_ONETEXTURE_BLEND)
		return -1;
	const auto known = MaterialTypes.find(baseType);
	if (known != MaterialTypes.end())
		return known->second;
	video::IMaterialRenderer* renderer = zeCreateEffectRenderer(this, baseType);
	const core::stringc name = core::stringc("zelv_effect_") + video::sBuiltInMaterialTypeNames[baseType];
	const s32 type = Driver->addMaterialRenderer(renderer, name.c_str());
	renderer->drop();
	if (type >= 0)
		MaterialTypes[baseType] = type;
	return type;
}

unsigned int CZeEffectContext::getSampler(EZE_FX_FILTER filter, EZE_FX_ADDRESS address)
{
	if (!Driver || Driver->getDriverType() != video::EDT_OPENGL)
		return 0;
	unsigned int& sampler = Samplers[filter][address];
	if (sampler)
		return sampler;
	glGenSamplers(1, &sampler);
	static const GLint minFilters[] = {GL_NEAREST, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR_MIPMAP_LINEAR};
	static const GLint wraps[] = {GL_REPEAT, GL_CLAMP_TO_EDGE, GL_MIRRORED_REPEAT};
	glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, minFilters[filter]);
	glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, filter == EZEFF_POINT ? GL_NEAREST : GL_LINEAR);
	glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wraps[address]);
	glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, wraps[address]);
	glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, wraps[address]);
	if (filter == EZEFF_ANISOTROPIC)
		glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16.f);
	return sampler;
}

bool CZeEffectContext::bindUnitTexture(u32 unit, video::ITexture* texture, unsigned int emptyTarget)
{
	if (unit >= MAX_UNITS)
		return false;
	SUnit& u = Units[unit];
	if (u.Known && texture && u.Texture == texture)
		return false;  // held since it was bound: its GL name is the same
	unsigned int target = 0;
	const unsigned int name = texture ? ze::getGLTextureName(texture, &target) : 0;
	if (!name)
	{
		texture = nullptr;
		target = emptyTarget;
	}
	if (u.Known && u.Texture == texture && u.Name == name && u.Target == target)
		return false;
	glActiveTexture(GL_TEXTURE0 + unit);
	glBindTexture(target, name);
	ActiveUnitChanged = true;
	if (texture)
		texture->grab();
	if (u.Texture)
		u.Texture->drop();
	u.Known = true;
	u.Texture = texture;
	u.Name = name;
	u.Target = target;
	return true;
}

bool CZeEffectContext::bindUnitSampler(u32 unit, unsigned int sampler)
{
	if (unit >= MAX_UNITS)
		return false;
	SUnit& u = Units[unit];
	if (u.SamplerKnown && u.Sampler == sampler)
		return false;
	glBindSampler(unit, sampler);
	u.SamplerKnown = true;
	u.Sampler = sampler;
	return true;
}

void CZeEffectContext::restoreActiveUnit()
{
	if (ActiveUnitChanged)
		glActiveTexture(GL_TEXTURE0);
	ActiveUnitChanged = false;
}

void CZeEffectContext::releaseUnits()
{
	for (u32 unit = 0; unit < MAX_UNITS; ++unit)
	{
		SUnit& u = Units[unit];
		if (u.SamplerKnown && u.Sampler)
			glBindSampler(unit, 0);
		if (u.Texture)
			u.Texture->drop();
		u = SUnit();
	}
	restoreActiveUnit();
}

// ---- The manager ------------------------------------------------------------------------------
namespace
{
class CZeEffectManager : public IZeEffectManager
{
public:
	CZeEffectManager(IrrlichtDevice* device, IZeGpuProgramming* gpu) : Context(new CZeEffectContext(device, gpu))
	{
		Context->DefaultCallback = zeCreateDefaultEffectCallback();
		zeAddBuiltInBinds(Context);
	}

	~CZeEffectManager() override
	{
		Context->detach();
		Context->drop();
	}

	IZeEffect* createEffect(const char* file, s32 baseMaterialType, const SZeMacro* macros,
		IZeEffectCallback* callback) override
	{
		LastError = "";
		if (!file || !*file)
			return fail("no effect file given");
		// Effects named ".dae" (the default particle effect "Particle.dae") are
		// the HLSL files of the same base name, found in the data directories.
		core::stringc named(file);
		if (zeEndsWithNoCase(file, ".dae"))
		{
			named = zeFindDataFile((named.subString(0, named.size() - 4) + ".hlsl").c_str());
			file = named.c_str();
		}
		if (!Context->Gpu)
			return fail(core::stringc(file) + ": no GPU-programming service");
		SZeFxDef def;
		def.MaxRegisters = Context->Gpu->getMaxConstantRegisters();
		core::stringc error;
		if (!zeParseEffectFile(file, macros, &def, &error))
			return fail(error);
		CZeEffect* effect = new CZeEffect(Context, callback ? callback : Context->DefaultCallback);
		if (!effect->build(def, baseMaterialType, macros, &error))
		{
			effect->drop();
			return fail(error);
		}
		return effect;
	}

	const char* getLastError() const override { return LastError.c_str(); }

	void addEffectBind(IZeEffectBind* bind) override { Context->addBind(bind); }
	bool removeEffectBind(IZeEffectBind* bind) override { return Context->removeBind(bind); }

	IZeEffectBindSemanticMap* createEffectBindSemanticMap() override
	{
		IZeEffectBindSemanticMap* map = zeCreateSemanticMap();
		Context->addBind(map);
		return map;
	}

	void setLastFrameInfoProvider(ZeLastFrameInfoProvider provider, void* user) override
	{
		Context->LastFrame = provider;
		Context->LastFrameUser = user;
	}

	void setNodeExtValues(IZeNodeExtValues* values) override { Context->NodeExtValues = values; }
	void releaseTextureUnits() override
	{
		if (Context->isAlive() && Context->Driver->getDriverType() == video::EDT_OPENGL)
			Context->releaseUnits();
	}

	IZeEffectCallback* getDefaultCallback() const override { return Context->DefaultCallback; }
	s32 getMaterialType(s32 baseMaterialType) override { return Context->getMaterialType(baseMaterialType); }

private:
	IZeEffect* fail(const core::stringc& error)
	{
		LastError = error;
		zeLog(EZELL_ERROR, "%s", error.c_str());
		return nullptr;
	}

	CZeEffectContext* Context;
	core::stringc LastError;
};
} // namespace

IZeEffectManager* zeCreateEffectManager(IrrlichtDevice* device, IZeGpuProgramming* gpu)
{
	if (!device)
		return nullptr;
	return new CZeEffectManager(device, gpu);
}
