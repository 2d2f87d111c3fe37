/* A signal sent while it is blocked: P blocks SIGTERM, and it is sent
 * SIGTERM by its child ("kill", the default) or by a kernel timer
 * ("timer"), neither of which stops P; once P has waited for the child,
 * or seen the timer's signal pending, it unblocks SIGTERM, whose default
 * action ends it. With "setmask", the timer's, let in by setting the
 * whole mask to none. The child sends it only once P sleeps in its wait, so
 * that P is always seen blocked there. Or ("handler") P blocks SIGTERM
 * only in sigsuspend, and its child sends it with sigqueue, which no
 * tracer here stops on, then SIGUSR1, whose handler ends the wait: as
 * the handler returns, SIGTERM is let in. */
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "sleeps.h"

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
	if (pid == 0) {
		while (!sleeps_in(getppid(), "do_wait"))
			;
		_exit(kill(getppid(), SIGTERM) == 0 ? 0 : 1);
	}
	return waitpid(pid, NULL, 0) == pid ? 0 : -1;
}

static void
noted(int sig)
{
	(void)sig;
}

static int
by_queue(void)
{
	union sigval none = {0};
	sigset_t all_but;
	pid_t pid;

	(void)signal(SIGUSR1, noted);
	if ((pid = fork()) < 0)
		return -1;
	if (pid == 0) {
		while (!sleeps_in(getppid(), "sigsuspend"))
			;
		_exit(sigqueue(getppid(), SIGTERM, none) == 0 &&
		    sigqueue(getppid(), SIGUSR1, none) == 0 ? 0 : 1);
	}
	sigfillset(&all_but);
	sigdelset(&all_but, SIGUSR1);
	(void)sigsuspend(&all_but);
	return -1;
}

int
main(int argc, char **argv)
{
	sigset_t term, none;

	if (argc > 1 && strcmp(argv[1], "handler") == 0)
		return by_queue() == 0 ? 0 : 1;
	sigemptyset(&term);
	sigaddset(&term, SIGTERM);
	if (sigprocmask(SIG_BLOCK, &term, NULL) != 0)
		return 1;
	if (argc > 1 && strcmp(argv[1], "setmask") == 0) {
		sigemptyset(&none);
		if (by_timer() != 0)
			return 1;
		(void)sigprocmask(SIG_SETMASK, &none, NULL);
		return 2;
	}
	if ((argc > 1 && strcmp(argv[1], "timer") == 0 ? by_timer() :
	    by_child()) != 0)
		return 1;
	(void)sigprocmask(SIG_UNBLOCK, &term, NULL);
	return 2;
}
