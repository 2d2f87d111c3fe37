/*
 * A thread other than the leader calls execve: the kernel ends every
 * other thread, and the process, under the leader's number, runs echo.
 * A faithful trace: one process, P, whose exec is /bin/echo with its
 * argv, that writes "from a thread" and exits with 0.
 */
#include <pthread.h>

#include "corpus.h"

static void *
become_echo(void *unused)
{
	(void)unused;
	execl("/bin/echo", "echo", "from", "a", "thread", (char *)NULL);
	die("execl");
	return NULL;
}

int
main(void)
{
	pthread_t t;

	if (pthread_create(&t, NULL, become_echo, NULL) != 0)
		die("pthread_create");
	for (;;)
		pause();
}
