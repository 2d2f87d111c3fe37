// orders as a command: what it says of a wrong command line, its help,
// its long options, the demos it would run, the line that tells how far
// the runs have got on a terminal and only there, output that cannot be
// written or that nobody reads, and Ctrl-C.
#include <cerrno>
#include <csignal>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

// What was wrong, said in one line and the way to the help; nothing on
// standard output. A line that ends in "..." goes on with the demos.
TEST(Orders, BadUsageExitsWithTwo)
{
	const std::vector<std::pair<std::vector<std::string>, std::string>>
	    cases = {
		{{}, "no program given"},
		{{"-x", "tworoles"}, "no option -x"},
		{{"-tx", "tworoles"}, "no option -x"},
		{{"--nosuch=1", "tworoles"}, "no option --nosuch"},
		{{"--writers=yes", "tworoles"}, "--writers takes no value"},
		{{"-n"}, "-n wants a value"},
		{{"--jobs"}, "--jobs wants a value"},
		{{"-n", "0", "tworoles"}, "-n wants a number from 1 to 1000000, "
		    "not '0'"},
		{{"-n1x", "tworoles"}, "-n wants a number from 1 to 1000000, "
		    "not '1x'"},
		{{"--runs=1000001", "tworoles"}, "--runs wants a number from 1 "
		    "to 1000000, not '1000001'"},
		{{"-j", "", "tworoles"}, "-j wants a number from 1 to 1000000, "
		    "not ''"},
		{{"nosuchdemo"}, "no demo and no program on PATH called "
		    "'nosuchdemo'; the demos with rules: twinspeak tworoles ..."},
		{{"/nonexistent/tworoles"}, "cannot run /nonexistent/tworoles: "
		    "No such file or directory"},
		{{"/"}, "cannot run /: it is a folder"},
		// A run of a timer demo lasts 10 s or more: how many, say.
		{{"tickpair"}, "tickpair takes about 100 s a run: give the "
		    "number of runs with -n, or fast-forward its alarms with "
		    "--time-lapse"},
		{{"-j", "4", "lonetimer"}, "lonetimer takes about 10 s a run: ..."},
		{{"--demos", "tworoles"}, "--demos takes no program"},
		// --allowed runs nothing, and lists only what rules allow.
		{{"--allowed", "argecho"}, "argecho has no rules; the demos "
		    "with rules: twinspeak tworoles ..."},
		{{"--allowed", "nosuchdemo"}, "no demo called 'nosuchdemo'; the "
		    "demos with rules: twinspeak ..."},
		{{"--limit", "3", "tworoles"}, "--limit goes with --allowed"},
		{{"-t", "--allowed", "tickpair"}, "--allowed makes no runs: -t "
		    "does not go with it"},
		{{"--allowed", "tworoles", "tworoles"}, "--allowed takes no "
		    "program but its demo"},
		{{"--allowed=tworoles", "--limit", "-1"}, "--limit wants a number "
		    "from 0 to 1000000, not '-1'"},
		{{"--format", "jsonl", "tworoles"}, "--format is text or json, "
		    "not 'jsonl'"},
	};
	for (const auto &[args, why] : cases) {
		Result r = run_orders(args);
		EXPECT_EQ(r.end, End::exited(2)) << testing::PrintToString(args);
		EXPECT_EQ(r.out, "");
		std::string line = "orders: " + why;
		std::string tail = "\nTry 'orders --help' for more.\n";
		if (line.ends_with("...")) {
			line.resize(line.size() - 3);
			EXPECT_TRUE(r.err.starts_with(line)) << r.err;
			EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2)
			    << r.err;
			EXPECT_TRUE(r.err.ends_with(tail)) << r.err;
		} else {
			EXPECT_EQ(r.err, line + tail);
		}
	}
}

TEST(Orders, HelpNamesEveryOption)
{
	for (const char *h : {"-h", "--help"}) {
		Result r = run_orders({h, "-x", "nosuchdemo"});
		EXPECT_EQ(r.end, End::exited(0)) << r.err;
		EXPECT_EQ(r.err, "");
		EXPECT_TRUE(r.out.starts_with("usage: orders [OPTIONS] PROGRAM "
		    "[ARGS...]\n")) << r.out;
		for (const char *o : {"-n, --runs RUNS", "-j, --jobs JOBS",
		    "-t, --time-lapse", "-w, --writers", "--demos",
		    "--allowed DEMO", "--limit K", "--format FORMAT", "-h, --help",
		    "Exit status:", "  2 ", "  125 ", "  130 ", "  141 "})
			EXPECT_TRUE(holds(r.out, o)) << o << "\n" << r.out;
	}
}

// The orders the rules allow, without a run: how many, then the first
// few, each once (funcview's lines that read alike make 8 of its 10),
// and none of interleave's 200004 lines unless asked.
TEST(Orders, AllowedOrdersWithoutARun)
{
	const std::string tworoles_first = "Antes del fork: Soy el proceso P\n"
	    "PADRE: Soy el proceso P\nLos DOS: Soy el proceso P\n"
	    "HIJO: Soy el proceso C1\nLos DOS: Soy el proceso C1";
	const struct {
		std::vector<std::string> args;
		std::string heading;
		std::size_t orders;
		std::string first;	// the first order begins so
	} cases[] = {
		{{"--allowed", "tworoles"}, "The rules of tworoles allow 6 "
		    "orders of its lines:\n", 6, tworoles_first},
		{{"--allowed", "./tworoles", "--limit", "0"}, "The rules of "
		    "tworoles allow 6 orders of its lines.\n", 0, ""},
		{{"--limit=9", "--allowed", "funcview"}, "The rules of funcview "
		    "allow 10 orders of its lines, 8 as text:\n", 8, ""},
		{{"--allowed", "reaper", "--limit", "2"}, "The rules of reaper "
		    "allow 202382019239400000 orders of its lines; the first 2:\n",
		    2, "Creando el hijo numero 0\n"},
		{{"--allowed", "interleave"}, "The rules of interleave allow "
		    "more than 18446744073709551615 orders of its 200004 lines; "
		    "--limit K lists the first K.\n", 0, ""},
		{{"--allowed", "interleave", "--limit", "1"}, "The rules of "
		    "interleave allow more than 18446744073709551615 orders of its "
		    "lines; the first:\n", 1, "Antes del fork: Soy el proceso P\n"
		    "PADRE: Soy el proceso P\nPADRE:La variable_global vale b\n"},
	};
	for (const auto &c : cases) {
		Result r = run_orders(c.args);
		EXPECT_EQ(r.end, End::exited(0)) << r.err;
		EXPECT_EQ(r.err, "");
		ASSERT_TRUE(r.out.starts_with(c.heading)) << r.out.substr(0, 300);
		std::vector<std::string> orders;
		for (std::size_t at = c.heading.size(); at < r.out.size();) {
			std::size_t end = std::min(r.out.find("\n\n", at + 1),
			    r.out.size());
			orders.push_back(r.out.substr(at + 1, end - at - 1));
			at = end;
		}
		EXPECT_EQ(orders.size(), c.orders) << c.heading;
		std::set<std::string> distinct(orders.begin(), orders.end());
		EXPECT_EQ(distinct.size(), orders.size()) << r.out;
		if (!orders.empty()) {
			EXPECT_TRUE(orders[0].starts_with(c.first)) << orders[0];
		}
	}
}

// The long forms do what the short ones do.
TEST(Orders, LongOptionsAreTheShortOnes)
{
	Result r = run_orders({"--runs", "3", "--jobs=1", "twinspeak"});
	EXPECT_EQ(r.end, End::exited(0)) << r.err;
	EXPECT_TRUE(r.out.starts_with("twinspeak, 3 runs\n")) << r.out;
	EXPECT_FALSE(holds(r.out, "traced")) << r.out;
}

// Traced runs say that tracing changes what they count.
TEST(Orders, TracedRunsSaySo)
{
	for (const char *how : {"--time-lapse", "--writers"}) {
		Result r = run_orders({"--runs", "2", how, "twinspeak"});
		EXPECT_EQ(r.end, End::exited(0)) << r.err;
		EXPECT_TRUE(r.out.starts_with("twinspeak, 2 runs\n\nEach run was "
		    "traced: every call the tracer watches stops")) << r.out;
	}
}

// The demos it would run, as the completion offers them: those with
// rules, the timer demos only given runs or a time-lapse.
TEST(Orders, DemosItWouldRun)
{
	const std::string quick = "twinspeak tworoles childquits busychild "
	    "patientparent copyview copyedit funcview interleave becomelist "
	    "becometwin ", timers = "lonetimer tickcounter tickpair tickheir ",
	    rest = "reaper heapwalk faultcatch ";
	const std::vector<std::pair<std::vector<std::string>, std::string>>
	    cases = {
		{{"--demos"}, quick + rest},
		{{"-j", "2", "-w", "--demos"}, quick + rest},
		{{"--demos", "--runs=3"}, quick + timers + rest},
		{{"-t", "--demos"}, quick + timers + rest},
	};
	for (const auto &[args, demos] : cases) {
		Result r = run_orders(args);
		EXPECT_EQ(r.end, End::exited(0)) << r.err;
		std::string listed;
		for (const auto &line : r.lines)
			listed += line.substr(0, line.size() - 1) + " ";
		EXPECT_EQ(listed, demos) << testing::PrintToString(args);
	}
}

// A heapwalk run as its rules have it, for a stand-in to end with.
const std::string heapwalk_lines = "echo Addresses:; printf '\\tp: 0x10\\n'\n"
    "printf '\\tProgram code -- p address: 0x10, p value: 0x20, *p: 0\\n'\n";

// Nine runs, one at a time, of a stand-in that takes a quarter of a
// second: long enough for the runs to be told of on a terminal.
struct Slow {
	Scratch dir;
	std::string path = dir.script("heapwalk", "sleep 0.25\n" +
	    heapwalk_lines);
	std::vector<std::string> args{"-n", "9", "-j", "1", path};
};

TEST(Orders, NoProgressWhenNotATerminal)
{
	Slow slow;
	Result r = run_orders(slow.args);
	EXPECT_EQ(r.end, End::exited(0)) << r.out << r.err;
	EXPECT_EQ(r.err, "");
	EXPECT_TRUE(r.out.starts_with("heapwalk, 9 runs\n")) << r.out;
}

// Under script(1), descriptor 2 is a terminal: one line rewritten in
// place, then erased before the report.
TEST(Orders, ProgressOnATerminal)
{
	const std::string script = "/usr/bin/script";
	Slow slow;
	std::string command = program_path("orders");
	for (const auto &a : slow.args)
		command += " " + a;
	Options o;
	o.args = {"-q", "-e", "-c", command, "/dev/null"};
	Result r = run(script, o);
	EXPECT_EQ(r.end, End::exited(0)) << r.out;
	EXPECT_TRUE(std::regex_search(r.out, std::regex("\r"
	    "orders: [0-8]/9 runs, about [0-9] s left\x1b\\[K"))) << r.out;
	std::size_t report = r.out.find("\r\x1b[Kheapwalk, 9 runs\r\n");
	ASSERT_NE(report, std::string::npos) << r.out;
	EXPECT_EQ(r.out.find('\n'), report + 21) << r.out;
}

// Output that cannot be written is said, and fails; so does none at all.
TEST(Orders, OutputNotWrittenFails)
{
	struct Case {
		std::vector<std::string> args;
		bool closed;	// else to /dev/full
		std::string why;
	};
	const Case cases[] = {
		{{"-n", "2", "tworoles"}, false, "No space left on device"},
		{{"--help"}, false, "No space left on device"},
		{{"-n", "2", "tworoles"}, true, "standard output is closed"},
	};
	for (const auto &c : cases) {
		Options o;
		o.args = c.args;
		o.close_stdout = c.closed;
		std::string program = "orders";
		if (!c.closed) {
			o.args.insert(o.args.begin(), {"-c", "exec \"$0\" \"$@\" "
			    ">/dev/full", program_path(program)});
			program = "/bin/sh";
		}
		Result r = run(program, o);
		EXPECT_EQ(r.end, End::exited(125)) << testing::PrintToString(
		    c.args);
		EXPECT_EQ(r.err, "orders: cannot write the output: " + c.why +
		    "\n");
	}
}

// The demos start with every signal at its default and none blocked,
// whatever orders ignores or holds back itself: else the stand-in writes
// on descriptor 2, which breaks the rules.
TEST(Orders, DemosStartWithSignalsAtTheirDefaults)
{
	Scratch dir;
	std::string path = dir.script("heapwalk", "grep -E '^Sig(Ign|Blk):' "
	    "/proc/$$/status | grep -v '[[:space:]]0*$' >&2\n" + heapwalk_lines);
	Result r = run_orders({"-n", "2", path});
	EXPECT_EQ(r.end, End::exited(0)) << r.out;
}

// Output nobody reads any more ends orders as it ends yes in yes | head:
// by SIGPIPE, saying nothing, whether that signal was at its default or
// ignored when it started; runs under way stop, or a million would
// outlast the test. The shell writes to the pipe until its reader, true,
// has gone, and only then starts orders on it.
TEST(Orders, ReaderGoneEndsItBySigpipe)
{
	for (const char *sigpipe : {"trap - PIPE", ":"}) {
		for (const std::vector<std::string> &args : {
		    std::vector<std::string>{"--help"},
		    std::vector<std::string>{"-n", "1000000", "tworoles"}}) {
			Options o;
			o.args = {"-c", std::string("{ trap '' PIPE; while echo; "
			    "do :; done 2>/dev/null; ") + sigpipe + "; exec \"$0\" "
			    "\"$@\"; } | true; echo \"${PIPESTATUS[0]}\"",
			    program_path("orders")};
			o.args.insert(o.args.end(), args.begin(), args.end());
			Result r = run("/bin/bash", o);
			EXPECT_EQ(r.out, "141\n") << sigpipe << " " << args[0];
			EXPECT_EQ(r.err, "");
		}
	}
}

// The numbers written to a FIFO, one a line, until there are n; fewer if
// nothing comes for 30 s. We hold it open for writing too, so that it
// never reads as ended between two writers.
std::vector<pid_t>
await_pids(const std::string &fifo, std::size_t n)
{
	int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	int out = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
	std::vector<pid_t> pids;
	std::string text;
	pollfd p{in, POLLIN, 0};
	char buf[64];

	while (pids.size() < n && poll(&p, 1, 30000) == 1) {
		ssize_t got = read(in, buf, sizeof buf);
		if (got <= 0)
			break;
		text.append(buf, static_cast<std::size_t>(got));
		for (std::size_t nl; (nl = text.find('\n')) != std::string::npos;
		    text.erase(0, nl + 1))
			pids.push_back(std::stoi(text.substr(0, nl)));
	}
	close(in);
	close(out);
	return pids;
}

// Ctrl-C, to the whole group or to orders alone, reports the runs made
// and ends orders as Ctrl-C does; the runs it cut short are not counted,
// and none is left. Of a stand-in's runs, each taking the next number,
// the first three end; the others say so on a FIFO and wait: with three
// at once, orders has counted three once three wait.
TEST(Orders, CtrlCReportsTheRunsMade)
{
	for (bool group : {true, false}) {
		Scratch dir;
		std::string fifo = dir.path + "/waiting";
		ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
		std::string body = "i=1\nwhile ! mkdir " + dir.path + "/run$i "
		    "2>/dev/null; do i=$((i + 1)); done\n";
		body += "[ $i -le 3 ] || { echo $$ >" + fifo + "; exec sleep 1000; }\n";
		body += heapwalk_lines;
		std::string path = dir.script("heapwalk", body);
		Options o;
		o.args = {"-n", "9", "-j", "3", path};
		Process p("orders", o);
		std::vector<pid_t> waiting = await_pids(fifo, 3);
		ASSERT_EQ(waiting.size(), 3U);
		if (group)
			p.signal_group(SIGINT);
		else
			p.signal(SIGINT);
		Result r = p.finish();
		EXPECT_EQ(r.end, End::killed(SIGINT)) << group;
		EXPECT_TRUE(r.out.starts_with("heapwalk, interrupted after 3 of 9 "
		    "runs\n\n")) << r.out;
		EXPECT_TRUE(r.out.ends_with("\nEvery run was sound.\n")) << r.out;
		EXPECT_EQ(r.err, "");
		for (pid_t pid : waiting)
			EXPECT_TRUE(kill(pid, 0) == -1 && errno == ESRCH) << pid;
	}
}

} // namespace
