// zesmaatex: writes the morphological antialiasing's lookup textures
// "AreaTexDX9.png" and "SearchTex.png" into a folder (the engine's copies
// live in data/textures).
//   zesmaatex FOLDER
#include "ZeSmaaLookup.h"

#include <cstdio>

int main(int argc, char** argv)
{
	if (argc != 2)
	{
		fprintf(stderr, "usage: zesmaatex FOLDER\n");
		return 2;
	}
	std::string error;
	if (!zesmaa::writeLookupFiles(argv[1], &error))
	{
		fprintf(stderr, "zesmaatex: %s\n", error.c_str());
		return 1;
	}
	return 0;
}
