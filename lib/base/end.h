// How a process ended: "exited with N" or "killed by signal S", the two
// kept apart everywhere a run is judged or shown.
#ifndef END_H
#define END_H

#include <string>

#include <sys/wait.h>

struct End {
	enum class How { exited, killed };
	How how;
	int value;

	static End exited(int status) { return {How::exited, status}; }
	static End killed(int sig) { return {How::killed, sig}; }
	static End from_wait_status(int status)
	{
		if (WIFSIGNALED(status))
			return killed(WTERMSIG(status));
		return exited(WEXITSTATUS(status));
	}
	bool operator==(const End &) const = default;
};

// "exited with 0", "killed by signal 14 (SIGALRM)".
std::string describe(const End &end);
// A signal's name, as every tool writes it: "SIGALRM"; "signal 40" for
// one without a name.
std::string signal_name(int sig);

#endif
