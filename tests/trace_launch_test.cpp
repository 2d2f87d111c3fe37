// trace and the program it starts: where the program's own output and
// trace's report go, how a name is found as a shell finds it, and a
// report that cannot be written.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

Options
given(std::vector<std::string> args)
{
	Options o;
	o.args = std::move(args);
	o.runs_tracer = true;
	return o;
}

// line, '\n' included, is one of the lines of s.
bool
has_line(const std::string &s, const std::string &line)
{
	return s.starts_with(line) || holds(s, "\n" + line);
}

// Tells whether the program's descriptor 1 is a pipe (the harness's),
// and writes a line on 2.
const std::vector<std::string> probe = {"/bin/sh", "-c",
    "if [ -p /dev/stdout ]; then echo pipe; else echo not a pipe; fi; "
    "echo err >&2"};

// What a stream of trace's holds: the program's bytes exactly as
// untraced, trace's report, both, a picture, or nothing.
enum class Has { program, report, both, picture, nothing };

struct Layout {
	std::string name;
	std::vector<std::string> options;	// "@": a file in a scratch folder
	Has out, err, file;
	std::string told;	// the report shows the program's line so

	friend void PrintTo(const Layout &l, std::ostream *os) { *os << l.name; }
};

const Layout layouts[] = {
	{"ByDefault", {}, Has::program, Has::both, Has::nothing, "| pipe"},
	{"ReportToAFile", {"-o", "@"}, Has::program, Has::program, Has::report,
	    "| pipe"},
	{"ReportToStandardOutput", {"--output=-"}, Has::both, Has::program,
	    Has::nothing, "| pipe"},
	{"Muted", {"--mute"}, Has::report, Has::nothing, Has::nothing,
	    "| not a pipe"},
	// A picture on standard output leaves no room there for the rest.
	{"PictureOnStandardOutput", {"--svg", "-"}, Has::picture, Has::nothing,
	    Has::nothing, ""},
	{"PictureThereReportToAFile", {"--perfetto", "-", "-o", "@"},
	    Has::picture, Has::nothing, Has::report, "| not a pipe"},
};

void
expect_has(const std::string &s, Has has, const Result &plain,
    const std::string &plain_s, const std::string &told)
{
	bool report = holds(s, "P exited with 0") && holds(s, told);
	// Each of the program's streams is one line; untagged, as written.
	bool untagged = has_line(s, plain.out) || has_line(s, plain.err);
	if (has == Has::program)
		EXPECT_EQ(s, plain_s);
	else if (has == Has::report)
		EXPECT_TRUE(report && !untagged) << s;
	else if (has == Has::both)
		EXPECT_TRUE(report && has_line(s, plain_s)) << s;
	else if (has == Has::picture)
		EXPECT_TRUE(holds(s, "<svg") || holds(s, "\"traceEvents\"")) << s;
	else
		EXPECT_EQ(s, "");
}

class TraceLayout : public testing::TestWithParam<Layout> {};

TEST_P(TraceLayout, WhereEachGoes)
{
	const Layout &c = GetParam();
	Scratch dir;
	std::string file = dir.path + "/report";
	Options untraced;
	untraced.args.assign(probe.begin() + 1, probe.end());
	Result plain = run(probe[0], untraced);
	ASSERT_EQ(plain.out, "pipe\n");
	std::vector<std::string> args = c.options;
	for (auto &a : args)
		a = a == "@" ? file : a;
	args.insert(args.end(), probe.begin(), probe.end());

	Result r = run("trace", given(args));
	EXPECT_EQ(r.end, End::exited(0)) << r.err;
	expect_has(r.out, c.out, plain, plain.out, c.told);
	expect_has(r.err, c.err, plain, plain.err, c.told);
	expect_has(slurp(file), c.file, plain, "", c.told);
}

INSTANTIATE_TEST_SUITE_P(Trace, TraceLayout, testing::ValuesIn(layouts),
    [](const testing::TestParamInfo<Layout> &l) { return l.param.name; });

struct Found {
	std::string name;
	// "@" in these stands for a scratch folder with a/hello, a/trace and
	// a/argecho, scripts; b/hello, a file not executable; c/hello, a
	// folder.
	std::optional<std::string> path;	// PATH; nullopt: the test's own
	std::string cwd;
	std::vector<std::string> program;
	End end;
	std::string out;	// exactly
	std::string err;	// a part of what trace says

	friend void PrintTo(const Found &f, std::ostream *os) { *os << f.name; }
};

const Found founds[] = {
	{"SystemProgramByName", std::nullopt, "", {"sh", "-c", "echo hi"},
	    End::exited(0), "hi\n", "P exited with 0"},
	{"FirstThatCanRun", "@/c:@/b:@/a", "", {"hello"}, End::exited(0),
	    "from a\n", "P execs hello as hello"},
	{"OnlyOneThatCannotRun", "@/c:@/b", "", {"hello"}, End::exited(126),
	    "", "trace: cannot run @/b/hello: Permission denied\n"},
	{"EmptyEntryIsTheCurrentFolder", ":/nowhere", "@/a", {"hello"},
	    End::exited(0), "from a\n", "P execs hello as hello"},
	{"DemoBeforePath", "@/a", "", {"argecho", "x"}, End::exited(0),
	    "El argumento 0 es argecho (es el nombre del ejecutable)\n"
	    "El argumento 1 es x\n", "P exited with 0"},
	{"ToolsAreNoDemos", "@/a", "", {"trace"}, End::exited(0),
	    "from a\n", "P execs trace as trace"},
	{"PathAsGiven", "/nowhere", "@", {"./c"}, End::exited(126), "",
	    "trace: cannot run ./c: it is a folder\n"},
};

std::string
placed(std::string s, const std::string &dir)
{
	for (std::size_t at; (at = s.find('@')) != std::string::npos;)
		s.replace(at, 1, dir);
	return s;
}

class TraceFinds : public testing::TestWithParam<Found> {};

TEST_P(TraceFinds, AsAShellDoes)
{
	const Found &c = GetParam();
	Scratch dir;
	for (const char *sub : {"/a", "/b", "/c", "/c/hello"})
		std::filesystem::create_directory(dir.path + sub);
	for (const char *name : {"hello", "trace", "argecho"})
		(void)dir.script("a/" + std::string(name), "echo from a\n");
	std::ofstream(dir.path + "/b/hello") << "echo from b\n";

	Options o = given({});
	for (const auto &a : c.program)
		o.args.push_back(placed(a, dir.path));
	if (c.path)
		o.env["PATH"] = placed(*c.path, dir.path);
	o.cwd = placed(c.cwd, dir.path);
	Result r = run("trace", o);
	EXPECT_EQ(r.end, c.end);
	EXPECT_EQ(r.out, c.out);
	EXPECT_TRUE(holds(r.err, placed(c.err, dir.path))) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Trace, TraceFinds, testing::ValuesIn(founds),
    [](const testing::TestParamInfo<Found> &f) { return f.param.name; });

struct Unwritten {
	std::string name;
	std::string shell;	// trace is "$0"
	End end;
	std::string err;	// exactly

	friend void PrintTo(const Unwritten &u, std::ostream *os)
	{
		*os << u.name;
	}
};

// The program's own output goes to /dev/null, or nowhere at all: what
// would come on standard output is a program that ran.
const Unwritten unwritten[] = {
	// A reader gone ends trace without a word, by SIGPIPE, as it ends
	// any Unix tool; the report on standard error as on output.
	{"ReaderOfTheReportGone", "\"$0\" interleave 2>&1 >/dev/null | "
	    "head -n 3 >/dev/null", End::exited(128 + SIGPIPE), ""},
	{"ReaderOfTheMutedReportGone", "\"$0\" -m interleave | head -n 3 "
	    ">/dev/null", End::exited(128 + SIGPIPE), ""},
	{"FullDevice", "\"$0\" -m tworoles >/dev/full", End::exited(125),
	    "trace: cannot write the standard output: No space left on "
	    "device\n"},
	{"ReportFileOnFullDevice", "\"$0\" -o /dev/full tworoles >/dev/null",
	    End::exited(125), "trace: cannot write /dev/full: No space left "
	    "on device\n"},
	// Said before the program starts.
	{"ReportFileNowhere", "\"$0\" -o /no/such/folder/r tworoles",
	    End::exited(125), "trace: cannot write /no/such/folder/r: No such "
	    "file or directory\n"},
	{"StandardOutputClosed", "\"$0\" -m tworoles >&-", End::exited(125),
	    "trace: standard output is closed\n"},
	// Unmuted, a closed standard output is the program's, as untraced.
	{"ProgramsOutputClosed", "\"$0\" -o /dev/null /bin/sh -c "
	    "'echo x 2>/dev/null || exit 9' >&-", End::exited(9), ""},
};

class TraceUnwritten : public testing::TestWithParam<Unwritten> {};

TEST_P(TraceUnwritten, FailsOrEndsQuietly)
{
	const Unwritten &c = GetParam();
	Result r = run("/bin/bash", given({"-c", "set -o pipefail; " + c.shell,
	    program_path("trace")}));

	EXPECT_EQ(r.end, c.end);
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.err, c.err);
	EXPECT_TRUE(r.orphans.empty());
}

INSTANTIATE_TEST_SUITE_P(Trace, TraceUnwritten, testing::ValuesIn(unwritten),
    [](const testing::TestParamInfo<Unwritten> &u) { return u.param.name; });

} // namespace

// The report's width: COLUMNS where it is a number, never under 40; 80
// to a pipe otherwise. Lines fill it nearly, and none goes past.
TEST(TraceWidth, FromColumnsElseEighty)
{
	const std::pair<std::optional<std::string>, std::size_t> rows[] = {
		{"50", 50}, {"20", 40}, {"132", 132}, {"wide", 80}, {"", 80},
		{std::nullopt, 80}};
	for (const auto &[columns, width] : rows) {
		Options o = given({"--mute", "tworoles"});
		o.env["COLUMNS"] = columns;
		Result r = run("trace", o);
		std::size_t widest = 0;
		for (const std::string &l : r.lines)
			widest = std::max(widest, static_cast<std::size_t>(
			    std::count_if(l.begin(), l.end(), [](char c) {
				return c != '\n' &&
				    (static_cast<unsigned char>(c) & 0xc0) != 0x80;
			    })));
		EXPECT_LE(widest, width) << columns.value_or("unset");
		EXPECT_GE(widest + 15, width) << columns.value_or("unset");
	}
}
