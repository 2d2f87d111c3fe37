/*
 * Running a command with system(), as the exercise asks, and printing
 * the status it returns: a shell runs echo, then the program prints
 * the raw status and the exit status inside it.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

int main(void)
{
	int status;

	status = system("echo hello from system");
	if (status == -1) {
		perror("system");
		exit(1);
	}
	printf("system returned %d (exit status %d)\n", status,
	    WEXITSTATUS(status));
	return 0;
}
