/*
 * A wait restarted after a handler: P blocks in waitpid; C1 sends it
 * SIGUSR1, whose handler (SA_RESTART) tells C1 to exit; the kernel
 * restarts P's waitpid, which returns C1 as if never interrupted.
 * C1 signals only once P sleeps, which is in waitpid: P makes no other
 * call that can block.
 * A faithful trace: P's wait interrupted by SIGUSR1 and restarted (never
 * failing with EINTR), C1 exited with 0 and reaped by P.
 */
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include "corpus.h"

static int tell[2];

static void
on_usr1(int sig)
{
	(void)sig;
	close(tell[1]);
}

/* Whether the parent sleeps, from the state in /proc/PID/stat. */
static int
parent_sleeps(const char *stat)
{
	char buf[512], *paren;
	ssize_t n;
	int fd = open(stat, O_RDONLY);

	if (fd < 0)
		return 0;
	n = read(fd, buf, sizeof buf - 1);
	close(fd);
	if (n <= 0)
		return 0;
	buf[n] = '\0';
	paren = strrchr(buf, ')');
	return paren && paren[1] == ' ' && paren[2] == 'S';
}

int
main(void)
{
	struct sigaction sa = { 0 };
	int status;
	pid_t pid;
	char c;

	sa.sa_handler = on_usr1;
	sa.sa_flags = SA_RESTART;
	if (sigaction(SIGUSR1, &sa, NULL) < 0 || pipe(tell) < 0)
		die("sigaction");
	if ((pid = fork()) < 0)
		die("fork");
	if (pid == 0) {
		struct timespec ms = { 0, 1000000 };
		char stat[64];
		format(stat, sizeof stat, "/proc/%d/stat", (int)getppid());
		close(tell[1]);
		while (!parent_sleeps(stat))
			nanosleep(&ms, NULL);
		kill(getppid(), SIGUSR1);
		if (read(tell[0], &c, 1) != 0)
			_exit(98);
		_exit(0);
	}
	close(tell[0]);
	if (waitpid(pid, &status, 0) != pid)
		die("waitpid");
	sayf("waitpid returned the child, which exited with %d\n",
	    WEXITSTATUS(status));
	return 0;
}
