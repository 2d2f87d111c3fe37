/*
 * Reading from two children at once with poll(), as the exercise asks:
 * one pipe per child, each child writes one line after a short sleep
 * and exits; the parent polls both read ends, prints what each child
 * sent, and stops watching an end once it reads end of file there.
 * It ends when both ends are done, then reaps both children.
 */
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void)
{
	int p[2][2];
	struct pollfd fds[2];
	useconds_t naps[2] = { 200000, 100000 };
	char buf[128];
	ssize_t n;
	int open_ends = 2;

	for (int i = 0; i < 2; i++) {
		if (pipe(p[i]) == -1) {
			perror("pipe");
			exit(1);
		}
	}

	for (int i = 0; i < 2; i++) {
		pid_t pid = fork();

		if (pid == -1) {
			perror("fork");
			exit(1);
		}
		if (pid == 0) {
			/* close everything except my own write end */
			for (int j = 0; j < 2; j++) {
				close(p[j][0]);
				if (j != i)
					close(p[j][1]);
			}
			usleep(naps[i]);
			snprintf(buf, sizeof(buf), "hello from child %d\n", i + 1);
			if (write(p[i][1], buf, strlen(buf)) == -1)
				perror("write");
			close(p[i][1]);
			exit(0);
		}
	}

	for (int i = 0; i < 2; i++) {
		close(p[i][1]);
		fds[i].fd = p[i][0];
		fds[i].events = POLLIN;
	}

	while (open_ends > 0) {
		if (poll(fds, 2, -1) == -1) {
			perror("poll");
			exit(1);
		}
		for (int i = 0; i < 2; i++) {
			/* POLLHUP comes without POLLIN when the writer is gone */
			if (!(fds[i].revents & (POLLIN | POLLHUP)))
				continue;
			n = read(fds[i].fd, buf, sizeof(buf) - 1);
			if (n > 0) {
				buf[n] = '\0';
				printf("pipe %d: %s", i + 1, buf);
			} else {
				close(fds[i].fd);
				fds[i].fd = -1; /* poll skips negative fds */
				open_ends--;
			}
		}
	}

	while (wait(NULL) > 0)
		;
	printf("both pipes closed\n");
	return 0;
}
