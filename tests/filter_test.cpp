// The call filter without a tracer: a call it would stop for the tracer
// fails with ENOSYS instead, and a call it lets pass does what it always
// does. Each call is made with arguments that make it fail at once (or
// not wait) when it passes, so that a filter wrong either way shows.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tracer.h"

namespace {

struct Row {
	const char *name;
	long (*call)();
	bool stops;
};

const timespec no_wait{};

const Row rows[] = {
	{"write", [] { return syscall(SYS_write, -1, nullptr, 0); }, true},
	{"writev", [] { return syscall(SYS_writev, -1, nullptr, 0); }, true},
	{"pwrite64", [] { return syscall(SYS_pwrite64, -1, nullptr, 0, 0); },
	    true},
	{"sendto", [] { return syscall(SYS_sendto, -1, nullptr, 0, 0, 0, 0); },
	    true},
	{"sendmsg", [] { return syscall(SYS_sendmsg, -1, nullptr, 0); }, true},
	{"read", [] { return syscall(SYS_read, -1, nullptr, 0); }, true},
	{"readv", [] { return syscall(SYS_readv, -1, nullptr, 0); }, true},
	{"recvfrom", [] { return syscall(SYS_recvfrom, -1, nullptr, 0, 0, 0,
	    0); }, true},
	{"recvmsg", [] { return syscall(SYS_recvmsg, -1, nullptr, 0); }, true},
	{"execve", [] { return syscall(SYS_execve, "", nullptr, nullptr); },
	    true},
	{"execveat", [] { return syscall(SYS_execveat, -1, "", nullptr,
	    nullptr, 0); }, true},
	{"kill", [] { return syscall(SYS_kill, 0x3fffffff, 0); }, true},
	{"tgkill", [] { return syscall(SYS_tgkill, 0x3fffffff, 0x3fffffff,
	    0); }, true},
	{"setitimer", [] { return syscall(SYS_setitimer, 99, nullptr,
	    nullptr); }, true},
	{"rt_sigsuspend", [] { return syscall(SYS_rt_sigsuspend, nullptr, 1); },
	    true},
	{"wait4", [] { return syscall(SYS_wait4, 0x3fffffff, nullptr, WNOHANG,
	    nullptr); }, true},
	{"waitid", [] { return syscall(SYS_waitid, 99, 0, nullptr, WEXITED,
	    nullptr); }, true},
	{"rt_sigaction", [] { return syscall(SYS_rt_sigaction, 0, nullptr,
	    nullptr, 8); }, true},
	{"rt_sigprocmask", [] { return syscall(SYS_rt_sigprocmask, 99, nullptr,
	    nullptr, 8); }, true},
	{"close", [] { return syscall(SYS_close, -1); }, true},
	{"close_range", [] { return syscall(SYS_close_range, 2, 1, 0); }, true},
	{"dup3", [] { return syscall(SYS_dup3, -1, -1, 0); }, true},
	{"pidfd_send_signal", [] { return syscall(SYS_pidfd_send_signal, -1, 0,
	    nullptr, 0); }, true},
	{"socketpair", [] { return syscall(SYS_socketpair, -1, 0, 0,
	    nullptr); }, true},
	// ppoll as pause() and sigsuspend() make it, and as a poll.
	{"ppoll alone", [] { return syscall(SYS_ppoll, nullptr, 0, nullptr,
	    nullptr, 8); }, true},
	{"ppoll with a time", [] { return syscall(SYS_ppoll, nullptr, 0,
	    &no_wait, nullptr, 8); }, true},
	{"nanosleep", [] { return syscall(SYS_nanosleep, &no_wait,
	    nullptr); }, true},
	{"pipe2", [] { return syscall(SYS_pipe2, nullptr, 0); }, true},
	{"dup", [] { return syscall(SYS_dup, -1); }, true},
	{"fcntl F_DUPFD", [] { return syscall(SYS_fcntl, -1, F_DUPFD, 0); },
	    true},
	{"fcntl F_SETFL", [] { return syscall(SYS_fcntl, -1, F_SETFL, 0); },
	    true},
	{"fcntl F_GETFL", [] { return syscall(SYS_fcntl, -1, F_GETFL); }, false},
	{"ioctl FIONBIO", [] { return syscall(SYS_ioctl, -1, FIONBIO, nullptr); },
	    true},
	{"ioctl FIONREAD", [] { return syscall(SYS_ioctl, -1, FIONREAD,
	    nullptr); }, false},
	{"getppid", [] { return syscall(SYS_getppid); }, false},
	{"sched_yield", [] { return syscall(SYS_sched_yield); }, false},
	{"uname", [] { return syscall(SYS_uname, nullptr); }, false},
	{"getcwd", [] { return syscall(SYS_getcwd, nullptr, 0); }, false},
#ifdef SYS_alarm
	{"alarm", [] { return syscall(SYS_alarm, 0); }, true},
	{"dup2", [] { return syscall(SYS_dup2, -1, -1); }, true},
#endif
};

// What each row's call did under the filter, in a child of ours: ""
// if every one did as it should, else which did not. The child tells
// through shared memory: under the filter it cannot write.
std::string
under_filter()
{
	constexpr std::size_t size = 4096;
	int go[2];
	int prot = PROT_READ | PROT_WRITE, flags = MAP_SHARED | MAP_ANONYMOUS;
	// cppcheck-suppress invalidFunctionArg ; no file: -1, as mmap(2) asks
	void *shared = mmap(nullptr, size, prot, flags, -1, 0);
	if (shared == MAP_FAILED || pipe(go) != 0 || write(go[1], "g", 1) != 1)
		return "no shared memory or pipe";
	auto *told = static_cast<char *>(shared);
	pid_t pid = fork();
	if (pid == 0) {
		// A call let through that waits for ever ends the child.
		alarm(10);
		if (Tracer::prepare(go[0]) != 0)
			_exit(2);
		std::size_t at = 0;
		for (const Row &r : rows) {
			bool stopped = r.call() == -1 && errno == ENOSYS;
			std::size_t n = strlen(r.name);
			if (stopped == r.stops || at + n + 2 >= size)
				continue;
			memcpy(told + at, r.name, n);
			told[at + n] = ';';
			told[at + n + 1] = ' ';
			at += n + 2;
		}
		_exit(0);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	std::string wrong(told, strnlen(told, size));
	munmap(shared, size);
	close(go[0]);
	close(go[1]);
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
		wrong += "the child ended with status " + std::to_string(status);
	return wrong;
}

TEST(CallFilter, StopsTheCallsTheTracerKnowsAndNoOthers)
{
	EXPECT_EQ(under_filter(), "");
}

} // namespace
