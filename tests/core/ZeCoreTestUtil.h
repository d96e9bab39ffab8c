// What the engine-core test files share: the captured engine log and a fixture
// that starts each case with no service factories, a scratch data folder and
// setup parameters for a small window. A fixture whose useGL() answers true
// runs on OpenGL (skipped without an X display); the others on the null driver.
#pragma once

#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeSetup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace zecoretest
{
// The engine log lines since the case began.
inline std::vector<std::string> g_lines;
inline void captureLog(const char* line) { g_lines.push_back(line); }
inline int linesWith(const std::string& text)
{
	int n = 0;
	for (const std::string& line : g_lines)
		n += line.find(text) != std::string::npos;
	return n;
}

class CoreFixture : public ::testing::Test
{
protected:
	// tmpPattern: the mkdtemp pattern of the case's data folder.
	explicit CoreFixture(const char* tmpPattern) : TmpPattern(tmpPattern) {}

	virtual bool useGL() const { return false; }
	void SetUp() override
	{
		if (useGL() && !getenv("DISPLAY"))
			GTEST_SKIP() << "needs an X display";
		if (useGL())
			unsetenv("ZELV_DRIVER");
		else
			setenv("ZELV_DRIVER", "null", 1);
		std::vector<char> pattern(TmpPattern.begin(), TmpPattern.end());
		pattern.push_back('\0');
		ASSERT_NE(mkdtemp(pattern.data()), nullptr);
		Tmp = pattern.data();
		zeInstallEngineCore();
		zeRegisterServiceFactories(SZeServiceFactories());
		g_lines.clear();
		zeSetLogSink(captureLog);
		zeInitSetupParams(&Params);
		Params.windowed = 1;
		Params.width = 160;
		Params.height = 120;
		Params.vsync = 0;
		Params.dataPrefix = Tmp.c_str();
	}
	void TearDown() override
	{
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeSetLogSink(nullptr);
		zeSetDataPrefix("");
		unsetenv("ZELV_DRIVER");
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}

	std::string Tmp;
	SZeSetupParams Params;

private:
	std::string TmpPattern;
};
} // namespace zecoretest
