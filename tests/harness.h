// Starts the built programs through the runner (runner.h), as a user
// would, and adds what only the tests need: system calls made to fail
// under strace, every write(2) logged with its writer, a run's output
// read line by line while it goes on, and failures told to GoogleTest.
#ifndef HARNESS_H
#define HARNESS_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "runner.h"

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

// What the runner saw; under strace, pid is the program's as strace saw
// it exec.
struct Result : Outcome {
	std::vector<std::string> lines;	// out cut after every '\n'
	std::vector<Write> writes;	// each process's, in its own order
	// The other calls logged under strace, execve and a fault's calls
	// included; each process's in its own order.
	std::vector<Call> calls;
};

// A started program. Tests that must act while it runs (send a signal,
// read a line, then another) use it directly; the rest call run(). A
// failure to collect the program, or a run past its time limit, fails
// the test.
class Process {
public:
	explicit Process(const std::string &program,
	    const Options &options = {});
	Process(const Process &) = delete;
	Process &operator=(const Process &) = delete;
	~Process();

	// The started process's number; strace's, if it runs under it.
	[[nodiscard]] pid_t pid() const { return run_.pid(); }
	// The next line of standard output, '\n' included; "" once every
	// writer has closed it.
	std::string read_line();
	// Writes bytes to the program's input and waits until it has taken
	// them all out of the pipe; last: then ends its input.
	void feed(const std::string &bytes, bool last);
	// Sends sig to the process started, or to its whole process group
	// (the program gets one of its own), as Ctrl-C would.
	void signal(int sig) const { run_.signal(sig); }
	void signal_group(int sig) const { run_.signal_group(sig); }
	// Reads to EOF, collects the started process and every orphan.
	Result finish();

private:
	std::string trace_dir_;	// made before the run starts
	Run run_;
	std::size_t line_start_ = 0;
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
// The number a line ends with, before its newline; -1 if there is none.
long trailing_number(const std::string &line);

#endif
