/* A signal sent while it is blocked: P blocks SIGTERM, and it is sent
 * SIGTERM by its child ("kill", the default) or by a kernel timer
 * ("timer"), neither of which stops P; once P has waited for the child,
 * or seen the timer's signal pending, it unblocks SIGTERM, whose default
 * action ends it. */
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int
by_timer(void)
{
	struct sigevent ev;
	struct itimerspec soon = {{0, 0}, {0, 1000000}};
	timer_t timer;
	sigset_t pending;

	memset(&ev, 0, sizeof ev);
	ev.sigev_notify = SIGEV_SIGNAL;
	ev.sigev_signo = SIGTERM;
	if (timer_create(CLOCK_MONOTONIC, &ev, &timer) != 0 ||
	    timer_settime(timer, 0, &soon, NULL) != 0)
		return -1;
	do
		if (sigpending(&pending) != 0)
			return -1;
	while (!sigismember(&pending, SIGTERM));
	return 0;
}

static int
by_child(void)
{
	pid_t pid = fork();

	if (pid < 0)
		return -1;
	if (pid == 0)
		_exit(kill(getppid(), SIGTERM) == 0 ? 0 : 1);
	return waitpid(pid, NULL, 0) == pid ? 0 : -1;
}

int
main(int argc, char **argv)
{
	sigset_t term;

	sigemptyset(&term);
	sigaddset(&term, SIGTERM);
	if (sigprocmask(SIG_BLOCK, &term, NULL) != 0)
		return 1;
	if ((argc > 1 && strcmp(argv[1], "timer") == 0 ? by_timer() :
	    by_child()) != 0)
		return 1;
	(void)sigprocmask(SIG_UNBLOCK, &term, NULL);
	return 2;
}
