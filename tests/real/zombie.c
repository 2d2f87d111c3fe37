/*
 * A zombie left behind: C1 writes its line and exits; P waits until C1
 * has closed its end of a pipe, then exits without reaping it.
 * A faithful trace: C1 exited with 0 and reaped outside the run (by the
 * subreaper), P exited with 0.
 */
#include "corpus.h"

int
main(void)
{
	int gone[2];
	pid_t pid;
	char c;

	if (pipe(gone) < 0 || (pid = fork()) < 0)
		die("fork");
	if (pid == 0) {
		close(gone[0]);
		say("C1 exits unreaped\n");
		_exit(0);
	}
	close(gone[1]);
	while (read(gone[0], &c, 1) > 0)
		;
	say("P leaves C1 to others\n");
	return 0;
}
