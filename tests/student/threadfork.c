/*
 * A thread that runs a command, as the exercise asks: main starts a
 * thread, the thread forks a child that execs echo, and waits for it;
 * main joins the thread and prints that it is done.
 */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

void *worker(void *arg);

void *worker(void *arg)
{
	pid_t pid;
	int status;

	(void)arg;
	pid = fork();
	if (pid == -1) {
		perror("fork");
		return NULL;
	}
	if (pid == 0) {
		execlp("echo", "echo", "hello", NULL);
		perror("execlp");
		exit(1);
	}
	waitpid(pid, &status, 0);
	printf("thread: echo exited with %d\n", WEXITSTATUS(status));
	return NULL;
}

int main(void)
{
	pthread_t tid;

	if (pthread_create(&tid, NULL, worker, NULL) != 0) {
		fprintf(stderr, "pthread_create failed\n");
		exit(1);
	}
	pthread_join(tid, NULL);
	printf("main: thread joined\n");
	return 0;
}
