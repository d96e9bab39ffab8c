// The engine on the NULL driver with a recording effect service, for the
// engine API's tests: log and message-box capture, pending errors, and
// shader descriptions made in place.
#pragma once

#include "effects/ZeFakeEffect.h"

#include "api/ZeEffectApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeShaderDescApi.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "render/ZeRenderFactories.h"
#include "scene/ZeShaderDesc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <system_error>
#include <vector>

namespace zetest
{
inline std::vector<std::string> g_log;
inline void captureLog(const char* line) { g_log.push_back(line); }
inline int logLinesWith(const std::string& text)
{
	int n = 0;
	for (const std::string& line : g_log)
		n += line.find(text) != std::string::npos;
	return n;
}

inline std::vector<std::string> g_boxes;
inline void captureBox(const char*, const char* text) { g_boxes.push_back(text); }

// The pending error ("" when none) and its argument number, cleared.
inline std::string takeError(int* code = nullptr)
{
	int number = 0;
	const char* text = zeGetError(&number);
	const std::string result = text ? text : "";
	if (code)
		*code = number;
	zeClearError();
	return result;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The named pairs of a list; a null definition reads "<none>".
inline Pairs pairs(const SZeMacroList& list)
{
	Pairs out;
	for (const SZeMacro* m = list.data(); m->Name; ++m)
		out.emplace_back(m->Name, m->Definition ? m->Definition : "<none>");
	return out;
}

class EffectApiTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_DRIVER", "null", 1);
		setenv("ZELV_BATCH", "1", 1);
		char pattern[] = "/tmp/zefxapiXXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		zeInstallEngineCore();
		registerFactories();
		registerFakeEffects();
		zeInstallObjectApi();
		setUp();
		g_log.clear();
		zeSetLogSink(captureLog);
		zeClearError();
	}
	// The services the engine starts with, before the recording effect service.
	virtual void registerFactories() { zeRegisterRenderFactories(); }
	void setUp()
	{
		SZeSetupParams params;
		zeInitSetupParams(&params);
		params.windowed = 1;
		params.width = 160;
		params.height = 120;
		params.dataPrefix = Tmp.c_str();
		ASSERT_EQ(zeSetup(&params), 0);
		Fx = currentFakeEffects();
		ASSERT_TRUE(Fx);
		Fx->Parameters = {fakeParameter("Tint", EZEFPT_FLOAT3, 3), fakeParameter("Gain", EZEFPT_FLOAT),
			fakeParameter("Count", EZEFPT_INT), fakeParameter("Flag", EZEFPT_BOOL),
			fakeParameter("Weights", EZEFPT_FLOAT4, 4), fakeParameter("Map", EZEFPT_SAMPLER),
			fakeParameter("Sky", EZEFPT_SAMPLER, 1, EZESK_CUBE)};
	}
	void TearDown() override
	{
		zeSetLogSink(nullptr);
		zeSetMessageBoxHook(nullptr);
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeSetDataPrefix("");
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}

	FakeEffect* effect(int id) { return static_cast<FakeEffect*>(zeGetEffect(id)); }

	// A 4 by 4 image file that the texture service loads.
	std::string writeImage(const char* name)
	{
		video::IVideoDriver* driver = zeGetContext()->driver;
		video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(4, 4));
		image->fill(video::SColor(255, 10, 20, 30));
		const std::string path = Tmp + "/" + name;
		EXPECT_TRUE(driver->writeImageToFile(image, path.c_str()));
		image->drop();
		return path;
	}

	std::string Tmp;
	FakeEffectManager* Fx = nullptr;
};

// A description of the given parameters.
inline SZeShaderDesc describe(const char* file, std::initializer_list<SZeShaderParam> params, const char* cflags = nullptr)
{
	SZeShaderDesc desc = {};
	desc.filename = file;
	desc.cflags = cflags;
	for (const SZeShaderParam& p : params)
		desc.params[desc.paramCount++] = p;
	return desc;
}
inline SZeShaderParam vec(const char* name, f32 x, f32 y, f32 z) { return {name, EZSVK_VECTOR, {x, y, z}, 0, nullptr, 0, 0}; }
inline SZeShaderParam flt(const char* name, f32 v) { return {name, EZSVK_FLOAT, {v, 0, 0}, 0, nullptr, 0, 0}; }
inline SZeShaderParam integer(const char* name, s32 v) { return {name, EZSVK_INT, {0, 0, 0}, v, nullptr, 0, 0}; }
inline SZeShaderParam tex(const char* name, const char* text, s32 srgb = 0, s32 byName = 0)
{
	return {name, EZSVK_STRING, {0, 0, 0}, 0, text, srgb, byName};
}

} // namespace zetest
