// The calls the tracer stops on: which they are, by number and by name,
// and the seccomp filter that stops the traced program on them.
#include <cerrno>
#include <cstddef>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "internal/calls.h"

#if defined(__x86_64__)
#define CALLS_ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define CALLS_ARCH AUDIT_ARCH_AARCH64
#else
// cppcheck-suppress preprocessorErrorDirective
#error "the tracer knows the calls of x86_64 and aarch64 only"
#endif
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
    "the filter reads the low half of an argument first");

namespace {

struct Known {
	long nr;
	Call call;
};

// Calls a newer architecture leaves out (fork, alarm, pause...) its C
// library makes with the others.
constexpr Known known[] = {
	{SYS_write, Call::write},
	{SYS_writev, Call::writev},
	{SYS_execve, Call::execve},
	{SYS_execveat, Call::execveat},
	{SYS_kill, Call::kill},
	{SYS_tgkill, Call::tgkill},
#ifdef SYS_alarm
	{SYS_alarm, Call::alarm},
#endif
	{SYS_setitimer, Call::setitimer},
	{SYS_rt_sigsuspend, Call::sigsuspend},
#ifdef SYS_pause
	{SYS_pause, Call::pause},
#endif
	{SYS_wait4, Call::wait4},
	{SYS_waitid, Call::waitid},
	{SYS_rt_sigaction, Call::sigaction},
	{SYS_rt_sigprocmask, Call::sigprocmask},
	{SYS_close, Call::close},
#ifdef SYS_close_range
	{SYS_close_range, Call::close_range},
#endif
#ifdef SYS_dup2
	{SYS_dup2, Call::dup2},
#endif
	{SYS_dup3, Call::dup2},
	{SYS_pidfd_send_signal, Call::pidfd_send_signal},
	{SYS_pwrite64, Call::pwrite},
	{SYS_sendto, Call::sendto},
	{SYS_sendmsg, Call::sendmsg},
	{SYS_read, Call::read},
	{SYS_readv, Call::readv},
	{SYS_recvfrom, Call::recvfrom},
	{SYS_recvmsg, Call::recvmsg},
	{SYS_socketpair, Call::socketpair},
};
constexpr std::size_t nknown = sizeof known / sizeof known[0];

const char *const names[] = {"write", "writev", "execve", "execveat",
    "kill", "tgkill", "alarm", "setitimer", "sigsuspend", "pause", "wait4",
    "waitid", "sigaction", "sigprocmask", "close", "close_range", "dup2",
    "pidfd_send_signal", "pwrite64", "sendto", "sendmsg", "read", "readv",
    "recvfrom", "recvmsg", "socketpair", "fcntl", "other"};

} // namespace

Call
call_of(std::uint64_t nr)
{
	// The filter stops them only when they set a descriptor's flags.
	if (nr == SYS_fcntl || nr == SYS_ioctl)
		return Call::setfl;
	for (const Known &k : known)
		if (static_cast<std::uint64_t>(k.nr) == nr)
			return k.call;
	return Call::other;
}

const char *
call_name(Call call)
{
	return names[static_cast<int>(call)];
}

bool
writes(Call call)
{
	return call == Call::write || call == Call::writev ||
	    call == Call::pwrite || call == Call::sendto ||
	    call == Call::sendmsg;
}

bool
reads(Call call)
{
	return call == Call::read || call == Call::readv ||
	    call == Call::recvfrom || call == Call::recvmsg;
}

bool
waits(Call call)
{
	return call == Call::sigsuspend || call == Call::pause ||
	    call == Call::wait4 || call == Call::waitid;
}

// The filter: another architecture's calls pass; of ours, the known
// ones stop for the tracer, the rest pass. ppoll stops only when it
// waits for a signal alone (no descriptor, no time limit), as a C
// library's pause() does; an event loop's do not. fcntl and ioctl stop
// only when they set a descriptor's flags.
int
install_call_filter() noexcept
{
	constexpr std::size_t flags = 10, list = flags + 6,
	    allow = list + nknown, trace = allow + 1;
	sock_filter prog[trace + 1];
	std::size_t n = 0;
	// Jumps are relative to the instruction after the one made.
	auto op = [&](unsigned short code, unsigned k, std::size_t jt,
	    std::size_t jf) {
		auto to = [n](std::size_t at) {
			return static_cast<unsigned char>(at ? at - n - 1 : 0);
		};
		prog[n] = {code, to(jt), to(jf), k};
		n++;
	};
	auto load = [&](std::size_t at) {
		op(BPF_LD | BPF_W | BPF_ABS, static_cast<unsigned>(at), 0, 0);
	};
	auto is = [&](unsigned k, std::size_t yes, std::size_t no) {
		op(BPF_JMP | BPF_JEQ | BPF_K, k, yes, no);
	};
	// An argument's low and high 32 bits, on a little-endian machine.
	auto arg = [](std::size_t i, std::size_t half) {
		return offsetof(seccomp_data, args) + 8 * i + 4 * half;
	};

	load(offsetof(seccomp_data, arch));
	is(CALLS_ARCH, n + 1, allow);
	load(offsetof(seccomp_data, nr));
	is(SYS_ppoll, n + 1, flags);
	load(arg(1, 0));	// nfds, an unsigned int
	is(0, n + 1, allow);
	load(arg(2, 0));	// the time limit's address
	is(0, n + 1, allow);
	load(arg(2, 1));
	is(0, trace, allow);
	is(SYS_fcntl, n + 1, n + 3);
	load(arg(1, 0));	// the command, an unsigned int
	is(F_SETFL, trace, allow);
	is(SYS_ioctl, n + 1, list);
	load(arg(1, 0));	// the request, an unsigned int
	is(FIONBIO, trace, allow);
	for (const Known &k : known)
		is(static_cast<unsigned>(k.nr), trace, n + 1);
	op(BPF_RET | BPF_K, SECCOMP_RET_ALLOW, 0, 0);
	op(BPF_RET | BPF_K, SECCOMP_RET_TRACE, 0, 0);
	sock_fprog fprog{static_cast<unsigned short>(n), prog};
	// With CAP_SYS_ADMIN (trace run as root) the filter needs no
	// no_new_privs, and a set-user-ID program keeps its privileges, as
	// under a tracer run as root it does; without, it must be set, and
	// such a program then runs with the caller's.
	if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &fprog) == 0)
		return 0;
	if (errno != EACCES || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
		return -1;
	return static_cast<int>(syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER,
	    0, &fprog));
}

