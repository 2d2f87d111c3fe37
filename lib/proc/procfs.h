// What /proc says of a process, for the runner, the tracer and the
// tools: its children, its state, the call it sleeps in, what it does
// with a signal, the signals on their way to it.
#ifndef PROCFS_H
#define PROCFS_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// What /proc/PID/stat says of a process (or of a thread, by its id).
struct Stat {
	char state = '\0';	// R, S, T, Z, ...
	pid_t ppid = 0;
	pid_t pgrp = 0;
	pid_t session = 0;
};
// False if pid is gone.
bool stat_of(pid_t pid, Stat &st);
// The process a thread id belongs to, from /proc/PID/status; 0 if gone.
pid_t tgid_of(pid_t pid);
// The process a pidfd of pid's, its descriptor fd, refers to; 0 if fd is
// no pidfd or the process is gone, -1 if it has been reaped.
pid_t pidfd_target(pid_t pid, int fd);

// Where pid's descriptor fd leads: the file's stat; false if it is not
// open. Its path as /proc names it ("pipe:[4242]" for a pipe), or "".
bool fd_target(pid_t pid, int fd, struct stat &st);
std::string fd_path(pid_t pid, int fd);

// pid's open descriptors, lowest first, up to most of them, each with the
// inode of the pipe or socket it leads to, 0 for anything else.
struct OpenFd {
	int fd = -1;
	ino_t channel = 0;
};
std::vector<OpenFd> open_fds(pid_t pid, std::size_t most);

// The processes whose parent is pid.
std::vector<pid_t> children_of(pid_t pid);
// The state letter of process pid (R, S, Z, ...); 0 if it is gone.
char state_of(pid_t pid);
// The call pid sleeps in, by number; -1 if it runs or is gone.
long sleeping_in(pid_t pid);
// The call thread tid sleeps in, by number, and its first argument:
// false if it runs or is gone; nr -1 if it sleeps outside any call.
bool sleeping(pid_t tid, long &nr, std::uint64_t &first);
// The flags pid's descriptor fd was opened with, as fcntl(F_GETFL)
// gives them; -1 if it is not open.
int fd_flags(pid_t pid, int fd);
// The signals on their way to pid, not yet taken (its own and its
// process's), that it does not block, and SIGCONT and SIGKILL, which no
// mask holds back: bit sig - 1 each.
std::uint64_t deliverable(pid_t pid);
// Whether pid catches sig: a handler of its own runs on it.
bool catches(pid_t pid, int sig);
// What pid does with each signal, bit sig - 1 of each set: on its way
// to it (its own and its process's), blocked, caught by a handler,
// ignored. False if pid is gone.
struct Signals {
	std::uint64_t pending = 0, blocked = 0, caught = 0, ignored = 0;
};
bool signals_of(pid_t pid, Signals &s);

#endif
