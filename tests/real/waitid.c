/*
 * A parent that reaps with waitid(2) alone: three children exit with 3, 4
 * and 5; the first is reaped by P_PID, the others by P_PGID and P_ALL,
 * each status read from the siginfo_t that waitid fills.
 * A faithful trace: three children, exited with 3, 4 and 5, each reaped
 * by P; it ends as soon as the program does.
 */
#include <sys/wait.h>

#include "corpus.h"

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
	return 0;
}
