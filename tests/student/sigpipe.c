/*
 * Feeding a command through a pipe, as the exercise asks: the child
 * runs "head -n 1" on the pipe's read end, the parent writes 100000
 * numbered lines into it and then waits. head reads a first block,
 * prints one line and exits; the parent's next write finds no reader
 * and SIGPIPE kills it, so it never says it is done nor waits for head.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void)
{
	int fd[2];
	pid_t pid;
	char line[32];

	if (pipe(fd) == -1) {
		perror("pipe");
		exit(1);
	}
	pid = fork();
	if (pid == -1) {
		perror("fork");
		exit(1);
	}
	if (pid == 0) {
		dup2(fd[0], 0);
		close(fd[0]);
		close(fd[1]);
		execlp("head", "head", "-n", "1", NULL);
		perror("execlp");
		exit(1);
	}

	close(fd[0]);
	for (int i = 1; i <= 100000; i++) {
		snprintf(line, sizeof(line), "line %d\n", i);
		if (write(fd[1], line, strlen(line)) == -1) {
			perror("write");
			break;
		}
	}
	close(fd[1]);
	waitpid(pid, NULL, 0);
	printf("parent: wrote all the lines\n");
	return 0;
}
