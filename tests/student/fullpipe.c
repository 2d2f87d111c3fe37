/*
 * A child that sends a big block of data through a pipe, as the
 * exercise asks, and a parent that counts the bytes. The parent waits
 * for the child before it reads: the child's write of 200000 bytes
 * blocks once the pipe is full, waiting for a reader, and the parent
 * waits for the child to end, so neither ever goes on.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#define SIZE 200000

static char data[SIZE];

int main(void)
{
	int fd[2];
	pid_t pid;
	char buf[4096];
	ssize_t n;
	long total = 0;

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
		close(fd[0]);
		memset(data, 'x', SIZE);
		if (write(fd[1], data, SIZE) == -1)
			perror("write");
		close(fd[1]);
		exit(0);
	}

	close(fd[1]);
	/* first make sure the child is done, then read everything */
	waitpid(pid, NULL, 0);
	while ((n = read(fd[0], buf, sizeof(buf))) > 0)
		total += n;
	printf("parent: read %ld bytes\n", total);
	close(fd[0]);
	return 0;
}
