/* A signal from each kind of sender, caught by P: its child sends
 * SIGUSR1 with kill, tgkill, tkill, sigqueue or pidfd_send_signal; P
 * sends it to itself ("self"); a POSIX timer sends it ("timer"), an
 * interval timer SIGALRM ("itimer"); the child's end, SIGCHLD ("child");
 * a write through a null pointer, SIGSEGV ("fault"). P blocks the signal
 * until it waits for it in sigsuspend, so that every run is alike. */
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t got;

static void
caught(int sig)
{
	got = sig;
}

static void
faulted(int sig)
{
	(void)sig;
	_exit(0);
}

/* The child's way to send sig to P, its parent. */
static int
send_to(pid_t p, const char *how, int sig)
{
	union sigval v = {0};

	if (strcmp(how, "kill") == 0)
		return kill(p, sig);
	if (strcmp(how, "tgkill") == 0)
		return (int)syscall(SYS_tgkill, p, p, sig);
	if (strcmp(how, "tkill") == 0)
		return (int)syscall(SYS_tkill, p, sig);
	if (strcmp(how, "sigqueue") == 0)
		return sigqueue(p, sig, v);
	if (strcmp(how, "pidfd") == 0) {
		int fd;

		if ((fd = (int)syscall(SYS_pidfd_open, p, 0)) < 0)
			return -1;
		return (int)syscall(SYS_pidfd_send_signal, fd, sig, NULL, 0);
	}
	return 0;	/* "child": its end alone */
}

/* P's own ways; 1 if how is none of them. */
static int
own(const char *how, int *sig)
{
	struct sigevent ev;
	struct itimerspec soon = {{0, 0}, {0, 1000000}};
	struct itimerval tick = {{0, 0}, {0, 1000}};
	timer_t timer;

	if (strcmp(how, "self") == 0)
		return raise(*sig);
	if (strcmp(how, "timer") == 0) {
		memset(&ev, 0, sizeof ev);
		ev.sigev_notify = SIGEV_SIGNAL;
		ev.sigev_signo = *sig;
		if (timer_create(CLOCK_MONOTONIC, &ev, &timer) != 0)
			return -1;
		return timer_settime(timer, 0, &soon, NULL);
	}
	if (strcmp(how, "itimer") == 0) {
		*sig = SIGALRM;
		return setitimer(ITIMER_REAL, &tick, NULL);
	}
	return 1;
}

int
main(int argc, char **argv)
{
	const char *how = argc > 1 ? argv[1] : "kill";
	int sig = strcmp(how, "child") == 0 ? SIGCHLD : SIGUSR1;
	struct sigaction sa;
	sigset_t block, none;
	pid_t pid, p = getpid();
	int r;

	memset(&sa, 0, sizeof sa);
	if (strcmp(how, "fault") == 0) {
		sa.sa_handler = faulted;
		if (sigaction(SIGSEGV, &sa, NULL) != 0)
			return 1;
		/* cppcheck-suppress nullPointer ; the fault it is for */
		*(volatile int *)NULL = 1;
		return 1;
	}
	sa.sa_handler = caught;
	sigemptyset(&none);
	sigemptyset(&block);
	sigaddset(&block, SIGUSR1);
	sigaddset(&block, SIGALRM);
	sigaddset(&block, SIGCHLD);
	if (sigaction(SIGUSR1, &sa, NULL) != 0 ||
	    sigaction(SIGALRM, &sa, NULL) != 0 ||
	    sigaction(SIGCHLD, &sa, NULL) != 0 ||
	    sigprocmask(SIG_BLOCK, &block, NULL) != 0)
		return 1;
	if ((r = own(how, &sig)) < 0)
		return 1;
	pid = r == 1 ? fork() : -1;
	if (r == 1 && pid < 0)
		return 1;
	if (pid == 0)
		_exit(send_to(p, how, sig) == 0 ? 0 : 1);
	while (got != sig)
		sigsuspend(&none);
	if (pid > 0 && waitpid(pid, &r, 0) != pid)
		return 1;
	return pid > 0 && r != 0;
}
