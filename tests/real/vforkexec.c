/*
 * vfork(2) then exec: the parent is suspended until its child has
 * execed echo, then waits for it.
 * A faithful trace: C1 made by vfork, its exec /bin/echo with its argv,
 * its line, exited with 0 and reaped by P.
 */
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	int status;
	/* NOLINTNEXTLINE(clang-analyzer-security.insecureAPI.vfork): the case */
	pid_t pid = vfork();	/* cppcheck-suppress vforkCalled ; the case */

	if (pid < 0)
		die("vfork");
	if (pid == 0) {
		execl("/bin/echo", "echo", "from", "vfork", (char *)NULL);
		_exit(127);
	}
	if (waitpid(pid, &status, 0) != pid)
		die("waitpid");
	sayf("the child exited with %d\n", WEXITSTATUS(status));
	return 0;
}
