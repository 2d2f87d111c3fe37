/* Waits with ppoll as argv[1] says, an alarm armed: "pause", no
 * descriptor and no time limit, as a C library's pause(); "mask", the
 * same with a signal mask, as sigsuspend; "fds", a descriptor and a
 * time limit, which is no wait for a signal. And "libc": pause() itself,
 * whichever call the C library makes of it. */
#define _GNU_SOURCE
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static void
rang(int sig)
{
	(void)sig;
}

int
main(int argc, char **argv)
{
	const char *how = argc > 1 ? argv[1] : "pause";
	sigset_t alrm, none;
	int fds[2];

	sigemptyset(&alrm);
	sigaddset(&alrm, SIGALRM);
	sigemptyset(&none);
	if (signal(SIGALRM, rang) == SIG_ERR || pipe(fds) != 0)
		return 1;
	alarm(5);
	if (strcmp(how, "pause") == 0) {
		syscall(SYS_ppoll, NULL, 0, NULL, NULL, 8);
	} else if (strcmp(how, "mask") == 0) {
		sigprocmask(SIG_BLOCK, &alrm, NULL);
		syscall(SYS_ppoll, NULL, 0, NULL, &none, 8);
	} else if (strcmp(how, "fds") == 0) {
		struct pollfd p = {fds[0], POLLIN, 0};
		struct timespec soon = {0, 1000000};
		if (ppoll(&p, 1, &soon, NULL) != 0)
			return 1;
		alarm(0);
	} else {
		pause();
	}
	return 0;
}
