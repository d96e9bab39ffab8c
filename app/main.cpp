// The zelv executable.
#include "app/ZeRunModes.h"

int main(int argc, char** argv)
{
	SZeRunModes modes = {};
	return zeMain(argc, argv, modes);
}
