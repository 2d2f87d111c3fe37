// What /proc says of a process: see procfs.h.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "procfs.h"

std::vector<pid_t>
children_of(pid_t pid)
{
	std::vector<pid_t> children;
	std::string dir = "/proc/" + std::to_string(pid) + "/task";
	std::error_code gone;

	for (const auto &task : std::filesystem::directory_iterator(dir, gone)) {
		std::ifstream in(task.path() / "children");
		for (pid_t child; in >> child;)
			children.push_back(child);
	}
	return children;
}

bool
fd_target(pid_t pid, int fd, struct stat &st, std::string &path)
{
	std::string at = "/proc/" + std::to_string(pid) + "/fd/" +
	    std::to_string(fd);
	std::error_code gone;

	if (fd < 0 || stat(at.c_str(), &st) != 0)
		return false;
	path = std::filesystem::read_symlink(at, gone);
	return true;
}

bool
stat_of(pid_t pid, Stat &st)
{
	std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
	std::string s;
	// A process reaped after the open fails the read (ESRCH), which the
	// file buffer throws for; getline, unlike a buffer iterator, takes
	// that for the end. The name before ')' may hold anything.
	std::getline(in, s);
	std::size_t close = s.rfind(')');
	if (close == std::string::npos || close + 2 >= s.size())
		return false;
	std::istringstream fields(s.substr(close + 2));
	st = Stat{};
	return static_cast<bool>(fields >> st.state >> st.ppid >> st.pgrp >>
	    st.session);
}

char
state_of(pid_t pid)
{
	Stat st;
	return stat_of(pid, st) ? st.state : '\0';
}

long
sleeping_in(pid_t pid)
{
	long nr = -1;
	std::uint64_t first = 0;

	return sleeping(pid, nr, first) ? nr : -1;
}

bool
sleeping(pid_t tid, long &nr, std::uint64_t &first)
{
	std::ifstream in("/proc/" + std::to_string(tid) + "/syscall");

	// "running", or the number and the arguments in hexadecimal; or
	// -1 and no arguments, outside any call.
	first = 0;
	if (!(in >> nr))
		return false;
	in >> std::hex >> first;
	return true;
}

namespace {

// The value on the line "key:\tvalue" of a file of /proc.
std::string
field(const std::string &path, const std::string &key)
{
	std::ifstream in(path);
	for (std::string line; std::getline(in, line);)
		if (line.compare(0, key.size() + 1, key + ":") == 0)
			return line.substr(key.size() + 1);
	return {};
}

std::string
status_field(pid_t pid, const std::string &key)
{
	return field("/proc/" + std::to_string(pid) + "/status", key);
}

std::string
fdinfo_field(pid_t pid, int fd, const std::string &key)
{
	return field("/proc/" + std::to_string(pid) + "/fdinfo/" +
	    std::to_string(fd), key);
}

} // namespace

int
fd_flags(pid_t pid, int fd)
{
	std::istringstream in(fdinfo_field(pid, fd, "flags"));
	int flags = -1;

	in >> std::oct >> flags;
	return flags;
}

pid_t
tgid_of(pid_t pid)
{
	std::istringstream in(status_field(pid, "Tgid"));
	pid_t tgid = 0;

	in >> tgid;
	return tgid;
}

pid_t
pidfd_target(pid_t pid, int fd)
{
	std::istringstream in(fdinfo_field(pid, fd, "Pid"));
	pid_t target = 0;

	in >> target;
	return target;
}

std::uint64_t
deliverable(pid_t pid)
{
	std::uint64_t set[3] = {};
	const char *const keys[] = {"SigPnd", "ShdPnd", "SigBlk"};

	for (int i = 0; i < 3; i++) {
		std::istringstream in(status_field(pid, keys[i]));
		in >> std::hex >> set[i];
	}
	std::uint64_t unmasked = 1ULL << (SIGCONT - 1) | 1ULL << (SIGKILL - 1);
	return (set[0] | set[1]) & (~set[2] | unmasked);
}

bool
catches(pid_t pid, int sig)
{
	std::istringstream in(status_field(pid, "SigCgt"));
	std::uint64_t set = 0;

	in >> std::hex >> set;
	return set >> (sig - 1) & 1;
}
