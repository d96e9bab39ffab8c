#include "api/ZeShaderDescApi.h"

#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "effects/IZeEffect.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"
#include "scene/ZeShaderDesc.h"

#include <cstring>

using namespace irr;

// ---- Macro lists ----------------------------------------------------------------
SZeMacroList::SZeMacroList(u32 pairs) : Pairs(pairs ? pairs : 1, SZeMacro{nullptr, nullptr})
{
}

u32 SZeMacroList::count() const
{
	u32 n = 0;
	while (n < Pairs.size() && Pairs[n].Name)
		++n;
	return n;
}

const char* SZeMacroList::keep(const char* text, u32 length)
{
	Texts.emplace_back(text, length);
	return Texts.back().c_str();
}

bool SZeMacroList::append(const char* name, u32 nameLength, const char* value, u32 valueLength)
{
	const u32 n = count();
	if (n + 1 >= Pairs.size())
		return false;
	Pairs[n].Name = keep(name, nameLength);
	Pairs[n].Definition = value ? keep(value, valueLength) : nullptr;
	Pairs[n + 1] = SZeMacro{nullptr, nullptr};
	return true;
}

namespace
{
bool isBlank(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
} // namespace

u32 zeParseShaderMacros(SZeMacroList& list, const char* text)
{
	if (!text)
		return 0;
	size_t length = std::strlen(text);
	if (length > ZE_SHADER_MACRO_TEXT)
	{
		zeLog(EZELL_WARN, "zeParseShaderMacros: macro text of %u characters cut to %u: '%.40s...'",
			static_cast<unsigned>(length), ZE_SHADER_MACRO_TEXT, text);
		length = ZE_SHADER_MACRO_TEXT;
	}
	u32 appended = 0;
	u32 dropped = 0;
	for (size_t i = 0; i < length;)
	{
		while (i < length && isBlank(text[i]))
			++i;
		const size_t start = i;
		while (i < length && !isBlank(text[i]))
			++i;
		if (i == start)
			break;
		const char* token = text + start;
		const size_t tokenLength = i - start;
		const char* equals = static_cast<const char*>(std::memchr(token, '=', tokenLength));
		const size_t nameLength = equals ? static_cast<size_t>(equals - token) : tokenLength;
		if (nameLength == 0)
		{
			zeLog(EZELL_WARN, "zeParseShaderMacros: macro without a name '%.*s' left out", static_cast<int>(tokenLength), token);
			continue;
		}
		const char* value = equals ? equals + 1 : nullptr;
		const size_t valueLength = equals ? tokenLength - nameLength - 1 : 0;
		if (list.append(token, static_cast<u32>(nameLength), value, static_cast<u32>(valueLength)))
			++appended;
		else
			++dropped;
	}
	if (dropped)
		zeLog(EZELL_WARN, "zeParseShaderMacros: the list holds %u macros, %u left out", list.capacity() - 1, dropped);
	return appended;
}

// ---- Shader descriptions --------------------------------------------------------
namespace
{
const char* fileOf(const SZeShaderDesc* desc)
{
	return desc->filename ? desc->filename : "";
}

const char* nameOf(const SZeShaderParam& param)
{
	return param.name ? param.name : "";
}

ze::E_TEXTURE_KIND textureKind(EZE_SAMPLER_KIND kind)
{
	switch (kind)
	{
	case EZESK_CUBE:
		return ze::ETK_CUBE;
	case EZESK_3D:
		return ze::ETK_3D;
	default:
		return ze::ETK_2D;
	}
}
} // namespace

video::ITexture* zeLoadSamplerTexture(IZeEffect* effect, const SZeFxParameter* sampler, const char* file)
{
	IZeManager* manager = zeGetManager();
	if (!manager || !effect || !sampler || !file || !*file)
		return nullptr;
	return manager->getTextureManager()->getTextureOfKind(file, textureKind(effect->getSamplerKind(sampler)));
}

int zeSetShaderParams(IZeEffect* effect, const SZeShaderDesc* desc)
{
	if (!effect || !desc)
		return 1;
	int failed = 0;
	const s32 count = core::clamp(desc->paramCount, 0, ZE_SHADER_MAX_PARAMS);
	for (s32 i = 0; i < count; ++i)
	{
		const SZeShaderParam& param = desc->params[i];
		const SZeFxParameter* target = effect->getParameterByName(nameOf(param));
		if (!target)
		{
			zeSetError(-1, "%s: no effect param with name '%s'", fileOf(desc), nameOf(param));
			failed = 1;
			continue;
		}
		bool set = true;
		switch (param.kind)
		{
		case EZSVK_VECTOR:
			set = effect->setFloatArray(target, param.value, 3);
			break;
		case EZSVK_FLOAT:
			set = effect->setFloat(target, param.value[0]);
			break;
		case EZSVK_INT:
			set = effect->setInt(target, param.intValue);
			break;
		case EZSVK_STRING:
			break;
		default:
			zeSetError(-1, "%s: shader param '%s' unknown type %d", fileOf(desc), nameOf(param), param.kind);
			failed = 1;
			continue;
		}
		// A value the effect refuses (more components than the parameter has) is
		// left out as the description's other mismatches are, with a warning.
		if (!set)
			zeLog(EZELL_WARN, "%s: effect refused the value of shader param '%s'", fileOf(desc), nameOf(param));
	}
	return failed;
}

int zeSetShaderTextures(IZeEffect* effect, const SZeShaderDesc* desc)
{
	if (!effect || !desc)
		return 1;
	IZeManager* manager = zeGetManager();
	int failed = 0;
	const s32 count = core::clamp(desc->paramCount, 0, ZE_SHADER_MAX_PARAMS);
	for (s32 i = 0; i < count; ++i)
	{
		const SZeShaderParam& param = desc->params[i];
		const SZeFxParameter* sampler = param.kind == EZSVK_STRING ? effect->getParameterByName(nameOf(param)) : nullptr;
		if (!sampler)
			continue;
		const char* text = param.text ? param.text : "";
		video::ITexture* texture = nullptr;
		if (*text && param.reference == 1)
		{
			texture = manager ? manager->getTextureManager()->findTexture(text) : nullptr;
			if (!texture)
			{
				zeSetError(-1, "%s: failed to find texture '%s' of shader param %s", fileOf(desc), text, nameOf(param));
				failed = 1;
			}
		}
		else if (*text)
		{
			const char* found = zeFindDataFile(text);
			texture = zeLoadSamplerTexture(effect, sampler, found ? found : text);
			if (!texture)
			{
				zeSetError(-1, "%s: failed to load texture '%s' of shader param %s", fileOf(desc), text, nameOf(param));
				failed = 1;
			}
		}
		// A texture that is not found leaves the sampler without one.
		if (!effect->setSamplerTexture(sampler, texture, param.colorSpace == 1))
		{
			zeSetError(-1, "%s: failed to set texture '%s' of shader param %s", fileOf(desc), text, nameOf(param));
			failed = 1;
		}
	}
	return failed;
}

void zeApplyShaderParams(IZeEffect* effect, const SZeShaderDesc* desc, int withTextures, const char* owner, int argument)
{
	if (!effect || !desc)
		return;
	if (withTextures && zeSetShaderTextures(effect, desc))
		zeSetError(argument, "%s: failed to set textures of shader '%s'", owner, fileOf(desc));
	if (zeSetShaderParams(effect, desc))
		zeSetError(argument, "%s: failed to set parameters of shader '%s'", owner, fileOf(desc));
}
