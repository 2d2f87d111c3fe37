// twinspeak: one fork, and then both processes run the very same code.
// Each writes one line with the number getpid gives it, so the two lines
// differ only in that number; the order of the two is the scheduler's.
#include <unistd.h>

#include "report.h"

int
main(int, char **)
{
	char buffer[80];

	fork();
	report(1, buffer, sizeof buffer, "Soy el proceso %d\n", getpid());
	return 0;
}
