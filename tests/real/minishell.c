/*
 * A mini shell running "echo hola mundo | tr a-z A-Z": a pipe, two
 * children that put it on their descriptors 1 and 0 and exec the two
 * programs, and a parent that waits for both.
 * A faithful trace: echo's words go through the pipe to tr, a message
 * between the two children, not a line of the run; tr writes
 * "HOLA MUNDO"; both exit with 0, reaped by P.
 */
#include <sys/wait.h>

#include "corpus.h"

static pid_t
start(char *const argv[], int from, int to, const int p[2])
{
	pid_t pid = fork();

	if (pid < 0)
		die("fork");
	if (pid == 0) {
		if (from >= 0)
			dup2(from, 0);
		if (to >= 0)
			dup2(to, 1);
		close(p[0]);
		close(p[1]);
		execv(argv[0], argv);
		die("execv");
	}
	return pid;
}

int
main(void)
{
	char *const echo[] = { "/bin/echo", "hola", "mundo", NULL };
	char *const tr[] = { "/usr/bin/tr", "a-z", "A-Z", NULL };
	int p[2], status;

	if (pipe(p) < 0)
		die("pipe");
	start(echo, -1, p[1], p);
	start(tr, p[0], -1, p);
	close(p[0]);
	close(p[1]);
	for (int i = 0; i < 2; i++)
		if (wait(&status) < 0 || !WIFEXITED(status) ||
		    WEXITSTATUS(status) != 0)
			die("wait");
	say("both done\n");
	return 0;
}
