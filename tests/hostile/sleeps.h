/* Whether a process sleeps where a test waits for it to: a program of
 * tests/hostile acts only once another process is asleep in a call. */
#ifndef SLEEPS_H
#define SLEEPS_H

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

/* Whether pid sleeps in the kernel function named so (or so named with a
 * compiler's suffix), as /proc/PID/wchan tells. */
static inline int
sleeps_in(pid_t pid, const char *function)
{
	char path[64], in[64];
	int fd;
	ssize_t n;

	(void)snprintf(path, sizeof path, "/proc/%d/wchan", (int)pid);
	if ((fd = open(path, O_RDONLY)) < 0)
		return 0;
	n = read(fd, in, sizeof in - 1);
	(void)close(fd);
	return n > 0 && (in[n] = '\0', strstr(in, function) != NULL);
}

#endif
