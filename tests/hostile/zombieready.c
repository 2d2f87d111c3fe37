/* A wait with a zombie ready for it, which returns at once: P sees its
 * child's end with a waitid that leaves it waitable (WNOWAIT), then
 * collects it with waitpid. */
#include <sys/wait.h>
#include <unistd.h>

int
main(void)
{
	siginfo_t si;
	pid_t pid = fork();

	if (pid < 0)
		return 1;
	if (pid == 0)
		_exit(0);
	do
		si.si_pid = 0;
	while (waitid(P_PID, (id_t)pid, &si, WEXITED | WNOHANG | WNOWAIT) ==
	    0 && si.si_pid != pid);
	return waitpid(pid, NULL, 0) == pid ? 0 : 1;
}
