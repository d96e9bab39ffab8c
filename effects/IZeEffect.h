// Effects: techniques of passes (a linked program and render states each),
// parameters shared by all techniques, and samplers reading material texture
// layers or textures of their own.
//
// Index:
//   - Parameter, annotation and pass records
//   - The effect callback
//   - The effect
#pragma once

#include "core/IZeGpuProgramming.h"
#include "effects/SZeMaterialExt.h"

#include <irrlicht.h>

// ---- Parameter, annotation and pass records --------------------------------------
// Parameter types; a parameter also has Rows x Columns components per element.
enum EZE_FX_PARAM_TYPE
{
	EZEFPT_BOOL = 0,
	EZEFPT_INT = 1,
	EZEFPT_FLOAT = 2,
	EZEFPT_FLOAT2 = 3,
	EZEFPT_FLOAT3 = 4,
	EZEFPT_FLOAT4 = 5,
	EZEFPT_MATRIX = 6,   // floatRxC
	EZEFPT_SAMPLER = 7
};

enum EZE_SAMPLER_KIND
{
	EZESK_NONE = 0,  // not a sampler
	EZESK_2D,
	EZESK_CUBE,
	EZESK_3D
};

enum EZE_FX_FILTER
{
	EZEFF_POINT = 0,
	EZEFF_LINEAR,
	EZEFF_TRILINEAR,
	EZEFF_ANISOTROPIC
};

enum EZE_FX_ADDRESS
{
	EZEFA_WRAP = 0,
	EZEFA_CLAMP,
	EZEFA_MIRROR
};

struct SZeFxParameter
{
	irr::core::stringc Name;
	irr::core::stringc Semantic;       // "" when none
	EZE_FX_PARAM_TYPE Type = EZEFPT_FLOAT;
	irr::u32 Rows = 1;
	irr::u32 Columns = 1;
	irr::u32 Elements = 1;              // array length, 1 when not an array
	irr::core::array<irr::f32> Default; // row by row, element after element; may be shorter
	// Samplers only.
	EZE_SAMPLER_KIND SamplerKind = EZESK_NONE;
	irr::s32 Layer = -1;                // material texture layer read first (0-7), -1: none;
	                                    // -2 in a definition: the layer of its register
	irr::s32 Register = -1;             // a pixel sampler that follows its register: that
	                                    // register (8 and above too), else -1
	irr::s32 LightwaveChannel = -1;     // named "LW_Tex_" and a LightWave channel's name
	                                    // (getLightwaveChannelName): that channel, else -1
	irr::core::stringc Texture;         // default texture: a file or a texture name
	irr::core::stringc Target;          // a render target found by name at every draw
	EZE_FX_FILTER Filter = EZEFF_LINEAR;
	EZE_FX_ADDRESS Address = EZEFA_WRAP;
	bool SRGB = false;
	bool Declared = false;              // from a //ZELV_PP: line, not only a constant table
	irr::u32 Line = 0;                  // of the declaration

	irr::u32 getComponentCount() const { return Rows * Columns * Elements; }
};

struct SZeFxAnnotation
{
	irr::core::stringc Name;
	irr::core::stringc Value;
};

enum EZE_FX_BLEND_FACTOR
{
	EZEFB_ZERO = 0,
	EZEFB_ONE,
	EZEFB_SRC_COLOR,
	EZEFB_INV_SRC_COLOR,
	EZEFB_SRC_ALPHA,
	EZEFB_INV_SRC_ALPHA,
	EZEFB_DEST_COLOR,
	EZEFB_INV_DEST_COLOR,
	EZEFB_DEST_ALPHA,
	EZEFB_INV_DEST_ALPHA,
	EZEFB_SRC_ALPHA_SAT
};

enum EZE_FX_BLEND_OP
{
	EZEFBO_ADD = 0,
	EZEFBO_SUBTRACT,
	EZEFBO_REV_SUBTRACT,
	EZEFBO_MIN,
	EZEFBO_MAX
};

enum EZE_FX_CULL
{
	EZEFC_NONE = 0,
	EZEFC_BACK,
	EZEFC_FRONT
};

struct SZeFxPass
{
	irr::core::stringc Name;
	irr::core::stringc VertexEntry;
	irr::core::stringc PixelEntry;
	irr::s32 MaterialType = -1;          // the library's base material type, -1: unset (solid)
	// Blending; unset: the base material type's own.
	bool BlendSet = false;
	bool Blend = false;
	EZE_FX_BLEND_FACTOR Src = EZEFB_ONE, Dst = EZEFB_ZERO;
	bool SeparateAlpha = false;
	EZE_FX_BLEND_FACTOR SrcAlpha = EZEFB_ONE, DstAlpha = EZEFB_ZERO;
	EZE_FX_BLEND_OP BlendOp = EZEFBO_ADD;
	bool ZWrite = true;
	irr::u8 ZTest = irr::video::ECFN_LESSEQUAL;  // the library's comparison, 0: no depth test
	EZE_FX_CULL Cull = EZEFC_BACK;
	irr::u32 Targets = 1;                 // render targets the pixel shader writes
	irr::u32 Line = 0;
};

// ---- The effect callback ---------------------------------------------------------
class IZeEffect;

// Called by the effects' material renderer for every draw of a material whose
// user data is an SZeMaterialExt: sets the effect's constants for that
// technique and pass and makes the pass's program current. The default one
// (IZeEffectManager::getDefaultCallback) refreshes the pass's binds, uploads
// every constant, binds every sampler and uses the program; a callback of
// one's own may set values and then call it.
class IZeEffectCallback : public virtual irr::IReferenceCounted
{
public:
	// false: the material is drawn without the effect.
	virtual bool onSetConstants(IZeEffect* effect, const SZeMaterialExt& record, const irr::video::SMaterial& material) = 0;
};

// ---- The effect --------------------------------------------------------------------
// Parameters are shared by all techniques and passes; their values stay until
// set again (binds set theirs before every draw). Parameter handles are the
// effect's own records; a handle of another effect is refused.
class IZeEffect : public virtual irr::IReferenceCounted
{
public:
	virtual const char* getFileName() const = 0;

	// Techniques and passes.
	virtual irr::u32 getTechniqueCount() const = 0;
	virtual irr::s32 getTechniqueIndex(const char* name) const = 0;  // -1 when missing
	virtual irr::s32 getFirstTechnique() const = 0;                  // 0, or -1 without techniques
	virtual const char* getTechniqueName(irr::u32 technique) const = 0;  // null out of range
	virtual irr::u32 getPassCount(irr::u32 technique) const = 0;
	virtual const SZeFxPass* getPass(irr::u32 technique, irr::u32 pass) const = 0;
	virtual IZeShaderProgram* getProgram(irr::u32 technique, irr::u32 pass) const = 0;

	// Annotations of a technique (null when absent) and their text.
	virtual const SZeFxAnnotation* getTechniqueAnnotation(irr::u32 technique, const char* name) const = 0;
	virtual const char* getAnnotationString(const SZeFxAnnotation* annotation) const = 0;

	// Parameters (names are case sensitive).
	virtual irr::u32 getParameterCount() const = 0;
	virtual const SZeFxParameter* getParameter(irr::u32 index) const = 0;
	virtual const SZeFxParameter* getParameterByName(const char* name) const = 0;
	virtual irr::s32 getParameterIndex(const char* name) const = 0;
	// Appends the parameters of that name in technique 0 to `out`; returns how many.
	virtual irr::u32 getParametersByName(const char* name, irr::core::array<const SZeFxParameter*>& out) const = 0;
	virtual EZE_SAMPLER_KIND getSamplerKind(const SZeFxParameter* parameter) const = 0;

	// Values: false when refused (no such parameter, a sampler, too many values).
	virtual bool setBool(const SZeFxParameter* parameter, bool value) = 0;
	virtual bool setInt(const SZeFxParameter* parameter, irr::s32 value) = 0;
	virtual bool setFloat(const SZeFxParameter* parameter, irr::f32 value) = 0;
	virtual bool setFloatArray(const SZeFxParameter* parameter, const irr::f32* values, irr::u32 count) = 0;
	virtual bool setMatrix(const SZeFxParameter* parameter, const irr::core::matrix4& value) = 0;
	// Copies up to `count` components of the current value; returns how many.
	virtual irr::u32 getFloatArray(const SZeFxParameter* parameter, irr::f32* values, irr::u32 count) const = 0;
	// By name: a name the effect does not declare is ignored.
	virtual void setFloatByName(const char* name, irr::f32 value) = 0;
	virtual void setFloatArrayByName(const char* name, const irr::f32* values, irr::u32 count) = 0;
	virtual void setMatrixByName(const char* name, const irr::core::matrix4& value) = 0;

	// Samplers: a material layer's texture wins over the sampler's own one.
	// false when refused (not a sampler, a texture of another kind). Null clears.
	virtual bool setSamplerTexture(const SZeFxParameter* parameter, irr::video::ITexture* texture, bool srgb) = 0;
	virtual bool setSamplerTextureByIndex(irr::s32 index, irr::video::ITexture* texture) = 0;
	virtual irr::video::ITexture* getSamplerTexture(const SZeFxParameter* parameter) const = 0;
	// Puts the texture into the material layer the sampler reads in that pass.
	virtual bool setSamplerTextureOnMaterial(irr::u32 technique, irr::u32 pass, const SZeFxParameter* parameter,
		irr::video::SMaterial& material, irr::video::ITexture* texture, bool srgb) = 0;

	// Copies the pass's base material (material type, type parameters, depth and
	// culling states, texture layers with their sampler settings) into a
	// material; its side record and user data are kept. false out of range.
	virtual bool getPassMaterial(irr::u32 technique, irr::u32 pass, irr::video::SMaterial& material) const = 0;
	// As getPassMaterial, but a layer the pass gives no texture keeps the
	// material's own.
	virtual bool setupMaterial(irr::u32 technique, irr::u32 pass, irr::video::SMaterial& material) const = 0;

	// The callback the material renderer calls for this effect.
	virtual IZeEffectCallback* getCallback() const = 0;
};
