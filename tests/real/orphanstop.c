/*
 * A stopped process whose process group becomes orphaned. P makes S,
 * which starts a session of its own and makes C in a group of its own;
 * C stops itself, and once S has seen it stopped, S exits. C's group then
 * has no member with a parent in the session, and a stopped member: the
 * kernel sends the group SIGHUP, then SIGCONT, and C dies of SIGHUP.
 * A faithful trace: C stopped, then killed by SIGHUP, reaped outside the
 * run (its parent is gone); S exited 0, reaped by P. It must not hang.
 */
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

static void
session(void)
{
	pid_t c;
	int status;

	if (setsid() < 0)
		die("setsid");
	if ((c = fork()) < 0)
		die("fork");
	if (c == 0) {
		(void)setpgid(0, 0);
		say("C stops\n");
		(void)kill(getpid(), SIGSTOP);
		say("C goes on\n");
		_exit(0);
	}
	/* Both sides set it, so that it holds whichever runs first. */
	(void)setpgid(c, c);
	if (waitpid(c, &status, WUNTRACED) != c || !WIFSTOPPED(status))
		die("waitpid WUNTRACED");
	_exit(0);
}

int
main(void)
{
	pid_t s;
	int status;

	if ((s = fork()) < 0)
		die("fork");
	if (s == 0)
		session();
	if (waitpid(s, &status, 0) != s)
		die("waitpid");
	sayf("S exited with %d\n", WEXITSTATUS(status));
	return 0;
}
