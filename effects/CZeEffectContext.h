// What the effect manager, its effects and its material renderers share: the
// device, the GPU-programming service, the binds, the material types and the
// GL sampler objects. Reference counted, so that effects and the renderers the
// driver keeps may outlive the manager (they then draw nothing).
#pragma once

#include "core/IZeGpuProgramming.h"
#include "effects/IZeEffect.h"
#include "effects/IZeEffectBind.h"

#include <irrlicht.h>

#include <map>

class CZeEffectContext : public virtual irr::IReferenceCounted
{
public:
	CZeEffectContext(irr::IrrlichtDevice* device, IZeGpuProgramming* gpu);
	~CZeEffectContext() override;

	// The manager is gone: drops the binds and the default callback, deletes
	// the sampler objects; the renderers then draw nothing.
	void detach();
	bool isAlive() const { return Device != nullptr; }

	void addBind(IZeEffectBind* bind);
	bool removeBind(IZeEffectBind* bind);
	// The first bind that answers the parameter, with its key.
	IZeEffectBind* findBind(const SZeFxParameter& parameter, irr::s32* key) const;
	// Grows whenever the binds change, so that passes list theirs again.
	irr::u32 getBindRevision() const { return BindRevision; }

	// The library material type drawing effects over a base type; registered
	// with the driver on first use. -1 when the base type is out of range.
	irr::s32 getMaterialType(irr::s32 baseType);
	// A GL sampler object with the filter and address mode (0 when unavailable).
	unsigned int getSampler(EZE_FX_FILTER filter, EZE_FX_ADDRESS address);

	// The texture units past the library's (ze::MATERIAL_EXT_FIRST_UNIT and up)
	// as the effects bound them, so that a draw binds only what changed.
	// Binds a texture (resolved; null or one without a GL name: none on
	// `emptyTarget`) on a unit; false when the unit already held it.
	bool bindUnitTexture(irr::u32 unit, irr::video::ITexture* texture, unsigned int emptyTarget);
	// Binds a sampler object on a unit; false when it was bound already.
	bool bindUnitSampler(irr::u32 unit, unsigned int sampler);
	// After binds: unit 0 active again, as the library expects.
	void restoreActiveUnit();
	// Forgets what the units hold (another material type draws next, or the
	// manager goes): the sampler objects are unbound and the textures let go.
	void releaseUnits();

	IZeLastFrameInfo* getLastFrameInfo() const { return LastFrame ? LastFrame(LastFrameUser) : nullptr; }

	irr::IrrlichtDevice* Device;
	irr::video::IVideoDriver* Driver;
	IZeGpuProgramming* Gpu;
	IZeEffectCallback* DefaultCallback = nullptr;
	ZeLastFrameInfoProvider LastFrame = nullptr;
	void* LastFrameUser = nullptr;
	IZeNodeExtValues* NodeExtValues = nullptr;

private:
	// What a unit holds. A texture is held while it is bound, so that its GL
	// name cannot pass to another texture behind the record.
	struct SUnit
	{
		bool Known = false;
		irr::video::ITexture* Texture = nullptr;
		unsigned int Name = 0;
		unsigned int Target = 0;
		bool SamplerKnown = false;
		unsigned int Sampler = 0;
	};
	static const irr::u32 MAX_UNITS = 32;

	irr::core::array<IZeEffectBind*> Binds;
	irr::u32 BindRevision = 1;
	std::map<irr::s32, irr::s32> MaterialTypes;
	unsigned int Samplers[4][3] = {};
	SUnit Units[MAX_UNITS];
	bool ActiveUnitChanged = false;
};

// The default effect callback: refreshes the pass's binds, uploads the
// constants, binds the samplers and uses the program.
IZeEffectCallback* zeCreateDefaultEffectCallback();
// The material renderer of one base material type (a new reference).
irr::video::IMaterialRenderer* zeCreateEffectRenderer(CZeEffectContext* context, irr::s32 baseType);
// The built-in binds (transforms, camera, time, sizes, named textures, node
// values), in the order they are asked.
void zeAddBuiltInBinds(CZeEffectContext* context);
// A new, empty semantic map.
IZeEffectBindSemanticMap* zeCreateSemanticMap();
