/*
 * execvp looking for a program along PATH, one execve a folder, as a
 * student's shell does: ls found in the third folder; a name found in
 * none; and passwd found first as /etc/passwd, a file that may not be run
 * (EACCES), then nowhere. Each in a child of its own, one after the other.
 * A faithful trace: each search told once, with the folders tried before
 * the exec that ended it; C1 writes "/", C2 exits with 127, C3 with 126.
 */
#include <errno.h>
#include <sys/wait.h>

#include "corpus.h"

static void
search(const char *path, char *const argv[])
{
	int status;
	pid_t pid = fork();

	if (pid < 0)
		die("fork");
	if (pid == 0) {
		if (setenv("PATH", path, 1) != 0)
			die("setenv");
		execvp(argv[0], argv);
		_exit(errno == EACCES ? 126 : 127);
	}
	if (waitpid(pid, &status, 0) != pid)
		die("waitpid");
}

int
main(void)
{
	char *const ls[] = {"ls", "-d", "/", NULL};
	char *const none[] = {"nosuchprogram", NULL};
	char *const passwd[] = {"passwd", NULL};

	search("/nonexistent:/proc:/usr/bin:/bin", ls);
	search("/nonexistent:/usr/bin", none);
	search("/etc:/nonexistent", passwd);
	return 0;
}
