// What is left of a run once it is over: see leftovers.h.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"
#include "leftovers.h"

namespace {

struct Seen {
	pid_t pid;
	char state;
	pid_t parent;
};

// The processes of the run, as left_behind finds them.
// A file of /proc, whole; what was read of it, if its process goes
// (ESRCH, which a stream's buffer throws for) as it is read.
std::string
whole(const std::filesystem::path &path)
{
	std::ifstream in(path);
	std::string s;
	try {
		for (char buf[4096]; in.read(buf, sizeof buf) || in.gcount() > 0;)
			s.append(buf, static_cast<std::size_t>(in.gcount()));
	} catch (const std::exception &) {
	}
	return s;
}

std::vector<Seen>
of_the_run(const std::string &mark, pid_t group)
{
	std::vector<Seen> v;
	std::error_code ec;
	for (const auto &e : std::filesystem::directory_iterator("/proc", ec)) {
		std::string name = e.path().filename();
		if (name.find_first_not_of("0123456789") != std::string::npos ||
		    std::stoi(name) == getpid())
			continue;
		std::string text = whole(e.path() / "stat");
		std::string vars = whole(e.path() / "environ");
		char state = 0;
		pid_t parent = 0, pgrp = 0;
		// After the name, which may hold anything but ends with ')'.
		std::size_t paren = text.rfind(')');
		if (paren == std::string::npos)
			continue;
		std::istringstream fields(text.substr(paren + 1));
		if (!(fields >> state >> parent >> pgrp))
			continue;
		if (pgrp == group || parent == getpid() ||
		    holds('\0' + vars, '\0' + mark + '\0'))
			v.push_back({std::stoi(name), state, parent});
	}
	return v;
}

} // namespace

std::vector<std::string>
left_behind(const std::string &mark, pid_t group, bool zombies_count)
{
	std::vector<std::string> left;
	auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
	for (;;) {
		std::vector<Seen> alive;
		for (const Seen &s : of_the_run(mark, group)) {
			if (s.state != 'Z' || s.parent != getpid()) {
				alive.push_back(s);
				continue;
			}
			if (zombies_count)
				left.push_back(std::to_string(s.pid) + ", a zombie "
				    "left to the subreaper");
			waitpid(s.pid, nullptr, 0);
		}
		if (alive.empty())
			return left;
		if (std::chrono::steady_clock::now() < end) {
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
			continue;
		}
		for (const Seen &s : alive) {
			left.push_back(std::to_string(s.pid) + " in state " +
			    s.state + " (T stopped, t stopped by a tracer, Z a "
			    "zombie); killed");
			kill(s.pid, SIGKILL);
		}
		for (const Seen &s : alive)
			if (s.parent == getpid())
				waitpid(s.pid, nullptr, 0);
		return left;
	}
}

