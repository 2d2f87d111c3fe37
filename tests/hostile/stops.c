/* A child stops itself by a job-control signal, STOP, TSTP, TTIN or TTOU
 * (the first argument), in a process group of its own whose parent's
 * group is another of the same session; P waits until it has stopped,
 * continues it with SIGCONT and reaps it. With "orphaned" as second
 * argument, the child first leads a session of its own: its group is
 * then orphaned, and the kernel throws away every stop signal but
 * SIGSTOP, so the child goes on at once and P only reaps it. With
 * "adopted", the child stops itself in its own group once P has ended
 * without waiting: orphaned too, as no process that adopts it untraced
 * (init, or a subreaper) is in the session. With "left", P waits for the
 * child's end alone and never continues it: nothing in the run can. */
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

static int
stop_signal(const char *name)
{
	return strcmp(name, "STOP") == 0 ? SIGSTOP :
	    strcmp(name, "TTIN") == 0 ? SIGTTIN :
	    strcmp(name, "TTOU") == 0 ? SIGTTOU : SIGTSTP;
}

int
main(int argc, char **argv)
{
	int sig = stop_signal(argc > 1 ? argv[1] : "TSTP");
	const char *how = argc > 2 ? argv[2] : "";
	int orphaned = strcmp(how, "orphaned") == 0;
	int adopted = strcmp(how, "adopted") == 0;
	int left = strcmp(how, "left") == 0;
	int status;
	pid_t parent = getpid(), pid = fork();

	if (pid < 0)
		return 1;
	if (pid == 0) {
		if (orphaned ? setsid() < 0 : setpgid(0, 0) != 0)
			_exit(1);
		while (adopted && getppid() == parent)
			;
		_exit(kill(getpid(), sig) == 0 ? 0 : 1);
	}
	if (adopted)
		return 0;
	if (!orphaned && !left) {
		if (waitpid(pid, &status, WUNTRACED) != pid ||
		    !WIFSTOPPED(status) || kill(pid, SIGCONT) != 0)
			return 1;
	}
	if (waitpid(pid, &status, 0) != pid)
		return 1;
	return !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}
