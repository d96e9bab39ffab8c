// libFuzzer target for the LightWave rewriting and checking that come before
// the import library: any input, read as an LWOB or LWO2 file. A rewritten
// file must be one the rewriting then leaves as it is.
#include "libext/ZeLwoUpgrade.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	// As it is, and behind a form header of each version.
	const std::string raw(reinterpret_cast<const char*>(data), size);
	const std::string header("FORM\xff\xff\xff\xff", 8);
	for (const std::string& input : {raw, header + "LWOB" + raw, header + "LWO2" + raw})
	{
		std::string out;
		if (ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(input.data()), input.size(), &out) !=
			ze::ELU_REWRITTEN)
			continue;
		std::string again;
		if (ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(out.data()), out.size(), &again) !=
			ze::ELU_UNCHANGED)
			std::abort();
	}
	return 0;
}
