/*
 * Three children that each sleep a different time and exit with their
 * number, as the exercise asks; the parent waits for all three with
 * wait() and prints each one's status. The children end in the order
 * of their sleeps (2, 3, 1), not the order they were made, and wait()
 * returns them so.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(void)
{
	/* in milliseconds: child 1 sleeps longest */
	long naps[3] = { 300, 100, 200 };
	pid_t pid;
	int status;

	for (int i = 0; i < 3; i++) {
		pid = fork();
		if (pid == -1) {
			perror("fork");
			exit(1);
		}
		if (pid == 0) {
			struct timespec ts;

			ts.tv_sec = 0;
			ts.tv_nsec = naps[i] * 1000000;
			nanosleep(&ts, NULL);
			exit(i + 1);
		}
	}

	for (int i = 0; i < 3; i++) {
		pid = wait(&status);
		if (pid == -1) {
			perror("wait");
			exit(1);
		}
		if (WIFEXITED(status))
			printf("a child exited with status %d\n",
			    WEXITSTATUS(status));
		else
			printf("a child ended some other way\n");
	}
	printf("all children done\n");
	return 0;
}
