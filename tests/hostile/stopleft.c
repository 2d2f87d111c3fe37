/* A child that stops itself in a process group of its own, which its
 * parent, once it has seen it stopped, leaves: the group is orphaned with
 * a stopped member, and the kernel sends it SIGHUP, then SIGCONT. Under a
 * subreaper in the same session it is not orphaned for the kernel: the
 * tracer must send them. */
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

int
main(void)
{
	int status;
	pid_t pid = fork();

	if (pid < 0)
		return 1;
	if (pid == 0) {
		(void)setpgid(0, 0);
		(void)kill(getpid(), SIGSTOP);
		_exit(0);
	}
	return waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status) ?
	    0 : 1;
}
