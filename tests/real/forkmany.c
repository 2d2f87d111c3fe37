/*
 * Many processes, one after another: 2000 children, each exiting at once
 * and reaped before the next is made, so that numbers are used and freed
 * in quick succession.
 * A faithful trace: 2000 children, each exited with 0 and reaped by P,
 * none taken for an orphan.
 */
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	int status;

	for (int i = 0; i < 2000; i++) {
		pid_t pid = fork();
		if (pid < 0)
			die("fork");
		if (pid == 0)
			_exit(0);
		if (waitpid(pid, &status, 0) != pid)
			die("waitpid");
	}
	say("2000 children made and reaped\n");
	return 0;
}
