/* A child that no tracer can follow (CLONE_UNTRACED) outlives its
 * parent, and so is handed to the subreaper, which never saw it stop.
 * It waits until its parent has ended, then up to a second for its new
 * parent to end too: a tracer that ends the run with this child still
 * alive is found out at once. It calls nothing a tracer's filter would
 * stop on: untraced, such a call fails. It shares its parent's
 * descriptors, which the parent closes, so that no end of output waits
 * for it. */
#define _GNU_SOURCE
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

/* Whether pid ends within ms (-1: however long it takes). */
static int
ended(pid_t pid, int ms)
{
	struct pollfd fd;

	fd.fd = (int)syscall(SYS_pidfd_open, pid, 0);
	fd.events = POLLIN;
	return fd.fd < 0 || syscall(SYS_poll, &fd, 1, ms) == 1;
}

int
main(void)
{
	pid_t parent = getpid();
	long pid = syscall(SYS_clone, CLONE_UNTRACED | CLONE_FILES | SIGCHLD,
	    0, 0, 0, 0);

	if (pid < 0)
		return 1;
	if (pid > 0) {
		for (int fd = 0; fd < 3; fd++)
			close(fd);
		return 0;
	}
	(void)ended(parent, -1);
	_exit(ended(getppid(), 1000) ? 2 : 0);
}
