/*
 * A child that stops and is continued while its parent waits for it:
 * the parent sees it stopped (WUNTRACED), sends SIGCONT, sees it continued
 * (WCONTINUED), lets it go on, and reaps it once it exits with 5.
 * A faithful trace: C1 stopped and continued, not ended, until it exits
 * with 5; reaped by P once.
 */
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	int go[2], status;
	pid_t pid;
	char c;

	if (pipe(go) < 0)
		die("pipe");
	if ((pid = fork()) < 0)
		die("fork");
	if (pid == 0) {
		close(go[1]);
		(void)kill(getpid(), SIGSTOP);
		if (read(go[0], &c, 1) != 0)
			_exit(98);
		say("C1 goes on\n");
		_exit(5);
	}
	close(go[0]);
	if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status))
		die("waitpid WUNTRACED");
	sayf("C1 stopped by signal %d\n", WSTOPSIG(status));
	if (kill(pid, SIGCONT) < 0)
		die("kill");
	if (waitpid(pid, &status, WCONTINUED) != pid || !WIFCONTINUED(status))
		die("waitpid WCONTINUED");
	say("C1 continued\n");
	close(go[1]);
	if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
		die("waitpid");
	sayf("C1 exited with %d\n", WEXITSTATUS(status));
	return 0;
}
