/*
 * A process that dies while stopped: C1 stops itself; P, once it has seen
 * it stopped, kills it with SIGKILL and reaps it.
 * A faithful trace: C1 stopped, then killed by SIGKILL from P while
 * stopped, reaped by P.
 */
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	int status;
	pid_t pid;

	if ((pid = fork()) < 0)
		die("fork");
	if (pid == 0) {
		(void)kill(getpid(), SIGSTOP);
		_exit(0);
	}
	if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status))
		die("waitpid WUNTRACED");
	say("C1 stopped\n");
	if (kill(pid, SIGKILL) < 0)
		die("kill");
	if (waitpid(pid, &status, 0) != pid)
		die("waitpid");
	sayf("C1 killed by signal %d\n", WIFSIGNALED(status) ?
	    WTERMSIG(status) : 0);
	return 0;
}
