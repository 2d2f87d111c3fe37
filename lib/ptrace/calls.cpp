// Decoding the calls the tracer stops on: see calls.h.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include "internal/calls.h"
#include "tracer.h"

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
};
constexpr std::size_t nknown = sizeof known / sizeof known[0];

const char *const names[] = {"write", "writev", "execve", "execveat",
    "kill", "tgkill", "alarm", "setitimer", "sigsuspend", "pause", "wait4",
    "waitid", "sigaction", "sigprocmask", "close", "close_range", "dup2",
    "pidfd_send_signal", "pwrite64", "sendto", "sendmsg", "read", "readv",
    "recvfrom", "recvmsg", "other"};

} // namespace

Call
call_of(std::uint64_t nr)
{
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
// library's pause() does; an event loop's do not.
int
install_call_filter() noexcept
{
	constexpr std::size_t list = 10, allow = list + nknown,
	    trace = allow + 1;
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
	is(SYS_ppoll, n + 1, list);
	load(arg(1, 0));	// nfds, an unsigned int
	is(0, n + 1, allow);
	load(arg(2, 0));	// the time limit's address
	is(0, n + 1, allow);
	load(arg(2, 1));
	is(0, trace, allow);
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

bool
ptrace_done(long ret, const char *what)
{
	if (ret != -1)
		return true;
	if (errno == ESRCH)
		return false;
	throw std::system_error(errno, std::generic_category(), what);
}

bool
call_stop(pid_t pid, CallStop &stop)
{
	__ptrace_syscall_info info{};

	long n = ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info);
	// A kernel without the request: nothing can be told of any call.
	if (n == -1 && errno == EIO)
		throw std::runtime_error(Tracer::kernel_needed);
	if (!ptrace_done(n, "ptrace(PTRACE_GET_SYSCALL_INFO)"))
		return false;
	stop = CallStop{};
	switch (info.op) {
	case PTRACE_SYSCALL_INFO_ENTRY:
		stop.op = CallStop::Op::entry;
		stop.nr = info.entry.nr;
		std::memcpy(stop.args, info.entry.args, sizeof stop.args);
		break;
	case PTRACE_SYSCALL_INFO_SECCOMP:
		stop.op = CallStop::Op::seccomp;
		stop.nr = info.seccomp.nr;
		std::memcpy(stop.args, info.seccomp.args, sizeof stop.args);
		break;
	case PTRACE_SYSCALL_INFO_EXIT:
		stop.op = CallStop::Op::exit;
		stop.ret = info.exit.rval;
		return true;
	default:
		return true;
	}
	stop.call = call_of(stop.nr);
	// The filter stops ppoll only when it waits for a signal alone: a
	// pause, or with a mask, a sigsuspend, the mask its first argument.
	if (stop.nr == SYS_ppoll && !(stop.args[1] & 0xffffffff) &&
	    !stop.args[2]) {
		stop.call = stop.args[3] ? Call::sigsuspend : Call::pause;
		stop.args[0] = stop.args[3];
	}
	return true;
}

std::string
read_bytes(pid_t pid, std::uint64_t addr, std::size_t len)
{
	std::string s(len, '\0');
	std::size_t got = 0;

	while (got < len) {
		iovec local{s.data() + got, len - got};
		// An address in the other process, never used as a pointer here.
		// NOLINTNEXTLINE(performance-no-int-to-ptr)
		iovec remote{reinterpret_cast<void *>(addr + got), len - got};
		ssize_t n = process_vm_readv(pid, &local, 1, &remote, 1, 0);
		if (n <= 0)
			break;
		got += static_cast<std::size_t>(n);
	}
	s.resize(got);
	return s;
}

std::uint64_t
read_word(pid_t pid, std::uint64_t addr)
{
	std::uint64_t w = 0;
	std::string b = read_bytes(pid, addr, sizeof w);

	if (b.size() == sizeof w)
		std::memcpy(&w, b.data(), sizeof w);
	return w;
}

std::string
read_string(pid_t pid, std::uint64_t addr, std::size_t max)
{
	std::string s;

	// A page at a time: the string may end just before memory that
	// cannot be read.
	while (s.size() < max) {
		std::size_t page = 4096 - (addr + s.size()) % 4096;
		std::string part = read_bytes(pid, addr + s.size(), page);
		std::size_t nul = part.find('\0');
		s += part.substr(0, nul);
		if (nul != std::string::npos || part.size() < page)
			break;
	}
	return s.substr(0, max);
}

std::vector<std::string>
read_argv(pid_t pid, std::uint64_t addr)
{
	std::vector<std::string> argv;

	for (std::uint64_t at = addr; addr && argv.size() < 4096;
	    at += sizeof(std::uint64_t)) {
		std::string p = read_bytes(pid, at, sizeof(std::uint64_t));
		std::uint64_t arg = 0;
		if (p.size() != sizeof arg)
			break;
		std::memcpy(&arg, p.data(), sizeof arg);
		if (arg == 0)
			break;
		argv.push_back(read_string(pid, arg));
	}
	return argv;
}

std::string
read_iovec(pid_t pid, std::uint64_t addr, std::uint64_t count,
    std::uint64_t most, std::uint64_t from)
{
	std::string s;
	std::uint64_t iov[2];

	// The kernel takes IOV_MAX entries at most.
	for (std::uint64_t i = 0; i < count && i < 1024 && s.size() < most;
	    i++) {
		std::string v = read_bytes(pid, addr + i * sizeof iov, sizeof iov);
		if (v.size() != sizeof iov)
			break;
		std::memcpy(iov, v.data(), sizeof iov);
		std::uint64_t skip = std::min(iov[1], from);
		from -= skip;
		std::uint64_t want = std::min(iov[1] - skip, most - s.size());
		std::string part = read_bytes(pid, iov[0] + skip, want);
		s += part;
		// The kernel stops at memory it cannot read: so does what
		// is kept, else bytes of a later entry would be taken for
		// the ones it wrote.
		if (part.size() < want)
			break;
	}
	return s;
}

namespace {

// Where a call's bytes are: an iovec array and its length, or one
// buffer (count 0) and its length.
struct Span {
	std::uint64_t addr = 0, count = 0, len = 0;
};

Span
span_of(pid_t pid, const CallStop &s)
{
	switch (s.call) {
	case Call::writev:
	case Call::readv:
		return {s.args[1], s.args[2], 0};
	case Call::sendmsg:
	case Call::recvmsg:
		// struct msghdr: name, its length, then the iovec array
		// and its length.
		return {read_word(pid, s.args[1] + 16),
		    read_word(pid, s.args[1] + 24), 0};
	default:
		return {s.args[1], 0, s.args[2]};
	}
}

} // namespace

std::string
call_bytes(pid_t pid, const CallStop &s, std::uint64_t size,
    std::uint64_t most, std::uint64_t from)
{
	Span sp = span_of(pid, s);

	if (from >= size)
		return {};
	most = std::min(most, size - from);
	if (sp.count)
		return read_iovec(pid, sp.addr, sp.count, most, from);
	return from >= sp.len ? std::string() :
	    read_bytes(pid, sp.addr + from, std::min(sp.len - from, most));
}

std::uint64_t
call_size(pid_t pid, const CallStop &s)
{
	Span sp = span_of(pid, s);
	std::uint64_t total = sp.len;

	for (std::uint64_t i = 0; i < sp.count && i < 1024; i++) {
		std::uint64_t len = read_word(pid, sp.addr + i * 16 + 8);
		total = len > UINT64_MAX - total ? UINT64_MAX : total + len;
	}
	return total;
}

std::vector<std::string>
signal_names(std::uint64_t set)
{
	std::vector<std::string> v;

	for (int sig = 1; sig <= 64; sig++) {
		if (!(set >> (sig - 1) & 1))
			continue;
		const char *abbrev = sigabbrev_np(sig);
		v.push_back(abbrev ? std::string("SIG") + abbrev :
		    std::to_string(sig));
	}
	return v;
}
