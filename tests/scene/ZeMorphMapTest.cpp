// Morph-map files: generated files read back, malformed files refused.
#include "scene/ZeMorphMapFile.h"

#include "frame/ZeLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace irr;

namespace
{
	struct Morph
	{
		std::string Name;
		std::vector<u32> Indices;
		std::vector<f32> First;   // 3 per point
		std::vector<f32> Second;  // 3 per point
	};

	// Writes big-endian IFF bytes.
	struct IffWriter
	{
		std::vector<u8> Bytes;

		void u4(u32 v)
		{
			for (int s = 24; s >= 0; s -= 8)
				Bytes.push_back((u8)(v >> s));
		}
		void f4(f32 f)
		{
			u32 v;
			memcpy(&v, &f, 4);
			u4(v);
		}
		void id(const char* four) { Bytes.insert(Bytes.end(), four, four + 4); }
		size_t begin(const char* four)
		{
			id(four);
			u4(0);
			return Bytes.size();
		}
		void end(size_t start)
		{
			const u32 size = (u32)(Bytes.size() - start);
			for (int k = 0; k < 4; ++k)
				Bytes[start - 4 + k] = (u8)(size >> (24 - 8 * k));
		}
	};

	// Options that make a file malformed on purpose.
	struct Faults
	{
		const char* Form = "FORM";
		const char* Type = "ZMOR";
		const char* Vmor = "VMOR";
		const char* NameId = "NAME";
		const char* Mmap = "MMAP";
		long MaxPointsDelta = 0;
		u32 MorphCountOverride = 0;
		u32 NameSizeExtra = 0;  // added to the NAME size only
	};

	std::vector<u8> makeMorphFile(const std::vector<Morph>& morphs, const Faults& f = Faults())
	{
		IffWriter w;
		const size_t form = w.begin(f.Form);
		w.id(f.Type);
		size_t maxPoints = 0;
		for (const Morph& m : morphs)
			maxPoints = std::max(maxPoints, m.Indices.size());
		w.u4(f.MorphCountOverride ? f.MorphCountOverride : (u32)morphs.size());
		w.u4((u32)((long)maxPoints + f.MaxPointsDelta));
		for (const Morph& m : morphs)
		{
			const size_t vmor = w.begin(f.Vmor);
			const size_t name = w.begin(f.NameId);
			w.Bytes.insert(w.Bytes.end(), m.Name.begin(), m.Name.end());
			w.Bytes.push_back(0);
			w.Bytes.push_back('x');  // ignored bytes after the NUL; odd size
			w.end(name);
			if (f.NameSizeExtra)
			{
				const u32 size = (u32)(w.Bytes.size() - name) + f.NameSizeExtra;
				for (int k = 0; k < 4; ++k)
					w.Bytes[name - 4 + k] = (u8)(size >> (24 - 8 * k));
			}
			const size_t mmap = w.begin(f.Mmap);
			w.u4((u32)m.Indices.size());
			for (u32 i : m.Indices)
				w.u4(i);
			for (f32 v : m.First)
				w.f4(v);
			for (f32 v : m.Second)
				w.f4(v);
			w.end(mmap);
			const size_t extra = w.begin("XTRA");  // skipped by the reader
			w.u4(0xDEADBEEF);
			w.end(extra);
			w.end(vmor);
		}
		w.end(form);
		return w.Bytes;
	}

	std::vector<Morph> sampleMorphs()
	{
		std::vector<Morph> morphs(3);
		morphs[0].Name = "smile";
		morphs[0].Indices = {0, 4, 9};
		morphs[1].Name = "empty";
		morphs[2].Name = "blink_left";
		morphs[2].Indices = {2, 3, 70000, 70001, 123456789};
		float seed = 0.25f;
		for (Morph& m : morphs)
			for (size_t i = 0; i < m.Indices.size() * 3; ++i)
			{
				seed = seed * -1.37f + 0.11f;
				m.First.push_back(seed);
				m.Second.push_back(-seed * 0.5f);
			}
		return morphs;
	}

	// Opens and reads every morph; the first error text, or "" when all read.
	std::string readAll(const std::vector<u8>& bytes, std::vector<Morph>* out = 0)
	{
		io::IReadFile* file = zeCreateMemoryReadFile(bytes.data(), (long)bytes.size(), "test.zmorph");
		CZeLWZMorphReader reader;
		const bool opened = reader.open(file);
		file->drop();
		if (!opened)
			return reader.getError().empty() ? std::string("<open failed without text>") : reader.getError().c_str();
		for (s32 k = 0; k < reader.getMorphCount(); ++k)
		{
			if (!reader.readNext())
				return reader.getError().empty() ? std::string("<read failed without text>") : reader.getError().c_str();
			if (out)
			{
				Morph m;
				m.Name = reader.getName();
				const u32 n = reader.getNumPoints();
				m.Indices.assign(reader.getPointIndices(), reader.getPointIndices() + n);
				m.First.assign(reader.getFirstVectors(), reader.getFirstVectors() + 3 * n);
				m.Second.assign(reader.getSecondVectors(), reader.getSecondVectors() + 3 * n);
				out->push_back(m);
			}
		}
		EXPECT_FALSE(reader.readNext());
		EXPECT_TRUE(reader.getError().empty());
		reader.endForm();
		EXPECT_TRUE(reader.close());
		return "";
	}

	std::vector<std::string> g_lines;
	void captureLine(const char* line) { g_lines.push_back(line); }
}

TEST(ZeMorphMapFile, GeneratedFilesReadBackExactly)
{
	const std::vector<Morph> morphs = sampleMorphs();
	std::vector<Morph> read;
	g_lines.clear();
	const int level = zeGetLogLevel();
	zeSetLogLevel(EZELL_DEBUG);
	zeSetLogSink(captureLine);
	EXPECT_EQ("", readAll(makeMorphFile(morphs), &read));
	zeSetLogSink(0);
	zeSetLogLevel(level);

	ASSERT_EQ(morphs.size(), read.size());
	for (size_t k = 0; k < morphs.size(); ++k)
	{
		EXPECT_EQ(morphs[k].Name, read[k].Name);
		EXPECT_EQ(morphs[k].Indices, read[k].Indices);
		ASSERT_EQ(morphs[k].First.size(), read[k].First.size());
		// Bit for bit.
		for (size_t i = 0; i < morphs[k].First.size(); ++i)
		{
			EXPECT_EQ(0, memcmp(&morphs[k].First[i], &read[k].First[i], 4));
			EXPECT_EQ(0, memcmp(&morphs[k].Second[i], &read[k].Second[i], 4));
		}
	}
	std::string log;
	for (const std::string& l : g_lines)
		log += l;
	EXPECT_NE(std::string::npos, log.find("morph_count = 3, max_points = 5"));
	EXPECT_NE(std::string::npos, log.find("Morph 2: Name='blink_left' NumPoints=5"));
}

TEST(ZeMorphMapFile, ZeroMorphsAndFileLayer)
{
	EXPECT_EQ("", readAll(makeMorphFile({})));

	// The same bytes through a named file.
	const std::vector<u8> bytes = makeMorphFile(sampleMorphs());
	const std::string path = testing::TempDir() + "zelv_morph_test.zmorph";
	FILE* f = fopen(path.c_str(), "wb");
	ASSERT_TRUE(f);
	fwrite(bytes.data(), 1, bytes.size(), f);
	fclose(f);
	CZeLWZMorphReader reader;
	ASSERT_TRUE(reader.openFile(path.c_str()));
	EXPECT_EQ(3, reader.getMorphCount());
	ASSERT_TRUE(reader.readNext());
	EXPECT_STREQ("smile", reader.getName());
	EXPECT_FALSE(reader.open(0));  // already open
	reader.close();
	remove(path.c_str());
	EXPECT_FALSE(reader.openFile(path.c_str()));
	EXPECT_STREQ("Failed to open Lightwave Load", reader.getError().c_str());
}

TEST(ZeMorphMapFile, MalformedFilesRefusedWithTheirMessage)
{
	const std::vector<Morph> good = sampleMorphs();
	struct Case
	{
		const char* What;
		Faults F;
		std::vector<Morph> Morphs;
		const char* Message;
	};
	std::vector<Case> cases;
	auto add = [&](const char* what, Faults f, const char* message, std::vector<Morph> morphs) {
		cases.push_back(Case{what, f, morphs, message});
	};
	Faults f;
	f = Faults(); f.Form = "LIST"; add("form id", f, "ID_FORM not found", good);
	f = Faults(); f.Type = "ILBM"; add("form type", f, "ID_ZMOR not found", good);
	f = Faults(); f.Vmor = "VMAP"; add("vmor id", f, "ID_VMOR not found", good);
	f = Faults(); f.NameId = "NAM2"; add("name id", f, "ID_NAME not found", good);
	f = Faults(); f.Mmap = "MMAQ"; add("mmap id", f, "ID_MMAP not found", good);
	f = Faults(); f.MaxPointsDelta = -1; add("points above max", f, "NumPoints exceeds max_points", good);
	f = Faults(); f.MaxPointsDelta = 100000; add("max too big", f, "max_points cannot fit the file", good);
	f = Faults(); f.MorphCountOverride = 0x10000000; add("count too big", f, "morph_count cannot fit the file", good);
	f = Faults(); f.NameSizeExtra = 1000; add("child past parent", f, "chunk ends after its parent", good);

	std::vector<Morph> longName = good;
	longName[1].Name = std::string(128, 'n');
	add("long name", Faults(), "string longer than 127 characters", longName);
	std::vector<Morph> named127 = good;
	named127[1].Name = std::string(127, 'n');
	add("127 characters fit", Faults(), "", named127);
	std::vector<Morph> descending = good;
	std::swap(descending[2].Indices[1], descending[2].Indices[2]);
	add("descending", Faults(), "point indices do not ascend", descending);
	std::vector<Morph> repeated = good;
	repeated[0].Indices[1] = repeated[0].Indices[0];
	add("repeated", Faults(), "point indices do not ascend", repeated);

	for (const Case& c : cases)
		EXPECT_EQ(c.Message, readAll(makeMorphFile(c.Morphs, c.F))) << c.What;

	// An MMAP that claims more points than its chunk holds.
	std::vector<u8> bytes = makeMorphFile(good);
	const size_t firstCount = 20 + 8 + 8 + 7 + 8;  // FORM header, type and counts; VMOR; NAME "smile\0x"; MMAP header
	ASSERT_EQ(3u, bytes[firstCount + 3]);
	bytes[firstCount + 3] = 4;
	EXPECT_EQ("read past the end of the chunk", readAll(bytes));
}

TEST(ZeMorphMapFile, EveryTruncationRefused)
{
	const std::vector<u8> bytes = makeMorphFile(sampleMorphs());
	for (size_t n = 0; n < bytes.size(); ++n)
	{
		const std::vector<u8> cut(bytes.begin(), bytes.begin() + (long)n);
		const std::string error = readAll(cut);
		EXPECT_FALSE(error.empty()) << n;
		EXPECT_EQ(std::string::npos, error.find("without text")) << n;
	}
}

TEST(ZeMorphMapFile, ChunkNestingAndStrings)
{
	IffWriter w;
	std::vector<size_t> open;
	for (int d = 0; d < 40; ++d)
		open.push_back(w.begin("NEST"));
	w.Bytes.insert(w.Bytes.end(), {'a', 'b', 0, 'c'});
	for (size_t k = open.size(); k-- > 0;)
		w.end(open[k]);
	io::IReadFile* file = zeCreateMemoryReadFile(w.Bytes.data(), (long)w.Bytes.size(), "nest");
	CZeIffChunkReader chunks;
	ASSERT_TRUE(chunks.open(file));
	EXPECT_FALSE(chunks.open(file));
	file->drop();
	for (u32 d = 0; d < ZE_IFF_MAX_DEPTH; ++d)
		ASSERT_EQ(CZeIffChunkReader::makeId("NEST"), chunks.beginChunk()) << d;
	EXPECT_EQ(ZE_IFF_MAX_DEPTH, chunks.getDepth());
	EXPECT_EQ(0u, chunks.beginChunk());
	EXPECT_STREQ("chunks nested deeper than 32 levels", chunks.getError().c_str());
	chunks.close();

	// A string cut by its chunk's end, and one that fits.
	IffWriter s;
	size_t c = s.begin("STR1");
	s.Bytes.insert(s.Bytes.end(), {'a', 'b', 'c'});
	s.end(c);
	c = s.begin("STR2");
	s.Bytes.insert(s.Bytes.end(), {'h', 'i', 0});
	s.end(c);
	file = zeCreateMemoryReadFile(s.Bytes.data(), (long)s.Bytes.size(), "str");
	ASSERT_TRUE(chunks.open(file));
	file->drop();
	char text[16];
	EXPECT_EQ(CZeIffChunkReader::makeId("STR1"), chunks.beginChunk());
	chunks.readString(text, sizeof(text));
	EXPECT_STREQ("read past the end of the chunk", chunks.getError().c_str());
	chunks.close();
	file = zeCreateMemoryReadFile(s.Bytes.data() + 11, (long)s.Bytes.size() - 11, "str2");
	ASSERT_TRUE(chunks.open(file));
	file->drop();
	EXPECT_EQ(CZeIffChunkReader::makeId("STR2"), chunks.beginChunk());
	EXPECT_EQ(2u, chunks.readString(text, sizeof(text)));
	EXPECT_STREQ("hi", text);
	EXPECT_FALSE(chunks.hasError());
}
