// What the tracer tells of a run: each event as it happens, and each
// process as it ended: all that the views (text, JSON lines, pictures)
// know of the tracer.
#ifndef EVENT_H
#define EVENT_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "end.h"
#include "roles.h"

// A place in a program's own source: file "" if unknown.
struct Site {
	std::string file;
	int line = 0;
	std::string function;
};

// Where in a program's own source an event was made. Inside a signal
// handler, the place is the handler's, and interrupted where the code
// the signal broke into stood.
struct Source : Site {
	bool in_handler = false;
	Site interrupted;
};

struct Event {
	enum class Kind {
		line,		// fd, text: one line, '\n' included if it had one;
				// size: only for one cut short, how many bytes
				// it had, text their first
		fork,		// other: the new process
		exec,		// path, argv; error: 0, or why it failed
		signal,		// sig, origin, other (the sender), addr; text:
				// what it does, "handler", "ignore" or
				// "default"; "discarded": sent by the kernel
				// as other, its child, ended, it is thrown away
				// at once, at its default action
		kill,		// other: the process sent sig; sig
		alarm,		// seconds: armed for then; 0: cancelled
		handler,	// sig, text: "handler", "default" or "ignore"
		mask,		// text: how (block, unblock, set); signals
		blocked,	// call: sigsuspend, pause, wait4, waitid; text:
				// the child waited for; change
		woken,		// call; other: the child; change; sig; error
		ended,		// end; by_trace: the tracer killed it, text: why
		reaped,		// other: who reaped it; zombie_us; status
		reparented,	// other: its new parent
		stuck,		// nothing can wake any process: text says who waits
		zombie,		// other: its parent, which, the run being stuck,
				// will never wait for it; told just before stuck
		// Bytes that are not the run's output. fd; size: how many;
		// text: the first of them; path: "pipe", "socket", or the
		// file's name.
		sent,		// into a pipe or socket
		received,	// out of one; other: who sent them, if known
		wrote,		// to a file, or a device not the run's output
		// sig, sent to the process while it blocks it, waits to be
		// delivered: other, the sender if the run's; text: "later"
		// if told as it was sent, "now" if as the process unblocks
		// it, which lets it in
		pending,
		// Its handler for sig has returned, and what it broke into
		// goes on: call, the call it cut short, then fails with
		// error (EINTR) or, error 0, starts again; call "", a fault
		// (origin), whose instruction runs again.
		returned,
	};
	// terminal: a key typed there (Ctrl-C, Ctrl-\, Ctrl-Z).
	enum class Origin { alarm, kill, fault, kernel, terminal };

	explicit Event(Kind k) : kind(k) {}

	Kind kind;
	long long us = 0;	// since the start, on the run's clock
	pid_t pid = 0;
	std::string role;
	pid_t other = 0;
	std::string other_role;
	int fd = -1;
	std::string text;
	int sig = 0;
	Origin origin = Origin::kernel;
	std::uint64_t addr = 0;	// a fault's address
	std::string call;
	std::string path;
	std::vector<std::string> argv;
	int error = 0;
	double seconds = 0;
	std::vector<std::string> signals;
	End end = End::exited(0);
	bool by_trace = false;
	long long zombie_us = 0;
	std::uint64_t size = 0;
	// sent, received: which pipe or socket, as the kernel numbers it
	// (its inode), for a picture to tell one sender's pipes apart.
	std::uint64_t channel = 0;
	// woken from a wait: what became of the child ("ended", "stopped",
	// "continued"); blocked in one: what it waits for ("end", "end or
	// stop", ...).
	std::string change;
	// Where in its program's source the process made the call or stood,
	// when the tracer is asked to find it.
	Source source;
	// Made inside a signal handler: the signal it runs for, 0 if not;
	// the call the signal cut short to run it, if any.
	int handler = 0;
	std::string handler_cut;
	// reaped: "kept" if the reaper's wait took the exit status,
	// "discarded" if it gave no place for it (or the kernel reaped it);
	// "" if not known.
	std::string status;
};

// The word for an event's kind, as jsonl and the tests name it.
const char *kind_name(Event::Kind kind);
const char *origin_name(Event::Origin origin);
// "SIGALRM"; "signal 40" for one without a name.
std::string signal_name(int sig);

// What the tracer knows of one process at the end.
struct Traced {
	pid_t pid = 0;
	std::string role;
	std::string program;	// its last program's path
	pid_t parent = 0;	// 0 once the subreaper has it
	bool ended = false;
	End end = End::exited(0);
	bool by_trace = false;	// killed by the tracer (Tracer::kill_all)
	long long ended_us = -1;
	std::string reaper_role;	// empty: never reaped
	long long reaped_us = -1;
};

#endif
