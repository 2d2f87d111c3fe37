/* Waits for Ctrl-C: says it is ready, then pauses until a signal ends
 * it. Run on a terminal whose Ctrl-C ends it by SIGINT's default. */
#include <unistd.h>

int
main(void)
{
	static const char ready[] = "ready\n";

	if (write(1, ready, sizeof ready - 1) != sizeof ready - 1)
		return 1;
	pause();
	return 1;
}
