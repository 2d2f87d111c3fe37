/* A child stops itself by a job-control signal, STOP, TSTP, TTIN or TTOU
 * (the first argument), in a process group of its own whose parent's
 * group is another of the same session; P waits until it has stopped,
 * continues it with SIGCONT and reaps it. With "orphaned" as second
 * argument, the child first leads a session of its own: its group is
 * then orphaned, and the kernel throws away every stop signal but
 * SIGSTOP, so the child goes on at once and P only reaps it. */
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
	int orphaned = argc > 2 && strcmp(argv[2], "orphaned") == 0;
	int status;
	pid_t pid = fork();

	if (pid < 0)
		return 1;
	if (pid == 0) {
		if (orphaned ? setsid() < 0 : setpgid(0, 0) != 0)
			_exit(1);
		_exit(kill(getpid(), sig) == 0 ? 0 : 1);
	}
	if (!orphaned) {
		if (waitpid(pid, &status, WUNTRACED) != pid ||
		    !WIFSTOPPED(status) || kill(pid, SIGCONT) != 0)
			return 1;
	}
	if (waitpid(pid, &status, 0) != pid)
		return 1;
	return !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}
