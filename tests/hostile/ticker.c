/* A periodic ITIMER_REAL of argv[1] microseconds ("max": the most a
 * timeval holds), waited for with pause() until argv[2] milliseconds have
 * passed on the real clock, once at least. */
#define _GNU_SOURCE
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

static void
tick(int sig)
{
	(void)sig;
}

static long long
now_ms(void)
{
	struct timespec t;

	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

int
main(int argc, char **argv)
{
	const char *every = argc > 1 ? argv[1] : "100000";
	long long until = now_ms() + (argc > 2 ? strtol(argv[2], NULL, 10) : 300);
	long us = strtol(every, NULL, 10);
	struct timeval t = {us / 1000000, us % 1000000};
	struct itimerval it;

	if (strcmp(every, "max") == 0)
		t.tv_sec = LONG_MAX;
	it.it_value = it.it_interval = t;
	if (signal(SIGALRM, tick) == SIG_ERR ||
	    setitimer(ITIMER_REAL, &it, NULL) != 0)
		return 1;
	do
		pause();
	while (now_ms() < until);
	return 0;
}
