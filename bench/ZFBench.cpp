// zelv-zf-bench: loading speed of ZF documents.
//
// Builds two documents of about 50 MB each in a temporary folder, in the binary
// and the text form: "channels" (object groups with long keyed channels) and
// "nodes" (a scene's surfaces: many small groups and values, a node every 30
// bytes or so). Each is loaded through ZF_Load and read whole into a freshly
// allocated buffer (what the loader itself must do first), 9 runs each taken
// in turn; the medians give MB/s and the ratio of the load to the read.
//
// Usage: zelv-zf-bench [megabytes]
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "scene/ZF.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{
// Builds a document through the editing functions.
class TreeBuilder
{
public:
	TreeBuilder() : m_document(ZF_Create()) {}
	~TreeBuilder() { ZF_Free(m_document); }
	TreeBuilder(const TreeBuilder&) = delete;
	TreeBuilder& operator=(const TreeBuilder&) = delete;

	bool ok() const { return m_document && m_ok; }
	const ZF_Node* root() const { return ZF_GetRoot(m_document); }
	const ZF_Node* group(const ZF_Node* parent, const std::string& name) { return check(ZF_AddGroup(m_document, parent, name.c_str())); }
	void value(const ZF_Node* parent, uint32_t type, const char* name, const std::vector<uint32_t>& data)
	{
		check(ZF_AddValue(m_document, parent, type, name, data.data(), data.size()));
	}
	void text(const ZF_Node* parent, const char* name, const std::string& text)
	{
		check(ZF_AddValue(m_document, parent, ZF_STR, name, text.data(), text.size()));
	}
	void channels(const ZF_Node* parent, const char* name, const std::vector<std::vector<uint32_t>>& elements)
	{
		const ZF_Node* array = check(ZF_AddArray(m_document, parent, ZF_FP_C, name));
		for (const std::vector<uint32_t>& element : elements)
			m_ok = m_ok && ZF_AddElement(m_document, array, element.data(), element.size());
	}

private:
	const ZF_Node* check(const ZF_Node* node)
	{
		m_ok = m_ok && node;
		return node;
	}

	ZF_Document* m_document;
	bool m_ok = true;
};

uint32_t bits(float f)
{
	uint32_t w;
	memcpy(&w, &f, 4);
	return w;
}

// A keyed channel of `frames` floats: a held start, a moving stretch, a held end.
std::vector<uint32_t> channel(std::mt19937& random, uint32_t frames)
{
	std::uniform_real_distribution<float> value(-100.0f, 100.0f);
	const uint32_t hold = frames / 10;
	const uint32_t moving = frames - 2 * hold;
	std::vector<uint32_t> words = { 0, hold, bits(value(random)), 1, moving };
	const float start = value(random);
	const float speed = value(random) * 0.01f;
	for (uint32_t i = 0; i < moving; ++i)
		words.push_back(bits(start + speed * float(i) + 0.37f * std::sin(float(i) * 0.1f)));
	words.insert(words.end(), { 0, hold, bits(value(random)) });
	return words;
}

std::string buildChannels(TreeBuilder& tree, size_t megabytes)
{
	std::mt19937 random(7);
	const uint32_t frames = 1000;
	static const char* const VECTORS[] = { "Position", "Rotation", "Scale" };
	static const char* const SCALARS[] = { "Intensity", "Range", "Opacity" };
	static const char* const KEYS[] = { "Id", "Flags", "Layer", "Mode", "Parent", "Visible", "CastShadow", "Order" };
	const ZF_Node* objects = tree.group(tree.group(tree.root(), "Scene"), "Objects");
	// 9 channels of 1,000 floats and a few small values: about 37 KB an object.
	const size_t count = megabytes * 1000000 / 37000;
	for (size_t i = 0; i < count; ++i)
	{
		const std::string name = "Object" + std::to_string(i);
		const ZF_Node* object = tree.group(objects, name);
		tree.text(object, "Mesh", "Objects/" + name + ".lwo");
		for (uint32_t k = 0; k < 8; ++k)
			tree.value(object, ZF_I4, KEYS[k], { uint32_t(i * 8 + k) });
		tree.value(object, ZF_FP, "Pivot", { bits(0.5f), bits(-1.25f), bits(2.0f) });
		for (const char* key : VECTORS)
			tree.channels(object, key, { channel(random, frames), channel(random, frames), channel(random, frames) });
		for (const char* key : SCALARS)
			tree.value(object, ZF_FP_C, key, channel(random, frames));
	}
	return std::to_string(count) + " objects, " + std::to_string(frames) + " frames";
}

// Surfaces of LightWave objects: per surface a name, a shader with a few
// parameters, and 39 channel groups of a value and image settings.
std::string buildNodes(TreeBuilder& tree, size_t megabytes)
{
	static const char* const CHANNELS[] = { "BaseColor", "Luminosity", "Diffuse", "Specularity", "Reflectivity",
		"Transparency", "Translucency", "IOR", "Bump", "Glossiness", "SpecialBuffer1", "SpecialBuffer2",
		"SpecialBuffer3", "SpecialBuffer4", "DiffuseSharpness", "BumpDropoff", "SmoothingAngle",
		"ReflectionSeamAngle", "RefractionSeamAngle", "ReflectionBlurring", "RefractionBlurring", "ColorFilter",
		"ColorHighlights", "AdditiveTransparency", "AlphaValue", "GlowValue", "LineColor", "LineSize",
		"AlphaOptions", "ReflectionOptions", "RefractionOptions", "Sidedness", "ExcludeFromVStack", "Glow",
		"RenderOutlines", "ReflectionImage", "RefractionImage", "VertexColoring", "VertexNormal" };
	const ZF_Node* meshes = tree.group(tree.group(tree.root(), "Scene"), "SceneObjects");
	// About 5 KB and 163 nodes a surface.
	const size_t surfaces = megabytes * 1000000 / 5000;
	uint32_t nodes = 0;
	for (size_t i = 0; i < surfaces; ++i)
	{
		const ZF_Node* surface = tree.group(meshes, "Surface" + std::to_string(i));
		tree.text(surface, "name", "Surface" + std::to_string(i));
		const ZF_Node* parameters = tree.group(surface, "Parameters");
		for (uint32_t c = 0; c < 39; ++c)
		{
			const ZF_Node* channel = tree.group(parameters, CHANNELS[c]);
			if (c % 4 == 0)
				tree.value(channel, ZF_FP, "value", { bits(0.5f), bits(float(c)), bits(float(i % 7)) });
			else
				tree.value(channel, ZF_FP, "value", { bits(float(c) * 0.25f) });
			tree.value(channel, ZF_I4, "img_mipmap", { 1 });
			tree.value(channel, ZF_I4, "img_colorspace", { c % 2 });
		}
		const ZF_Node* shader = tree.group(surface, "Shader");
		tree.value(shader, ZF_I4, "applyToSurface", { 1 });
		const ZF_Node* effect = tree.group(shader, "Effect");
		tree.text(effect, "filename", "Lpp.hlsl");
		tree.value(effect, ZF_FP_C, "fade", { 0, 60, bits(1.0f) });
		nodes += 5 + 39 * 4 + 3;
	}
	return std::to_string(surfaces) + " surfaces, " + std::to_string(nodes) + " nodes";
}

double seconds(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const int RUNS = 9;

double median(std::vector<double> times)
{
	std::sort(times.begin(), times.end());
	return times[times.size() / 2];
}

// Median times of reading the whole file into a fresh buffer and of loading
// it, the runs taken in turn; false when either fails.
bool measure(const std::string& path, size_t size, double& read, double& load)
{
	std::vector<double> reads;
	std::vector<double> loads;
	for (int run = 0; run < RUNS; ++run)
	{
		auto start = std::chrono::steady_clock::now();
		long length = 0;
		char* buffer = zeReadFile(path.c_str(), &length);
		reads.push_back(seconds(start));
		delete[] buffer;
		if (!buffer || size_t(length) != size)
			return false;
		start = std::chrono::steady_clock::now();
		ZF_Document* document = ZF_Load(path.c_str());
		loads.push_back(seconds(start));
		if (!document)
			return false;
		ZF_Free(document);
	}
	read = median(reads);
	load = median(loads);
	return true;
}

bool report(const char* form, const std::string& path, size_t size, double goalMBs, double goalRatio)
{
	double read = 0;
	double load = 0;
	if (!measure(path, size, read, load))
	{
		fprintf(stderr, "zelv-zf-bench: cannot load %s\n", path.c_str());
		return false;
	}
	const double mbs = double(size) / 1e6 / load;
	const double ratio = load / read;
	const bool met = mbs >= goalMBs && (goalRatio <= 0 || ratio <= goalRatio);
	printf("  %-6s %7.1f MB  load %8.2f ms %8.1f MB/s  read %7.2f ms %8.1f MB/s  ratio %5.2fx  goal >= %.0f MB/s",
	       form, double(size) / 1e6, load * 1e3, mbs, read * 1e3, double(size) / 1e6 / read, ratio, goalMBs);
	if (goalRatio > 0)
		printf(", <= %.0fx", goalRatio);
	printf(": %s\n", met ? "met" : "MISSED");
	return true;
}

bool writeFile(const std::string& path, const std::string& bytes)
{
	FILE* out = fopen(path.c_str(), "wb");
	const bool written = out && fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
	if (out)
		fclose(out);
	if (!written)
		fprintf(stderr, "zelv-zf-bench: cannot write %s\n", path.c_str());
	return written;
}

// Writes one document in both forms into the folder and reports both.
bool run(const char* name, std::string (*build)(TreeBuilder&, size_t), size_t megabytes, const std::string& folder,
         double binaryRatio)
{
	TreeBuilder tree;
	const std::string shape = build(tree, megabytes);
	std::string binary;
	std::string text;
	if (!tree.ok() || !ZF_WriteBinary(tree.root(), binary) || !ZF_WriteText(tree.root(), text))
	{
		fprintf(stderr, "zelv-zf-bench: cannot write the documents\n");
		return false;
	}
	const std::string binaryPath = folder + "/" + name + ".zscn";
	const std::string textPath = folder + "/" + name + "_text.zscn";
	if (!writeFile(binaryPath, binary) || !writeFile(textPath, text))
		return false;
	printf("%s: %s (median of %d runs)\n", name, shape.c_str(), RUNS);
	return report("binary", binaryPath, binary.size(), 300.0, binaryRatio) &&
	       report("text", textPath, text.size(), 50.0, 0.0);
}
} // namespace

int main(int argc, char** argv)
{
	const size_t megabytes = argc > 1 ? size_t(std::max(1, atoi(argv[1]))) : 50;
	zeSetLogLevel(EZELL_WARN);
	char folder[] = "/tmp/zelv-zf-bench-XXXXXX";
	if (!mkdtemp(folder))
	{
		fprintf(stderr, "zelv-zf-bench: cannot make a temporary folder\n");
		return 1;
	}
	const bool ok = run("channels", buildChannels, megabytes, folder, 2.0) &&
	                run("nodes", buildNodes, megabytes, folder, 2.0);
	std::filesystem::remove_all(folder);
	return ok ? 0 : 1;
}
