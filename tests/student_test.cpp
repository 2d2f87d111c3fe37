// Homework as students write it (tests/student/), each run under trace:
// what the report must tell of its pipes, its blocked calls and, for one
// that hangs, where each process stood and why none can go on. Each row
// holds sentences that must come in that order in the report, each
// whole on one line once unwrapped. The descriptors' numbers depend on
// those the program was started with, and are read as "fd #".
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

struct Story {
	const char *name;
	std::vector<std::string> args;	// before the program
	const char *program;
	std::vector<std::string> told;

	friend void PrintTo(const Story &s, std::ostream *os) { *os << s.name; }
};

const char verdict_reader[] = "C1 can never see end of file: every write "
    "end of pipe 1 is held by a process that waits (a deadlock)";

const Story stories[] = {
	{"ForgotToClose", {"--timeout", "2"}, "noclose",
	    {"P makes pipe 1: fd # reads, fd # writes",
	    "C1 closes fd #, a write end of pipe 1: 1 write end left open, in "
	    "P (fd #)", "C1 blocked in read on pipe 1 (fd #)",
	    "trace ends the run: the run went past --timeout 2 s",
	    "C1  ", "blocked in read on pipe 1 (fd #); its write end is open "
	    "in P (fd #), which is blocked in wait4 for C1 to end",
	    "P can never be woken: what it waits for waits too (a deadlock)",
	    verdict_reader}},
	// Nothing can wake it: time-lapse ends it at once.
	{"ForgotToCloseLapsed", {"--time-lapse"}, "noclose",
	    {"trace ends the run: nothing in the run can wake any process",
	    "C1 is blocked in read on pipe 1 (fd #)", verdict_reader}},
	{"LeakyPipeline", {"--timeout", "2"}, "leakypipe",
	    {"C2 puts pipe 1's read end on fd # (dup2)",
	    "C2 can never see end of file: every write end of pipe 1 is held "
	    "by a process that waits (a deadlock)"}},
	{"WaitsBeforeReading", {"--timeout", "2"}, "fullpipe",
	    {"C1 blocked in write on pipe 1 (fd #) until there is room in it",
	    "C1 can never finish its write: every read end of pipe 1 is held "
	    "by a process that waits (a deadlock)"}},
	{"Pipeline", {}, "pipeline",
	    {"C1 puts pipe 1's write end on fd # (dup2)",
	    "C1 closes fd #, a write end of pipe 1: no write end is left open",
	    "C2 reads end of file from pipe 1 (fd #): no write end is left "
	    "open", "Exit status 0"}},
	{"Sleepers", {}, "sleepers",
	    {"C2 blocked in clock_nanosleep for 0.100 s",
	    "C2 woken from clock_nanosleep", "P woken from wait4: C2 ended"}},
	{"Poll", {}, "pollchildren",
	    {"P blocked in poll on pipe 1 (fd #) and pipe 2 (fd #)",
	    "P reads end of file from pipe 2 (fd #)",
	    "P blocked in poll on pipe 1 (fd #)"}},
	{"PingPong", {}, "pingpong",
	    {"P makes pipe 1", "P makes pipe 2",
	    "C1 blocked in read on pipe 1 (fd #)",
	    "C1 receives 4 bytes from P through pipe 1 (fd #)"}},
	// perror writes through a copy of fd 2: its line is still fd 2's.
	{"PerrorThroughACopy", {}, "perrordup",
	    {" ! open: No such file or directory", "Exit status 1"}},
};

class Student : public testing::TestWithParam<Story> {};

TEST_P(Student, ReportTellsTheStory)
{
	const Story &s = GetParam();
	std::vector<std::string> args = s.args;
	args.push_back(built(std::string("tests/student/") + s.program));
	std::string report = std::regex_replace(unwrapped(run_trace(args).out),
	    std::regex("fds? [0-9]+( and [0-9]+)?"), "fd #");
	std::size_t at = 0;
	for (const std::string &t : s.told) {
		std::size_t found = report.find(t, at);
		ASSERT_NE(found, std::string::npos) << "not told, or not after "
		    "the sentence before it: " << t << "\n" << report;
		at = found + t.size();
	}
}

INSTANTIATE_TEST_SUITE_P(Homework, Student, testing::ValuesIn(stories),
    [](const testing::TestParamInfo<Story> &i) { return i.param.name; });

} // namespace
