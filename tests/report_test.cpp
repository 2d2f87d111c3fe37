// The report functions on their own: each conversion against the C
// library's snprintf, lines cut at the buffer's end, and a buffer of no
// size.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "report.h"

// Runs call with a buffer of size bytes (a larger block, so that size 0
// still has memory behind it) and returns what it wrote.
static std::string
reported(void (*call)(int, char *, std::size_t), std::size_t size)
{
	int fds[2];
	char buf[128];
	char got[256];

	if (pipe2(fds, O_NONBLOCK) != 0)
		return "pipe2 failed";
	std::memset(buf, 'x', sizeof buf);	// no '\0' to stop at
	call(fds[1], buf, size);
	ssize_t n = read(fds[0], got, sizeof got);
	close(fds[0]);
	close(fds[1]);
	return n > 0 ? std::string(got, static_cast<std::size_t>(n)) : "";
}

struct Case {
	const char *call;
	std::size_t size;
	void (*report)(int, char *, std::size_t);
	std::string (*want)(std::size_t);	// the line, for a size
};

// report() and snprintf with one format and arguments: what snprintf
// leaves in a buffer of the case's size is what report() must write. The
// size reaches snprintf only as the test runs, or g++ would warn of the
// cuts that the cases are about.
#define LIKE_SNPRINTF(size, ...)					\
	Case{#__VA_ARGS__, (size),					\
	    [](int fd, char *b, std::size_t n) {			\
		    report(fd, b, n, __VA_ARGS__);			\
	    },								\
	    [](std::size_t n) {						\
		    char b[128];					\
		    if (std::snprintf(b, n, __VA_ARGS__) < 0)		\
			    return std::string("snprintf failed");	\
		    return std::string(b);				\
	    }}

static int object;

TEST(Report, PrintsEachConversionAsTheCLibraryDoes)
{
	const Case cases[] = {
	    LIKE_SNPRINTF(64, "%d", 0),
	    LIKE_SNPRINTF(64, "%d", -1),
	    LIKE_SNPRINTF(64, "%d", INT_MIN),
	    LIKE_SNPRINTF(64, "%d", INT_MAX),
	    LIKE_SNPRINTF(64, "pid %d, char %d", getpid(), 'A'),
	    LIKE_SNPRINTF(64, "%c%c", 'A', 0x7e),
	    LIKE_SNPRINTF(64, "[%s][%s]", "", "text"),
	    LIKE_SNPRINTF(64, "%p", static_cast<void *>(&object)),
	    LIKE_SNPRINTF(64, "%p", static_cast<void *>(nullptr)),
	    // All 16 digits in use.
	    LIKE_SNPRINTF(64, "%p", reinterpret_cast<void *>(UINTPTR_MAX)),
	    LIKE_SNPRINTF(64, "%%"),
	    LIKE_SNPRINTF(64, "100%% %%d %d%%", 7),
	    LIKE_SNPRINTF(64, "%s:%c %d at %p\n", "HIJO", 'B', 42,
		static_cast<void *>(&object)),
	    // The C library's bytes, written out: g++ warns of a null that
	    // reaches snprintf's "%s".
	    {"\"%s\", nullptr", 64,
		[](int fd, char *b, std::size_t n) {
			report(fd, b, n, "[%s]",
			    static_cast<const char *>(nullptr));
		},
		[](std::size_t) { return std::string("[(null)]"); }},
	    // Any object pointer, not only void *.
	    {"\"%p\", int *", 64,
		[](int fd, char *b, std::size_t n) {
			report(fd, b, n, "%p", static_cast<int *>(nullptr));
		},
		[](std::size_t) { return std::string("(nil)"); }},
	};
	for (const auto &c : cases)
		EXPECT_EQ(reported(c.report, c.size), c.want(c.size)) << c.call;
}

// Lines of 8 bytes, each ending in a different conversion, in buffers
// with room for the line, one byte short of room (its '\0'), and two.
TEST(Report, CutsLinesAtTheBufferEndAsTheCLibraryDoes)
{
	const Case cases[] = {
	    LIKE_SNPRINTF(9, "line %d", 123),
	    LIKE_SNPRINTF(8, "line %d", 123),
	    LIKE_SNPRINTF(7, "line %d", 123),
	    LIKE_SNPRINTF(9, "line 12%c", '3'),
	    LIKE_SNPRINTF(8, "line 12%c", '3'),
	    LIKE_SNPRINTF(7, "line 12%c", '3'),
	    LIKE_SNPRINTF(9, "line %s", "123"),
	    LIKE_SNPRINTF(8, "line %s", "123"),
	    LIKE_SNPRINTF(7, "line %s", "123"),
	    LIKE_SNPRINTF(9, "line 12%%"),
	    LIKE_SNPRINTF(8, "line 12%%"),
	    LIKE_SNPRINTF(7, "line 12%%"),
	    LIKE_SNPRINTF(9, "%p", reinterpret_cast<void *>(0x123456)),
	    LIKE_SNPRINTF(8, "%p", reinterpret_cast<void *>(0x123456)),
	    LIKE_SNPRINTF(7, "%p", reinterpret_cast<void *>(0x123456)),
	    LIKE_SNPRINTF(2, "line %d", 1),
	    LIKE_SNPRINTF(1, "line %d", 1),
	};
	for (const auto &c : cases)
		EXPECT_EQ(reported(c.report, c.size), c.want(c.size))
		    << c.call << ", size " << c.size;
}

TEST(Report, TextIsCutAtTheBufferEnd)
{
	const struct {
		std::size_t size;
		std::string line;
	} cases[] = {{64, "line 42\n"}, {9, "line 42\n"}, {8, "line 42"},
	    {7, "line 4"}, {1, ""}, {0, ""}};
	for (const auto &c : cases)
		EXPECT_EQ(reported([](int fd, char *b, std::size_t n) {
			report_text(fd, b, n, "line 42\n");
		}, c.size), c.line) << "size " << c.size;
}

TEST(Report, WritesNothingWithoutABuffer)
{
	EXPECT_EQ(reported([](int fd, char *b, std::size_t n) {
		report(fd, b, n, "line %d\n", 42);
	}, 0), "");
}
