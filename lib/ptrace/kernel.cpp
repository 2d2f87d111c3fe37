// What the tracer needs of the kernel, and the check for it before a
// run: see tracer.h. The C library it needs is checked as it builds
// (lib/base/end.cpp).
#include <cerrno>
#include <csignal>

#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tracer.h"

const char Tracer::kernel_needed[] = "this kernel does not tell a tracer "
    "the system call a process stops in (PTRACE_GET_SYSCALL_INFO): "
    "Linux 5.3 or later is needed";

bool
Tracer::kernel_fits()
{
	pid_t parent = getpid();
	pid_t pid = fork();
	int status;

	// Cannot tell: a run will say what fails.
	if (pid < 0)
		return true;
	// The child waits to be asked of, and goes with us if we go first.
	if (pid == 0) {
		if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
			_exit(1);
		for (;;)
			pause();
	}
	bool fits = true;
	if (ptrace(PTRACE_SEIZE, pid, 0, PTRACE_O_EXITKILL) == 0 &&
	    ptrace(PTRACE_INTERRUPT, pid, 0, 0) == 0 &&
	    waitpid(pid, &status, __WALL) == pid && WIFSTOPPED(status)) {
		__ptrace_syscall_info info{};
		// A kernel without it knows no such request: EIO.
		fits = ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info,
		    &info) > 0 || errno != EIO;
	}
	(void)kill(pid, SIGKILL);
	while (waitpid(pid, &status, __WALL) < 0 && errno == EINTR)
		;
	return fits;
}
