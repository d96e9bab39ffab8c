// A small program for the resource tests: it prints its arguments' count and
// ends with status 7, whatever is appended to its file.
#include <cstdio>

int main(int argc, char**)
{
	printf("probe %d\n", argc);
	return 7;
}
