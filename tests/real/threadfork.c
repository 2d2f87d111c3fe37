/*
 * A process made by a thread: a second thread forks a child, which execs
 * echo, and waits for it; the main thread joins the second.
 * A faithful trace: C1 made by P (the thread's process), its exec
 * /bin/echo with its argv, exited with 0 and reaped by P.
 */
#include <pthread.h>
#include <sys/wait.h>

#include "corpus.h"

static void *
run_echo(void *unused)
{
	int status;
	pid_t pid;

	(void)unused;
	if ((pid = fork()) < 0)
		die("fork");
	if (pid == 0) {
		execl("/bin/echo", "echo", "made", "by", "a", "thread",
		    (char *)NULL);
		_exit(127);
	}
	if (waitpid(pid, &status, 0) != pid)
		die("waitpid");
	sayf("the thread's child exited with %d\n", WEXITSTATUS(status));
	return NULL;
}

int
main(void)
{
	pthread_t t;

	if (pthread_create(&t, NULL, run_echo, NULL) != 0)
		die("pthread_create");
	pthread_join(t, NULL);
	return 0;
}
