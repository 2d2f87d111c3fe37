#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

const Fault fork_fails{"clone,clone3,fork,vfork", "EAGAIN"};

static long long
now_ms()
{
	timespec ts{};

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

static void
nap()
{
	std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

static std::vector<char *>
pointers(std::vector<std::string> &strings)
{
	std::vector<char *> v;

	v.reserve(strings.size() + 1);
	for (auto &s : strings)
		v.push_back(s.data());
	v.push_back(nullptr);
	return v;
}

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

static void
sever(int &fd)
{
	if (fd >= 0)
		close(fd);
	fd = -1;
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

Process::Process(const std::string &program, const Options &o)
    : input_(o.input), more_input_(o.more_input),
      deadline_ms_(now_ms() + o.timeout_ms)
{
	std::vector<std::string> argv;
	if (o.fault || o.trace_writes || !o.log_calls.empty()) {
		char dir[] = "/tmp/harness-trace.XXXXXX";
		if (!mkdtemp(dir))
			throw std::runtime_error("mkdtemp failed");
		trace_dir_ = dir;
		argv = strace_argv(o, trace_dir_);
	}
	argv.push_back(program_path(program));
	argv.insert(argv.end(), o.args.begin(), o.args.end());
	std::string file = argv[0];
	if (o.argv0)
		argv[0] = *o.argv0;

	std::vector<std::string> env;
	// For a sanitizer's runtime, in a build that has one; elsewhere no one
	// reads them. LeakSanitizer cannot run under ptrace, and the runtime's
	// own sigaction calls at start-up would take a failure counted on the
	// program's. A preloaded library comes before the runtime, which it
	// only passes requests on to.
	std::string sanitizer;
	if (!trace_dir_.empty())
		sanitizer += "detect_leaks=0:handle_segv=0:handle_sigbus=0:"
		    "handle_sigfpe=0:";
	if (o.env.contains("LD_PRELOAD"))
		sanitizer += "verify_asan_link_order=0:";
	if (!sanitizer.empty() && !std::getenv("ASAN_OPTIONS"))
		env.push_back("ASAN_OPTIONS=" + sanitizer);
	for (char **e = environ; *e; e++) {
		std::string kv(*e);
		if (!o.env.contains(kv.substr(0, kv.find('='))))
			env.push_back(kv);
	}
	for (const auto &[key, value] : o.env)
		if (value)
			env.push_back(key + "=" + *value);

	std::vector<char *> argvp = pointers(argv), envp = pointers(env);
	int fds[6] = {-1, -1, -1, -1, -1, -1};
	int *in = fds, *out = fds + 2, *err = fds + 4;
	auto fail = [&](const char *what) {
		for (int fd : fds)
			if (fd >= 0)
				close(fd);
		sever(file_);
		throw std::runtime_error(what);
	};
	if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) ||
	    pipe2(err, O_CLOEXEC))
		fail("pipe2 failed");
	if (o.stdout_to_file &&
	    (file_ = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600)) < 0)
		fail("O_TMPFILE failed");

	pid_ = fork();
	if (pid_ < 0)
		fail("fork failed");
	if (pid_ == 0) {
		// Only async-signal-safe calls from here to execve. The program
		// starts as from a fresh shell: own process group, every
		// signal at its default and none blocked, whatever the test
		// runner inherited.
		struct sigaction dfl {};
		dfl.sa_handler = SIG_DFL;
		sigset_t none;
		sigemptyset(&none);
		setpgid(0, 0);
		for (int sig = 1; sig < NSIG; sig++)
			sigaction(sig, &dfl, nullptr);
		sigprocmask(SIG_SETMASK, &none, nullptr);
		dup2(in[0], 0);
		dup2(file_ >= 0 ? file_ : out[1], 1);
		dup2(err[1], 2);
		if (o.close_stdout)
			close(1);
		if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0)
			_exit(126);
		execve(file.c_str(), argvp.data(), envp.data());
		_exit(127);
	}
	setpgid(pid_, pid_);
	close(in[0]);
	close(out[1]);
	close(err[1]);
	in_ = in[1];
	out_ = out[0];
	err_ = err[0];
	fcntl(in_, F_SETFL, O_NONBLOCK);
	if (input_.empty() && !more_input_)
		sever(in_);
	if (trace_dir_.empty())
		result_.pid = pid_;
}

Process::~Process()
{
	if (!finished_) {
		kill(-pid_, SIGKILL);
		finish();
	}
}

// Moves what is ready between the pipes and the buffers.
void
Process::pump(int timeout_ms)
{
	bool pending = input_done_ < input_.size();
	pollfd fds[3] = {{out_, POLLIN, 0}, {err_, POLLIN, 0},
	    {pending ? in_ : -1, POLLOUT, 0}};

	if (poll(fds, 3, timeout_ms) <= 0)
		return;
	char buf[65536];
	std::string *dest[2] = {&result_.out, &result_.err};
	int *from[2] = {&out_, &err_};
	for (int i = 0; i < 2; i++) {
		if (!fds[i].revents)
			continue;
		int &fd = *from[i];
		ssize_t n = read(fd, buf, sizeof buf);
		if (n > 0)
			dest[i]->append(buf, static_cast<std::size_t>(n));
		else if (n == 0 || errno != EINTR)
			sever(fd);
	}
	if (fds[2].revents) {
		ssize_t n = write(in_, input_.data() + input_done_,
		    input_.size() - input_done_);
		if (n > 0)
			input_done_ += static_cast<std::size_t>(n);
		if ((n < 0 && errno != EAGAIN) ||
		    (input_done_ == input_.size() && !more_input_))
			sever(in_);
	}
}

// Past the time limit the run's group is killed; past a short grace
// after that, whatever still holds on (a process that left the group)
// is abandoned.
bool
Process::overdue()
{
	if (now_ms() < deadline_ms_)
		return false;
	if (result_.timed_out)
		return true;
	result_.timed_out = true;
	kill(-pid_, SIGKILL);
	deadline_ms_ = now_ms() + 2000;
	return false;
}

std::string
Process::read_line()
{
	for (;;) {
		if (result_.out.find('\n', line_start_) != std::string::npos ||
		    out_ < 0)
			return next_line(result_.out, line_start_);
		long long left = deadline_ms_ - now_ms();
		if (left <= 0) {
			ADD_FAILURE() << "no complete line within the time limit";
			return "";
		}
		pump(static_cast<int>(left));
	}
}

void
Process::feed(const std::string &bytes, bool last)
{
	int queued = 0;

	input_ += bytes;
	more_input_ = !last;
	while (in_ >= 0 && (input_done_ < input_.size() ||
	    (ioctl(in_, FIONREAD, &queued) == 0 && queued > 0))) {
		if (now_ms() >= deadline_ms_) {
			ADD_FAILURE() << "input not taken within the time limit";
			return;
		}
		pump(1);
	}
	if (last)
		sever(in_);
}

void
Process::signal(int sig) const
{
	kill(pid_, sig);
}

void
Process::signal_group(int sig) const
{
	kill(-pid_, sig);
}

// The processor time an ended process not yet collected spent itself,
// without its children's (which wait4 would add); 0 if the kernel has no
// scheduler statistics.
static std::chrono::nanoseconds
own_cpu_time(pid_t pid)
{
	std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
	long long ns = 0;

	in >> ns;
	return std::chrono::nanoseconds(ns);
}

Result
Process::finish()
{
	if (finished_)
		return result_;
	finished_ = true;
	while (out_ >= 0 || err_ >= 0) {
		if (overdue()) {
			sever(out_);
			sever(err_);
			break;
		}
		pump(static_cast<int>(std::max(1LL, deadline_ms_ - now_ms())));
	}
	sever(in_);

	// Every process of the run shares the group the program was given,
	// orphans included: wait for the group until it is empty.
	int status;
	bool main_done = false;
	for (;;) {
		siginfo_t ended{};
		if (!main_done && waitid(P_PID, static_cast<id_t>(pid_), &ended,
		    WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid_)
			result_.cpu_time = own_cpu_time(pid_);
		pid_t p = waitpid(main_done ? -pid_ : pid_, &status, WNOHANG);
		if (p < 0 && errno == EINTR)
			continue;
		if (p < 0)
			break;
		if (p == 0) {
			if (overdue())
				break;
			nap();
			continue;
		}
		if (p == pid_) {
			result_.end = End::from_wait_status(status);
			main_done = true;
		} else {
			result_.orphans.push_back(
			    {p, End::from_wait_status(status)});
		}
	}

	if (!main_done)
		ADD_FAILURE() << "could not collect process " << pid_;

	if (file_ >= 0) {
		char buf[65536];
		ssize_t n;
		for (off_t at = 0; (n = pread(file_, buf, sizeof buf, at)) > 0;
		    at += n)
			result_.out.append(buf, static_cast<std::size_t>(n));
		sever(file_);
	}
	for (std::size_t at = 0; at < result_.out.size();)
		result_.lines.push_back(next_line(result_.out, at));
	if (!trace_dir_.empty())
		read_trace(trace_dir_, result_);
	if (result_.timed_out)
		ADD_FAILURE() << "run did not end within the time limit; killed";
	return result_;
}

bool
await_sigsuspend(pid_t pid, std::chrono::milliseconds timeout)
{
	std::string path = "/proc/" + std::to_string(pid) + "/syscall";

	for (long long end = now_ms() + timeout.count(); now_ms() < end;
	    nap()) {
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

std::vector<pid_t>
children_of(pid_t pid)
{
	std::vector<pid_t> children;
	std::string dir = "/proc/" + std::to_string(pid) + "/task";

	for (const auto &task : std::filesystem::directory_iterator(dir)) {
		std::ifstream in(task.path() / "children");
		for (pid_t child; in >> child;)
			children.push_back(child);
	}
	return children;
}

Result
run(const std::string &program, const Options &options)
{
	return Process(program, options).finish();
}
