// zfwrite: converts a ZF document between its text and binary forms.
//   zfwrite in.zscn out.zscn --text|--binary
#include "scene/ZF.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
	if (argc != 4 || (strcmp(argv[3], "--text") != 0 && strcmp(argv[3], "--binary") != 0))
	{
		fprintf(stderr, "usage: zfwrite in.zscn out.zscn --text|--binary\n");
		return 2;
	}
	ZF_Document* document = ZF_Load(argv[1]);
	if (!document)
	{
		fprintf(stderr, "zfwrite: cannot load '%s'\n", argv[1]);
		return 1;
	}
	const int form = strcmp(argv[3], "--text") == 0 ? ZF_FORM_TEXT : ZF_FORM_BINARY;
	const bool saved = ZF_Save(ZF_GetRoot(document), argv[2], form);
	ZF_Free(document);
	if (!saved)
	{
		fprintf(stderr, "zfwrite: cannot write '%s'\n", argv[2]);
		return 1;
	}
	return 0;
}
