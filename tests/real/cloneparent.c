/*
 * clone(CLONE_PARENT): C1 makes C2 as its sibling, a child of P. C2
 * writes its line and exits with 6; C1, once C2 has written, finds it has
 * no child of its own to wait for (ECHILD) and exits with 0; P reaps both.
 * A faithful trace: C2 made by C1 but reaped by P, nobody orphaned, and
 * C1's wait4 failing at once with ECHILD.
 */
#include <errno.h>
#include <linux/sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include "corpus.h"

static void
make_sibling(void)
{
	int done[2];
	char c;
	long pid;

	if (pipe(done) < 0)
		die("pipe");
	pid = syscall(SYS_clone, CLONE_PARENT | SIGCHLD, 0, 0, 0, 0);
	if (pid < 0)
		die("clone");
	if (pid == 0) {
		say("C2 runs, a sibling of C1\n");
		_exit(6);
	}
	close(done[1]);
	while (read(done[0], &c, 1) > 0)
		;
	if (wait(NULL) < 0 && errno == ECHILD)
		say("C1 has no child to wait for\n");
	_exit(0);
}

int
main(void)
{
	int status, sum = 0;
	pid_t c1;

	if ((c1 = fork()) < 0)
		die("fork");
	if (c1 == 0)
		make_sibling();
	for (int i = 0; i < 2; i++) {
		if (wait(&status) < 0)
			die("wait");
		sum += WEXITSTATUS(status);
	}
	sayf("P reaped two children whose statuses add up to %d\n", sum);
	return 0;
}
