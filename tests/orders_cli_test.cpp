// orders as a command: what it says of a wrong command line, its help,
// its long options, the line that tells how far the runs have got on a
// terminal and only there, and output that cannot be written.
#include <regex>
#include <string>
#include <vector>

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
		{{"nosuchdemo"}, "no rules for nosuchdemo; the demos with rules: "
		    "twinspeak tworoles ..."},
		{{"argecho"}, "no rules for argecho; ..."},
		{{"/nonexistent/tworoles"}, "cannot run /nonexistent/tworoles: "
		    "No such file or directory"},
		// A run of a timer demo lasts 10 s or more: how many, say.
		{{"tickpair"}, "tickpair takes about 100 s a run: give the "
		    "number of runs with -n, or fast-forward its alarms with "
		    "--time-lapse"},
		{{"-j", "4", "lonetimer"}, "lonetimer takes about 10 s a run: ..."},
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
		EXPECT_TRUE(r.out.starts_with("usage: orders [OPTIONS] DEMO|PATH "
		    "[ARGS...]\n")) << r.out;
		for (const char *o : {"-n, --runs RUNS", "-j, --jobs JOBS",
		    "-t, --time-lapse", "-w, --writers", "-h, --help",
		    "Exit status:", "  2 ", "  125 "})
			EXPECT_TRUE(holds(r.out, o)) << o << "\n" << r.out;
	}
}

// The long forms do what the short ones do.
TEST(Orders, LongOptionsAreTheShortOnes)
{
	Result r = run_orders({"--runs", "3", "--jobs=1", "twinspeak"});
	EXPECT_EQ(r.end, End::exited(0)) << r.err;
	EXPECT_TRUE(r.out.starts_with("twinspeak, 3 runs\n")) << r.out;
}

// Nine runs, one at a time, of a stand-in that takes a quarter of a
// second: long enough for the runs to be told of on a terminal.
struct Slow {
	Scratch dir;
	std::string path = dir.script("heapwalk", "sleep 0.25\n"
	    "echo Addresses:; printf '\\tp: 0x10\\n'\n"
	    "printf '\\tProgram code -- p address: 0x10, p value: 0x20, "
	    "*p: 0\\n'\n");
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

} // namespace
