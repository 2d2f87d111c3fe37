// Starts the built programs as a user would and reports what they did:
// every byte on descriptors 1 and 2, read to EOF, how the started process
// ended, and how every process that outlived its parent ended (the test
// process is a child subreaper, so orphans come back to it).
#ifndef HARNESS_H
#define HARNESS_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "end.h"

void PrintTo(const End &end, std::ostream *os);

// Makes system calls of the program really fail, or has a signal reach
// it on them: it runs under strace -f, which injects the error or the
// signal into the calls named. Under strace the process started is
// strace; the program is its child.
struct Fault {
	std::string calls;	// e.g. "clone,clone3,fork,vfork"
	std::string error;	// e.g. "EAGAIN"; empty: the calls are made
	std::string signal{};	// e.g. "SIGSEGV", taken as a call returns
	int when = 0;		// only the when-th of those calls; 0: every one
};
extern const Fault fork_fails;

struct Options {
	std::vector<std::string> args;
	std::optional<std::string> argv0;	// its name; else its path (not under strace)
	std::string input;	// bytes on descriptor 0, then end of input
	bool more_input = false;	// no end of input until Process::feed says so
	std::string cwd;	// working directory; empty: the test's own
	// Changes to the test's environment: a value sets, nullopt unsets.
	std::map<std::string, std::optional<std::string>> env;
	std::optional<Fault> fault;
	bool close_stdout = false;	// start with descriptor 1 closed
	bool stdout_to_file = false;	// a regular file instead of a pipe
	bool trace_writes = false;	// log every write(2), under strace -f
	// More calls to log, under strace -f, as strace's trace= list: e.g.
	// "alarm,wait4". They come back in Result::calls.
	std::string log_calls;
	int timeout_ms = 30000;
};

struct Orphan {
	pid_t pid;
	End end;
};

struct Write {
	pid_t pid;	// the process that made the call
	int fd;
	std::string data;
};

// A call as strace logged it: its arguments and what it returned as
// strace writes them, e.g. "SIG_BLOCK, [ALRM], NULL, 8" and "0"; "?" for
// a call that never returned.
struct Call {
	pid_t pid;	// the process that made the call
	std::string name;
	std::string args;
	std::string ret;
};

struct Result {
	// The program's process number; under strace, as strace saw it exec.
	pid_t pid = -1;
	End end = End::killed(0);	// until it is collected
	std::string out;
	std::vector<std::string> lines;	// out cut after every '\n'
	std::string err;
	std::vector<Orphan> orphans;	// in the order they were collected
	std::vector<Write> writes;	// each process's, in its own order
	// The other calls logged under strace, execve and a fault's calls
	// included; each process's in its own order.
	std::vector<Call> calls;
	// Processor time the process started spent itself, its children not
	// counted (strace's, under strace).
	std::chrono::nanoseconds cpu_time{0};
	bool timed_out = false;
};

// A started program. Tests that must act while it runs (send a signal,
// read a line, then another) use it directly; the rest call run().
class Process {
public:
	explicit Process(const std::string &program,
	    const Options &options = {});
	Process(const Process &) = delete;
	Process &operator=(const Process &) = delete;
	~Process();

	// The started process's number; strace's, if it runs under it.
	[[nodiscard]] pid_t pid() const { return pid_; }
	// The next line of standard output, '\n' included; "" once every
	// writer has closed it.
	std::string read_line();
	// Writes bytes to the program's input and waits until it has taken
	// them all out of the pipe; last: then ends its input.
	void feed(const std::string &bytes, bool last);
	// Sends sig to the process started, or to its whole process group
	// (the program gets one of its own), as Ctrl-C would.
	void signal(int sig) const;
	void signal_group(int sig) const;
	// Reads to EOF, collects the started process and every orphan.
	Result finish();

private:
	void pump(int timeout_ms);
	bool overdue();

	pid_t pid_ = -1;
	int in_ = -1, out_ = -1, err_ = -1, file_ = -1;
	std::string input_;
	std::size_t input_done_ = 0, line_start_ = 0;
	bool more_input_ = false;
	long long deadline_ms_ = 0;
	std::string trace_dir_;
	Result result_;
	bool finished_ = false;
};

// A fresh directory, removed with what it holds.
class Scratch {
public:
	Scratch();
	~Scratch();
	Scratch(const Scratch &) = delete;
	Scratch &operator=(const Scratch &) = delete;

	// Puts the stand-in program here under `name`.
	void standin(const std::string &name) const;
	// Puts a shell script here under `name`; returns its path.
	[[nodiscard]] std::string script(const std::string &name,
	    const std::string &body) const;

	std::string path;
};

// Resolves a demo's name to its path in the build's bin folder; a name
// holding '/' is used as it is.
std::string program_path(const std::string &program);
Result run(const std::string &program, const Options &options = {});
// Polls until process pid sits in sigsuspend, where a signal it lets
// through takes effect at once; false if it is gone or has not got there
// within timeout.
bool await_sigsuspend(pid_t pid,
    std::chrono::milliseconds timeout = std::chrono::seconds(10));
// The processes whose parent is pid.
std::vector<pid_t> children_of(pid_t pid);
// The number a line ends with, before its newline; -1 if there is none.
long trailing_number(const std::string &line);

#endif
