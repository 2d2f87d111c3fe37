// Stands in for a program that another one runs: writes each of its
// arguments, its own name first, on a line, and exits with 7.
#include <cstdio>

int
main(int argc, char **argv)
{
	for (int i = 0; i < argc; i++)
		std::printf("%s\n", argv[i]);
	return 7;
}
