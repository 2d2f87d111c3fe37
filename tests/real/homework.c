/*
 * A student's fork homework: three children exec echo, false and a
 * program that does not exist (looked up on PATH); the one whose exec
 * failed says so and exits with 127; the parent waits for each in turn
 * and reports how it ended.
 * A faithful trace: C1's exec of echo, C2's of false, C3's failing;
 * statuses 0, 1 and 127, each reaped by P.
 */
#include <errno.h>
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	char *const programs[3][3] = {
		{ "echo", "hola", NULL },
		{ "false", NULL, NULL },
		{ "no-such-program-here", NULL, NULL },
	};
	pid_t child[3];
	int status;

	for (int i = 0; i < 3; i++) {
		if ((child[i] = fork()) < 0)
			die("fork");
		if (child[i] == 0) {
			execvp(programs[i][0], programs[i]);
			sayf("cannot run %s: %s\n", programs[i][0],
			    strerror(errno));
			_exit(127);
		}
		if (waitpid(child[i], &status, 0) != child[i])
			die("waitpid");
		sayf("child %d exited with %d\n", i + 1, WEXITSTATUS(status));
	}
	return 0;
}
