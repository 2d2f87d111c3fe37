/*
 * Counting the bytes of an input file in a child, as the exercise asks.
 * The file is named relative to the working folder, where it is not:
 * the parent's check fails with perror() but goes on, the child's open
 * fails the same way and it exits with 1, and so does the parent once
 * it has waited. Both messages go to standard error.
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#define INPUT "homework3-input.txt"

int main(void)
{
	int fd;
	pid_t pid;
	int status;

	/* check the file is there first */
	fd = open(INPUT, O_RDONLY);
	if (fd == -1)
		perror("open");
	else
		close(fd);

	pid = fork();
	if (pid == -1) {
		perror("fork");
		exit(1);
	}
	if (pid == 0) {
		char buf[512];
		ssize_t n;
		long total = 0;

		fd = open(INPUT, O_RDONLY);
		if (fd == -1) {
			perror("child: open " INPUT);
			exit(1);
		}
		while ((n = read(fd, buf, sizeof(buf))) > 0)
			total += n;
		printf("%ld bytes\n", total);
		exit(0);
	}
	waitpid(pid, &status, 0);
	if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
		exit(1);
	return 0;
}
