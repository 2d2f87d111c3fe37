/* A call cut short by a signal whose handler returns. "eintr": SIGCHLD,
 * pending as ppoll lets it in, cuts the ppoll short, which then fails
 * with EINTR. "restart": SIGUSR1, sent by the child once P sleeps in a
 * read of a pipe, cuts the read, which SA_RESTART starts again; the
 * handler tells the child it ran, and once P sleeps in the read again,
 * the child writes the byte P reads. Written sooner, the byte could end
 * the read before the signal cut it short. */
#define _GNU_SOURCE
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "sleeps.h"

static int told[2] = {-1, -1};

static void
noted(int sig)
{
	(void)sig;
	if (told[1] >= 0)
		(void)write(told[1], "!", 1);
}

static int
eintr(void)
{
	struct timespec long_wait = {60, 0};
	sigset_t chld, none, pending;

	sigemptyset(&chld);
	sigaddset(&chld, SIGCHLD);
	sigemptyset(&none);
	(void)signal(SIGCHLD, noted);
	(void)sigprocmask(SIG_BLOCK, &chld, NULL);
	if (fork() == 0)
		_exit(0);
	do
		(void)sigpending(&pending);
	while (!sigismember(&pending, SIGCHLD));
	return ppoll(NULL, 0, &long_wait, &none) == -1 ? 0 : 1;
}

static int
restart(void)
{
	struct sigaction a;
	int fds[2];
	char c;

	memset(&a, 0, sizeof a);
	a.sa_handler = noted;
	a.sa_flags = SA_RESTART;
	if (sigaction(SIGUSR1, &a, NULL) != 0 || pipe(fds) != 0 ||
	    pipe(told) != 0)
		return 1;
	if (fork() == 0) {
		while (!sleeps_in(getppid(), "pipe_read"))
			;
		if (kill(getppid(), SIGUSR1) != 0 || read(told[0], &c, 1) != 1)
			_exit(1);
		while (!sleeps_in(getppid(), "pipe_read"))
			;
		_exit(write(fds[1], "x", 1) == 1 ? 0 : 1);
	}
	return read(fds[0], &c, 1) == 1 ? 0 : 1;
}

int
main(int argc, char **argv)
{
	return argc > 1 && strcmp(argv[1], "restart") == 0 ? restart() :
	    eintr();
}
