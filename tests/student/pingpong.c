/*
 * Ping-pong between a parent and its child, as the exercise asks: two
 * pipes, one each way; the parent sends a counter, the child adds one
 * and sends it back, three rounds, each side blocked in read while the
 * other works. Then both close their ends and the parent waits.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#define ROUNDS 3

int main(void)
{
	int ping[2], pong[2];	/* ping: parent -> child, pong: child -> parent */
	pid_t pid;
	int counter = 0;

	if (pipe(ping) == -1 || pipe(pong) == -1) {
		perror("pipe");
		exit(1);
	}
	pid = fork();
	if (pid == -1) {
		perror("fork");
		exit(1);
	}
	if (pid == 0) {
		close(ping[1]);
		close(pong[0]);
		for (int i = 0; i < ROUNDS; i++) {
			if (read(ping[0], &counter, sizeof(counter)) != sizeof(counter))
				break;
			printf("child got %d\n", counter);
			fflush(stdout);
			counter++;
			if (write(pong[1], &counter, sizeof(counter)) == -1)
				perror("child write");
		}
		close(ping[0]);
		close(pong[1]);
		exit(0);
	}

	close(ping[0]);
	close(pong[1]);
	for (int i = 0; i < ROUNDS; i++) {
		if (write(ping[1], &counter, sizeof(counter)) == -1)
			perror("parent write");
		if (read(pong[0], &counter, sizeof(counter)) != sizeof(counter))
			break;
		printf("parent got %d\n", counter);
		fflush(stdout);
		counter++;
	}
	close(ping[1]);
	close(pong[0]);
	waitpid(pid, NULL, 0);
	printf("done, counter is %d\n", counter);
	return 0;
}
