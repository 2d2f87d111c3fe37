/*
 * Showing which process is which after fork, as the exercise asks. The
 * first printf has no newline, so its text is still in stdio's buffer
 * when the process forks: the child gets a copy of the buffer, and
 * "before fork" is written twice, once by each process as it flushes
 * at exit (or at its next newline on a terminal).
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void)
{
	pid_t pid;

	printf("before fork ");
	pid = fork();
	if (pid == -1) {
		perror("fork");
		exit(1);
	}
	if (pid == 0) {
		printf("(child)\n");
		exit(0);
	}
	wait(NULL);
	printf("(parent)\n");
	exit(0);
}
