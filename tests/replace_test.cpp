// The demos that replace themselves with execlp: what comes before the
// call stays, the process number carries over, the new program gets only
// the arguments the call names, and the fallback runs only when the call
// returns.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "demo_rules.h"
#include "harness.h"

namespace fs = std::filesystem;

namespace {

const std::string first = "Soy el proceso: {P}\n";

void
expect_lines(const Result &r, const std::vector<std::string> &lines)
{
	Verdict v = check_order(Rules().proc("P", lines), r.lines,
	    {{"P", r.pid}});
	EXPECT_TRUE(v.ok) << v.why;
}

const std::vector<std::vector<std::string>> argument_sets = {{},
    {"uno", "%s%n", "--help", ""}};

std::string
bin_dir()
{
	return fs::path(program_path("twinspeak")).parent_path();
}

// A stand-in for the program each demo runs shows the arguments it gets,
// whatever the demo got, and that the process ends with its status, not
// one of the demo's own: ls is found along PATH, twinspeak in the
// current directory.
TEST(Replace, NewProgramGetsOnlyTheArgumentsOfTheCall)
{
	struct Case {
		std::string demo, standin;
		bool on_path;
		std::vector<std::string> lines;
	};
	const Case cases[] = {
		{"becomelist", "ls", true, {first, "ls\n", "-l\n"}},
		{"becometwin", "twinspeak", false, {first, "twinspeak\n"}},
	};
	for (const auto &c : cases) {
		Scratch dir;
		dir.standin(c.standin);
		Options o;
		if (c.on_path)
			o.env = {{"PATH", dir.path + ":/usr/bin:/bin"}};
		else
			o.cwd = dir.path;
		for (const auto &args : argument_sets) {
			o.args = args;
			Result r = run(c.demo, o);
			expect_lines(r, c.lines);
			EXPECT_EQ(r.end, End::exited(7));
		}
	}
}

TEST(BecomeList, ItsLineThenExactlyWhatLsPrints)
{
	Scratch dir;
	fs::create_directory(dir.path + "/sub");
	dir.standin("prog");
	Options o;
	o.cwd = dir.path;
	Result ls = run("/bin/ls", [&] {
		Options l = o;
		l.args = {"-l"};
		return l;
	}());
	ASSERT_EQ(ls.end, End::exited(0));
	// With arguments, and into a regular file: nothing changes.
	for (const auto &args : argument_sets) {
		o.args = args;
		o.stdout_to_file = !args.empty();
		Result r = run("becomelist", o);
		ASSERT_FALSE(r.lines.empty());
		EXPECT_EQ(r.lines[0], "Soy el proceso: " +
		    std::to_string(r.pid) + "\n");
		EXPECT_EQ(r.out.substr(r.lines[0].size()), ls.out);
		Verdict v = check_order(find_demo("becomelist")->rules(),
		    r.lines, {{"P", r.pid}});
		EXPECT_TRUE(v.ok) << v.why;
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.end, End::exited(0));
	}
}

TEST(BecomeList, NoLsOnPathMeansTheLineTwice)
{
	Scratch dir;
	Options o;
	o.env = {{"PATH", dir.path}};
	Result r = run("becomelist", o);
	expect_lines(r, {first, first});
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(0));
}

// From the folder that holds twinspeak: its two processes' lines, one of
// them under the number of the first line.
TEST(BecomeTwin, FromTwinspeaksFolderTheSameProcessGoesOn)
{
	Options o;
	o.cwd = bin_dir();
	Rules rules = find_demo("becometwin")->rules();
	for (int i = 0; i < 30 && !HasFailure(); i++) {
		o.stdout_to_file = i % 2;
		Result r = run("becometwin", o);
		Verdict v = check_order(rules, r.lines, {{"P", r.pid}});
		EXPECT_TRUE(v.ok) << v.why;
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.end, End::exited(0));
		ASSERT_EQ(r.orphans.size(), 1u);
		EXPECT_EQ(r.orphans[0].end, End::exited(0));
	}
}

TEST(BecomeTwin, TwinspeaksFailedForkLeavesTwoLines)
{
	Options o;
	o.cwd = bin_dir();
	o.fault = fork_fails;
	Result r = run("becometwin", o);
	expect_lines(r, {first, "Soy el proceso {P}\n"});
	EXPECT_EQ(r.end, End::exited(0));
}

// Anywhere else the call returns, even with twinspeak on PATH, and also
// when the file is there but may not be run.
TEST(BecomeTwin, ElsewhereTheCallReturns)
{
	Scratch dir;
	Options o;
	o.cwd = dir.path;
	o.env = {{"PATH", bin_dir() + ":/usr/bin:/bin"}};
	for (bool present : {false, true}) {
		if (present) {
			dir.standin("twinspeak");
			fs::permissions(dir.path + "/twinspeak",
			    fs::perms::owner_read | fs::perms::owner_write);
		}
		Result r = run("becometwin", o);
		expect_lines(r, {first, "Despu\xc3\xa9s del exec\n"});
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.end, End::exited(0));
		EXPECT_TRUE(r.orphans.empty());
	}
}

} // namespace
