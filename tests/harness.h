// Starts the built programs through the runner (runner.h), as a user
// would, and adds what only the tests need: system calls made to fail
// under strace, calls and signals logged by strace, every line with its
// writer and every event of our tracer, a run's output read line by line
// while it goes on, and failures told to GoogleTest.
#ifndef HARNESS_H
#define HARNESS_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "runner.h"
#include "tracer.h"

void PrintTo(const End &end, std::ostream *os);

// Makes system calls of the program really fail, or has a signal reach
// it on them: it runs under strace -f, which injects the error or the
// signal into the calls named. Under strace the process started is
// strace; the program is its child.
struct Fault {
	std::string calls;	// e.g. "clone,clone3,fork,vfork"
	std::string error;	// e.g. "EAGAIN"; empty, and no retval: made
	std::string signal{};	// e.g. "SIGSEGV", taken as a call returns
	int when = 0;		// only the when-th of those calls; 0: every one
	// e.g. "3": the calls are not made and return it, as a write that
	// took 3 bytes
	std::string retval{};
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
	// The program is a tool that runs what it starts under our tracer
	// (trace, orders -t): a sanitizer's runtime there must suit ptrace.
	bool runs_tracer = false;
	// Runs it under our tracer (tracer.h): every line comes back with the
	// process that wrote it, and the tracer's events and processes too.
	// Not with a fault or log_calls: a process has one tracer at most.
	bool trace_writes = false;
	bool time_lapse = false;	// under the tracer, with time-lapse
	// Under the tracer, called with each event as it comes, while the
	// process it tells of is stopped.
	std::function<void(const Event &)> on_event;
	// More calls to log, under strace -f, as strace's trace= list: e.g.
	// "alarm,wait4". They come back in Result::calls, with the signals
	// delivered and how each process ended.
	std::string log_calls;
	// More of strace's options, after the harness's own: e.g. -y, to
	// name the file behind each descriptor logged.
	std::vector<std::string> strace_options;
	int timeout_ms = 30000;
};

// A line as the tracer saw it written: a process's last on a descriptor
// may lack its '\n'.
struct Written {
	pid_t pid;
	std::string role;	// the tracer's: P, then C1, C2... as they came
	int fd;
	std::string text;
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

// A signal delivered, as strace logged it: "SIGALRM", and what it shows
// of the siginfo, e.g. "{si_signo=SIGALRM, si_code=SI_KERNEL}".
struct Delivered {
	pid_t pid;
	std::string name;
	std::string info;
	std::size_t after;	// how many of Result::calls came before it
};

// What the runner saw; under strace, pid is the program's as strace saw
// it exec.
struct Result : Outcome {
	std::vector<std::string> lines;	// out cut after every '\n'
	// Under the tracer: each line, every event, each process at the end;
	// each process's in its own order.
	std::vector<Written> written;
	std::vector<Event> events;
	std::vector<Traced> traced;
	// Under strace: the calls logged, execve and a fault's calls
	// included; the signals delivered; how each process ended. Each
	// process's in its own order.
	std::vector<Call> calls;
	std::vector<Delivered> signals;
	std::map<pid_t, End> ends;
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
	// Waits up to timeout_ms for output or the tracer, and moves on.
	void pump(int timeout_ms) { run_.pump(timeout_ms); }
	// The tracer's events so far.
	[[nodiscard]] const std::vector<Event> &events() const
	{
		return events_;
	}
	// Pumps until an event that match takes has come; false if none has
	// within the time limit, or once nothing more can come.
	bool await_event(const std::function<bool(const Event &)> &match);
	// Reads to EOF, collects the started process and every orphan.
	Result finish();

private:
	std::vector<Event> events_;
	std::unique_ptr<Tracer> tracer_;	// outlives the run it traces
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

// A file the build made, by its path in the build's folder: "bin",
// "tests/real/zombie".
std::string built(const std::string &path);
// Whether the programs were built with the sanitizers, which valgrind
// cannot run.
extern const bool built_sanitized;
// Resolves a demo's name to its path in the build's bin folder; a name
// holding '/' is used as it is.
std::string program_path(const std::string &program);
// A sanitizer's options for a program under a tracer, in a build that
// has one: LeakSanitizer cannot run under ptrace.
extern const char traced_sanitizer[];
Result run(const std::string &program, const Options &options = {});
// Runs trace --mute with args, its programs traced by it, not by the
// harness: the report is trace's standard output, the program's own
// output goes to /dev/null.
Result run_trace(std::vector<std::string> args, const std::string &input = "");
// Its report with --format jsonl, an object a line.
std::vector<nlohmann::json> json_lines(const Result &r);
// Runs orders with args; with -t or -w its runs are traced by it.
Result run_orders(std::vector<std::string> args);
// A file's bytes, whole; "" if it cannot be read.
std::string slurp(const std::string &path);
// text holds part.
bool holds(const std::string &text, const std::string &part);
// trace's text report with each sentence and note whole on one line:
// the lines it went on to, 16 columns in or more, joined to it.
std::string unwrapped(const std::string &report);

// What a program showed on a terminal, and how it ended.
struct OnTerminal {
	std::string shown;	// all it wrote there, the terminal's \r too
	int status = -1;	// as waitpid gives it
};
// Given all shown so far (which it may cut) and the terminal, to type on.
using Answer = std::function<void(std::string &shown, int tty)>;
// Runs argv on a new pseudo-terminal, cols wide (0: the system's
// default), without colours, answering what it shows after each read;
// with runs_tracer, as Options has it. It ends when nothing holds the
// terminal any more, or nothing comes for 30 s.
OnTerminal on_terminal(std::vector<std::string> argv, unsigned short cols,
    bool runs_tracer, const Answer &answer);
// Polls until process pid sits in sigsuspend, where a signal it lets
// through takes effect at once; false if it is gone or has not got there
// within timeout.
bool await_sigsuspend(pid_t pid,
    std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Polls until process pid is in state (a letter of /proc's, or '\0' for
// gone); false if it is not within timeout.
bool await_state(pid_t pid, char state, std::chrono::milliseconds timeout =
    std::chrono::seconds(10));
// The number a line ends with, before its newline; -1 if there is none.
long trailing_number(const std::string &line);
// A line without the number it ends with, nor its newline.
std::string without_number(const std::string &line);
// A line as two runs of a demo can share it: the numbers that are the
// run's processes as their roles, "{P}", and every address as ADDR.
std::string plain_line(const std::string &line,
    const std::map<pid_t, std::string> &role);

// The roles of the processes strace followed: "P" the program, "C1",
// "C2"... its children in the order it made them, from its logged forks.
std::map<pid_t, std::string> roles_by_fork(const Result &r);
bool is_fork(const Call &c);
// The number a call returned: -1 for an error, 0 for none ("?").
long returned_number(const std::string &ret);
// The bytes of a call's first string argument, as strace logged it (all
// hex escapes); "" if it has none.
std::string string_argument(const std::string &args);
// The program strace runs, once it has started it; 0 if it has not
// within a generous time.
pid_t traced_program(const Process &p, const std::string &program);

// A program for python3 -c with two messages: P writes "to C1" into a
// pipe C1 reads, then "to C2" into another pipe C2 reads; C2 reads
// first. Each child writes what it read as a line.
extern const char two_pipes_py[];

// Alarms sent from outside, to a timer demo's process by its role (P,
// C1), so many times.
struct Alarms {
	std::string to;
	int times;
};
// Under strace: sends each alarm once its receiver waits in sigsuspend
// and, with lines, reads the line it brings before the next. Fills pid
// with the processes by role; a failure fails the test.
void send_alarms(Process &p, const std::string &program,
    const std::vector<Alarms> &alarms, bool lines,
    std::map<std::string, pid_t> &pid);
// Reads the program's lines; each greeting names a child to send its
// alarm to once it waits.
void alarm_greeters(Process &p);

#endif
