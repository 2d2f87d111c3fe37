/*
 * A parent that SIGKILLs a child while the child forks: twenty times, C
 * forks grandchildren that exit at once, as fast as it can, and P kills
 * C as soon as it has made its first. A grandchild may be half made when
 * C dies; the orphans go to the subreaper.
 * A faithful trace: twenty children killed by SIGKILL and reaped by P,
 * each with some grandchildren (the scheduler's number), exited with 0
 * and reaped outside the run; and trace itself ends normally.
 */
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

static void
fork_forever(int started)
{
	for (int made = 0;; made++) {
		pid_t pid;
		/* Enough to be forking when killed; not so many that
		 * orphans waiting to be reaped use up the process numbers. */
		if (made == 64)
			pause();
		pid = fork();
		if (pid == 0)
			_exit(0);
		if (made == 0 && write(started, "x", 1) != 1)
			_exit(98);
	}
}

int
main(void)
{
	int started[2], status;
	char c;

	for (int round = 0; round < 20; round++) {
		pid_t pid;
		if (pipe(started) < 0 || (pid = fork()) < 0)
			die("fork");
		if (pid == 0) {
			close(started[0]);
			fork_forever(started[1]);
		}
		close(started[1]);
		if (read(started[0], &c, 1) != 1)
			die("read");
		kill(pid, SIGKILL);
		if (waitpid(pid, &status, 0) != pid || !WIFSIGNALED(status))
			die("waitpid");
		close(started[0]);
	}
	say("killed twenty forkers\n");
	return 0;
}
