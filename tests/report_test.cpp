// The report functions on their own: what reaches the descriptor for a
// buffer that is big enough, one that is too small, and one of no size.
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "report.h"

enum class Fn { report, report_text };

// Calls one report function with a buffer of size bytes (a larger block,
// so that size 0 still has memory behind it) and returns what it wrote.
static std::string
reported(Fn fn, std::size_t size)
{
	int fds[2];
	char buf[64];
	char got[128];

	if (pipe2(fds, O_NONBLOCK) != 0)
		return "pipe2 failed";
	std::memset(buf, 'x', sizeof buf);	// no '\0' to stop at
	if (fn == Fn::report)
		report(fds[1], buf, size, "line %d\n", 42);
	else
		report_text(fds[1], buf, size, "line 42\n");
	ssize_t n = read(fds[0], got, sizeof got);
	close(fds[0]);
	close(fds[1]);
	return n > 0 ? std::string(got, static_cast<std::size_t>(n)) : "";
}

TEST(Report, WritesWhatFitsAndNothingWithoutRoom)
{
	const struct {
		std::size_t size;
		std::string line;
	} cases[] = {{64, "line 42\n"}, {9, "line 42\n"}, {8, "line 42"},
	    {4, "lin"}, {1, ""}, {0, ""}};
	for (Fn fn : {Fn::report, Fn::report_text})
		for (const auto &c : cases)
			EXPECT_EQ(reported(fn, c.size), c.line)
			    << "function " << static_cast<int>(fn) << ", size "
			    << c.size;
}
