// What proclab, orders and trace share as Unix tools: one set of exit
// statuses, and messages on descriptor 2 that each begin with the
// command's name.
#ifndef TOOL_H
#define TOOL_H

#include <string>
#include <string_view>

// The statuses a command exits with of its own; trace and proclab
// otherwise exit as the program they ran did.
enum Status {
	status_unsound = 1,	// orders: a run broke the rules
	status_usage = 2,
	status_ended = 124,	// trace: trace ended the run
	status_failed = 125,	// the command itself failed, or its output
	status_cannot_run = 126,
	status_not_found = 127,
};

// The command's name, defined by each command: "trace".
extern const char tool_name[];

// Says why, after the command's name, and exits with status.
[[noreturn]] void fail(int status, const std::string &why);
// Says it, after the command's name, and goes on.
void note(const std::string &it);
// A usage error: why, where to read more, and status_usage.
[[noreturn]] void usage(const std::string &why);
// Writes text whole on fd, going on after a partial write or EINTR;
// false, errno saying why, if it cannot.
bool write_all(int fd, std::string_view text);

#endif
