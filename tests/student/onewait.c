/*
 * Two children doing their part of a job, as the exercise asks, and a
 * parent that goes on with its own part and then ends. It calls wait()
 * once, for two children: the second child to end stays a zombie while
 * the parent works on, and is still unreaped when the parent exits.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void)
{
	for (int i = 0; i < 2; i++) {
		pid_t pid = fork();

		if (pid == -1) {
			perror("fork");
			exit(1);
		}
		if (pid == 0) {
			usleep(i == 0 ? 50000 : 100000);
			printf("child %d: my part is done\n", i + 1);
			exit(0);
		}
	}

	wait(NULL);	/* wait for the children */
	usleep(500000);	/* the parent's own part */
	printf("parent: done\n");
	return 0;
}
