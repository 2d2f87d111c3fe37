/*
 * A child known only by its pidfd: the parent opens it with pidfd_open,
 * sends it SIGTERM with pidfd_send_signal, polls the descriptor until the
 * child has ended and reaps it with waitid(P_PIDFD).
 * A faithful trace: C1 killed by SIGTERM from P, reaped by P.
 */
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include "corpus.h"

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

int
main(void)
{
	struct pollfd ready;
	siginfo_t si;
	pid_t pid;
	int fd;

	if ((pid = fork()) < 0)
		die("fork");
	if (pid == 0) {
		for (;;)
			pause();
	}
	if ((fd = (int)syscall(SYS_pidfd_open, pid, 0)) < 0)
		die("pidfd_open");
	if (syscall(SYS_pidfd_send_signal, fd, SIGTERM, NULL, 0) < 0)
		die("pidfd_send_signal");
	ready.fd = fd;
	ready.events = POLLIN;
	if (poll(&ready, 1, -1) != 1)
		die("poll");
	if (waitid((idtype_t)P_PIDFD, (id_t)fd, &si, WEXITED) < 0)
		die("waitid P_PIDFD");
	sayf("the child was %s by signal %d\n",
	    si.si_code == CLD_KILLED ? "killed" : "not killed", si.si_status);
	return 0;
}
