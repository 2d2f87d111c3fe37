/*
 * A parent that reaps with waitid(2) alone: three children exit with 3, 4
 * and 5; the first is reaped by P_PID, the others by P_PGID and P_ALL,
 * each status read from the siginfo_t that waitid fills. Then a fourth
 * stops itself, and P sees it stopped (WSTOPPED), continues it, sees it
 * continued (WCONTINUED) and reaps it.
 * A faithful trace: four children, exited with 3, 4, 5 and 0, each
 * reaped by P; P's waits woken by a stop and by a continue; it ends as
 * soon as the program does.
 */
#include <signal.h>
#include <sys/wait.h>

#include "corpus.h"

static void
stop_and_continue(void)
{
	siginfo_t si;
	int go[2];
	pid_t pid;
	char c;

	if (pipe(go) < 0)
		die("pipe");
	if ((pid = fork()) < 0)
		die("fork");
	/* It ends only once P has seen it continued, and closed the pipe. */
	if (pid == 0) {
		close(go[1]);
		(void)kill(getpid(), SIGSTOP);
		_exit(read(go[0], &c, 1) == 0 ? 0 : 98);
	}
	close(go[0]);
	if (waitid(P_PID, (id_t)pid, &si, WSTOPPED) < 0 ||
	    si.si_code != CLD_STOPPED)
		die("waitid WSTOPPED");
	if (kill(pid, SIGCONT) < 0)
		die("kill");
	if (waitid(P_PID, (id_t)pid, &si, WCONTINUED) < 0 ||
	    si.si_code != CLD_CONTINUED)
		die("waitid WCONTINUED");
	close(go[1]);
	if (waitid(P_PID, (id_t)pid, &si, WEXITED) < 0)
		die("waitid WEXITED");
	say("P_PID: the fourth stopped, went on and ended\n");
}

int
main(void)
{
	pid_t child[3];
	siginfo_t si;
	int later[2];

	for (int i = 0; i < 3; i++) {
		if ((child[i] = fork()) < 0)
			die("fork");
		if (child[i] == 0)
			_exit(3 + i);
	}
	if (waitid(P_PID, (id_t)child[0], &si, WEXITED) < 0)
		die("waitid P_PID");
	sayf("P_PID: the first child exited with %d\n", si.si_status);
	if (waitid(P_PGID, (id_t)getpgrp(), &si, WEXITED) < 0)
		die("waitid P_PGID");
	later[0] = si.si_status;
	if (waitid(P_ALL, 0, &si, WEXITED) < 0)
		die("waitid P_ALL");
	later[1] = si.si_status;
	sayf("P_PGID and P_ALL: the others exited with %d and %d\n",
	    later[0] < later[1] ? later[0] : later[1],
	    later[0] < later[1] ? later[1] : later[0]);
	stop_and_continue();
	return 0;
}
