/*
 * Signalling a process group: P puts its three children in a group of
 * their own and sends the group SIGTERM; each dies of it.
 * A faithful trace: three children, each killed by SIGTERM from P and
 * reaped by P.
 */
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	pid_t group = 0;
	int status, killed = 0;

	for (int i = 0; i < 3; i++) {
		pid_t pid = fork();
		if (pid < 0)
			die("fork");
		if (pid == 0) {
			for (;;)
				pause();
		}
		if (group == 0)
			group = pid;
		if (setpgid(pid, group) < 0)
			die("setpgid");
	}
	if (kill(-group, SIGTERM) < 0)
		die("kill");
	while (wait(&status) > 0)
		killed += WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
	sayf("%d children killed by SIGTERM\n", killed);
	return 0;
}
