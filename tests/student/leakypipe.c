/*
 * "seq 5 | wc -l" by hand, as the exercise asks: one pipe, two children
 * that dup2 their end onto standard input or output and run seq and wc.
 * The children close their ends, but the parent never closes its own:
 * it still holds the write end, so wc never sees end of file and never
 * prints, and the parent waits for wc for ever.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void)
{
	int fd[2];
	pid_t pid1, pid2;

	if (pipe(fd) == -1) {
		perror("pipe");
		exit(1);
	}

	pid1 = fork();
	if (pid1 == -1) {
		perror("fork");
		exit(1);
	}
	if (pid1 == 0) {
		dup2(fd[1], STDOUT_FILENO);
		close(fd[0]);
		close(fd[1]);
		execlp("seq", "seq", "5", NULL);
		perror("execlp");
		exit(1);
	}

	pid2 = fork();
	if (pid2 == -1) {
		perror("fork");
		exit(1);
	}
	if (pid2 == 0) {
		dup2(fd[0], STDIN_FILENO);
		close(fd[0]);
		close(fd[1]);
		execlp("wc", "wc", "-l", NULL);
		perror("execlp");
		exit(1);
	}

	/* wait for both commands to finish */
	waitpid(pid1, NULL, 0);
	waitpid(pid2, NULL, 0);
	printf("pipeline finished\n");
	return 0;
}
