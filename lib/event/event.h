// What the tracer tells of a run: each event as it happens, and each
// process as it ended: all that the views (text, JSON lines, pictures)
// know of the tracer.
#ifndef EVENT_H
#define EVENT_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <variant>
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
	// Made by the process's first thread after its code was seen, with
	// none of its code left on the stack: main has returned, and the C
	// library ends the program (stdio writes out its buffers then).
	bool after_main = false;
};

// One event: when, of which process, where in its code, and what, as
// one of the kinds below, each with its own fields. Each kind has its
// name, as the JSON lines and the tests give it; one that befell its
// process, rather than was done by it, is made at no place in its code.
struct Event {
	// terminal: a key typed there (Ctrl-C, Ctrl-\, Ctrl-Z).
	enum class Origin { alarm, kill, fault, kernel, terminal };
	// What a process does with a signal: discarded, at its default
	// action, by a parent the kernel sends SIGCHLD as a child ends;
	// orphaned, a stop signal other than SIGSTOP at its default action,
	// which the kernel throws away in an orphaned process group.
	enum class Action { by_default, ignore, handler, discarded, orphaned };

	// Another process an event names; role "" if not one of the run.
	struct Peer {
		pid_t pid = 0;
		std::string role{};
	};

	// What a descriptor leads to, as the story names it: a pipe or a
	// socket pair by its number in the run (id), and a pipe's end; the
	// terminal; a file or device by its path. made: the run made it
	// (pipe, socketpair), so that only the run's processes hold it.
	struct Target {
		enum class Kind { none, pipe, socket, terminal, file };
		Kind kind = Kind::none;
		int id = 0;
		bool writes = false;	// a pipe's write end
		bool made = false;
		std::string name{};	// a file's or terminal's path
	};
	// One descriptor of a process: who holds it, which, and where to.
	struct Fd {
		Peer who{};
		int fd = -1;
		Target target{};
	};

	// One line, '\n' included if it had one; size: only for one cut
	// short, how many bytes it had, text their first.
	struct Line {
		static constexpr const char *name = "line";
		int fd = -1;
		std::string text{};
		std::uint64_t size = 0;
	};
	struct Fork {
		static constexpr const char *name = "fork";
		Peer child{};
	};
	// A thread started in the process: its id, and its name there
	// ("T1"; the process's first thread has none).
	struct Thread {
		static constexpr const char *name = "thread";
		pid_t tid = 0;
		std::string thread{};
	};
	// tried: the paths that failed just before, in a search of
	// folders for the same file with the same argv (execvp's of PATH),
	// told with the try that ended it.
	struct Exec {
		static constexpr const char *name = "exec";
		struct Try {
			std::string path;
			int error = 0;
		};
		std::string path{};
		std::vector<std::string> argv{};
		int error = 0;	// 0, or why it failed
		std::vector<Try> tried{};
	};
	// sender: who sent it, as a kill; child: as a discarded SIGCHLD, the
	// child whose end sent it; addr: a fault's address.
	struct Signal {
		static constexpr const char *name = "signal";
		int sig = 0;
		Origin origin = Origin::kernel;
		Action action = Action::by_default;
		Peer sender{};
		Peer child{};
		std::uint64_t addr = 0;
	};
	// target: as kill(2) takes it, a group if 0 or less.
	struct Kill {
		static constexpr const char *name = "kill";
		Peer target{};
		int sig = 0;
	};
	struct Alarm {
		static constexpr const char *name = "alarm";
		double seconds = 0;	// armed for then; 0: cancelled
	};
	// also: other signals set so in the same run of calls, told as one.
	struct Handler {
		static constexpr const char *name = "handler";
		int sig = 0;
		Action action = Action::by_default;
		std::vector<int> also{};
	};
	struct Mask {
		static constexpr const char *name = "mask";
		enum class How { block, unblock, set };	// as sigprocmask's
		How how = How::block;
		std::vector<std::string> signals{};
	};
	// Asleep in a call: told once the kernel shows it asleep there. A
	// wait's child: the one waited for, pid 0 for any; group: with
	// child's pid 0, the process group whose children it waits for, 0
	// for its own, -1 for any group; awaited: what becoming of it ends
	// the wait ("end", "stop", "continue"). sigsuspend's and
	// sigtimedwait's signals: those it waits for. fds: what a read or
	// write waits on, or a poll's or select's descriptors (who unset);
	// seconds: how long a sleep lasts, or a poll's time limit, -1 none;
	// until: a sleep until a time of the clock, not for a while.
	struct Blocked {
		static constexpr const char *name = "blocked";
		std::string call{};
		Peer child{};
		pid_t group = -1;
		std::vector<std::string> awaited{};
		std::vector<std::string> signals{};
		std::vector<Fd> fds{};
		double seconds = -1;
		bool until = false;
	};
	// Out of the call: with a child that changed, by a handler for sig,
	// or failing with error.
	struct Woken {
		static constexpr const char *name = "woken";
		enum class Change { ended, stopped, continued };
		std::string call{};
		Peer child{};
		Change change = Change::ended;
		int sig = 0;
		int error = 0;
	};
	// why: the tracer killed it, for that.
	struct Ended {
		static constexpr const char *name = "ended";
		End end = End::exited(0);
		bool by_trace = false;
		std::string why{};
	};
	// status: kept if the reaper's wait took the exit status, discarded
	// if it gave no place for it (or the kernel reaped it).
	struct Reaped {
		static constexpr const char *name = "reaped";
		static constexpr bool befell = true;
		enum class Status { unknown, kept, discarded };
		Peer reaper{};
		long long zombie_us = 0;
		Status status = Status::unknown;
	};
	struct Reparented {
		static constexpr const char *name = "reparented";
		static constexpr bool befell = true;
		Peer new_parent{};
	};
	// Nothing can wake any process: each waits in a call, or is
	// stopped (in "stop").
	struct Stuck {
		static constexpr const char *name = "stuck";
		static constexpr bool befell = true;
		struct Waiter {
			Peer who{};
			std::string in{};
		};
		std::vector<Waiter> waiting{};
	};
	// Its parent, the run being stuck, will never wait for it: told just
	// before stuck.
	struct Zombie {
		static constexpr const char *name = "zombie";
		static constexpr bool befell = true;
		Peer parent{};
	};
	// A pipe made, fds[0] its read end and fds[1] its write end; or a
	// socket pair, each end both.
	struct Pipe {
		static constexpr const char *name = "pipe";
		Target::Kind kind = Target::Kind::pipe;
		int id = 0;
		int fds[2] = {-1, -1};
	};
	// from copied onto to by call (dup, dup2, dup3, fcntl), from leading
	// to target; whatever to led to before is closed.
	struct Dup {
		static constexpr const char *name = "dup";
		std::string call{};
		int from = -1;
		int to = -1;
		Target target{};
	};
	// fd closed, by call (close, close_range, a dup onto it); left: the
	// descriptors of the run that still lead to the same end.
	struct Close {
		static constexpr const char *name = "close";
		std::string call{};
		int fd = -1;
		Target target{};
		std::vector<Fd> left{};
	};
	// A read on a pipe or socket found end of file: no write end, or no
	// other end, is left open.
	struct Eof {
		static constexpr const char *name = "eof";
		int fd = -1;
		Target target{};
	};
	// Where a process stood as trace ended the run, or as the terminal's
	// key ended it: in, the call it sleeps in (call "" if none); others:
	// for a pipe or socket it waits on, the descriptors of the other end
	// (a reader waits for a writer); never: nothing in the run can ever
	// wake it, as every process of the run sleeps so.
	struct Snapshot {
		static constexpr const char *name = "snapshot";
		static constexpr bool befell = true;
		enum class State { running, blocked, stopped, zombie };
		State state = State::running;
		Blocked in{};
		std::vector<Fd> others{};
		bool never = false;
	};
	// Bytes that are not the run's output: how many (size), the first of
	// them (text). Through a pipe or socket, channel is which, as the
	// kernel numbers it (its inode), for a picture to tell one sender's
	// pipes apart.
	struct Sent {
		static constexpr const char *name = "sent";
		int fd = -1;
		std::string through{};	// "pipe", "socket"
		std::uint64_t channel = 0;
		std::uint64_t size = 0;
		std::string text{};
		int id = 0;	// the pipe's or pair's number in the run, if known
	};
	struct Received {
		static constexpr const char *name = "received";
		int fd = -1;
		std::string through{};
		std::uint64_t channel = 0;
		std::uint64_t size = 0;
		std::string text{};
		Peer sender{};	// if known
		int id = 0;
	};
	// To a file, or a device not the run's output.
	struct Wrote {
		static constexpr const char *name = "wrote";
		int fd = -1;
		std::string file{};
		std::uint64_t size = 0;
		std::string text{};
	};
	// sig, sent to the process while it blocks it, waits to be
	// delivered: told later, as it was sent (by sender, if the run's), or
	// now, as the process unblocks it, which lets it in.
	struct Pending {
		static constexpr const char *name = "pending";
		enum class Arrives { later, now };
		int sig = 0;
		Peer sender{};
		Arrives arrives = Arrives::later;
	};
	// Its handler for sig has returned, and what it broke into goes on:
	// cut, the call it cut short, then fails with error (EINTR) or,
	// error 0, starts again; cut "", a fault, whose instruction runs
	// again.
	struct Returned {
		static constexpr const char *name = "returned";
		int sig = 0;
		std::string cut{};
		int error = 0;
	};

	using What = std::variant<Line, Fork, Thread, Exec, Signal, Kill, Alarm,
	    Handler, Mask, Blocked, Woken, Ended, Reaped, Reparented, Stuck,
	    Zombie, Sent, Received, Wrote, Pending, Returned, Pipe, Dup,
	    Close, Eof, Snapshot>;

	long long us = 0;	// since the start, on the run's clock
	pid_t pid = 0;
	std::string role{};
	// The thread that made it, in a process that has started threads:
	// its id, and its name ("T1"), "" for the process's first thread.
	pid_t tid = 0;
	std::string thread{};
	// Where in its program's source the process made the call or stood,
	// when the tracer is asked to find it.
	Source source{};
	// Made inside a signal handler: the signal it runs for, 0 if not;
	// the call the signal cut short to run it, if any.
	int handler = 0;
	std::string handler_cut{};
	What what;

	template <class K> [[nodiscard]] bool is() const
	{
		return std::holds_alternative<K>(what);
	}
	template <class K> [[nodiscard]] const K *as() const
	{
		return std::get_if<K>(&what);
	}
	// Made where the process stands in its code: not one that befell it.
	[[nodiscard]] bool sited() const;
};

// A visitor of one function for each kind: a kind left out is an error.
template <class... F> struct Each : F... {
	using F::operator()...;
};
template <class... F> Each(F...) -> Each<F...>;

// The word for an event's kind, as jsonl and the tests name it.
const char *kind_name(const Event &e);
const char *origin_name(Event::Origin origin);
// "default", "ignore", "handler", "discarded".
const char *action_name(Event::Action action);
const char *how_name(Event::Mask::How how);
const char *change_name(Event::Woken::Change change);
// "" for a status not known.
const char *status_name(Event::Reaped::Status status);
const char *arrival_name(Event::Pending::Arrives arrives);
// "", "pipe", "socket", "terminal", "file".
const char *target_kind_name(Event::Target::Kind kind);
const char *state_name(Event::Snapshot::State state);
// The key that makes the terminal send sig: "Ctrl-C", "Ctrl-\", "Ctrl-Z".
const char *terminal_key(int sig);

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
