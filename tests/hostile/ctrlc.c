/* Waits for Ctrl-C: makes a child that ignores SIGINT, and that dies with
 * its parent (PR_SET_PDEATHSIG); the child says it is ready, then both
 * pause until a signal ends them. Run on a terminal whose Ctrl-C ends P
 * by SIGINT's default. */
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

int
main(void)
{
	static const char ready[] = "ready\n";
	pid_t parent = getpid(), pid = fork();

	if (pid < 0)
		return 1;
	if (pid == 0) {
		if (signal(SIGINT, SIG_IGN) == SIG_ERR ||
		    prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 ||
		    getppid() != parent ||
		    write(1, ready, sizeof ready - 1) != sizeof ready - 1)
			_exit(1);
	}
	for (;;)
		pause();
}
