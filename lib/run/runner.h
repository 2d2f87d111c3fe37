// The one way a demo is run and watched, for orders and the tests alike:
// the program starts as from a fresh shell (a process group of its own,
// every signal at its default and none blocked), with the input, output,
// folder and environment asked for; its descriptors 1 and 2 are read to
// their end, which comes once the last process holding them has ended or
// closed them; then the started process and every process that outlived
// its parent are collected with how each ended. The process that makes a
// Run becomes a child subreaper, so those orphans come back to it; it
// must leave SIGCHLD at its default. A process that leaves the run's
// process group is not waited for.
#ifndef RUNNER_H
#define RUNNER_H

#include <sys/types.h>

#include <map>
#include <optional>
#include <csignal>
#include <string>
#include <vector>

#include "end.h"
#include "procfs.h"

class Tracer;

struct Launch {
	std::string file;	// the program
	std::vector<std::string> argv;	// from argv[0]; empty: file alone
	// Changes to our environment: a value sets, nullopt unsets.
	std::map<std::string, std::optional<std::string>> env;
	std::string cwd;	// its working folder; empty: ours
	std::string input;	// bytes on descriptor 0, then end of input
	bool more_input = false;	// no end of input until feed says so
	bool keep_input = false;	// descriptor 0 is ours instead
	enum class Output { pipe, file, closed, null, ours };
	// Descriptor 1: a pipe we read, a file, none, /dev/null (2 as well),
	// or our own 1 and 2 as they are, read by nobody here.
	Output out = Output::pipe;
	// Its process group is ours, so that the terminal's Ctrl-C reaches
	// it; only with a tracer, which knows every process of the run.
	bool own_group = true;
	// Runs it under this tracer, which then waits for its processes.
	Tracer *tracer = nullptr;
	// Past this the run's group is killed; past a short grace after it,
	// whatever still holds on (a process that left the group) is left.
	int timeout_ms = 30000;
	// Past this many bytes on 1 and 2 the run's group is killed, as
	// past its time; 0: no limit.
	std::size_t most_kept = 0;
};

struct Orphan {
	pid_t pid;
	End end;
};

struct Outcome {
	pid_t pid = -1;		// the process started
	bool collected = false;	// its end is known
	End end = End::killed(0);
	std::string out, err;	// everything written on 1 and on 2
	std::vector<Orphan> orphans;	// in the order they were collected
	bool timed_out = false;
	bool too_much = false;	// killed for writing past most_kept
};

class Run {
public:
	// Throws std::system_error if the program cannot be started.
	explicit Run(const Launch &launch);
	Run(const Run &) = delete;
	Run &operator=(const Run &) = delete;
	// A run not finished is killed, then collected.
	~Run();

	[[nodiscard]] pid_t pid() const { return o_.pid; }
	[[nodiscard]] const Outcome &outcome() const { return o_; }
	// Whether descriptor 1 or 2 may still bring something.
	[[nodiscard]] bool reading() const { return out_ >= 0 || err_ >= 0; }
	// Milliseconds until the time limit, 0 past it.
	[[nodiscard]] int time_left() const;
	// Waits up to timeout_ms for output, or room for pending input, and
	// moves what is ready. With mask, the signals it leaves out are let
	// in only while it waits (ppoll), so that one blocked until then
	// cuts the wait short, wherever it came.
	void pump(int timeout_ms, const sigset_t *mask = nullptr);
	// Writes bytes to the program's input and waits until it has taken
	// them all out of the pipe; last: then ends its input. False if it
	// did not take them within the time limit.
	bool feed(const std::string &bytes, bool last);
	// Sends sig to the process started, or to its whole group.
	void signal(int sig) const;
	void signal_group(int sig) const;
	// Reads to the end, collects the started process and every orphan.
	const Outcome &finish();

private:
	void start(const Launch &launch);
	bool traced(int go);
	void collect();
	void collect_traced();
	bool overdue();

	Outcome o_;
	Tracer *tracer_ = nullptr;
	std::size_t most_kept_ = 0;
	int in_ = -1, out_ = -1, err_ = -1, file_ = -1;
	std::string input_;
	std::size_t input_done_ = 0;
	bool more_input_ = false;
	long long deadline_ms_ = 0;
	bool finished_ = false;
};

#endif
