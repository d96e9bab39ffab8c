// zelv-zf-bench: loading speed of ZF documents.
//
// Builds a binary ZF document of about 50 MB (many object groups, long keyed
// channels, small values) and its text twin in a temporary folder, loads each
// through ZF_Load (best of 3) and prints MB/s and the ratio of the load time
// to a plain read of the same bytes.
//
// Usage: zelv-zf-bench [megabytes]
#include "frame/ZeLog.h"
#include "scene/ZF.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
// A tree of plain nodes for the writer; the containers keep every address.
class TreeBuilder
{
public:
	TreeBuilder() { m_root = group("root"); }
	ZF_Node* root() const { return m_root; }

	// A copy of the text that lives as long as the tree.
	const char* keep(const std::string& text)
	{
		m_strings.push_back(text);
		return m_strings.back().c_str();
	}
	ZF_Node* group(const char* name)
	{
		m_nodes.push_back(ZF_Node{ ZF_GROUP, 0, 0, name, nullptr, nullptr, nullptr });
		m_kids[&m_nodes.back()];
		return &m_nodes.back();
	}
	void add(ZF_Node* parent, ZF_Node* child) { m_kids[parent].push_back(child); }
	ZF_Node* value(ZF_Node* parent, uint32_t type, const char* name, std::vector<uint32_t> data, uint32_t count)
	{
		m_data.push_back(std::move(data));
		m_nodes.push_back(ZF_Node{ ZF_VALUE, type, count, name, nullptr, m_data.back().data(), nullptr });
		add(parent, &m_nodes.back());
		return &m_nodes.back();
	}
	ZF_Node* text(ZF_Node* parent, const char* name, const std::string& text)
	{
		m_nodes.push_back(ZF_Node{ ZF_VALUE, ZF_STR, uint32_t(text.size()), name, nullptr, keep(text), nullptr });
		add(parent, &m_nodes.back());
		return &m_nodes.back();
	}
	ZF_Node* channels(ZF_Node* parent, const char* name, std::vector<std::pair<std::vector<uint32_t>, uint32_t>> elements)
	{
		m_entries.emplace_back();
		for (auto& element : elements)
		{
			m_data.push_back(std::move(element.first));
			m_entries.back().push_back(ZF_ArrayEntry{ element.second, m_data.back().data() });
		}
		m_nodes.push_back(ZF_Node{ ZF_ARRAY, ZF_FP_C, uint32_t(elements.size()), name, nullptr, nullptr, m_entries.back().data() });
		add(parent, &m_nodes.back());
		return &m_nodes.back();
	}
	// Points every group at its finished child list.
	void finish()
	{
		for (auto& [node, kids] : m_kids)
		{
			node->count = uint32_t(kids.size());
			node->children = kids.data();
		}
	}

private:
	ZF_Node* m_root;
	std::deque<ZF_Node> m_nodes;
	std::unordered_map<ZF_Node*, std::vector<const ZF_Node*>> m_kids;
	std::deque<std::vector<uint32_t>> m_data;
	std::deque<std::vector<ZF_ArrayEntry>> m_entries;
	std::deque<std::string> m_strings;
};

uint32_t bits(float f)
{
	uint32_t w;
	memcpy(&w, &f, 4);
	return w;
}

// A keyed channel of `frames` floats: a held start, a moving stretch, a held end.
std::pair<std::vector<uint32_t>, uint32_t> channel(std::mt19937& random, uint32_t frames)
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
	return { words, frames };
}

std::string build(TreeBuilder& tree, size_t megabytes)
{
	std::mt19937 random(7);
	const uint32_t frames = 1000;
	static const char* const VECTORS[] = { "Position", "Rotation", "Scale" };
	static const char* const SCALARS[] = { "Intensity", "Range", "Opacity" };
	static const char* const KEYS[] = { "Id", "Flags", "Layer", "Mode", "Parent", "Visible", "CastShadow", "Order" };
	ZF_Node* scene = tree.group("Scene");
	tree.add(tree.root(), scene);
	ZF_Node* objects = tree.group("Objects");
	tree.add(scene, objects);
	// 9 channels of 1,000 floats and a few small values: about 37 KB an object.
	const size_t count = megabytes * 1000000 / 37000;
	for (size_t i = 0; i < count; ++i)
	{
		const std::string name = "Object" + std::to_string(i);
		ZF_Node* object = tree.group(tree.keep(name));
		tree.add(objects, object);
		tree.text(object, "Mesh", "Objects/" + name + ".lwo");
		for (uint32_t k = 0; k < 8; ++k)
			tree.value(object, ZF_I4, KEYS[k], { uint32_t(i * 8 + k) }, 1);
		tree.value(object, ZF_FP, "Pivot", { bits(0.5f), bits(-1.25f), bits(2.0f) }, 3);
		for (const char* key : VECTORS)
			tree.channels(object, key, { channel(random, frames), channel(random, frames), channel(random, frames) });
		for (const char* key : SCALARS)
			tree.value(object, ZF_FP_C, key, channel(random, frames).first, frames);
	}
	tree.finish();
	return std::to_string(count) + " objects, " + std::to_string(frames) + " frames";
}

double seconds(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best of 3 plain reads of the whole file into memory.
double plainRead(const std::string& path, size_t size)
{
	std::vector<char> buffer(size);
	double best = 1e30;
	for (int run = 0; run < 3; ++run)
	{
		const auto start = std::chrono::steady_clock::now();
		FILE* file = fopen(path.c_str(), "rb");
		const size_t read = file ? fread(buffer.data(), 1, size, file) : 0;
		if (file)
			fclose(file);
		best = std::min(best, seconds(start));
		if (read != size)
			return -1.0;
	}
	return best;
}

// Best of 3 loads.
double zfLoad(const std::string& path)
{
	double best = 1e30;
	for (int run = 0; run < 3; ++run)
	{
		const auto start = std::chrono::steady_clock::now();
		ZF_Document* document = ZF_Load(path.c_str());
		const double time = seconds(start);
		if (!document)
			return -1.0;
		ZF_Free(document);
		best = std::min(best, time);
	}
	return best;
}

bool report(const char* form, const std::string& path, size_t size, double goalMBs, double goalRatio)
{
	const double load = zfLoad(path);
	const double plain = plainRead(path, size);
	if (load < 0 || plain < 0)
	{
		fprintf(stderr, "zelv-zf-bench: cannot load %s\n", path.c_str());
		return false;
	}
	const double mbs = double(size) / 1e6 / load;
	const double ratio = load / plain;
	const bool met = mbs >= goalMBs && (goalRatio <= 0 || ratio <= goalRatio);
	printf("%-6s %8.1f MB  load %8.2f ms  %8.1f MB/s  plain read %7.2f ms  ratio %5.2fx  goal >= %.0f MB/s", form,
	       double(size) / 1e6, load * 1e3, mbs, plain * 1e3, ratio, goalMBs);
	if (goalRatio > 0)
		printf(", <= %.0fx", goalRatio);
	printf(": %s\n", met ? "met" : "MISSED");
	return true;
}
} // namespace

int main(int argc, char** argv)
{
	const size_t megabytes = argc > 1 ? size_t(std::max(1, atoi(argv[1]))) : 50;
	zeSetLogLevel(EZELL_WARN);
	TreeBuilder tree;
	const std::string shape = build(tree, megabytes);
	std::string binary;
	std::string text;
	if (!ZF_WriteBinary(tree.root(), binary) || !ZF_WriteText(tree.root(), text))
	{
		fprintf(stderr, "zelv-zf-bench: cannot write the documents\n");
		return 1;
	}
	char folder[] = "/tmp/zelv-zf-bench-XXXXXX";
	if (!mkdtemp(folder))
	{
		fprintf(stderr, "zelv-zf-bench: cannot make a temporary folder\n");
		return 1;
	}
	const std::string binaryPath = std::string(folder) + "/scene.zscn";
	const std::string textPath = std::string(folder) + "/scene_text.zscn";
	for (const auto& file : { std::make_pair(binaryPath, &binary), std::make_pair(textPath, &text) })
	{
		FILE* out = fopen(file.first.c_str(), "wb");
		const bool written = out && fwrite(file.second->data(), 1, file.second->size(), out) == file.second->size();
		if (out)
			fclose(out);
		if (!written)
		{
			fprintf(stderr, "zelv-zf-bench: cannot write %s\n", file.first.c_str());
			return 1;
		}
	}
	printf("ZF document: %s\n", shape.c_str());
	const bool ok = report("binary", binaryPath, binary.size(), 300.0, 3.0) && report("text", textPath, text.size(), 50.0, 0.0);
	std::filesystem::remove_all(folder);
	return ok ? 0 : 1;
}
