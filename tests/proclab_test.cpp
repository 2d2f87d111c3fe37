// proclab from outside: it lists exactly the demos built beside it, runs
// one as if it were started itself (its lines, its status, becometwin
// from its own folder), hands the tools their command lines, shows a
// demo's source and help, and says what went wrong as a tool does.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

namespace fs = std::filesystem;

namespace {

Result
proclab(std::vector<std::string> args)
{
	Options o;
	o.args = std::move(args);
	o.runs_tracer = true;
	return run("proclab", o);
}

// Every demo in build/bin is listed, and nothing else: the tools beside
// them are commands.
TEST(Proclab, ListsTheDemosBuilt)
{
	Result r = proclab({"list"});
	std::set<std::string> listed, programs;

	ASSERT_EQ(r.end, End::exited(0));
	for (const auto &line : r.lines) {
		EXPECT_NE(line.find("  "), std::string::npos) << line;
		listed.insert(line.substr(0, line.find(' ')));
	}
	for (const auto &f : fs::directory_iterator(built("bin"))) {
		std::string name = f.path().filename();
		if (name != "orders" && name != "trace" && name != "proclab")
			programs.insert(name);
	}
	EXPECT_EQ(listed, programs);
}

struct Call {
	std::string name;
	std::vector<std::string> args;
	End end;
	std::string out;	// a part of what it writes; "" for nothing
	std::string err;	// all it says on standard error

	friend void PrintTo(const Call &c, std::ostream *os) { *os << c.name; }
};

const std::string try_line = "Try 'proclab list' for the demos, 'proclab "
    "--help' for more.\n";

const Call calls[] = {
	{"RunsADemo", {"tworoles"}, End::exited(0), "HIJO: Soy el proceso", ""},
	{"ExitsAsTheDemo", {"faultcatch"}, End::exited(2),
	    "Error: segmentation fault", ""},
	{"PassesArguments", {"argecho", "dos palabras"}, End::exited(0),
	    "El argumento 0 es argecho (es el nombre del ejecutable)\n"
	    "El argumento 1 es dos palabras\n", ""},
	// The tests run elsewhere: becometwin is started from its folder.
	{"BecometwinFindsTwinspeak", {"becometwin"}, End::exited(0),
	    "Soy el proceso ", ""},
	{"HandsOverToOrders", {"orders", "-n", "2", "twinspeak"},
	    End::exited(0), "twinspeak, 2 runs", ""},
	{"HandsOverToTrace", {"trace", "-m", "-l", "twinspeak"}, End::exited(0),
	    "P ", ""},
	{"ToolsHelp", {"help", "trace"}, End::exited(0), "usage: trace", ""},
	{"DemoHelp", {"help", "reaper"}, End::exited(0),
	    "\n  Waitpid bloqueante. Termina <PID>\n      Blocking waitpid.",
	    ""},
	{"Help", {"--help"}, End::exited(0), "proclab-demos(7)", ""},
	{"Version", {"--version"}, End::exited(0), "proclab 1.0.0\n", ""},
	{"AloneIsHelp", {}, End::exited(0), "usage: proclab COMMAND", ""},
	{"UnknownName", {"nosuch"}, End::exited(2), "",
	    "proclab: no command or demo 'nosuch'\n" + try_line},
	{"UnknownOption", {"-x"}, End::exited(2), "", "proclab: no option -x\n" +
	    try_line},
	{"UnknownHelp", {"help", "nosuch"}, End::exited(2), "",
	    "proclab: no command or demo 'nosuch'\n" + try_line},
	{"UnknownSource", {"source", "nosuch"}, End::exited(2), "",
	    "proclab: no demo 'nosuch'\n" + try_line},
	{"SourceOfNoDemo", {"source", "--path"}, End::exited(2), "",
	    "proclab: source: which demo? proclab source DEMO\n" + try_line},
	{"SourceOfTwo", {"source", "tworoles", "reaper"}, End::exited(2), "",
	    "proclab: source takes one demo\n" + try_line},
	{"SourceOfAShared", {"source", "report.cpp"}, End::exited(0),
	    "\treport_args(int fd, char *buf", ""},
};

class ProclabCall : public testing::TestWithParam<Call> {};

TEST_P(ProclabCall, StatusAndWords)
{
	const Call &c = GetParam();
	Result r = proclab(c.args);

	EXPECT_EQ(r.end, c.end);
	EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
	EXPECT_EQ(r.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Proclab, ProclabCall, testing::ValuesIn(calls),
    [](const testing::TestParamInfo<Call> &c) { return c.param.name; });

std::string
tree_file(const std::string &path)
{
	std::ifstream in(std::string(SUITE_SOURCE_DIR) + "/" + path);
	return {std::istreambuf_iterator<char>(in),
	    std::istreambuf_iterator<char>()};
}

// Piped, each line is the file's own after its number and a tab: the
// numbers trace gives, and cut -f 2- gives the file back.
TEST(Proclab, SourceIsTheFileNumbered)
{
	std::istringstream file(tree_file("split/tworoles.cpp"));
	std::string line, numbered;

	for (int n = 1; std::getline(file, line); n++)
		numbered += (n < 10 ? " " : "") + std::to_string(n) + "\t" +
		    line + "\n";
	ASSERT_GT(numbered.size(), 100u);
	Result r = proclab({"source", "tworoles"});
	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_EQ(r.out, numbered);

	r = proclab({"source", "--path", "tworoles"});
	ASSERT_EQ(r.end, End::exited(0));
	ASSERT_EQ(r.lines.size(), 1u);
	std::string path = r.lines[0].substr(0, r.lines[0].size() - 1);
	EXPECT_TRUE(path.ends_with("/share/proclab/src/tworoles.cpp")) << path;
	std::ifstream shown(path);
	EXPECT_EQ(std::string(std::istreambuf_iterator<char>(shown),
	    std::istreambuf_iterator<char>()), tree_file("split/tworoles.cpp"));
}

// Every demo listed has its part of proclab-demos(7), and only that:
// the part begins with its name, and no other part's heading follows.
TEST(Proclab, HelpIsTheDemosOwnPart)
{
	Result list = proclab({"list"});
	std::vector<std::string> names;

	for (const auto &line : list.lines)
		names.push_back(line.substr(0, line.find(' ')));
	ASSERT_EQ(names.size(), 20u);
	for (const auto &name : names) {
		Result r = proclab({"help", name});
		EXPECT_EQ(r.end, End::exited(0)) << name;
		EXPECT_EQ(r.out.find(name + " (from proclab-demos(7))\n\n"), 0u)
		    << r.out;
		EXPECT_NE(r.out.find("\nEnds: "), std::string::npos) << name;
		for (const auto &other : names)
			EXPECT_EQ(r.out.find("\n" + other + " ("),
			    std::string::npos) << name << " holds " << other;
	}
	// tworoles' lines, and not the line of childquits, which follows it.
	Result r = proclab({"help", "tworoles"});
	EXPECT_NE(r.out.find("\n  Los DOS: Soy el proceso <PID>\n      BOTH:"),
	    std::string::npos) << r.out;
	EXPECT_EQ(r.out.find("Solo lo ejecuta"), std::string::npos) << r.out;
}

// proclab source NAME on a terminal made by script(1), without the
// carriage returns the terminal adds.
std::string
on_terminal(const std::string &name, bool color)
{
	Options o;
	o.args = {"-qec", program_path("proclab") + " source " + name,
	    "/dev/null"};
	o.env["TERM"] = "xterm";
	o.env["NO_COLOR"] = color ? std::nullopt :
	    std::optional<std::string>("1");
	Result r = run("/usr/bin/script", o);
	EXPECT_EQ(r.end, End::exited(0)) << name << ": " << r.err;
	std::erase(r.out, '\r');
	return r.out;
}

// On a terminal the highlight only adds colour: without its escape
// sequences it is the NO_COLOR view, which has none. A file that calls
// report() ends with the note on it, and only such a file.
TEST(Proclab, SourceOnATerminal)
{
	const std::regex sgr("\033\\[[0-9;]*m");

	const std::pair<std::string, std::string> files[] = {
	    {"tworoles", "split/tworoles.cpp"},
	    {"reaper", "signals/reaper.cpp"},
	    {"tickpair", "signals/tickpair.cpp"},
	    {"binprint", "tools/binprint.cpp"},
	    {"report.h", "common/report.h"}};

	for (const auto &[name, path] : files) {
		std::string plain = on_terminal(name, false);
		std::string colored = on_terminal(name, true);
		EXPECT_EQ(plain.find('\033'), std::string::npos) << name;
		EXPECT_NE(colored.find('\033'), std::string::npos) << name;
		EXPECT_EQ(std::regex_replace(colored, sgr, ""), plain) << name;
		bool calls_report = tree_file(path).find("report(") !=
		    std::string::npos;
		EXPECT_EQ(plain.find("\nreport() is not printf") !=
		    std::string::npos, calls_report) << name;
	}
}

// What it cannot write fails it, and it says so.
TEST(Proclab, OutputThatCannotBeWritten)
{
	Options o;
	o.args = {"-c", "exec \"$0\" list > /dev/full", program_path("proclab")};
	Result r = run("/bin/sh", o);
	EXPECT_EQ(r.end, End::exited(125));
	EXPECT_EQ(r.err, "proclab: cannot write the output: No space left on "
	    "device\n");

	Options closed;
	closed.args = {"--version"};
	closed.close_stdout = true;
	r = run("proclab", closed);
	EXPECT_EQ(r.end, End::exited(125));
	EXPECT_EQ(r.err, "proclab: standard output is closed\n");
}

} // namespace
