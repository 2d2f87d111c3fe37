/*
 * Writes short lines to standard output until a write fails: a signal
 * every 20 ms, its handler set without SA_RESTART, cuts a write that
 * waits for room in a full pipe (EINTR); a pipe no one reads fails the
 * first (EPIPE, and SIGPIPE kills it). Each write is whole or nothing.
 */
#include <signal.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

static void
tick(int sig)
{
	(void)sig;
}

int
main(void)
{
	struct sigaction sa;
	struct itimerval every = {{0, 20000}, {0, 20000}};
	static const char line[] = "a line 42\n";

	memset(&sa, 0, sizeof sa);
	sa.sa_handler = tick;
	if (sigaction(SIGALRM, &sa, NULL) < 0 ||
	    setitimer(ITIMER_REAL, &every, NULL) < 0)
		return 99;
	while (write(1, line, sizeof line - 1) == sizeof line - 1)
		;
	return 0;
}
