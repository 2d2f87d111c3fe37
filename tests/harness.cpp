// The test harness: runs programs through the runner for the tests, see
// harness.h.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

const Fault fork_fails{"clone,clone3,fork,vfork", "EAGAIN"};

// The line of s that starts at `at`, '\n' included if it has one; moves
// `at` past it.
static std::string
next_line(const std::string &s, std::size_t &at)
{
	std::size_t nl = s.find('\n', at);
	std::size_t end = nl == std::string::npos ? s.size() : nl + 1;
	std::string line = s.substr(at, end - at);

	at = end;
	return line;
}

void
PrintTo(const End &end, std::ostream *os)
{
	*os << describe(end);
}

Scratch::Scratch()
{
	char dir[] = "/tmp/suite-test.XXXXXX";
	if (!mkdtemp(dir))
		throw std::runtime_error("mkdtemp failed");
	path = dir;
}

Scratch::~Scratch()
{
	std::filesystem::remove_all(path);
}

void
Scratch::standin(const std::string &name) const
{
	std::filesystem::copy_file(STANDIN_PATH, path + "/" + name);
}

std::string
Scratch::script(const std::string &name, const std::string &body) const
{
	std::string file = path + "/" + name;
	std::ofstream(file) << "#!/bin/sh\n" << body;
	std::filesystem::permissions(file, std::filesystem::perms::owner_all);
	return file;
}

std::string
program_path(const std::string &program)
{
	if (program.find('/') != std::string::npos)
		return program;
	const char *dir = std::getenv("SUITE_BIN_DIR");
	return std::string(dir ? dir : SUITE_BIN_DIR) + "/" + program;
}

long
trailing_number(const std::string &line)
{
	std::size_t end = line.size() - (line.ends_with('\n') ? 1 : 0);
	std::size_t start = line.find_last_not_of("0123456789", end - 1) + 1;

	if (end == 0 || start == end)
		return -1;
	return std::strtol(line.c_str() + start, nullptr, 10);
}

// The strace command line that runs the program, logging into trace_dir
// a file per process: the program's execve, its writes and the calls
// named if asked.
static std::vector<std::string>
strace_argv(const Options &o, const std::string &trace_dir)
{
	std::string traced = o.trace_writes ? "execve,write" : "execve";
	if (o.fault)
		traced += "," + o.fault->calls;
	if (!o.log_calls.empty())
		traced += "," + o.log_calls;
	std::vector<std::string> argv = {STRACE_PATH, "-f", "-qq", "-ff",
	    "-o", trace_dir + "/t", "-xx", "-s", "65536", "-e", "signal=none",
	    "-e", "trace=" + traced};
	if (o.fault) {
		std::string inject = "inject=" + o.fault->calls;
		if (!o.fault->error.empty())
			inject += ":error=" + o.fault->error;
		if (!o.fault->signal.empty())
			inject += ":signal=" + o.fault->signal;
		if (o.fault->when > 0)
			inject += ":when=" + std::to_string(o.fault->when);
		argv.insert(argv.end(), {"-e", inject});
	}
	argv.emplace_back("--");
	return argv;
}

// The call a line of strace's log holds, as "name(args) = ret" with
// padding before the '=', or "name(args <unfinished ...>"; nullopt for a
// line that holds none. Strings in args are all hex escapes (-xx), so
// " = " can only be the separator.
static std::optional<Call>
parse_call(pid_t pid, const std::string &l)
{
	std::size_t open = l.find('(');
	if (open == 0 || open == std::string::npos ||
	    l.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != open)
		return std::nullopt;
	Call c{pid, l.substr(0, open), "", "?"};
	std::size_t end = l.rfind(" = ");
	if (end != std::string::npos) {
		c.ret = l.substr(end + 3);
		end = l.find_last_not_of(' ', end);	// the ')'
	} else {
		end = l.rfind(" <unfinished ...>");
	}
	c.args = l.substr(open + 1, std::min(end, l.size()) - open - 1);
	return c;
}

// Reads what strace logged, a file per process, and removes the files.
static void
read_trace(const std::string &dir, Result &r)
{
	std::vector<std::pair<pid_t, std::string>> files;
	for (const auto &e : std::filesystem::directory_iterator(dir)) {
		std::string name = e.path().filename();
		files.emplace_back(std::stoi(name.substr(name.find('.') + 1)),
		    e.path());
	}
	std::sort(files.begin(), files.end());
	for (const auto &[pid, path] : files) {
		std::ifstream in(path);
		for (std::string l; std::getline(in, l);) {
			if (l.rfind("execve(", 0) == 0 && r.pid < 0)
				r.pid = pid;
			if (l.rfind("write(", 0) != 0) {
				if (std::optional<Call> c = parse_call(pid, l))
					r.calls.push_back(*c);
				continue;
			}
			Write w{pid, std::stoi(l.substr(6)), ""};
			for (std::size_t at = l.find("\"\\x"); l[at + 1] == '\\';
			    at += 4)
				w.data += static_cast<char>(
				    std::stoi(l.substr(at + 3, 2), nullptr, 16));
			r.writes.push_back(w);
		}
	}
	std::filesystem::remove_all(dir);
}

// The runner's launch for a program and the test's options: under strace
// if a fault, the writes or other calls are asked for, logging into
// trace_dir.
static Launch
launch(const std::string &program, const Options &o,
    const std::string &trace_dir)
{
	Launch l;
	if (!trace_dir.empty())
		l.argv = strace_argv(o, trace_dir);
	l.argv.push_back(program_path(program));
	l.argv.insert(l.argv.end(), o.args.begin(), o.args.end());
	l.file = l.argv[0];
	if (o.argv0)
		l.argv[0] = *o.argv0;
	l.env = o.env;
	// For a sanitizer's runtime, in a build that has one; elsewhere no one
	// reads them. LeakSanitizer cannot run under ptrace, and the runtime's
	// own sigaction calls at start-up would take a failure counted on the
	// program's. A preloaded library comes before the runtime, which it
	// only passes requests on to.
	std::string sanitizer;
	if (!trace_dir.empty())
		sanitizer += "detect_leaks=0:handle_segv=0:handle_sigbus=0:"
		    "handle_sigfpe=0:";
	if (o.env.contains("LD_PRELOAD"))
		sanitizer += "verify_asan_link_order=0:";
	if (!sanitizer.empty() && !std::getenv("ASAN_OPTIONS"))
		l.env["ASAN_OPTIONS"] = sanitizer;
	l.cwd = o.cwd;
	l.input = o.input;
	l.more_input = o.more_input;
	l.out = o.close_stdout ? Launch::Output::closed : o.stdout_to_file ?
	    Launch::Output::file : Launch::Output::pipe;
	l.timeout_ms = o.timeout_ms;
	return l;
}

static std::string
trace_dir_for(const Options &o)
{
	if (!o.fault && !o.trace_writes && o.log_calls.empty())
		return "";
	char dir[] = "/tmp/harness-trace.XXXXXX";
	if (!mkdtemp(dir))
		throw std::runtime_error("mkdtemp failed");
	return dir;
}

Process::Process(const std::string &program, const Options &o)
    : trace_dir_(trace_dir_for(o)), run_(launch(program, o, trace_dir_))
{
}

Process::~Process()
{
	if (!trace_dir_.empty()) {
		std::error_code ignored;
		std::filesystem::remove_all(trace_dir_, ignored);
	}
}

std::string
Process::read_line()
{
	for (;;) {
		const std::string &out = run_.outcome().out;
		if (out.find('\n', line_start_) != std::string::npos ||
		    !run_.reading())
			return next_line(out, line_start_);
		if (run_.time_left() == 0) {
			ADD_FAILURE() << "no complete line within the time limit";
			return "";
		}
		run_.pump(run_.time_left());
	}
}

void
Process::feed(const std::string &bytes, bool last)
{
	if (!run_.feed(bytes, last))
		ADD_FAILURE() << "input not taken within the time limit";
}

Result
Process::finish()
{
	Result r{run_.finish(), {}, {}, {}};
	if (!r.collected)
		ADD_FAILURE() << "could not collect process " << r.pid;
	if (r.timed_out)
		ADD_FAILURE() << "run did not end within the time limit; killed";
	for (std::size_t at = 0; at < r.out.size();)
		r.lines.push_back(next_line(r.out, at));
	if (!trace_dir_.empty()) {
		r.pid = -1;
		read_trace(trace_dir_, r);
		trace_dir_.clear();
	}
	return r;
}

bool
await_sigsuspend(pid_t pid, std::chrono::milliseconds timeout)
{
	std::string path = "/proc/" + std::to_string(pid) + "/syscall";

	auto end = std::chrono::steady_clock::now() + timeout;
	for (; std::chrono::steady_clock::now() < end;
	    std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
		// The number of the call it is blocked in; "running" or
		// nothing while it runs, nothing once it has ended.
		long call = -1;
		std::ifstream in(path);
		if (!in.is_open())
			return false;
		if (in >> call && call == SYS_rt_sigsuspend)
			return true;
	}
	return false;
}

Result
run(const std::string &program, const Options &options)
{
	return Process(program, options).finish();
}
