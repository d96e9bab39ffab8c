// libFuzzer target for morph maps (".zmorph"): the input is opened from memory
// and read morph by morph, past refused ones, every point of every morph
// touched, then the FORM chunk is ended and the reader closed, as the
// morph-mesh loader does.
#include "frame/ZeLog.h"
#include "scene/ZeMorphMapFile.h"

#include <cstdint>
#include <cstring>

namespace
{
using namespace irr;

void quiet(const char*)
{
}

volatile f32 g_sink = 0.0f;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	io::IReadFile* file = zeCreateMemoryReadFile(data, static_cast<long>(size), "fuzz.zmorph");
	CZeLWZMorphReader reader;
	if (reader.open(file))
	{
		f32 sum = static_cast<f32>(reader.getMorphCount());
		for (;;)
		{
			// A refused morph is passed as the loader passes it.
			if (!reader.readNext())
			{
				if (reader.canReadOn())
					continue;
				break;
			}
			sum += static_cast<f32>(strlen(reader.getName()));
			const u32 points = reader.getNumPoints();
			for (u32 i = 0; i < points; ++i)
			{
				sum += static_cast<f32>(reader.getPointIndices()[i]);
				for (u32 k = 0; k < 3; ++k)
					sum += reader.getFirstVectors()[i * 3 + k] + reader.getSecondVectors()[i * 3 + k];
			}
		}
		reader.endForm();
		g_sink = g_sink + sum;
	}
	reader.close();
	file->drop();
	return 0;
}
