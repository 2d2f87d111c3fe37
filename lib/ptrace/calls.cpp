// Decoding the calls the tracer stops on: see calls.h.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <sys/ptrace.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "internal/calls.h"
#include "tracer.h"

Call
call_of(std::uint64_t nr)
{
	for (std::size_t i = 0; i < std::size(call_rows); i++)
		if (call_rows[i].filter != Filter::pass &&
		    call_rows[i].nr != nr::none &&
		    static_cast<std::uint64_t>(call_rows[i].nr) == nr)
			return static_cast<Call>(i);
	return Call::other;
}

const char *
call_name(Call call)
{
	return row_of(call).name;
}

const char *
waiting_call_name(std::uint64_t nr)
{
	for (const CallRow &r : call_rows)
		if (r.sleeps && r.nr != nr::none &&
		    static_cast<std::uint64_t>(r.nr) == nr)
			return r.name;
	return nullptr;
}

bool
writes(Call call)
{
	return row_of(call).cls == CallClass::write;
}

bool
reads(Call call)
{
	return row_of(call).cls == CallClass::read;
}

bool
changes_fds(Call call)
{
	Args a = row_of(call).args;

	return a == Args::fd || a == Args::newfd || a == Args::fd_range ||
	    a == Args::flags;
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
event_message(pid_t pid, int event, unsigned long &msg)
{
	siginfo_t si{};

	// Read after the message: still at the event then, it was at the
	// event when the message was read.
	return ptrace_done(ptrace(PTRACE_GETEVENTMSG, pid, 0, &msg),
	    "ptrace(PTRACE_GETEVENTMSG)") &&
	    ptrace_done(ptrace(PTRACE_GETSIGINFO, pid, 0, &si),
	    "ptrace(PTRACE_GETSIGINFO)") &&
	    si.si_code == (SIGTRAP | event << 8);
}

int
held_stop(pid_t pid)
{
	siginfo_t si{};

	if (waitid(P_PID, static_cast<id_t>(pid), &si,
	    WSTOPPED | WNOHANG | WNOWAIT | __WALL) != 0 || si.si_pid != pid ||
	    si.si_code != CLD_TRAPPED)
		return -1;
	return si.si_status;
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
	stop.ip = info.instruction_pointer;
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
	// A ppoll that waits for a signal alone (no descriptor, no time
	// limit), as a C library makes it: a pause, or with a mask, a
	// sigsuspend, the mask its first argument.
	if (stop.call == Call::ppoll && !(stop.args[1] & 0xffffffff) &&
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
	switch (row_of(s.call).args) {
	case Args::iovec:
		return {s.args[1], s.args[2], 0};
	case Args::msghdr:
		// struct msghdr: name, its length, then the iovec array
		// and its length.
		return {read_word(pid, s.args[1] + 16),
		    read_word(pid, s.args[1] + 24), 0};
	default:
		return {s.args[1], 0, s.args[2]};
	}
}

} // namespace

bool
closed_fds(const CallStop &s, std::uint64_t &first, std::uint64_t &last)
{
	switch (row_of(s.call).args) {
	case Args::fd:
		first = last = s.args[0];
		return true;
	case Args::newfd:
		first = last = s.args[1];
		return true;
	case Args::fd_range:
		first = s.args[0];
		last = s.args[1];
		return true;
	default:
		return false;
	}
}

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
		v.push_back(signal_name(sig));
	}
	return v;
}
