// The tracer's view of a stopped process's system calls: which calls it
// stops on (the seccomp filter), what a stop says of the call, and the
// process's memory and state as the calls' arguments need them.
#ifndef CALLS_H
#define CALLS_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "call_table.h"

// The call of a number the filter stops on, or looks into; other for
// any other number.
Call call_of(std::uint64_t nr);
const char *call_name(Call call);
// The name of a call by its number, for one a signal may cut short
// while it waits; nullptr for another.
const char *waiting_call_name(std::uint64_t nr);
// Calls that write or send bytes from a descriptor (its first argument),
// and calls that read or receive them.
bool writes(Call call);
bool reads(Call call);
// Calls that close descriptors or set their flags: what the tracer
// knows of descriptors goes stale, and nothing of them is told.
bool changes_fds(Call call);

// Stops the calling process on the calls the rows say, for its tracer,
// from now on and in everything it execs or makes. Async-signal-safe; -1 and
// errno on failure.
int install_call_filter() noexcept;

// Whether a ptrace request on a process the tracer holds stopped, which
// returned ret, was done: false if the process is gone (killed since it
// stopped), which is no error. Any other failure throws
// std::system_error, naming what.
bool ptrace_done(long ret, const char *what);
// The message of the event (PTRACE_EVENT_FORK...) pid is stopped at, as
// PTRACE_GETEVENTMSG gives it: false if pid is gone or has left that
// stop. Killed since it stopped, a process can be stopped again as it
// exits, where the message is its exit status, not a new process's
// number.
bool event_message(pid_t pid, int event, unsigned long &msg);

// The stop traced pid is in that we have not yet waited for, which the
// kernel holds for us: the signal, and the event << 8; -1 if none. Its
// parent may have seen it, and acted on it, first.
int held_stop(pid_t pid);

struct CallStop {
	enum class Op { none, entry, exit, seccomp } op = Op::none;
	// A call that stands for another is told as that one, with its
	// arguments: ppoll with nothing but a mask is sigsuspend.
	Call call = Call::other;
	std::uint64_t nr = 0;
	std::uint64_t args[6] = {};
	std::int64_t ret = 0;	// at exit: the result, or -errno
	std::uint64_t ip = 0;	// where it returns to, in any stop
};
// What the call process pid is stopped in says; false if it is gone,
// and any other failure thrown, as ptrace_done does.
bool call_stop(pid_t pid, CallStop &stop);
// The descriptors, first to last, that the call stopped in s closes:
// close's, the new one of a dup, close_range's; false for another call.
bool closed_fds(const CallStop &s, std::uint64_t &first,
    std::uint64_t &last);

// Whether pid, stopped, is where the call nr made at ip returned, with
// nothing done since: then ret is what the call returned (a signal's
// stop, or its end, as the call returns).
bool returned_here(pid_t pid, std::uint64_t ip, std::uint64_t nr,
    std::int64_t &ret);
// The kernel's -ERESTART... code if pid, stopped for a signal, was in a
// call the signal cut short, which the kernel will restart or fail, and
// the call's number in nr; 0 if not.
std::int64_t cut_call(pid_t pid, std::uint64_t &nr);
// Whether ret is one of the kernel's -ERESTART... codes.
bool restarting(std::int64_t ret);

// Up to len bytes of pid's memory from addr; fewer if some cannot be
// read. len, which the string is made as long as, is the caller's to
// bound.
std::string read_bytes(pid_t pid, std::uint64_t addr, std::size_t len);
// Eight bytes of pid's memory at addr; 0 if they cannot be read.
std::uint64_t read_word(pid_t pid, std::uint64_t addr);
// A NUL-terminated string in pid's memory, up to max bytes.
std::string read_string(pid_t pid, std::uint64_t addr,
    std::size_t max = 4096);
// A NULL-terminated array of strings, as execve's argv.
std::vector<std::string> read_argv(pid_t pid, std::uint64_t addr);
// Up to most bytes of those an iovec array of count entries points at,
// from byte from on; up to the first that cannot be read.
std::string read_iovec(pid_t pid, std::uint64_t addr, std::uint64_t count,
    std::uint64_t most, std::uint64_t from = 0);
// The bytes a call that writes or reads (at its exit, size of them)
// moves, up to most of them; and how many a write asks to move.
std::string call_bytes(pid_t pid, const CallStop &s, std::uint64_t size,
    std::uint64_t most, std::uint64_t from = 0);
std::uint64_t call_size(pid_t pid, const CallStop &s);
// Signals whose default is to do nothing: told only when caught.
bool quiet_by_default(int sig);
// The signals of a kernel signal set, by name.
std::vector<std::string> signal_names(std::uint64_t set);

#endif
