// trace from outside: the status it exits with, the lines it shows and
// who it says wrote them, its JSON lines, and that no process of a run
// outlives it, whether the run ends, is interrupted or trace is killed.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "harness.h"

using namespace std::string_literals;

namespace {

using json = nlohmann::json;

Options
given(std::vector<std::string> args, const std::string &input = "")
{
	Options o;
	o.args = std::move(args);
	o.input = input;
	o.runs_tracer = true;
	return o;
}

struct Exit {
	std::string name;
	std::vector<std::string> args;
	std::string input;
	End end;		// trace's own
	std::string out;	// a part of the report; "": nothing shown
	std::string err;	// how its standard error ends; empty: none

	friend void PrintTo(const Exit &e, std::ostream *os) { *os << e.name; }
};

const Exit exits[] = {
	{"ProgramsStatus", {"tworoles"}, "", End::exited(0),
	    "P exited with 0", ""},
	{"CaughtFaultsStatus", {"faultcatch"}, "", End::exited(2),
	    "P gets SIGSEGV: a fault at 0x0", ""},
	{"ProgramReadsTracesInput", {"-l", "binprint"}, "\1\1\0\0"s,
	    End::exited(0), "| 257\n", ""},
	// The shell's 128 + SIGALRM: trace itself exits.
	{"KilledProgramAsTheShellSays", {"--time-lapse", "lonetimer"}, "",
	    End::exited(142), "P killed by signal 14 (SIGALRM)", ""},
	{"NothingCanWake", {"--time-lapse", "tickheir"}, "", End::exited(124),
	    "ALARMA", "trace: ended the run: nothing in the run can wake any "
	    "process, only a signal from outside would: P is blocked in "
	    "sigsuspend for SIGINT or SIGALRM; no alarm is armed\n"},
	// SIGCHLD thrown away as C1 ends (told with --explain), or ignored.
	{"DiscardedSigchld", {"--explain", "patientparent"}, "", End::exited(0),
	    "P is sent SIGCHLD as C1 ends: at its default", ""},
	{"IgnoredSigchld", {built("tests/real/autoreap")}, "", End::exited(0),
	    "C1 reaped by the kernel", ""},
	{"WaitForAStopToo", {built("tests/hostile/stops"), "TSTP"}, "",
	    End::exited(0), "P blocked in wait4 for C1 to end or stop\n", ""},
	// execvp's search of PATH, told once.
	{"PathSearchToldOnce", {built("tests/real/pathsearch")}, "",
	    End::exited(0), "C2 cannot exec nosuchprogram, tried in 2 folders:",
	    ""},
	// Sent SIGTERM or SIGHUP, trace ends the run as Ctrl-C would, with
	// the whole report, and then as the signal would end it.
	{"SentSIGTERM", {built("tests/hostile/endtrace")}, "",
	    End::killed(SIGTERM), "C1 killed by trace (SIGKILL): trace was",
	    " (endtrace)\n"},
	{"SentSIGHUP", {built("tests/hostile/endtrace"), "HUP"}, "",
	    End::killed(SIGHUP), "\nExit status 129: 128 + SIGHUP, sent to "
	    "trace\n", " (endtrace)\n"},
	{"PastTimeout", {"--timeout", "0.3", "tickcounter"}, "",
	    End::exited(124), "P killed by trace (SIGKILL): the run went past",
	    "trace: ended the run: the run went past --timeout 0.3 s\n"},
	// The demos, not the tools beside them.
	{"NeitherDemoNorOnPath", {"nosuch"}, "", End::exited(127), "",
	    " nor a program on PATH; the demos: argecho becomelist becometwin "
	    "binprint busychild childquits copyedit copyview faultcatch "
	    "funcview heapwalk interleave lonetimer patientparent reaper "
	    "tickcounter tickheir tickpair twinspeak tworoles\n"},
	{"MissingPath", {"./no/such"}, "", End::exited(127), "",
	    "trace: cannot run ./no/such: No such file or directory\n"},
	{"NotExecutable", {"/etc/passwd"}, "", End::exited(126), "",
	    "trace: cannot run /etc/passwd: Permission denied\n"},
	{"UnknownOption", {"--bogus", "tworoles"}, "", End::exited(2), "",
	    "trace: no option --bogus\nTry 'trace --help' for more.\n"},
	{"BadTimeout", {"--timeout", "0", "tworoles"}, "", End::exited(2), "",
	    "trace: --timeout wants a number of seconds from 0.001 to "
	    "2000000, not '0'\nTry 'trace --help' for more.\n"},
	{"BadPace", {"--pace", "1s", "tworoles"}, "", End::exited(2), "",
	    "trace: --pace wants a number of seconds from 0.001 to 3600, not "
	    "'1s'\nTry 'trace --help' for more.\n"},
	{"StepAndPace", {"--step", "--pace", "1", "tworoles"}, "",
	    End::exited(2), "", "trace: --step and --pace cannot both be "
	    "given: one waits for keys, the other for the time\nTry 'trace "
	    "--help' for more.\n"},
	{"NoProgram", {"-l"}, "", End::exited(2), "",
	    "trace: no program given\nTry 'trace --help' for more.\n"},
	{"TwoOnStandardOutput", {"--svg", "-", "--output", "-", "tworoles"}, "",
	    End::exited(2), "", "trace: only one of --svg, --png, --perfetto "
	    "and --output can go to standard output\nTry 'trace --help' for "
	    "more.\n"},
	// The program's own 124 to 127 are told from trace's.
	{"ProgramsOwn124", {"sh", "-c", "exit 124"}, "", End::exited(124),
	    "P exited with 124", "trace: the program itself exited with 124, "
	    "not trace\n"},
	{"ProgramsOwn127", {"sh", "-c", "exit 127"}, "", End::exited(127),
	    "P exited with 127", "trace: the program itself exited with 127, "
	    "not trace\n"},
	// Said before the program starts, which shows nothing then.
	{"PictureNowhere", {"--svg", "/no/such/folder/run.svg", "tworoles"}, "",
	    End::exited(125), "", "trace: cannot write /no/such/folder/run.svg: "
	    "No such file or directory\n"},
	{"PictureOnFullDevice", {"--perfetto", "/dev/full", "tworoles"}, "",
	    End::exited(125), "P exited with 0",
	    "trace: cannot write /dev/full: No space left on device\n"},
};

class TraceExit : public testing::TestWithParam<Exit> {};

TEST_P(TraceExit, StatusAndWords)
{
	const Exit &c = GetParam();
	Result r = run_trace(c.args, c.input);

	EXPECT_EQ(r.end, c.end);
	if (c.out.empty())
		EXPECT_EQ(r.out, "");
	else
		EXPECT_TRUE(holds(r.out, c.out)) << r.out;
	if (c.err.empty())
		EXPECT_EQ(r.err, "");
	else
		EXPECT_TRUE(r.err.starts_with("trace: ") &&
		    r.err.ends_with(c.err)) << r.err;
	EXPECT_TRUE(r.orphans.empty());
}

INSTANTIATE_TEST_SUITE_P(Trace, TraceExit, testing::ValuesIn(exits),
    [](const testing::TestParamInfo<Exit> &e) { return e.param.name; });

// A program traced already, here by strace, cannot be traced again:
// trace says why and what to change.
TEST(Trace, TracingRefused)
{
	Options o = given({"tworoles"});
	o.trace_writes = true;
	Result r = run("trace", o);
	EXPECT_EQ(r.end, End::exited(125));
	EXPECT_TRUE(r.err.starts_with("trace: ptrace(PTRACE_SEIZE): Operation "
	    "not permitted: ")) << r.err;
	for (const char *cause : {"kernel.yama.ptrace_scope", "CAP_SYS_PTRACE",
	    "seccomp", "traced already"})
		EXPECT_TRUE(holds(r.err, cause)) << cause;
}

struct Tagged {
	std::string role;
	pid_t pid;
	std::string text;
};

// --lines: "   1.234 ms  C1     4242 | text".
std::vector<Tagged>
tagged(const std::vector<std::string> &lines)
{
	static const std::regex line(" +~?[0-9]+\\.[0-9]{3} ms  "
	    "(P|C[0-9]+) +([0-9]+) \\| (.*)\n");
	std::vector<Tagged> v;
	std::smatch m;

	for (const auto &l : lines) {
		EXPECT_TRUE(std::regex_match(l, m, line)) << l;
		if (!m.empty())
			v.push_back({m[1], std::stoi(m[2]), m[3]});
	}
	return v;
}

TEST(Trace, LinesTellTheWritersApart)
{
	Result r = run_trace({"--lines", "funcview"});
	ASSERT_EQ(r.end, End::exited(0));
	std::map<std::string, std::vector<std::string>> by_role;
	std::map<std::string, pid_t> pids;
	for (const auto &t : tagged(r.lines)) {
		// Each process writes its own number: the tag names the writer.
		EXPECT_TRUE(pids.try_emplace(t.role, t.pid).first->second == t.pid);
		std::string text = t.text;
		std::string pid = std::to_string(t.pid);
		if (text.ends_with(" " + pid))
			text.replace(text.size() - pid.size(), pid.size(), t.role);
		by_role[t.role].push_back(text);
	}
	std::map<std::string, std::vector<std::string>> want = {
	    {"P", {"Antes del fork: Soy el proceso P",
		"PADRE: Soy el proceso P",
		"Funcion:La variable_global vale A y la local a",
		"Solo lo ejecuta el padre: Soy el proceso P"}},
	    {"C1", {"HIJO: Soy el proceso C1",
		"Funcion:La variable_global vale A y la local a"}}};
	EXPECT_EQ(by_role, want);
	EXPECT_NE(pids["P"], pids["C1"]);
	EXPECT_EQ(r.err, "");
}

struct Shown {
	std::string name;
	std::string bytes;	// written by the program
	std::string line;	// as --lines shows it, after the tag
	bool utf8;		// jsonl keeps text as it is

	friend void PrintTo(const Shown &s, std::ostream *os) { *os << s.name; }
};

const Shown shown[] = {
	{"Plain", "héllo\tx\n", "héllo\tx", true},
	{"NoNewline", "sin fin", "sin fin   (no newline)", true},
	{"ControlCharacters", "a\x01" "b\r\n", R"(a\x01b\x0d)", true},
	{"Backslash", "a\\x41\n", R"(a\\x41)", true},
	{"NotUtf8", "a\xff" "b\n", R"(a\xffb)", false},
	{"Overlong", "\xc0\xaf\n", R"(\xc0\xaf)", false},
	{"Surrogate", "\xed\xa0\x80\n", R"(\xed\xa0\x80)", false},
	{"CutSequence", "\xe2\x82\n", R"(\xe2\x82)", false},
	{"C1Control", "\xc2\x85\n", R"(\xc2\x85)", true},
	{"Delete", "\x7f\n", R"(\x7f)", true},
};

// A shell's printf writes the bytes, each given in octal.
std::vector<std::string>
printing(const std::string &bytes)
{
	std::string format;
	for (char c : bytes) {
		auto b = static_cast<unsigned char>(c);
		format += "\\" + std::to_string(b >> 6) +
		    std::to_string(b >> 3 & 7) + std::to_string(b & 7);
	}
	return {"/bin/sh", "-c", "printf '" + format + "'"};
}

class TraceShows : public testing::TestWithParam<Shown> {};

TEST_P(TraceShows, BytesAsWritten)
{
	const Shown &c = GetParam();
	std::vector<std::string> args = printing(c.bytes);

	args.insert(args.begin(), "-l");
	Result r = run_trace(args);
	ASSERT_EQ(r.end, End::exited(0));
	std::vector<Tagged> v = tagged(r.lines);
	ASSERT_EQ(v.size(), 1U) << r.out;
	EXPECT_EQ(v[0].text, c.line);

	args[0] = "--format=jsonl";
	r = run_trace(args);
	ASSERT_EQ(r.end, End::exited(0));
	int lines = 0;
	for (const auto &l : r.lines) {
		json j = json::parse(l);
		if (j["kind"] != "line")
			continue;
		lines++;
		EXPECT_EQ(j.contains("hex"), !c.utf8) << l;
		if (c.utf8) {
			EXPECT_EQ(j["text"], c.bytes);
		}
	}
	EXPECT_EQ(lines, 1);
}

INSTANTIATE_TEST_SUITE_P(Trace, TraceShows, testing::ValuesIn(shown),
    [](const testing::TestParamInfo<Shown> &s) { return s.param.name; });

TEST(Trace, JsonLinesHoldTheRun)
{
	Result plain = run("tworoles");
	Result r = run_trace({"--format", "jsonl", "tworoles"});
	ASSERT_EQ(r.end, End::exited(0));
	std::vector<json> v = json_lines(r);
	ASSERT_FALSE(v.empty());

	std::vector<std::string> texts, want;
	std::map<std::string, int> forked, processes;
	long long last = 0;
	for (const auto &j : v) {
		for (const char *key : {"t_us", "pid", "role", "kind", "virtual"})
			EXPECT_TRUE(j.contains(key)) << key << " in " << j;
		EXPECT_GE(j["t_us"].get<long long>(), last) << j;
		last = j["t_us"].get<long long>();
		if (j["kind"] == "line") {
			auto text = j["text"].get<std::string>();
			// Each of tworoles' lines ends with its writer's number.
			EXPECT_EQ(trailing_number(text), j["pid"].get<long>());
			texts.push_back(without_number(text));
		} else if (j["kind"] == "fork") {
			forked[j["child_role"]]++;
		} else if (j["kind"] == "process") {
			processes[j["role"]]++;
			EXPECT_EQ(j["exit"], 0);
			EXPECT_EQ(j["reaped_by"], "trace");
		}
	}
	for (const auto &l : plain.lines)
		want.push_back(without_number(l));
	std::sort(texts.begin(), texts.end());
	std::sort(want.begin(), want.end());
	EXPECT_EQ(texts, want);
	EXPECT_EQ(forked, (std::map<std::string, int>{{"C1", 1}}));
	EXPECT_EQ(processes, (std::map<std::string, int>{{"C1", 1}, {"P", 1}}));
	EXPECT_EQ(v.back()["kind"], "finish");
	EXPECT_EQ(v.back()["exit"], 0);
}

// Ten children, each forked once, each reaped by its parent.
TEST(Trace, ManyProcessesAllAccountedFor)
{
	Result r = run_trace({"--format=jsonl", "--time-lapse", "reaper"});
	ASSERT_EQ(r.end, End::exited(0));
	std::map<std::string, int> forks;
	int processes = 0;
	for (const auto &j : json_lines(r)) {
		EXPECT_EQ(j["virtual"], true);
		if (j["kind"] == "fork")
			forks[j["child_role"]]++;
		if (j["kind"] != "process")
			continue;
		processes++;
		EXPECT_EQ(j["reaped_by"], j["role"] == "P" ? "trace" : "P") << j;
	}
	EXPECT_EQ(forks.size(), 10U);
	for (const auto &[role, n] : forks)
		EXPECT_EQ(n, 1) << role;
	EXPECT_EQ(processes, 11);
}

// becometwin runs ./twinspeak: from the folder the demos are in.
TEST(Trace, DemoRunsInItsOwnFolder)
{
	Result r = run_trace({"--format=jsonl", "becometwin"});
	ASSERT_EQ(r.end, End::exited(0));
	int execs = 0;
	for (const auto &j : json_lines(r))
		if (j["kind"] == "exec" && j["path"] == "./twinspeak") {
			execs++;
			EXPECT_EQ(j["error"], 0);
		}
	EXPECT_EQ(execs, 1);
}

// The demo trace started, once it waits in sigsuspend.
pid_t
waiting_demo(Process &p)
{
	EXPECT_NE(p.read_line(), "");
	std::vector<pid_t> children = children_of(p.pid());
	if (children.size() != 1)
		return -1;
	EXPECT_TRUE(await_sigsuspend(children[0]));
	return children[0];
}

TEST(Trace, CtrlCEndsTheProgramAndTraceSaysHow)
{
	Process p("trace", given({"--mute", "tickcounter"}));
	pid_t demo = waiting_demo(p);
	ASSERT_GT(demo, 0);
	p.signal_group(SIGINT);
	Result r = p.finish();
	EXPECT_EQ(r.end, End::exited(130));
	EXPECT_TRUE(holds(r.out, "P killed by signal 2 (SIGINT)")) << r.out;
	EXPECT_TRUE(r.orphans.empty());
	EXPECT_TRUE(await_state(demo, '\0', std::chrono::seconds(30)));
}

// The kernel ends every traced process with its tracer.
TEST(Trace, KilledTraceTakesTheRunAlong)
{
	Process p("trace", given({"--mute", "tickcounter"}));
	pid_t demo = waiting_demo(p);
	ASSERT_GT(demo, 0);
	p.signal(SIGKILL);
	Result r = p.finish();
	EXPECT_EQ(r.end, End::killed(SIGKILL));
	// Orphaned, it came back to the harness, which collected it.
	ASSERT_EQ(r.orphans.size(), 1U);
	EXPECT_EQ(r.orphans[0].pid, demo);
	EXPECT_EQ(r.orphans[0].end, End::killed(SIGKILL));
	EXPECT_TRUE(await_state(demo, '\0', std::chrono::seconds(30)));
}

} // namespace
