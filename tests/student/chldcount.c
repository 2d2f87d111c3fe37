/*
 * Reaping children from a SIGCHLD handler, as the exercise asks: ten
 * children exit at once and the handler reaps one child and counts it
 * each time it runs. Signals of one kind do not queue: children that
 * end while one SIGCHLD is pending are told by that one, so the count
 * comes short of ten and those children stay zombies (a loop of
 * waitpid with WNOHANG would have reaped them). The parent gives up
 * after a second and prints how many it reaped.
 */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#define N 10

void on_child(int sig);

volatile sig_atomic_t reaped = 0;

void on_child(int sig)
{
	(void)sig; /* always SIGCHLD */
	if (wait(NULL) > 0)
		reaped++;
}

int main(void)
{
	struct sigaction sa;
	int tries = 0;

	memset(&sa, 0, sizeof(sa));
	sa.sa_handler = on_child;
	sigemptyset(&sa.sa_mask);
	sa.sa_flags = SA_RESTART;
	if (sigaction(SIGCHLD, &sa, NULL) == -1) {
		perror("sigaction");
		exit(1);
	}

	for (int i = 0; i < N; i++) {
		pid_t pid = fork();

		if (pid == -1) {
			perror("fork");
			exit(1);
		}
		if (pid == 0)
			exit(0);
	}

	/* give them a second to all be counted */
	while (reaped < N && tries < 10) {
		usleep(100000);
		tries++;
	}
	printf("reaped %d of %d\n", (int)reaped, N);
	return 0;
}
