// The effect built from an effect definition: per pass a linked program, the
// render states and the binds of its parameters; parameter values shared by
// all passes.
#pragma once

#include "effects/CZeEffectContext.h"
#include "effects/IZeEffect.h"
#include "effects/ZeEffectDef.h"

#include <irrlicht.h>

#include <string>
#include <vector>

class CZeEffect : public IZeEffect
{
public:
	CZeEffect(CZeEffectContext* context, IZeEffectCallback* callback);
	~CZeEffect() override;

	// Links every pass's program and gathers the parameters; false with the reason.
	bool build(const SZeFxDef& def, irr::s32 baseType, const SZeMacro* macros, irr::core::stringc* error);

	// The draw of a pass: binds refresh their parameters, then commit uploads
	// the constants, binds the samplers, sets the blending and uses the program.
	bool refreshBinds(irr::u32 technique, irr::u32 pass, const SZeBindContext& context);
	bool commit(irr::u32 technique, irr::u32 pass, const irr::video::SMaterial& material);

	const char* getFileName() const override { return File.c_str(); }
	irr::u32 getTechniqueCount() const override { return Techniques.size(); }
	irr::s32 getTechniqueIndex(const char* name) const override;
	irr::s32 getFirstTechnique() const override { return Techniques.empty() ? -1 : 0; }
	const char* getTechniqueName(irr::u32 technique) const override;
	irr::u32 getPassCount(irr::u32 technique) const override;
	const SZeFxPass* getPass(irr::u32 technique, irr::u32 pass) const override;
	IZeShaderProgram* getProgram(irr::u32 technique, irr::u32 pass) const override;
	const SZeFxAnnotation* getTechniqueAnnotation(irr::u32 technique, const char* name) const override;
	const char* getAnnotationString(const SZeFxAnnotation* annotation) const override;

	irr::u32 getParameterCount() const override { return Params.size(); }
	const SZeFxParameter* getParameter(irr::u32 index) const override;
	const SZeFxParameter* getParameterByName(const char* name) const override;
	irr::s32 getParameterIndex(const char* name) const override;
	irr::u32 getParametersByName(const char* name, irr::core::array<const SZeFxParameter*>& out) const override;
	EZE_SAMPLER_KIND getSamplerKind(const SZeFxParameter* parameter) const override;

	bool setBool(const SZeFxParameter* parameter, bool value) override;
	bool setInt(const SZeFxParameter* parameter, irr::s32 value) override;
	bool setFloat(const SZeFxParameter* parameter, irr::f32 value) override;
	bool setFloatArray(const SZeFxParameter* parameter, const irr::f32* values, irr::u32 count) override;
	bool setMatrix(const SZeFxParameter* parameter, const irr::core::matrix4& value) override;
	irr::u32 getFloatArray(const SZeFxParameter* parameter, irr::f32* values, irr::u32 count) const override;
	void setFloatByName(const char* name, irr::f32 value) override;
	void setFloatArrayByName(const char* name, const irr::f32* values, irr::u32 count) override;
	void setMatrixByName(const char* name, const irr::core::matrix4& value) override;

	bool setSamplerTexture(const SZeFxParameter* parameter, irr::video::ITexture* texture, bool srgb) override;
	bool setSamplerTextureByIndex(irr::s32 index, irr::video::ITexture* texture) override;
	irr::video::ITexture* getSamplerTexture(const SZeFxParameter* parameter) const override;
	bool setSamplerTextureOnMaterial(irr::u32 technique, irr::u32 pass, const SZeFxParameter* parameter,
		irr::video::SMaterial& material, irr::video::ITexture* texture, bool srgb) override;

	bool getPassMaterial(irr::u32 technique, irr::u32 pass, irr::video::SMaterial& material) const override;
	bool setupMaterial(irr::u32 technique, irr::u32 pass, irr::video::SMaterial& material) const override;
	IZeEffectCallback* getCallback() const override { return Callback; }
	CZeEffectContext* getContext() const { return Context; }

private:
	struct SBound
	{
		IZeEffectBind* Bind;
		irr::s32 Key;
		irr::u32 Param;
	};
	struct SPass
	{
		SZeFxPass Def;
		IZeShaderProgram* Program = nullptr;  // held in Programs
		irr::u32 ProgramRevision = 0;
		std::vector<irr::s32> ConstantParams;   // per program constant: parameter index or -1
		std::vector<SBound> Binds;
		irr::u32 BindRevision = 0;
		irr::s32 MaterialType = 0;
	};
	struct STechnique
	{
		irr::core::stringc Name;
		irr::core::array<SZeFxAnnotation> Annotations;
		std::vector<SPass> Passes;
	};
	struct SValue
	{
		std::vector<irr::f32> Values;
		irr::video::ITexture* Texture = nullptr;  // held
		bool SRGB = false;
	};

	irr::s32 indexOf(const SZeFxParameter* parameter) const;
	SPass* findPass(irr::u32 technique, irr::u32 pass);
	const SPass* findPass(irr::u32 technique, irr::u32 pass) const;
	// Maps the program's constants to parameters; while building, unknown
	// constants become parameters and declarations are checked against them.
	bool mapConstants(SPass& pass, bool building, irr::core::stringc* error);
	bool applyMaterial(const SPass& pass, irr::video::SMaterial& material, bool clearTextures) const;
	void bindSampler(irr::u32 constant, const SZeFxParameter& param, const SValue& value,
		const irr::video::SMaterial& material, irr::u32* extraUnit, IZeShaderProgram* program);
	void bindMaterialTextures(const irr::video::SMaterial& material);
	irr::video::ITexture* loadDefaultTexture(const SZeFxParameter& param) const;

	CZeEffectContext* Context;
	IZeEffectCallback* Callback;
	irr::core::stringc File;
	std::vector<STechnique> Techniques;
	irr::core::array<SZeFxParameter> Params;  // never grows once built: handles point into it
	std::vector<SValue> Values;
	std::vector<IZeShaderProgram*> Programs;
	std::vector<irr::f32> Registers;  // a constant's registers while committing, sized by the largest
};
