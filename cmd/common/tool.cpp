// The commands' statuses and messages: see tool.h.
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include <unistd.h>

#include "tool.h"

void
note(const std::string &it)
{
	std::cerr << tool_name << ": " << it << "\n";
}

void
fail(int status, const std::string &why)
{
	note(why);
	std::exit(status);
}

void
usage(const std::string &why)
{
	fail(status_usage, why + "\nTry '" + tool_name + " --help' for more.");
}

bool
write_all(int fd, std::string_view text)
{
	while (!text.empty()) {
		ssize_t n = write(fd, text.data(), text.size());
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		text.remove_prefix(static_cast<std::size_t>(n));
	}
	return true;
}
