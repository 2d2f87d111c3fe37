/* A periodic ITIMER_REAL of argv[1] microseconds, waited for with pause()
 * until argv[2] milliseconds have passed on the real clock. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdlib.h>
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
	long every = argc > 1 ? atol(argv[1]) : 100000;
	long long until = now_ms() + (argc > 2 ? atol(argv[2]) : 300);
	struct itimerval it = {{every / 1000000, every % 1000000},
	    {every / 1000000, every % 1000000}};

	if (signal(SIGALRM, tick) == SIG_ERR ||
	    setitimer(ITIMER_REAL, &it, NULL) != 0)
		return 1;
	while (now_ms() < until)
		pause();
	return 0;
}
