// What the tracer keeps of each traced process while it runs: shared by
// the tracer's own files only.
#ifndef TRACER_PROC_H
#define TRACER_PROC_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "calls.h"
#include "tracer.h"

// An alarm further than this (142 years), as a program may set, is taken
// as this far: the run's clock, in microseconds, then never overflows.
constexpr long long longest_alarm_us = 1LL << 52;
// Past this on the run's clock (73,000 years) time-lapse goes no further.
constexpr long long last_us = 1LL << 61;

// Where a descriptor leads, as far as the story goes.
struct Tracer::Dest {
	enum class Kind {
		none,	// closed, or nothing the story tells of
		output,	// the run's standard output or error
		pipe, socket,
		file,	// a file or a device that is not the run's output
	} kind = Kind::none;
	bool null = false;	// /dev/null: a write cannot fail or fall short
	// A blocking pipe or terminal: a write there falls short only if
	// a signal cuts it or no one reads (which sends SIGPIPE).
	bool sure = false;
	dev_t dev = 0;
	ino_t ino = 0;
	ino_t peer = 0;	// a socket's other end, if known: where bytes go
	bool tty = false;	// a terminal
	bool writes = false;	// a pipe's write end
	std::string name;	// a file's or terminal's path
};

// A line not yet ended: its first bytes, and how many it has had in all.
struct Tracer::Partial {
	std::string kept;
	std::uint64_t size = 0;
};

struct Tracer::Proc : Traced {
	pid_t leader = 0;	// a thread: its process; 0 for a process
	std::string thread;	// a thread's name in its process, "T1"
	int threads_made = 0;	// of a process: the threads it started
	// A mask that blocks every signal, held until the thread's next
	// step shows it is the C library's, around a thread's start or end.
	std::optional<Event> block_all;
	bool restores = false;	// its next SIG_SETMASK puts the mask back
	pid_t first_ppid = 0;	// its parent when first seen, if before its
				// creator's event
	bool reaped = false;
	bool stopped = false;	// in a stop of its whole group
	CallStop entry;		// the call it is making or last made
	Source site;	// where in its source it made it, if asked
	bool own_seen = false;	// a site in its program's own code was found
	bool await_exit = false;	// stop again when the call returns
	bool in_call = false;	// inside a waiting call, told blocked
	Event::Blocked blocked_as;	// as it was told
	bool sleepy = false;	// in a call that may sleep, not yet seen to
	bool interrupted = false;	// which a signal interrupted
	std::string bytes;	// a write's, until it returns
	std::uint64_t asked = 0;	// how many bytes the write asked for
	bool sent_told = false;	// its message told before the write ended
	// A write to the run's output whose end it is not stopped for:
	// told at its next stop, or once /proc shows it out of the call.
	struct {
		bool on = false;
		int fd = 0;
		std::uint64_t size = 0, ip = 0, nr = 0;
		int running = 0;	// sweeps in a row that found it running
		bool blocked = false;	// a sweep found it still in the call
	} unended;
	// Where its descriptors lead, as seen when first used; forgotten
	// when closed or replaced, and at exec. A thread's are its
	// process's.
	std::map<int, Dest> fds;
	Dest io;	// where the call it makes reads or writes
	// A dup's: where its old descriptor leads, and what the new one led
	// to before (its inode), which the dup closes.
	Event::Target dup_from, dup_over;
	ino_t dup_over_ino = 0;
	// The ends of pipes and pairs its exec, if it succeeds, closes
	// (close-on-exec).
	struct Closing {
		int fd;
		ino_t ino;
		Event::Target target;
	};
	std::vector<Closing> cloexec;
	// Its copies of the run's standard output or error: lines written
	// on one are that one's. On the process.
	std::map<int, int> copies;
	std::string exec_path;
	std::vector<std::string> exec_argv;
	std::map<int, Partial> partial;	// a line not yet ended, by fd
	long long alarm_at_us = -1;	// when its alarm fires; -1 unarmed
	long long alarm_every_us = 0;
	bool firing = false;	// an alarm of ours on its way to it
	bool killed = false;	// sent SIGKILL by kill_all
	// Signals whose handler restarts an interrupted call (SA_RESTART),
	// bit sig - 1; kept on the process, which its threads share.
	std::uint64_t restarts = 0;
	std::int64_t interrupted_by = 0;	// the kernel's -ERESTART... code
	// Its children are reaped by the kernel as they end: it ignores
	// SIGCHLD, which an exec keeps, or asked for SA_NOCLDWAIT.
	bool chld_ignored = false;
	bool chld_nocldwait = false;
	// Signals sent by us on the kernel's behalf, on their way to it.
	std::uint64_t for_kernel = 0;
	// Signals told as pending and not yet delivered; on the process.
	std::uint64_t pending_told = 0;
	// A SIGCHLD told as thrown away as it was sent, which a traced
	// process still gets: not told again.
	bool chld_discarded = false;
	// Signals it ignores, told as they were sent to its whole group, to
	// which a traced process is still stopped later: not told again.
	std::uint64_t ignored_told = 0;
	// A kill it is making, of blocked_sig, to these, which block it.
	std::vector<pid_t> blocking;
	int blocked_sig = 0;
	// The signal handlers it runs, the innermost last, each until it
	// returns (rt_sigreturn): a thread's own.
	struct Handling {
		int sig = 0;
		Source site;	// where the signal found it
		std::string cut;	// the call it cut short, if any
		bool woken = false;	// a wait of ours cut, told as it fails
		bool fault = false;	// a fault's: its instruction runs again
	};
	std::vector<Handling> handling;
	bool returning = false;	// in rt_sigreturn
	std::uint64_t handler_mask = 0;	// the signals its handler blocked
};

#endif
