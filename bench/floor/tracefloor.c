/*
 * The least a tracer on ptrace can do for a run: the floor that trace's
 * cost on a short run (bench/tracer) is set against. It starts PROGRAM
 * as trace does (fork, seize, a seccomp filter that stops each write and
 * exec, exec), follows every process it makes, lets each stop go on at
 * once after asking the kernel for the call it stopped in, and ends when
 * the last process has ended. It tells nothing and keeps nothing.
 *
 *   tracefloor PROGRAM [ARGS...]
 */
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__x86_64__)
#define ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define ARCH AUDIT_ARCH_AARCH64
#endif

static void
filter(void)
{
	struct sock_filter code[] = {
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
		    offsetof(struct seccomp_data, arch)),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ARCH, 1, 0),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
		    offsetof(struct seccomp_data, nr)),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 2, 0),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_execve, 1, 0),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE),
	};
	struct sock_fprog prog = {sizeof code / sizeof code[0], code};

	if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
	    prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
		_exit(125);
}

static pid_t
start(char **argv)
{
	int go[2];
	char c;
	pid_t pid;

	if (pipe(go) != 0 || (pid = fork()) < 0)
		exit(125);
	if (pid == 0) {
		close(go[1]);
		if (read(go[0], &c, 1) != 1)
			_exit(125);
		filter();
		execvp(argv[0], argv);
		_exit(127);
	}
	close(go[0]);
	if (ptrace(PTRACE_SEIZE, pid, 0, PTRACE_O_TRACESECCOMP |
	    PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK | PTRACE_O_TRACECLONE |
	    PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL) != 0 ||
	    write(go[1], "g", 1) != 1)
		exit(125);
	close(go[1]);
	return pid;
}

int
main(int argc, char **argv)
{
	struct __ptrace_syscall_info info;
	int status, last = 0, sig;
	pid_t first, pid;

	if (argc < 2) {
		(void)fputs("usage: tracefloor PROGRAM [ARGS...]\n", stderr);
		return 2;
	}
	/* trace collects the run's orphans as its subreaper. */
	if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
		return 125;
	first = start(argv + 1);
	while ((pid = waitpid(-1, &status, __WALL)) != -1 || errno == EINTR) {
		if (pid < 0)
			continue;
		if (WIFEXITED(status) || WIFSIGNALED(status)) {
			if (pid == first)
				last = WIFEXITED(status) ? WEXITSTATUS(status) :
				    128 + WTERMSIG(status);
			continue;
		}
		sig = WSTOPSIG(status);
		if (status >> 16 == PTRACE_EVENT_SECCOMP)
			(void)ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info,
			    &info);
		if (status >> 16 != 0 || sig == SIGTRAP)
			sig = 0;
		(void)ptrace(PTRACE_CONT, pid, 0, sig);
	}
	return last;
}
