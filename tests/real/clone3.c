/*
 * A child made by the clone3(2) system call, as fork would make it
 * (exit_signal SIGCHLD, no shared memory): it writes a line and exits
 * with 7.
 * A faithful trace: C1 made by P, its line, exited with 7, reaped by P.
 */
#include <linux/sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include "corpus.h"

int
main(void)
{
	struct clone_args args = { 0 };
	int status;
	long pid;

	args.exit_signal = SIGCHLD;
	pid = syscall(SYS_clone3, &args, sizeof args);
	if (pid < 0)
		die("clone3");
	if (pid == 0) {
		say("made by clone3\n");
		_exit(7);
	}
	if (waitpid((pid_t)pid, &status, 0) != pid)
		die("waitpid");
	sayf("the child exited with %d\n", WEXITSTATUS(status));
	return 0;
}
