// Scene files written by the scene tests through the ZF writer, from text
// put together group by group, and the engine with the scene content's
// services and a recording effect service (NULL driver).
#pragma once

#include "ZeApiTestFixture.h"

#include "api/ZeScene.h"
#include "api/ZeSceneCalls.h"
#include "scene/CZeResourceManagerScene.h"
#include "scene/ZF.h"

#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>

namespace zetest
{
// "{ name" ... "}" around the lines of a group.
inline std::string group(const std::string& name, const std::string& body)
{
	return "{ " + name + "\n" + body + "}\n";
}

inline std::string groups(std::initializer_list<std::string> parts)
{
	std::string out;
	for (const std::string& part : parts)
		out += part;
	return out;
}

inline std::string info(int frameStart = 0, int frameEnd = 60, int frameStep = 1, const char* fps = "30")
{
	return group("SceneInfo", "I4 frameStart " + std::to_string(frameStart) + "\nI4 frameEnd " +
		std::to_string(frameEnd) + "\nI4 frameStep " + std::to_string(frameStep) + "\nFP framesPerSecond " + fps +
		"\n");
}

inline std::string camera(const std::string& name = "Camera", const std::string& extra = "")
{
	return group(name, "FP position 0 0 -10\nFP rotation 0 0 0\nFP zoomFactor 1\nI4 flags 0\n" + extra);
}

// An object of a mesh file whose "SceneObjects" entry is named like the file.
inline std::string object(const std::string& name, const std::string& file, const std::string& extra = "",
	const std::string& position = "FP position 0 0 0\n")
{
	return group(name, "STR name \"" + name + "\"\nSTR xfilename \"" + file + "\"\nSTR filename \"" + file +
		"\"\n" + position + "FP rotation 0 0 0\nFP scale 1 1 1\n" + extra);
}

inline std::string light(const std::string& name, int type, const std::string& extra = "")
{
	return group(name, "FP position 1 2 3\nFP rotation 0 0 0\nI4 type " + std::to_string(type) +
		"\nFP rawColor 1 1 1\nFP intensity 1\n" + extra);
}

// An emitter of a nozzle type with its image.
inline std::string emitter(const std::string& name, int type, int nozzle, const std::string& image,
	const std::string& extra = "")
{
	return group(name, "STR name \"" + name + "\"\nI4 type " + std::to_string(type) + "\n" + extra +
		group("HyperVoxel", image.empty() ? "" : "STR clipFilename \"" + image + "\"\n") +
		group("ParticleFx", "I4 nozzle " + std::to_string(nozzle) + "\nFP generatorSize 1 1 1\nFP birthRate 10\n"));
}

inline std::string postProc(const std::string& name, const std::string& file, const std::string& extra = "")
{
	return group(name, group("Effect", "STR filename \"" + file + "\"\n") + extra);
}

inline std::string sceneText(const std::string& body)
{
	return group("Scene", body);
}

// Writes the text through the ZF writer, in the text or the binary form.
inline void writeScene(const std::string& path, const std::string& text, bool binary = false)
{
	std::unique_ptr<ZF_Document, decltype(&ZF_Free)> document(ZF_LoadMemory(text.data(), text.size()), ZF_Free);
	ASSERT_TRUE(document) << text;
	ASSERT_TRUE(ZF_Save(ZF_GetRoot(document.get()), path.c_str(), binary ? ZF_FORM_BINARY : ZF_FORM_TEXT));
}

// The engine with the scene content's services; scenes load objects from a
// quad written here and emitters show an image written here.
class SceneTest : public EffectApiTest
{
protected:
	void registerFactories() override { zeRegisterSceneFactories(); }
	void SetUp() override
	{
		EffectApiTest::SetUp();
		if (HasFatalFailure())
			return;
		Image = writeImage("dot.png");
		Quad = Tmp + "/quad.obj";
		std::ofstream(Quad) << "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3\nf 1 3 4\n";
		zeSetSceneLoadWarnings(1);
		zeClearError();
	}
	void TearDown() override
	{
		zeSceneCalls() = SZeSceneCalls();
		zeSetLoadSceneCallback(nullptr, nullptr);
		zeSetSceneLoadWarnings(0);
		EffectApiTest::TearDown();
	}

	// Writes a scene of these groups under a name in the test folder.
	std::string write(const std::string& name, const std::string& body, bool binary = false)
	{
		const std::string path = Tmp + "/" + name;
		writeScene(path, sceneText(body), binary);
		return path;
	}
	// Loads into a slot with IDs from `first` for every kind (renderer `first`).
	int load(const std::string& path, int sceneId, int first, int extraMode = 0, const char* shareGroup = "",
		int instance = 0)
	{
		return zeLoadScene(path.c_str(), sceneId, first, first, first, first, first, first, first, instance,
			shareGroup, extraMode);
	}

	std::string Image;
	std::string Quad;
};
} // namespace zetest
