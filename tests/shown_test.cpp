// The words trace shows things in, told directly, with no run: a set of
// signals, a text wrapped and a line cut to a width, the columns a line
// takes, a length of time.
#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shown.h"

namespace {

using Names = std::vector<std::string>;

// Every signal a process can block or catch but SIGINT and SIGALRM.
Names
all_but_two()
{
	Names v;
	for (int sig = 1; sig < 32; sig++)
		if (sig != SIGINT && sig != SIGALRM && sig != SIGKILL &&
		    sig != SIGSTOP)
			v.push_back(signal_name(sig));
	return v;
}

struct Set {
	Names names;
	const char *words;
};

TEST(Shown, SignalSets)
{
	Names all = all_but_two();
	Names every = all;
	every.insert(every.end(), {"SIGINT", "SIGALRM"});
	const Set sets[] = {
	    {{}, "none"},
	    {{"SIGINT"}, "SIGINT"},
	    {{"SIGINT", "SIGALRM"}, "SIGINT or SIGALRM"},
	    {{"SIGHUP", "SIGINT", "SIGQUIT", "SIGUSR1"},
		"SIGHUP, SIGINT, SIGQUIT or SIGUSR1"},
	    {{"SIGHUP", "SIGINT", "SIGQUIT", "SIGUSR1", "SIGUSR2"},
		"SIGHUP, SIGINT, SIGQUIT or 2 others"},
	    {all, "every signal but SIGINT and SIGALRM"},
	    {every, "every signal"},
	};
	for (const Set &s : sets)
		EXPECT_EQ(signal_set(s.names, "or", "none"), s.words) <<
		    s.names.size() << " names";
}

struct Wrap {
	const char *text;
	std::size_t first, rest;
	Names lines;
};

TEST(Shown, Wrapped)
{
	const Wrap wraps[] = {
	    {"", 10, 10, {""}},
	    {"one two three", 20, 20, {"one two three"}},
	    {"one two three", 7, 7, {"one two", "three"}},
	    // The first line has its own width.
	    {"one two three", 3, 20, {"one", "two three"}},
	    // A word too long stays whole on its own line.
	    {"a verylongword b", 5, 5, {"a", "verylongword", "b"}},
	    // A unit goes with its number.
	    {"held for 10.000 s", 15, 20, {"held for", "10.000 s"}},
	    // Characters, not bytes: "é" takes one column.
	    {"été été", 7, 7, {"été été"}},
	};
	for (const Wrap &w : wraps)
		EXPECT_EQ(wrapped(w.text, w.first, w.rest), w.lines) << w.text;
}

struct Fit {
	const char *line;
	std::size_t width;
	const char *shown;
};

TEST(Shown, FittedAndColumns)
{
	const Fit fits[] = {
	    {"abcdef", 6, "abcdef"},
	    {"abcdefg", 6, "abcde…"},
	    // A character of two bytes is kept whole or left out whole.
	    {"aaaaéb", 6, "aaaaéb"},
	    {"aaaaébc", 6, "aaaaé…"},
	    {"\tx", 9, "\tx"},
	    {"\txy", 9, "\t…"},
	};
	for (const Fit &f : fits) {
		EXPECT_EQ(fitted(f.line, f.width), f.shown) << f.line;
		EXPECT_LE(columns(fitted(f.line, f.width)), f.width) << f.line;
	}
	EXPECT_EQ(columns("ab\tc"), 9U);
	EXPECT_EQ(columns("\xff\xfe"), 2U);
}

TEST(Shown, Durations)
{
	EXPECT_EQ(duration(60), "0.06 ms");
	EXPECT_EQ(duration(999999), "1000.00 ms");
	EXPECT_EQ(duration(1000000), "1.000 s");
	EXPECT_EQ(duration(10000000), "10.000 s");
	EXPECT_EQ(in_unit(974000, Unit::ms, 0), "974 ms");
	EXPECT_EQ(in_unit(10000000, Unit::s, 1), "10.0 s");
}

} // namespace
