/*
 * Children reaped by the kernel: with SIGCHLD ignored, a child that exits
 * never becomes a zombie, and P's wait blocks until no child is left,
 * then fails with ECHILD.
 * A faithful trace: C1 exited with 4 and reaped by no process of the run;
 * P's wait failing with ECHILD.
 */
#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	pid_t pid;

	if (signal(SIGCHLD, SIG_IGN) == SIG_ERR)
		die("signal");
	if ((pid = fork()) < 0)
		die("fork");
	if (pid == 0)
		_exit(4);
	if (wait(NULL) < 0 && errno == ECHILD)
		say("no child left to wait for\n");
	return 0;
}
