/*
 * exit_group from one of several threads: three threads wait forever,
 * the main one waits to join them, and a fourth ends the whole process
 * with exit(3).
 * A faithful trace: one process, P, its one line, exited with 3.
 */
#include <pthread.h>

#include "corpus.h"

static void *
wait_forever(void *unused)
{
	(void)unused;
	for (;;)
		pause();
	return NULL;
}

static void *
end_all(void *unused)
{
	(void)unused;
	say("a thread ends the process\n");
	exit(3);
}

int
main(void)
{
	pthread_t t[4];

	for (int i = 0; i < 3; i++)
		if (pthread_create(&t[i], NULL, wait_forever, NULL) != 0)
			die("pthread_create");
	if (pthread_create(&t[3], NULL, end_all, NULL) != 0)
		die("pthread_create");
	pthread_join(t[0], NULL);
	return 0;
}
