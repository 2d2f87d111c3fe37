/*
 * A daemon made the classic way: C1 starts a session of its own, forks
 * C2 and exits at once; P reaps C1. C2, once C1 is gone, writes its line
 * and exits, an orphan outside P's session and group.
 * A faithful trace: C1 exited with 0 and reaped by P; C2 made by C1, its
 * line, exited with 0 and reaped outside the run; the run ends only after
 * C2 does.
 */
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	int parent_gone[2], status;
	pid_t c1;
	char c;

	if (pipe(parent_gone) < 0 || (c1 = fork()) < 0)
		die("fork");
	if (c1 == 0) {
		pid_t c2;
		if (setsid() < 0 || (c2 = fork()) < 0)
			die("setsid");
		if (c2 == 0) {
			close(parent_gone[1]);
			while (read(parent_gone[0], &c, 1) > 0)
				;
			say("the daemon runs on\n");
			_exit(0);
		}
		_exit(0);
	}
	close(parent_gone[0]);
	close(parent_gone[1]);
	if (waitpid(c1, &status, 0) != c1)
		die("waitpid");
	sayf("C1 exited with %d\n", WEXITSTATUS(status));
	return 0;
}
