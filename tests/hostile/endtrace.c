/* Asks its parent, trace, to end: P forks a child that pauses, sends
 * its own parent SIGTERM, or the signal named by the first argument
 * ("HUP"), and waits for the child, which nothing in the run will end. */
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

int
main(int argc, char **argv)
{
	int sig = argc > 1 && strcmp(argv[1], "HUP") == 0 ? SIGHUP : SIGTERM;
	pid_t pid = fork();

	if (pid < 0)
		return 1;
	if (pid == 0) {
		pause();
		_exit(0);
	}
	if (kill(getppid(), sig) != 0)
		return 1;
	return waitpid(pid, NULL, 0) == pid ? 0 : 1;
}
