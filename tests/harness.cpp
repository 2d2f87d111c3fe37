// The test harness: runs programs through the runner for the tests, see
// harness.h.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.h"
#include "strace_log.h"

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
	std::filesystem::copy_file(built("tests/standin"), path + "/" + name);
}

std::string
Scratch::script(const std::string &name, const std::string &body) const
{
	std::string file = path + "/" + name;
	std::ofstream(file) << "#!/bin/sh\n" << body;
	std::filesystem::permissions(file, std::filesystem::perms::owner_all);
	return file;
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

std::string
without_number(const std::string &line)
{
	return line.substr(0, line.find_last_not_of("0123456789\n") + 1);
}

const char traced_sanitizer[] = "detect_leaks=0:handle_segv=0:"
    "handle_sigbus=0:handle_sigfpe=0:";

// The runner's launch for a program and the test's options: under strace,
// logging into trace_dir, if a fault or calls are asked for; or ours.
static Launch
launch(const std::string &program, const Options &o,
    const std::string &trace_dir, Tracer *tracer)
{
	Launch l;
	l.tracer = tracer;
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
	if (!trace_dir.empty() || tracer || o.runs_tracer)
		sanitizer += traced_sanitizer;
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
	if (!o.fault && o.log_calls.empty())
		return "";
	char dir[] = "/tmp/harness-trace.XXXXXX";
	if (!mkdtemp(dir))
		throw std::runtime_error("mkdtemp failed");
	return dir;
}

// Our tracer, if the options ask for it, keeping its events in events
// and handing each to the test's on_event as well.
static std::unique_ptr<Tracer>
tracer_for(const Options &o, std::vector<Event> &events)
{
	if (!o.trace_writes && !o.time_lapse)
		return nullptr;
	if (o.fault || !o.log_calls.empty())
		throw std::invalid_argument("under our tracer, strace cannot "
		    "trace the program too");
	return std::make_unique<Tracer>(
	    [&events, hook = o.on_event](const Event &e) {
		events.push_back(e);
		if (hook)
			hook(e);
	}, o.time_lapse);
}

Process::Process(const std::string &program, const Options &o)
    : tracer_(tracer_for(o, events_)), trace_dir_(trace_dir_for(o)),
      run_(launch(program, o, trace_dir_, tracer_.get()))
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

bool
Process::await_event(const std::function<bool(const Event &)> &match)
{
	for (std::size_t seen = 0;;) {
		for (; seen < events_.size(); seen++)
			if (match(events_[seen]))
				return true;
		if (!tracer_ || tracer_->done() || run_.time_left() == 0)
			return false;
		run_.pump(run_.time_left());
	}
}

Result
Process::finish()
{
	Result r;
	static_cast<Outcome &>(r) = run_.finish();
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
	if (tracer_) {
		r.events = events_;
		r.traced = tracer_->processes();
		for (const Event &e : r.events)
			if (const auto *l = e.as<Event::Line>())
				r.written.push_back({e.pid, e.role, l->fd, l->text});
	}
	return r;
}

std::string
plain_line(const std::string &line,
    const std::map<pid_t, std::string> &role)
{
	std::string out;
	for (std::size_t at = 0; at < line.size();) {
		std::size_t end = line.find_first_not_of("0123456789", at);
		end = end == std::string::npos ? line.size() : end;
		if (line.compare(at, 2, "0x") == 0) {
			end = line.find_first_not_of("0123456789abcdef", at + 2);
			end = end == std::string::npos ? line.size() : end;
			out += "ADDR";
		} else if (end == at) {
			out += line[at];
			end = at + 1;
		} else if (auto it = role.find(std::stoi(line.substr(at, 9)));
		    end - at < 10 && it != role.end()) {
			out += "{" + it->second + "}";
		} else {
			out.append(line, at, end - at);
		}
		at = end;
	}
	return out;
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

Result
run_orders(std::vector<std::string> args)
{
	Options o;
	o.runs_tracer = std::any_of(args.begin(), args.end(),
	    [](const std::string &a) {
		    return a == "-t" || a == "-w" || a == "--time-lapse" ||
			a == "--writers";
	    });
	o.args = std::move(args);
	o.timeout_ms = 120000;
	return run("orders", o);
}

std::string
slurp(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream s;
	s << in.rdbuf();
	return s.str();
}

bool
holds(const std::string &text, const std::string &part)
{
	return text.find(part) != std::string::npos;
}

Result
run_trace(std::vector<std::string> args, const std::string &input)
{
	Options o;
	o.args = std::move(args);
	o.args.insert(o.args.begin(), "--mute");
	o.input = input;
	o.runs_tracer = true;
	return run("trace", o);
}

std::vector<nlohmann::json>
json_lines(const Result &r)
{
	std::vector<nlohmann::json> v;
	for (const auto &l : r.lines)
		v.push_back(nlohmann::json::parse(l));
	return v;
}

void
send_alarms(Process &p, const std::string &program,
    const std::vector<Alarms> &alarms, bool lines,
    std::map<std::string, pid_t> &pid)
{
	if (!alarms.empty()) {
		pid["P"] = traced_program(p, program);
		ASSERT_GT(pid["P"], 0);
		// The timer demos that fork do so before their first wait.
		ASSERT_TRUE(await_sigsuspend(pid["P"]));
		std::vector<pid_t> children = children_of(pid["P"]);
		if (children.size() == 1)
			pid["C1"] = children[0];
	}
	for (const Alarms &a : alarms) {
		ASSERT_TRUE(pid.contains(a.to)) << a.to;
		for (int i = 0; i < a.times; i++) {
			ASSERT_TRUE(await_sigsuspend(pid[a.to])) << a.to;
			kill(pid[a.to], SIGALRM);
			if (lines) {
				ASSERT_NE(p.read_line(), "") << a.to;
			}
		}
	}
}

void
alarm_greeters(Process &p)
{
	for (std::string line; !(line = p.read_line()).empty();) {
		auto child = static_cast<pid_t>(trailing_number(line));
		if (line.starts_with("Hola") && await_sigsuspend(child))
			kill(child, SIGALRM);
	}
}

bool
await_state(pid_t pid, char state, std::chrono::milliseconds timeout)
{
	auto end = std::chrono::steady_clock::now() + timeout;
	while (state_of(pid) != state && std::chrono::steady_clock::now() < end)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	return state_of(pid) == state;
}

const char two_pipes_py[] = R"(import os, time
a, b = os.pipe(), os.pipe()
if os.fork() == 0:
    time.sleep(0.2)
    os.write(1, os.read(a[0], 100) + b"\n")
    os._exit(0)
if os.fork() == 0:
    os.write(1, os.read(b[0], 100) + b"\n")
    os._exit(0)
os.write(a[1], b"to C1")
os.write(b[1], b"to C2")
os.wait()
os.wait()
)";
