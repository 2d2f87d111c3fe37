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
	std::vector<std::string> untold{};	// nowhere in the report

	friend void PrintTo(const Story &s, std::ostream *os) { *os << s.name; }
};

const char verdict_reader[] = "C1 can never see end of file: every write "
    "end of pipe 1 is held by a process that waits (a deadlock)";

const Story stories[] = {
	{"ForgotToClose", {"--timeout", "1"}, "noclose",
	    {"P makes pipe 1: fd # reads, fd # writes",
	    "C1 closes fd #, a write end of pipe 1: 1 write end left open, in "
	    "P (fd #)", "C1 blocked in read on pipe 1 (fd #)",
	    "trace ends the run: the run went past --timeout 1 s",
	    "C1  ", "blocked in read on pipe 1 (fd #); its write end is open "
	    "in P (fd #), which is blocked in wait4 for C1 to end",
	    "P can never be woken: what it waits for waits too (a deadlock)",
	    verdict_reader}},
	// Nothing can wake it: time-lapse ends it at once.
	{"ForgotToCloseLapsed", {"--time-lapse"}, "noclose",
	    {"trace ends the run: nothing in the run can wake any process",
	    "C1 is blocked in read on pipe 1 (fd #)", verdict_reader}},
	{"LeakyPipeline", {"--time-lapse"}, "leakypipe",
	    {"C2 puts pipe 1's read end on fd # (dup2)",
	    "C2 can never see end of file: every write end of pipe 1 is held "
	    "by a process that waits (a deadlock)"}},
	{"WaitsBeforeReading", {"--time-lapse"}, "fullpipe",
	    {"C1 blocked in write on pipe 1 (fd #) until there is room in it",
	    "C1 can never finish its write: every read end of pipe 1 is held "
	    "by a process that waits (a deadlock)"}},
	{"Pipeline", {}, "pipeline",
	    {"C1 puts pipe 1's write end on fd # (dup2)",
	    "C2 reads end of file from pipe 1 (fd #): no write end is left "
	    "open", "Exit status 0"}},
	// A sleep told blocked, for how long, and never a deadlock: time
	// ends it.
	{"SleepsOn", {"--timeout", "1"}, "/bin/sleep 100",
	    {"P blocked in clock_nanosleep for 100 s",
	    "P     ", "blocked in clock_nanosleep for 100 s",
	    "How each process ended"}},
	{"PollChildren", {}, "pollchildren",
	    {"P receives 19 bytes from C1 through pipe 1 (fd #)",
	    "P reads end of file from pipe 1 (fd #)"}},
	{"PingPong", {}, "pingpong",
	    {"P makes pipe 1", "P makes pipe 2",
	    "C1 receives 4 bytes from P through pipe 1 (fd #)",
	    "P receives 4 bytes from C1 through pipe 2 (fd #)"}},
	// A thread that forks: the fork at the thread's own line, and the C
	// library's signals and masks around a thread's start and end left
	// out; main's last line, in stdio's buffer until the program ends.
	{"ThreadForks", {"--source"}, "threadfork",
	    {"P starts thread T1 (", "threadfork.c:20",
	    "P/T1 forks C1 (", "): only thread T1 is copied into it",
	    "main: thread joined", "written after main returned, as the "
	    "program ends"},
	    {"signal 32", "signal 33", "blocks every signal",
	    "sets its blocked signals"}},
	// The kernel's SIGPIPE comes with the writer's own number: told as
	// the kernel's, for a write no one can read.
	{"WritesAfterTheReaderLeft", {}, "sigpipe",
	    {"C1 puts pipe 1's read end on fd # (dup2)",
	    "P gets SIGPIPE: it wrote into a pipe or socket whose other end "
	    "is closed", "Exit status 141"}, {"SIGPIPE from P"}},
	// Each call that sleeps, by what it waits on; a time limit is never
	// a deadlock, and a pipe the process holds both ends of is: under
	// --time-lapse, a run stuck so ends at once. The C library may
	// make select with pselect6, nanosleep with clock_nanosleep.
	{"Poll", {"--timeout", "1"}, "hostile/sleepon poll",
	    {"blocked in poll on pipe 1 (fd #), for up to 100 s"},
	    {"can never"}},
	{"PollForEver", {"--time-lapse"}, "hostile/sleepon ppoll",
	    {"P blocked in ppoll on pipe 1 (fd #)",
	    "P can never be woken: every process of the run waits, and no "
	    "alarm is armed"}},
	{"Select", {"--timeout", "1"}, "hostile/sleepon select",
	    {"P blocked in ", "select", " on pipe 1 (fd #), for up to 100 s"},
	    {"can never"}},
	{"Epoll", {"--timeout", "1"}, "hostile/sleepon epoll",
	    {"P blocked in epoll_wait"}, {"can never", "for up to"}},
	{"ReadsOwnPipe", {"--time-lapse"}, "hostile/sleepon read",
	    {"P blocked in read on pipe 1 (fd #)",
	    "P can never see end of file: every write end of pipe 1 is held "
	    "by a process that waits (a deadlock)"}},
	{"Sigtimedwait", {"--time-lapse"},
	    "hostile/sleepon sigtimedwait",
	    {"P blocked in sigtimedwait for SIGUSR1",
	    "P can never be woken"}},
	{"Nanosleep", {"--timeout", "1"}, "hostile/sleepon nanosleep",
	    {"P blocked in ", "nanosleep for 100 s"}, {"can never"}},
	// perror writes through a copy of fd 2: its line is still fd 2's.
	{"PerrorThroughACopy", {}, "perrordup",
	    {" ! open: No such file or directory", "Exit status 1"}},
};

class Student : public testing::TestWithParam<Story> {};

TEST_P(Student, ReportTellsTheStory)
{
	const Story &s = GetParam();
	std::vector<std::string> args = s.args;
	std::string words = s.program;
	for (std::size_t at; (at = words.find(' ')) != std::string::npos;
	    words.erase(0, at + 1))
		args.push_back(words.substr(0, at));
	args.push_back(words);
	// A program of tests/student, of tests/hostile, or a path.
	std::string &program = args[s.args.size()];
	if (program[0] != '/')
		program = built("tests/" + std::string(program.find('/') ==
		    std::string::npos ? "student/" : "") + program);
	std::string report = std::regex_replace(unwrapped(run_trace(args).out),
	    std::regex("fds? [0-9]+( and [0-9]+)?"), "fd #");
	std::size_t at = 0;
	for (const std::string &t : s.told) {
		std::size_t found = report.find(t, at);
		ASSERT_NE(found, std::string::npos) << "not told, or not after "
		    "the sentence before it: " << t << "\n" << report;
		at = found + t.size();
	}
	for (const std::string &t : s.untold)
		EXPECT_FALSE(holds(report, t)) << t << "\n" << report;
}

INSTANTIATE_TEST_SUITE_P(Homework, Student, testing::ValuesIn(stories),
    [](const testing::TestParamInfo<Story> &i) { return i.param.name; });

} // namespace
