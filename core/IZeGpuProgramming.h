// GPU programs: the engine's HLSL shaders (Direct3D 9 style) translated to GLSL
// at load time, linked into GL programs, described by a constant table, and
// kept in an on-disk shader cache.
//
// Index:
//   - Macros and constant tables
//   - Programs
//   - The GPU-programming service
#pragma once

#include <irrlicht.h>

// ---- Macros and constant tables ---------------------------------------------
// A macro list: name/value pairs ended by a pair whose name is null.
struct SZeMacro
{
	const char* Name;
	const char* Definition;
};

enum EZE_SHADER_STAGE
{
	EZESS_VERTEX = 0,
	EZESS_PIXEL = 1,
	EZESS_COUNT
};

enum EZE_CONSTANT_TYPE
{
	EZECT_FLOAT = 0,  // scalars, vectors, matrices and their arrays
	EZECT_INT,
	EZECT_BOOL,
	EZECT_SAMPLER_2D,
	EZECT_SAMPLER_CUBE,
	EZECT_SAMPLER_3D
};

// The float4 constant registers one stage of a program may use where no driver
// tells (the OpenGL drivers the engine runs on give each stage 4096:
// GL_MAX_VERTEX_UNIFORM_VECTORS, GL_MAX_FRAGMENT_UNIFORM_VECTORS).
const irr::u32 ZE_MAX_CONSTANT_REGISTERS = 4096;

// Instanced particle passes: a pass compiled with this macro defined (an
// effect's "//ZELV_PP: define ZELV_INSTANCED") reads its vertex inputs
// TEXCOORD0, POSITION0, NORMAL0 and TANGENT0 from generic vertex attributes
// at the fixed locations below whenever the corner attribute's z is non-zero,
// which only an instanced draw gives it (the quad corners are (u, v, 1));
// otherwise from the fixed-function arrays as usual. One program so serves
// instanced draws and ordinary vertices. Locations 12-15 alias, on drivers
// that alias at all, only texture coordinate sets 4-7, which the engine's
// vertex formats never feed.
const char* const ZE_INSTANCED_MACRO = "ZELV_INSTANCED";
const irr::u32 ZE_INSTANCE_ATTRIB_CORNER = 12;    // TEXCOORD0: quad corner (u, v, 1), per vertex
const irr::u32 ZE_INSTANCE_ATTRIB_CENTRE = 13;    // POSITION0: particle centre, per instance
const irr::u32 ZE_INSTANCE_ATTRIB_LIFE = 14;      // NORMAL0: birth time, death time, 0, per instance
const irr::u32 ZE_INSTANCE_ATTRIB_VELOCITY = 15;  // TANGENT0: velocity, per instance

// One entry of a stage's constant table. Numbers live in float4 registers
// (RegisterIndex, RegisterCount); samplers name their register in
// RegisterIndex: the texture unit they read until setSamplerUnit names another
// (pixel sN reads unit N, vertex sN unit 16 + N). Only a rebuild changes the
// table: what its holders set (units, registers' values) stays out of it.
struct SZeShaderConstant
{
	irr::core::stringc Name;
	EZE_SHADER_STAGE Stage;
	EZE_CONSTANT_TYPE Type;
	irr::u32 RegisterIndex;
	irr::u32 RegisterCount;
	irr::u32 Rows;      // 1 for scalars and vectors
	irr::u32 Columns;   // components of a vector, or of a matrix row
	irr::u32 Elements;  // array length, 1 when not an array
	bool RowMajor;      // a matrix declared row_major: uploaded as it is; column_major (the default) transposed
};

// ---- Programs -----------------------------------------------------------------
// A linked vertex and pixel program with its constant tables (reference counted).
class IZeShaderProgram : public virtual irr::IReferenceCounted
{
public:
	// The GL program object.
	virtual unsigned int getGLProgram() const = 0;
	// Both stages' constants, vertex stage first.
	virtual const irr::core::array<SZeShaderConstant>& getConstants() const = 0;
	// The index in getConstants of a name in a stage, -1 when absent.
	virtual irr::s32 findConstant(const char* name, EZE_SHADER_STAGE stage) const = 0;
	// Writes float4 registers of a stage (kept until the next use()).
	virtual void setRegisters(EZE_SHADER_STAGE stage, irr::u32 firstRegister, const irr::f32* values, irr::u32 float4Count) = 0;
	// Makes a sampler constant read from a texture unit (its elements from the
	// units after it); the constant table keeps the register.
	virtual void setSamplerUnit(irr::u32 constantIndex, irr::u32 unit) = 0;
	// Makes a sampler constant (all its elements) decode the colour of the
	// texels it reads from sRGB to linear, after filtering, alpha as stored;
	// off for a new program.
	virtual void setSamplerSRGB(irr::u32 constantIndex, bool srgb) = 0;
	// Binds the program and uploads the registers and sampler units written since.
	virtual void use() = 0;
	// The shader file, and a stage's entry point.
	virtual const char* getFileName() const = 0;
	virtual const char* getEntryPoint(EZE_SHADER_STAGE stage) const = 0;
	// Grows by one each time the program is rebuilt from changed files.
	virtual irr::u32 getRevision() const = 0;
	// Every file the program was built from (the shader and its includes).
	virtual const irr::core::array<irr::core::stringc>& getSourceFiles() const = 0;
};

// Counters of the service, for tests and the bench.
struct SZeGpuStats
{
	irr::u32 Translations;  // stages translated from HLSL
	irr::u32 CacheHits;     // stages read from the shader cache
	irr::u32 CacheWrites;
	irr::u32 Links;
};

// ---- The GPU-programming service ------------------------------------------------
class IZeGpuProgramming
{
public:
	virtual ~IZeGpuProgramming() = default;

	// Translates (or reads from the cache) and links the two entry points of an
	// HLSL file with a macro list (null: none). A new reference, or null with
	// "ZeGPU: Failed to Compile %s shader %s" (stage "vertex"/"pixel", file)
	// and the compiler's messages in the log and in getLastError(); so too, before
	// GL sees it, a stage whose constants take registers past
	// getMaxConstantRegisters(), or whose samplers (array elements included)
	// read units past the driver's texture units for the stage. While a
	// program lives, the same request (the file as resolved, both entry points,
	// the same macros in the same order) gives it again with one more reference;
	// updateShaders rebuilds it in place when its files change.
	virtual IZeShaderProgram* createProgram(const char* file, const char* vertexEntry, const char* pixelEntry,
		const SZeMacro* macros) = 0;

	// Places the shader cache in a folder (created when missing unless
	// read-only); a read-only cache is read but never written. "" turns it off.
	virtual void setShaderCache(const char* folder, bool readOnly) = 0;
	// The file a stage of a shader is cached in: "<last folder>!<name>!<entry>!<key>.vso"
	// (".pso" for pixel shaders), where key is 32 base32 characters of the
	// SHA-1 of the macro set.
	virtual irr::core::stringc getCacheFileName(const char* file, const char* entry, EZE_SHADER_STAGE stage,
		const SZeMacro* macros) const = 0;

	// Logs each changed file and rebuilds, in place, every live program built
	// from it; returns how many were rebuilt.
	virtual irr::u32 updateShaders(irr::u32 count, const char* const* files) = 0;

	virtual const char* getLastError() const = 0;
	virtual SZeGpuStats getStats() const = 0;
	// The float4 constant registers a stage may use: the smaller of the GL
	// driver's vertex and fragment limits, ZE_MAX_CONSTANT_REGISTERS on other
	// drivers.
	virtual irr::u32 getMaxConstantRegisters() const = 0;
};

// The service over a video driver (the OpenGL one; other drivers make programs
// that fail). The caller deletes it.
IZeGpuProgramming* zeCreateGpuProgramming(irr::video::IVideoDriver* driver);
