/*
 * A message through a socket pair: C1 sends "ping" to P, which writes
 * what it received on standard output.
 * A faithful trace: C1's bytes a message to P, not a line; P's one line;
 * C1 exited with 0 and reaped by P.
 */
#include <sys/socket.h>
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	char buf[16] = { 0 };
	int sv[2];
	pid_t pid;

	if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) < 0 || (pid = fork()) < 0)
		die("socketpair");
	if (pid == 0) {
		close(sv[0]);
		if (write(sv[1], "ping\n", 5) != 5)
			_exit(98);
		_exit(0);
	}
	close(sv[1]);
	if (read(sv[0], buf, sizeof buf - 1) < 0)
		die("read");
	if (waitpid(pid, NULL, 0) != pid)
		die("waitpid");
	sayf("P received %s", buf);
	return 0;
}
