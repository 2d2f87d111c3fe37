/* Sleeps for ever, or for 100 s, in the call argv[1] names, on a pipe
 * of its own that it holds both ends of: "poll" and "select" for up to
 * 100 s, "ppoll" and "epoll" with no limit, "read" on the pipe,
 * "sigtimedwait" for SIGUSR1, "nanosleep" for 100 s. */
#define _GNU_SOURCE
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

static int
wait_on(const char *how, int fd)
{
	struct pollfd p = {fd, POLLIN, 0};
	struct timeval limit = {100, 0};
	struct epoll_event ev;
	fd_set in;
	char c;

	if (strcmp(how, "poll") == 0)
		return poll(&p, 1, 100000);
	if (strcmp(how, "ppoll") == 0)
		return ppoll(&p, 1, NULL, NULL);
	if (strcmp(how, "select") == 0) {
		FD_ZERO(&in);
		FD_SET(fd, &in);
		return select(fd + 1, &in, NULL, NULL, &limit);
	}
	if (strcmp(how, "epoll") == 0) {
		int ep;

		ev.events = EPOLLIN;
		ev.data.fd = fd;
		if ((ep = epoll_create1(0)) < 0 ||
		    epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev) != 0)
			return -1;
		return epoll_wait(ep, &ev, 1, -1);
	}
	return (int)read(fd, &c, 1);
}

int
main(int argc, char **argv)
{
	const char *how = argc > 1 ? argv[1] : "poll";
	struct timespec hundred = {100, 0};
	sigset_t usr1;
	int fds[2];

	if (pipe(fds) != 0)
		return 1;
	if (strcmp(how, "sigtimedwait") == 0) {
		sigemptyset(&usr1);
		sigaddset(&usr1, SIGUSR1);
		if (sigprocmask(SIG_BLOCK, &usr1, NULL) != 0)
			return 1;
		return sigtimedwait(&usr1, NULL, NULL) < 0;
	}
	if (strcmp(how, "nanosleep") == 0)
		return nanosleep(&hundred, NULL) != 0;
	return wait_on(how, fds[0]) < 0;
}
