// What /proc says of a process: see procfs.h. Read with plain read(2)
// and numbers taken with from_chars: the tracer asks at many of its
// stops, and a stream's first use costs a locale, 0.2 ms.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "procfs.h"

namespace {

// A file of /proc whole, up to most bytes; "" if it cannot be read (its
// process gone, or reaped as it is read: ESRCH).
std::string
slurp(const std::string &path, std::size_t most = 1 << 16)
{
	std::string s;
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return s;
	char buf[4096];
	while (s.size() < most) {
		ssize_t n = read(fd, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			break;
		s.append(buf, static_cast<std::size_t>(n));
	}
	close(fd);
	return s;
}

// The number at the start of s, past blanks, in base; false if none.
// at moves past it.
template <typename T>
bool
number(std::string_view s, std::size_t &at, T &n, int base = 10)
{
	at = s.find_first_not_of(" \t", at);
	if (at == std::string_view::npos)
		return false;
	auto [end, err] = std::from_chars(s.data() + at, s.data() + s.size(),
	    n, base);
	if (err != std::errc())
		return false;
	at = static_cast<std::size_t>(end - s.data());
	return true;
}

template <typename T>
T
number_or(std::string_view s, T fallback, int base = 10)
{
	std::size_t at = 0;
	T n = fallback;
	return number(s, at, n, base) ? n : fallback;
}

std::string
path_of(pid_t pid, const char *what)
{
	return "/proc/" + std::to_string(pid) + "/" + what;
}

// The value on the line "key:\tvalue" of s, a file of /proc.
std::string
field(const std::string &s, const std::string &key)
{
	for (std::size_t line = 0; line < s.size();) {
		std::size_t end = s.find('\n', line);
		if (end == std::string::npos)
			end = s.size();
		if (s.compare(line, key.size() + 1, key + ":") == 0)
			return s.substr(line + key.size() + 1,
			    end - line - key.size() - 1);
		line = end + 1;
	}
	return {};
}

std::string
fdinfo_field(pid_t pid, int fd, const std::string &key)
{
	return field(slurp(path_of(pid, "fdinfo/") + std::to_string(fd)), key);
}

} // namespace

std::vector<pid_t>
children_of(pid_t pid)
{
	std::vector<pid_t> children;
	std::error_code gone;

	for (const auto &task : std::filesystem::directory_iterator(
	    path_of(pid, "task"), gone)) {
		std::string s = slurp(task.path() / "children");
		std::size_t from = 0;
		for (pid_t child; number(s, from, child);)
			children.push_back(child);
	}
	return children;
}

bool
fd_target(pid_t pid, int fd, struct stat &st)
{
	return fd >= 0 &&
	    stat((path_of(pid, "fd/") + std::to_string(fd)).c_str(), &st) == 0;
}

std::string
fd_path(pid_t pid, int fd)
{
	std::error_code gone;
	return std::filesystem::read_symlink(path_of(pid, "fd/") +
	    std::to_string(fd), gone);
}

// With readdir and readlink alone: a path's status is not needed, and a
// run's pipes are looked for at each close of one.
std::vector<OpenFd>
open_fds(pid_t pid, std::size_t most)
{
	std::vector<OpenFd> v;
	std::string dir = path_of(pid, "fd/");
	DIR *d = opendir(dir.c_str());

	if (!d)
		return v;
	// One directory stream, read by this thread alone.
	// cppcheck-suppress readdirCalled
	for (dirent *e; v.size() < most && (e = readdir(d)) != nullptr;) {
		OpenFd f;
		f.fd = number_or(std::string_view(e->d_name), -1);
		if (f.fd < 0)
			continue;
		char to[64];
		ssize_t n = readlinkat(dirfd(d), e->d_name, to, sizeof to);
		// "pipe:[4242]", "socket:[4242]".
		std::string_view link(to, n > 0 ? static_cast<std::size_t>(n) :
		    0);
		if (std::size_t at = link.find(":["); at != std::string_view::npos &&
		    (link.starts_with("pipe") || link.starts_with("socket")))
			f.channel = number_or(link.substr(at + 2), ino_t{0});
		v.push_back(f);
	}
	closedir(d);
	std::sort(v.begin(), v.end(), [](const OpenFd &a, const OpenFd &b) {
		return a.fd < b.fd;
	});
	return v;
}

bool
stat_of(pid_t pid, Stat &st)
{
	// The name before ')' may hold anything.
	std::string s = slurp(path_of(pid, "stat"));
	std::size_t close = s.rfind(')');
	if (close == std::string::npos || close + 3 >= s.size())
		return false;
	st = Stat{};
	st.state = s[close + 2];
	std::size_t from = close + 3;
	return number(s, from, st.ppid) && number(s, from, st.pgrp) &&
	    number(s, from, st.session);
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
	// "running", or the number and the arguments in hexadecimal ("0x"
	// first); or -1 and no arguments, outside any call.
	std::string s = slurp(path_of(tid, "syscall"));
	std::size_t from = 0;

	first = 0;
	if (!number(s, from, nr))
		return false;
	if (s.compare(from, 3, " 0x") == 0) {
		from += 3;
		number(s, from, first, 16);
	}
	return true;
}

int
fd_flags(pid_t pid, int fd)
{
	return number_or(fdinfo_field(pid, fd, "flags"), -1, 8);
}

pid_t
tgid_of(pid_t pid)
{
	return number_or(field(slurp(path_of(pid, "status")), "Tgid"), pid_t{0});
}

pid_t
pidfd_target(pid_t pid, int fd)
{
	return number_or(fdinfo_field(pid, fd, "Pid"), pid_t{0});
}

std::uint64_t
deliverable(pid_t pid)
{
	std::string status = slurp(path_of(pid, "status"));
	std::uint64_t set[3] = {};
	const char *const keys[] = {"SigPnd", "ShdPnd", "SigBlk"};

	for (int i = 0; i < 3; i++)
		set[i] = number_or(field(status, keys[i]), std::uint64_t{0}, 16);
	std::uint64_t unmasked = 1ULL << (SIGCONT - 1) | 1ULL << (SIGKILL - 1);
	return (set[0] | set[1]) & (~set[2] | unmasked);
}

bool
catches(pid_t pid, int sig)
{
	auto set = number_or(field(slurp(path_of(pid, "status")), "SigCgt"),
	    std::uint64_t{0}, 16);
	return set >> (sig - 1) & 1;
}

bool
signals_of(pid_t pid, Signals &s)
{
	std::string status = slurp(path_of(pid, "status"));
	if (status.empty())
		return false;
	auto set = [&status](const char *key) {
		return number_or(field(status, key), std::uint64_t{0}, 16);
	};
	s.pending = set("SigPnd") | set("ShdPnd");
	s.blocked = set("SigBlk");
	s.caught = set("SigCgt");
	s.ignored = set("SigIgn");
	return true;
}
