/*
 * Reaping in a SIGCHLD handler, as a student's shell does: three children
 * exit with 1, 2 and 3; P sleeps in sigsuspend, and its handler reaps
 * whatever has ended with waitpid(WNOHANG) until all three are in.
 * A faithful trace: three children reaped by P, from the handler; the
 * statuses summed to 6.
 */
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

static volatile sig_atomic_t reaped, sum;

static void
on_chld(int sig)
{
	int status;

	(void)sig;
	while (waitpid(-1, &status, WNOHANG) > 0) {
		reaped++;
		sum += WEXITSTATUS(status);
	}
}

int
main(void)
{
	struct sigaction sa = { 0 };
	sigset_t chld, old;

	sa.sa_handler = on_chld;
	sigemptyset(&chld);
	sigaddset(&chld, SIGCHLD);
	sigprocmask(SIG_BLOCK, &chld, &old);
	if (sigaction(SIGCHLD, &sa, NULL) < 0)
		die("sigaction");
	for (int i = 1; i <= 3; i++) {
		pid_t pid = fork();
		if (pid < 0)
			die("fork");
		if (pid == 0)
			_exit(i);
	}
	while (reaped < 3)
		sigsuspend(&old);
	sayf("reaped 3 children, statuses summing to %d\n", (int)sum);
	return 0;
}
