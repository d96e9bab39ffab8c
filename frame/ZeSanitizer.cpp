#include "frame/ZeSanitizer.h"

#if defined(__SANITIZE_ADDRESS__)
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace
{
int pinDriver(dl_phdr_info* info, size_t, void*)
{
	// The DRI drivers are the loaded objects named "*_dri.so".
	const char* name = info->dlpi_name;
	if (name && std::strstr(name, "_dri.so"))
		dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
	return 0;
}
} // namespace

void zeKeepGLDriverLoaded()
{
	dl_iterate_phdr(pinDriver, nullptr);
}
#else
void zeKeepGLDriverLoaded()
{
}
#endif
