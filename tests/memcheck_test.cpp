// Every program that ends on its own, run under valgrind's memcheck: no
// invalid access and no leak in any of its processes. A forked process
// runs under valgrind too, and one that erred ends with the error status
// instead of its own, so checking how every process ended covers them
// all. lonetimer is not here: it ends by its own alarm's default action,
// which leaves no status to carry an error.
#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

constexpr int erred = 99;

struct Case {
	std::string name;
	std::string program;
	std::vector<std::string> args;
	std::string input;
	long lines;	// -1: whatever the program it becomes prints
	End end;
	std::vector<End> orphans;	// children left to us, as they end
	std::vector<std::string> drive;	// SIGALRMs to "P", "C" or both "G"
	std::string err{};	// the program's own; valgrind's must not come

	friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
};

const End ok = End::exited(0);
// 30 times "./", then the name: 67 bytes, usage's first line 97.
const std::string long_argecho = [] {
	std::string path;
	for (int i = 0; i < 30; i++)
		path += "./";
	return path + "argecho";
}();

std::string
usage(const std::string &name)
{
	return "Usage: " + name + " par1, [par2,...,parn]\n"
	    "Este programa escribe por pantalla los parametros que recibe\n";
}

const Case cases[] = {
	{"Twinspeak", "twinspeak", {}, "", 2, ok, {ok}, {}},
	{"Tworoles", "tworoles", {}, "", 5, ok, {ok}, {}},
	{"Childquits", "childquits", {}, "", 4, ok, {ok}, {}},
	{"Busychild", "busychild", {}, "", 5, ok, {ok}, {}},
	{"Patientparent", "patientparent", {}, "", 5, ok, {}, {}},
	{"Copyview", "copyview", {}, "", 6, ok, {}, {}},
	{"Copyedit", "copyedit", {}, "", 6, ok, {}, {}},
	{"Funcview", "funcview", {}, "", 6, ok, {ok}, {}},
	{"Interleave", "interleave", {}, "", 200004, ok, {ok}, {}},
	{"Becomelist", "becomelist", {}, "", -1, ok, {}, {}},
	{"Becometwin", "becometwin", {}, "", 3, ok, {ok}, {}},
	{"Reaper", "reaper", {}, "", 30, ok, {}, {}},
	{"Heapwalk", "heapwalk", {}, "", 3, ok, {}, {}},
	{"Faultcatch", "faultcatch", {}, "", 3, End::exited(2), {}, {}},
	// Started as ./argecho from its folder, or a name as long as a
	// path: a short line in its buffer, or usage's first in a block of
	// its own, whatever the checkout's path.
	{"Argecho", "./argecho", {"uno", std::string(100000, 'x')}, "", 3, ok,
	    {}, {}},
	{"ArgechoUsage", "./argecho", {}, "", 0, End::exited(1), {}, {},
	    usage("./argecho")},
	{"ArgechoUsageLongName", long_argecho, {}, "", 0, End::exited(1), {},
	    {}, usage(long_argecho)},
	{"Binprint", "binprint", {}, "\x01\x02\x03\x04", 1, ok, {}, {}},
	{"BinprintShort", "binprint", {}, "\x01", 1, ok, {}, {}},
	{"Tickcounter", "tickcounter", {}, "", 10, End::exited(1), {},
	    std::vector<std::string>(10, "P")},
	{"Tickpair", "tickpair", {}, "", 20, End::exited(1), {End::exited(1)},
	    std::vector<std::string>(10, "G")},
	// The child's count ends first; its parent never collects it.
	{"Tickheir", "tickheir", {}, "", 20, End::exited(1), {End::exited(1)},
	    [] {
		std::vector<std::string> d(10, "C");
		d.insert(d.end(), 10, "P");
		return d;
	    }()},
};

class Memcheck : public testing::TestWithParam<Case> {};

TEST_P(Memcheck, NoInvalidAccessNorLeakInAnyProcess)
{
	const Case &c = GetParam();
	Options o;
	o.args = {"-q", "--error-exitcode=" + std::to_string(erred),
	    "--leak-check=full", "--show-leak-kinds=all",
	    "--errors-for-leak-kinds=all",
	    // becometwin's twinspeak is ours; becomelist's ls is not.
	    "--trace-children=yes", "--trace-children-skip=*/ls"};
	// faultcatch's store through a null pointer is the lesson itself.
	if (c.program == "faultcatch")
		o.args.emplace_back("--suppressions=" SUITE_SOURCE_DIR
		    "/tests/faultcatch.supp");
	if (c.program == "becometwin" || c.program.starts_with("./"))
		o.cwd = built("bin");
	o.args.push_back(program_path(c.program));
	o.args.insert(o.args.end(), c.args.begin(), c.args.end());
	o.input = c.input;
	o.timeout_ms = 120000;
	Process p(VALGRIND_PATH, o);
	// Under valgrind the program keeps the process valgrind started in.
	pid_t child = 0;
	for (const std::string &to : c.drive) {
		if (to != "P" && !child) {
			ASSERT_TRUE(await_sigsuspend(p.pid()));
			std::vector<pid_t> children = children_of(p.pid());
			ASSERT_EQ(children.size(), 1u);
			child = children[0];
		}
		std::vector<pid_t> receivers;
		if (to != "C")
			receivers.push_back(p.pid());
		if (to != "P")
			receivers.push_back(child);
		for (pid_t pid : receivers) {
			ASSERT_TRUE(await_sigsuspend(pid, std::chrono::seconds(60)));
			kill(pid, SIGALRM);
		}
		for (std::size_t i = 0; i < receivers.size(); i++)
			ASSERT_NE(p.read_line(), "");
	}
	Result r = p.finish();
	EXPECT_EQ(r.err, c.err);
	EXPECT_EQ(r.end, c.end);
	if (c.lines >= 0) {
		EXPECT_EQ(r.lines.size(), static_cast<std::size_t>(c.lines));
	}
	std::vector<End> orphans;
	for (const Orphan &orphan : r.orphans)
		orphans.push_back(orphan.end);
	EXPECT_EQ(orphans, c.orphans);
}

INSTANTIATE_TEST_SUITE_P(Programs, Memcheck, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<Case> &c) { return c.param.name; });

} // namespace
