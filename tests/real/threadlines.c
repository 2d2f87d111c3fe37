/*
 * Four threads, each writing 25 lines of its own, one write(2) a line,
 * while the main thread waits to join them.
 * A faithful trace: all 100 lines written by P, in the scheduler's order
 * between threads, each whole; P exits with 0.
 */
#include <pthread.h>

#include "corpus.h"

static int numbers[4] = { 1, 2, 3, 4 };

static void *
write_lines(void *arg)
{
	int thread = *(int *)arg;

	for (int i = 1; i <= 25; i++)
		sayf("thread %d line %d\n", thread, i);
	return NULL;
}

int
main(void)
{
	pthread_t t[4];

	for (int i = 0; i < 4; i++)
		if (pthread_create(&t[i], NULL, write_lines, &numbers[i]) != 0)
			die("pthread_create");
	for (int i = 0; i < 4; i++)
		pthread_join(t[i], NULL);
	say("all joined\n");
	return 0;
}
