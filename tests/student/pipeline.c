/*
 * "seq 5 | wc -l" by hand, as the exercise asks: one pipe, two
 * children, each with its end moved onto its standard input or output
 * by dup2 before it runs its program; every process closes the ends it
 * does not use, and the parent waits for both. It prints 5.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void)
{
	int fd[2];
	pid_t left, right;
	int status;

	if (pipe(fd) == -1) {
		perror("pipe");
		exit(1);
	}

	left = fork();
	if (left == -1) {
		perror("fork");
		exit(1);
	}
	if (left == 0) {
		/* seq writes into the pipe */
		dup2(fd[1], 1);
		close(fd[0]);
		close(fd[1]);
		execlp("seq", "seq", "5", NULL);
		perror("execlp seq");
		exit(1);
	}

	right = fork();
	if (right == -1) {
		perror("fork");
		exit(1);
	}
	if (right == 0) {
		/* wc reads from the pipe */
		dup2(fd[0], 0);
		close(fd[0]);
		close(fd[1]);
		execlp("wc", "wc", "-l", NULL);
		perror("execlp wc");
		exit(1);
	}

	/* parent doesn't use the pipe, close both ends or wc never ends */
	close(fd[0]);
	close(fd[1]);

	waitpid(left, &status, 0);
	waitpid(right, &status, 0);
	return 0;
}
