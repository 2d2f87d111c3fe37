/* Rounds of a child that forks without end, each of its children
 * signalling it once before it exits, until the parent SIGKILLs it: the
 * child dies in the middle of a fork or of a signal's delivery, and its
 * last children outlive it. argv[1]: how many rounds. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

static void
noted(int sig)
{
	(void)sig;
}

static void
fork_for_ever(void)
{
	pid_t self = getpid();

	(void)signal(SIGUSR1, noted);
	for (;;) {
		pid_t c = fork();
		// Not getppid(): orphaned, its parent is the subreaper.
		if (c == 0) {
			kill(self, SIGUSR1);
			_exit(0);
		}
	}
}

int
main(int argc, char **argv)
{
	int rounds = argc > 1 ? (int)strtol(argv[1], NULL, 10) : 100;

	for (int i = 0; i < rounds; i++) {
		pid_t c = fork();
		if (c < 0)
			return 1;
		if (c == 0)
			fork_for_ever();
		struct timespec nap = {0, (100 + i % 7 * 50) * 1000L};
		nanosleep(&nap, NULL);
		if (kill(c, SIGKILL) != 0 || waitpid(c, NULL, 0) != c)
			return 1;
	}
	return 0;
}
