// The system calls the tracer knows, one row each. The Call enum, the
// calls' names, the seccomp filter's numbers and the checks of a call's
// class are all made from these rows (calls.h, filter.cpp): a call is
// added with a row, and with its decoding if the tracer reads it.
#ifndef CALL_TABLE_H
#define CALL_TABLE_H

#include <algorithm>
#include <cstddef>
#include <iterator>

#include <sys/syscall.h>

// The number of a call the architecture built for leaves out: its C
// library makes that call with another (alarm with setitimer, pause with
// ppoll, dup2 with dup3, open with openat).
namespace nr {

constexpr long none = -1;
#ifdef SYS_alarm
constexpr long alarm = SYS_alarm;
#else
constexpr long alarm = none;
#endif
#ifdef SYS_pause
constexpr long pause = SYS_pause;
#else
constexpr long pause = none;
#endif
#ifdef SYS_dup2
constexpr long dup2 = SYS_dup2;
#else
constexpr long dup2 = none;
#endif
#ifdef SYS_pipe
constexpr long pipe = SYS_pipe;
#else
constexpr long pipe = none;
#endif
#ifdef SYS_close_range
constexpr long close_range = SYS_close_range;
#else
constexpr long close_range = none;
#endif
#ifdef SYS_poll
constexpr long poll = SYS_poll;
#else
constexpr long poll = none;
#endif
#ifdef SYS_select
constexpr long select = SYS_select;
#else
constexpr long select = none;
#endif
#ifdef SYS_epoll_wait
constexpr long epoll_wait = SYS_epoll_wait;
#else
constexpr long epoll_wait = none;
#endif
#ifdef SYS_open
constexpr long open = SYS_open;
#else
constexpr long open = none;
#endif
#ifdef SYS_semop
constexpr long semop = SYS_semop;
#else
constexpr long semop = none;
#endif

} // namespace nr

// What a call does, as the tracer sorts calls: writes or sends bytes
// from a descriptor (its first argument); reads or receives them; sleeps
// until a signal or a child wakes it; sleeps for a time, or until a
// descriptor is ready; sends a signal, sets its handling or an alarm, or
// returns from a handler; execs; makes, closes or changes a descriptor;
// anything else.
enum class CallClass {
	write, read, wait, sleep, signal, process, descriptor, other
};

// What the seccomp filter does with a call: lets it pass, stops the
// program on it for the tracer, or looks into its arguments to decide
// (see look_into in filter.cpp).
enum class Filter { pass, stop, look };

// How the tracer reads a call's arguments: not at all (it lets the call
// pass); by the call's own code; the bytes it moves, from one buffer
// (fd, buf, len), an iovec array (fd, iov, count) or a msghdr (fd, msg);
// the descriptors it closes, its first argument, its second (the new
// one of a dup) or a range (first, last); or the flags a descriptor is
// given (fcntl's F_SETFL, ioctl's FIONBIO).
enum class Args {
	none, own, buffer, iovec, msghdr, fd, newfd, fd_range, flags
};

// CALL(id, number, name, class, filter, sleeps, args): sleeps if it may
// wait, so that a signal can cut it short; the name is the one trace
// tells, without rt_ for the calls C names so.
#define PROCLAB_CALLS(CALL) \
	CALL(write, SYS_write, "write", write, stop, true, buffer) \
	CALL(writev, SYS_writev, "writev", write, stop, true, iovec) \
	CALL(pwrite, SYS_pwrite64, "pwrite64", write, stop, true, buffer) \
	CALL(sendto, SYS_sendto, "sendto", write, stop, true, buffer) \
	CALL(sendmsg, SYS_sendmsg, "sendmsg", write, stop, true, msghdr) \
	CALL(read, SYS_read, "read", read, stop, true, buffer) \
	CALL(readv, SYS_readv, "readv", read, stop, true, iovec) \
	CALL(recvfrom, SYS_recvfrom, "recvfrom", read, stop, true, buffer) \
	CALL(recvmsg, SYS_recvmsg, "recvmsg", read, stop, true, msghdr) \
	CALL(sigsuspend, SYS_rt_sigsuspend, "sigsuspend", wait, stop, true, \
	    own) \
	CALL(pause, nr::pause, "pause", wait, stop, true, own) \
	CALL(wait4, SYS_wait4, "wait4", wait, stop, true, own) \
	CALL(waitid, SYS_waitid, "waitid", wait, stop, true, own) \
	CALL(kill, SYS_kill, "kill", signal, stop, false, own) \
	CALL(tgkill, SYS_tgkill, "tgkill", signal, stop, false, own) \
	CALL(pidfd_send_signal, SYS_pidfd_send_signal, "pidfd_send_signal", \
	    signal, stop, false, own) \
	CALL(alarm, nr::alarm, "alarm", signal, stop, false, own) \
	CALL(setitimer, SYS_setitimer, "setitimer", signal, stop, false, own) \
	CALL(sigaction, SYS_rt_sigaction, "sigaction", signal, stop, false, \
	    own) \
	CALL(sigprocmask, SYS_rt_sigprocmask, "sigprocmask", signal, stop, \
	    false, own) \
	CALL(sigreturn, SYS_rt_sigreturn, "rt_sigreturn", signal, stop, false, \
	    own) \
	CALL(execve, SYS_execve, "execve", process, stop, false, own) \
	CALL(execveat, SYS_execveat, "execveat", process, stop, false, own) \
	CALL(close, SYS_close, "close", descriptor, stop, false, fd) \
	CALL(close_range, nr::close_range, "close_range", descriptor, stop, \
	    false, fd_range) \
	CALL(dup2, nr::dup2, "dup2", descriptor, stop, false, newfd) \
	CALL(dup3, SYS_dup3, "dup3", descriptor, stop, false, newfd) \
	CALL(fcntl, SYS_fcntl, "fcntl", descriptor, look, true, flags) \
	CALL(ioctl, SYS_ioctl, "ioctl", descriptor, look, false, flags) \
	CALL(socketpair, SYS_socketpair, "socketpair", descriptor, stop, false, \
	    own) \
	CALL(pipe, nr::pipe, "pipe", descriptor, stop, false, own) \
	CALL(pipe2, SYS_pipe2, "pipe2", descriptor, stop, false, own) \
	CALL(dup, SYS_dup, "dup", descriptor, stop, false, own) \
	CALL(ppoll, SYS_ppoll, "ppoll", sleep, stop, true, own) \
	CALL(restart, SYS_restart_syscall, "restart_syscall", sleep, stop, \
	    true, own) \
	CALL(nanosleep, SYS_nanosleep, "nanosleep", sleep, stop, true, own) \
	CALL(clock_nanosleep, SYS_clock_nanosleep, "clock_nanosleep", sleep, \
	    stop, true, own) \
	CALL(sigtimedwait, SYS_rt_sigtimedwait, "sigtimedwait", sleep, stop, \
	    true, own) \
	CALL(poll, nr::poll, "poll", sleep, stop, true, own) \
	CALL(pselect6, SYS_pselect6, "pselect6", sleep, stop, true, own) \
	CALL(select, nr::select, "select", sleep, stop, true, own) \
	CALL(epoll_pwait, SYS_epoll_pwait, "epoll_pwait", sleep, stop, true, \
	    own) \
	CALL(epoll_wait, nr::epoll_wait, "epoll_wait", sleep, stop, true, own) \
	CALL(pread, SYS_pread64, "pread64", read, pass, true, none) \
	CALL(openat, SYS_openat, "openat", descriptor, pass, true, none) \
	CALL(open, nr::open, "open", descriptor, pass, true, none) \
	CALL(accept4, SYS_accept4, "accept4", descriptor, pass, true, none) \
	CALL(accept, SYS_accept, "accept", descriptor, pass, true, none) \
	CALL(connect, SYS_connect, "connect", descriptor, pass, true, none) \
	CALL(futex, SYS_futex, "futex", other, pass, true, none) \
	CALL(flock, SYS_flock, "flock", other, pass, true, none) \
	CALL(msgrcv, SYS_msgrcv, "msgrcv", other, pass, true, none) \
	CALL(msgsnd, SYS_msgsnd, "msgsnd", other, pass, true, none) \
	CALL(semtimedop, SYS_semtimedop, "semtimedop", other, pass, true, none) \
	CALL(semop, nr::semop, "semop", other, pass, true, none) \
	CALL(mq_timedreceive, SYS_mq_timedreceive, "mq_timedreceive", other, \
	    pass, true, none) \
	CALL(mq_timedsend, SYS_mq_timedsend, "mq_timedsend", other, pass, \
	    true, none)

enum class Call {
#define CALL_ENUM(id, ...) id,
	PROCLAB_CALLS(CALL_ENUM)
#undef CALL_ENUM
	other	// any call not in the rows
};

struct CallRow {
	long nr;
	const char *name;
	CallClass cls;
	Filter filter;
	bool sleeps;
	Args args;
};

// The rows by Call, and other's last.
inline constexpr CallRow call_rows[] = {
#define CALL_ROW(id, number, name, cls, filter, sleeps, args) \
	{number, name, CallClass::cls, Filter::filter, sleeps, Args::args},
	PROCLAB_CALLS(CALL_ROW)
#undef CALL_ROW
	{nr::none, "other", CallClass::other, Filter::pass, false, Args::none},
};
static_assert(std::size(call_rows) == static_cast<std::size_t>(Call::other) +
    1);

constexpr const CallRow &
row_of(Call call)
{
	return call_rows[static_cast<std::size_t>(call)];
}

// Each number is one row's, so that a number tells its call.
constexpr bool
numbers_apart()
{
	for (std::size_t i = 0; i < std::size(call_rows); i++)
		for (std::size_t j = 0; j < i; j++)
			if (call_rows[i].nr != nr::none &&
			    call_rows[i].nr == call_rows[j].nr)
				return false;
	return true;
}
static_assert(numbers_apart(), "two rows of one number");
// The tracer reads every call the filter stops it on, and nothing of
// the others; the bytes of every write and read.
static_assert(std::ranges::all_of(call_rows, [](const CallRow &r) {
	bool io = r.cls == CallClass::write || r.cls == CallClass::read;
	bool moves = r.args == Args::buffer || r.args == Args::iovec ||
	    r.args == Args::msghdr;
	if (r.filter == Filter::pass)
		return r.args == Args::none;
	return r.args != Args::none && io == moves;
}), "a row's decoding does not fit its class or filter");

#endif
