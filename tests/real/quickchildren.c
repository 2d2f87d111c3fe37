/*
 * Thirty children, each writing its line as the first thing it does
 * after fork, then exiting at once: a child's first events can reach a
 * tracer before its parent's fork does.
 * A faithful trace: thirty children, each with its own line (lines in the
 * scheduler's order), each exited with 0 and reaped by P.
 */
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	int n = 0;

	for (int i = 1; i <= 30; i++) {
		pid_t pid = fork();
		if (pid < 0)
			die("fork");
		if (pid == 0) {
			sayf("child %d\n", i);
			_exit(0);
		}
	}
	while (wait(NULL) > 0)
		n++;
	sayf("P reaped %d children\n", n);
	return 0;
}
