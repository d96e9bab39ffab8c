// The render targets of "Create Texture" commands, and who uses them: a
// target a command made lives while a command renderer uses it, and all of
// them together stay within one memory budget.
#include "render/CZeRendererCmds.h"

#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"

#include <algorithm>

using namespace irr;

namespace
{
// By "ColorFormat"; 0 follows the frame's colour target.
ze::ECOLOR_FORMAT colorFormat(video::IVideoDriver* driver, s32 code)
{
	switch (code)
	{
	case 0:
	{
		video::ITexture* back = ze::findTexture(driver, "BackRTT[0]");
		const ze::ECOLOR_FORMAT format = back ? ze::getTextureFormat(back) : ze::ECF_UNKNOWN;
		return format == ze::ECF_UNKNOWN ? ze::ECF_A8R8G8B8 : format;
	}
	case 1: return ze::ECF_A1R5G5B5;
	case 2: return ze::ECF_R5G6B5;
	case 3: return ze::ECF_R8G8B8;
	case 5: return ze::ECF_R16F;
	case 6: return ze::ECF_G16R16F;
	case 7: return ze::ECF_A16B16G16R16F;
	case 8: return ze::ECF_R32F;
	case 9: return ze::ECF_G32R32F;
	case 10: return ze::ECF_A32B32G32R32F;
	default: return ze::ECF_A8R8G8B8;
	}
}

// The most one texture of a scene may take at its widest texel (16 bytes).
const u64 MAX_TEXTURE_BYTES = u64(1) << 30;

// By "Size": the explicit size, or the screen divided by 1 to 32 (at least
// one pixel each way).
core::dimension2d<u32> textureSize(video::IVideoDriver* driver, s32 code, s32 width, s32 height)
{
	if (code == 0)
		return core::dimension2d<u32>(static_cast<u32>(width), static_cast<u32>(height));
	const core::dimension2d<u32> screen = driver->getScreenSize();
	const u32 divisor = code >= 1 && code <= 6 ? 1u << (code - 1) : 1u;
	return core::dimension2d<u32>(core::max_(screen.Width / divisor, 1u), core::max_(screen.Height / divisor, 1u));
}

// A target a "Create Texture" command made: its driver, its memory and the
// command renderers that use it.
struct SMadeTexture
{
	video::IVideoDriver* Driver;
	video::ITexture* Texture;
	u64 Bytes;
	u32 Users;
};
std::vector<SMadeTexture> g_made;

u64 madeBytes()
{
	u64 total = 0;
	for (const SMadeTexture& made : g_made)
		total += made.Bytes;
	return total;
}

// Takes the target out of the driver (and its own depth buffer with it).
void freeMade(const SMadeTexture& made)
{
	ze::removeTexture(made.Texture);
	made.Driver->removeTexture(made.Texture);
}

std::vector<SMadeTexture>::iterator findMade(const video::ITexture* texture)
{
	return std::find_if(g_made.begin(), g_made.end(),
		[texture](const SMadeTexture& made) { return made.Texture == texture; });
}

// Restores the driver's mip-map creation flag when it goes.
class CNoMipMaps
{
public:
	explicit CNoMipMaps(video::IVideoDriver* driver)
		: Driver(driver), Before(driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS))
	{
		Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
	}
	~CNoMipMaps() { Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, Before); }
	CNoMipMaps(const CNoMipMaps&) = delete;
	CNoMipMaps& operator=(const CNoMipMaps&) = delete;

private:
	video::IVideoDriver* Driver;
	bool Before;
};
} // namespace

bool zeCreateTextureFromCommand(video::IVideoDriver* driver, const SZeRenderCommand& command)
{
	const char* const INTS[] = {"ColorFormat", "Size", "SizeWidth", "SizeHeight", "OwnZBuffer"};
	const SZeCommandParameter* name = command.findParameter("Name");
	const SZeCommandParameter* ints[5] = {};
	bool complete = driver && name && !name->String.empty();
	for (u32 i = 0; i < 5; ++i)
		complete = (ints[i] = command.findParameter(INTS[i])) != nullptr && complete;
	const s32 sizeCode = complete ? ints[1]->Int : 0;
	if (complete && sizeCode == 0 && (ints[2]->Int <= 0 || ints[3]->Int <= 0))
		complete = false;
	// An explicit size is held to what the driver makes and to a memory bound,
	// so a scene cannot ask for gigabytes of texture.
	if (complete && sizeCode == 0)
	{
		const core::dimension2du most = driver->getMaxTextureSize();
		const u64 bytes = u64(ints[2]->Int) * u64(ints[3]->Int) * 16u;
		if ((most.Width && u32(ints[2]->Int) > most.Width) || (most.Height && u32(ints[3]->Int) > most.Height) ||
			bytes > MAX_TEXTURE_BYTES)
		{
			zeLog(EZELL_ERROR, "Create texture '%s' failed : size %dx%d too large", command.Name.c_str(), ints[2]->Int,
				ints[3]->Int);
			return false;
		}
	}
	if (!complete)
	{
		zeLog(EZELL_ERROR, "Create texture '%s' failed : missing parameters", command.Name.c_str());
		return false;
	}
	const core::stringc& texture = name->String;
	const ze::ECOLOR_FORMAT format = colorFormat(driver, ints[0]->Int);
	const core::dimension2d<u32> size = textureSize(driver, sizeCode, ints[2]->Int, ints[3]->Int);
	const bool ownZBuffer = ints[4]->Int != 0;

	video::ITexture* existing = ze::findTexture(driver, texture);
	if (!existing)
	{
		const u64 bytes = u64(ze::getLevelSize(format, size.Width, size.Height)) +
			(ownZBuffer ? u64(size.Width) * size.Height * 4u : 0u);
		const u64 total = madeBytes() + bytes;
		if (total > ZE_COMMAND_TEXTURE_BUDGET)
		{
			zeLog(EZELL_ERROR,
				"Create texture '%s' failed : texture '%s' would take the render command textures to %llu MB, "
				"more than the %llu MB they may take",
				command.Name.c_str(), texture.c_str(), static_cast<unsigned long long>((total + (1u << 20) - 1) >> 20),
				static_cast<unsigned long long>(ZE_COMMAND_TEXTURE_BUDGET >> 20));
			return false;
		}
		CNoMipMaps noMipMaps(driver);
		video::ITexture* made = ownZBuffer ? ze::addRenderTargetTextureOwnZBuffer(driver, size, texture, format) :
			ze::addRenderTargetTexture(driver, size, texture, format);
		if (!made)
		{
			zeLog(EZELL_ERROR, "Create texture '%s' : failed to add render target texture '%s'", command.Name.c_str(),
				texture.c_str());
			return false;
		}
		g_made.push_back(SMadeTexture{driver, made, bytes, 0});
		return true;
	}

	const char* mismatch = nullptr;
	if (!existing->isRenderTarget())
		mismatch = "Create texture '%s' failed: texture '%s' already exist but is not a render target. Use another name";
	else if (ze::getTextureFormat(existing) != format)
		mismatch = "Create texture '%s' failed: texture '%s' already exist with different color format. Restart "
			"engine may be necessary";
	else if (existing->getSize() != size)
		mismatch = "Create texture '%s' failed: texture '%s' already exist with different dimension. Restart engine "
			"may be necessary";
	else if (ze::hasOwnZBuffer(existing) != ownZBuffer)
		mismatch = "Create texture '%s' failed: texture '%s' already exist with different own z-buffer.  Restart "
			"engine may be necessary";
	if (!mismatch)
		return true;
	zeLog(EZELL_ERROR, mismatch, command.Name.c_str(), texture.c_str());
	return false;
}

bool zeCreateRenderCommandTextures(IrrlichtDevice* device, const SZeRendererDesc& description)
{
	video::IVideoDriver* driver = device ? device->getVideoDriver() : nullptr;
	zeFreeUnusedCommandTextures();
	for (u32 i = 0; i < description.Commands.size(); ++i)
		if (description.Commands[i].Kind == "Create Texture" &&
			!zeCreateTextureFromCommand(driver, description.Commands[i]))
		{
			zeFreeUnusedCommandTextures();
			return false;
		}
	return true;
}

std::vector<video::ITexture*> zeUseCommandTextures(video::IVideoDriver* driver, const SZeRendererDesc& description)
{
	std::vector<core::stringc> names;
	for (u32 i = 0; i < description.Commands.size(); ++i)
	{
		const SZeRenderCommand& command = description.Commands[i];
		if (command.Kind == "Create Texture")
		{
			const SZeCommandParameter* name = command.findParameter("Name");
			if (name)
				names.push_back(name->String);
		}
		for (const core::array<SZeCommandConnect>* connects : {&command.Inputs, &command.Outputs})
			for (u32 c = 0; c < connects->size(); ++c)
			{
				const core::stringc& texture = (*connects)[c].Texture;
				const s32 pair = static_cast<s32>(texture.size()) - 2;
				if (pair > 0 && texture.subString(static_cast<u32>(pair), 2) == "[]")
				{
					names.push_back(texture.subString(0, static_cast<u32>(pair)) + "[0]");
					names.push_back(texture.subString(0, static_cast<u32>(pair)) + "[1]");
				}
				else
					names.push_back(texture);
			}
	}
	std::vector<video::ITexture*> used;
	for (const core::stringc& name : names)
	{
		video::ITexture* texture = name.empty() ? nullptr : ze::findTexture(driver, name);
		auto made = findMade(texture);
		if (made == g_made.end() || std::find(used.begin(), used.end(), texture) != used.end())
			continue;
		++made->Users;
		used.push_back(texture);
	}
	return used;
}

void zeReleaseCommandTextures(const std::vector<video::ITexture*>& used)
{
	for (video::ITexture* texture : used)
	{
		auto made = findMade(texture);
		if (made != g_made.end() && made->Users > 0)
			--made->Users;
	}
	zeFreeUnusedCommandTextures();
}

void zeFreeUnusedCommandTextures()
{
	std::vector<SMadeTexture> unused;
	for (auto made = g_made.begin(); made != g_made.end();)
	{
		if (made->Users)
			++made;
		else
		{
			unused.push_back(*made);
			made = g_made.erase(made);
		}
	}
	for (const SMadeTexture& made : unused)
		freeMade(made);
}

void zeForgetCommandTextures()
{
	g_made.clear();
}

u64 zeGetCommandTextureBytes()
{
	return madeBytes();
}
