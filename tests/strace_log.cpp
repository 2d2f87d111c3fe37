// strace for the tests: its command line, and the one reader of what it
// logs, calls, signals and ends alike. See harness.h.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <thread>

#include "harness.h"
#include "rules.h"
#include "strace_log.h"

std::vector<std::string>
strace_argv(const Options &o, const std::string &trace_dir)
{
	std::string traced = "execve";
	if (o.fault)
		traced += "," + o.fault->calls;
	if (!o.log_calls.empty())
		traced += "," + o.log_calls;
	std::vector<std::string> argv = {STRACE_PATH, "-f", "-q", "-ff",
	    "-o", trace_dir + "/t", "-xx", "-s", "65536",
	    "-e", "trace=" + traced};
	if (o.fault) {
		std::string inject = "inject=" + o.fault->calls;
		if (!o.fault->error.empty())
			inject += ":error=" + o.fault->error;
		if (!o.fault->retval.empty())
			inject += ":retval=" + o.fault->retval;
		if (!o.fault->signal.empty())
			inject += ":signal=" + o.fault->signal;
		if (o.fault->when > 0)
			inject += ":when=" + std::to_string(o.fault->when);
		argv.insert(argv.end(), {"-e", inject});
	}
	argv.insert(argv.end(), o.strace_options.begin(),
	    o.strace_options.end());
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

// The signal named "SIGALRM"; 0 if none is.
static int
signal_number(const std::string &name)
{
	for (int sig = 1; sig < NSIG; sig++)
		if (signal_name(sig) == name)
			return sig;
	return 0;
}

// A line strace writes of a process rather than of a call: a signal
// delivered, "--- SIGALRM {...} ---", or its end, "+++ exited with 1
// +++" or "+++ killed by SIGALRM (core dumped) +++". False for another.
static bool
parse_news(pid_t pid, const std::string &l, Result &r)
{
	if (l.starts_with("--- SIG") && l.ends_with(" ---")) {
		std::size_t space = l.find(' ', 4);
		r.signals.push_back({pid, l.substr(4, space - 4),
		    l.substr(space + 1, l.size() - 4 - space - 1),
		    r.calls.size()});
		return true;
	}
	if (l.starts_with("+++ exited with ")) {
		r.ends[pid] = End::exited(std::stoi(l.substr(16)));
		return true;
	}
	if (l.starts_with("+++ killed by ")) {
		std::string name = l.substr(14, l.find(' ', 14) - 14);
		r.ends[pid] = End::killed(signal_number(name));
		return true;
	}
	return false;
}

void
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
			if (parse_news(pid, l, r))
				continue;
			if (std::optional<Call> c = parse_call(pid, l))
				r.calls.push_back(*c);
		}
	}
	std::filesystem::remove_all(dir);
}

std::string
string_argument(const std::string &args)
{
	std::string bytes;
	std::size_t at = args.find('"');
	if (at == std::string::npos)
		return bytes;
	for (at++; args.compare(at, 2, "\\x") == 0; at += 4)
		bytes += static_cast<char>(
		    std::stoi(args.substr(at + 2, 2), nullptr, 16));
	return bytes;
}

bool
is_fork(const Call &c)
{
	return c.name == "clone" || c.name == "clone3" || c.name == "fork" ||
	    c.name == "vfork";
}

long
returned_number(const std::string &ret)
{
	long n = 0;
	std::from_chars(ret.data(), ret.data() + ret.size(), n);
	return n;
}

std::map<pid_t, std::string>
roles_by_fork(const Result &r)
{
	std::map<pid_t, std::string> role = {{r.pid, "P"}};
	int children = 0;
	for (const Call &c : r.calls)
		if (c.pid == r.pid && is_fork(c) && returned_number(c.ret) > 0)
			role[static_cast<pid_t>(returned_number(c.ret))] =
			    child_role(static_cast<std::size_t>(++children));
	return role;
}

pid_t
traced_program(const Process &p, const std::string &program)
{
	// Other children of strace's come and go as it tries what the
	// kernel supports.
	std::filesystem::path want =
	    std::filesystem::canonical(program_path(program));
	for (int i = 0; i < 10000; i++) {
		for (pid_t child : children_of(p.pid())) {
			std::error_code gone;
			if (std::filesystem::read_symlink("/proc/" +
			    std::to_string(child) + "/exe", gone) == want)
				return child;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	return 0;
}
