/*
 * A number given again: C1 writes its line and is reaped; then, where
 * the kernel lets us (root), P asks for C1's number for its next child
 * through ns_last_pid, and C2 most often gets it. Elsewhere C2 gets a
 * new number, and the run is the same.
 * A faithful trace: two children, each with its own line, exited with 0
 * and reaped by P; C2's line C2's, not C1's.
 */
#include <fcntl.h>
#include <sys/wait.h>

#include "corpus.h"

static pid_t
child(const char *line)
{
	pid_t pid = fork();

	if (pid < 0)
		die("fork");
	if (pid == 0) {
		say(line);
		_exit(0);
	}
	if (waitpid(pid, NULL, 0) != pid)
		die("waitpid");
	return pid;
}

int
main(void)
{
	char last[32];
	int fd, n;
	pid_t pid = child("the first child\n");

	n = snprintf(last, sizeof last, "%d", (int)pid - 1);
	fd = open("/proc/sys/kernel/ns_last_pid", O_WRONLY);
	if (fd >= 0) {
		/* Refused without the privilege: C2 gets a new number. */
		(void)!write(fd, last, (size_t)n);
		close(fd);
	}
	child("the second child\n");
	return 0;
}
