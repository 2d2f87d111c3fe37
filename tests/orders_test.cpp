// The order explorer, from outside: what it counts and names, and when it
// says a demo broke its rules. Stand-ins are shell scripts named like a
// demo, so the demo's rules judge what they print.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

Result
orders(std::vector<std::string> args)
{
	Options o;
	o.args = std::move(args);
	o.timeout_ms = 120000;
	return run("orders", o);
}

bool
holds(const std::string &out, const std::string &text)
{
	return out.find(text) != std::string::npos;
}

TEST(Orders, ShowsTheAllowedOrdersAndHowEachProcessEnded)
{
	Result r = orders({"-n", "30", "tworoles"});
	EXPECT_EQ(r.end, End::exited(0)) << r.out << r.err;
	EXPECT_TRUE(holds(r.out, "The rules allow 6 orders")) << r.out;
	EXPECT_TRUE(holds(r.out, "      Antes del fork: Soy el proceso P\n"))
	    << r.out;
	EXPECT_TRUE(holds(r.out, "     30 runs  P exited with 0; C1 exited "
	    "with 0, left for orders to collect\n")) << r.out;
	EXPECT_TRUE(holds(r.out, "Every run was sound.\n")) << r.out;
	EXPECT_EQ(r.err, "");
	EXPECT_TRUE(r.orphans.empty());
}

// Every run has new process numbers; named by role, twinspeak's two
// lines can come in two orders only, whoever writes first.
TEST(Orders, RoleNamesAreTheSameInEveryRun)
{
	Result r = orders({"-n", "40", "twinspeak"});
	EXPECT_EQ(r.end, End::exited(0)) << r.out;
	EXPECT_TRUE(std::regex_search(r.out, std::regex("\n[12] distinct "
	    "orders? seen, [12] allowed;")));
	EXPECT_FALSE(std::regex_search(r.out, std::regex("proceso [0-9]")))
	    << r.out;
}

struct StandIn {
	std::string name;
	std::string demo;	// the name the script gets
	std::string script;
	std::vector<std::string> args;
	int status;
	std::vector<std::string> shown;	// in the output, each

	friend void PrintTo(const StandIn &s, std::ostream *os) { *os << s.name; }
};

// $$ is the process started; a line from `sh -c` has its own number, that
// of a child.
const StandIn standins[] = {
	{"ForbiddenOrderIsLoud", "tworoles",
	    "echo \"Antes del fork: Soy el proceso $$\"\n"
	    "sh -c 'echo \"HIJO: Soy el proceso $$\"; "
	    "echo \"Los DOS: Soy el proceso $$\"'\n"
	    "echo \"Los DOS: Soy el proceso $$\"\n"
	    "echo \"PADRE: Soy el proceso $$\"\n", {"-n", "3"}, 1,
	    {"NOT ALLOWED", "      Los DOS: Soy el proceso P\n"
	    "      PADRE: Soy el proceso P\n", "Line 4 fits no process",
	    "NOT SOUND: 3 of 3 runs broke the rules"}},
	// The child ends well after its parent, with a status of its own:
	// still collected, and its end judged.
	{"LateChildIsCollected", "childquits",
	    "echo \"Antes del fork: Soy el proceso $$\"\n"
	    "sh -c 'echo \"HIJO: Soy el proceso $$\"; sleep 0.5; exit 3' &\n"
	    "echo \"PADRE: Soy el proceso $$\"\n"
	    "echo \"Solo lo ejecuta el padre: Soy el proceso $$\"\n",
	    {"-n", "2"}, 1,
	    {"2 runs  P exited with 0; C1 exited with 3, left for orders to "
	    "collect", "C1 exited with 3, where the rules say it exited with 0"}},
	{"DescriptorTwoIsAProblem", "heapwalk",
	    "echo Addresses:; printf '\\tp: 0x10\\n'\n"
	    "printf '\\tProgram code -- p address: 0x10, p value: 0x20, "
	    "*p: 0\\n'\necho aviso >&2\n", {"-n", "2"}, 1,
	    {"it wrote on descriptor 2:\naviso\n", "      \tp: <addr>\n"}},
	// The parent waits for ever, its child left uncollected: once the
	// child has ended, the parent is ended as Ctrl-C would.
	{"EndlessParentIsInterrupted", "tickheir",
	    "sh -c 'for s in 10 20 30 40 50 60 70 80 90 100; do "
	    "echo \"ALARMA pid=$$: $s segundos\"; done; exit 1' &\n"
	    "exec sleep 1000\n", {"-n", "2"}, 0,
	    {"2 runs  P killed by signal 2 (SIGINT); C1 exited with 1, left "
	    "for orders to collect", "      ALARMA pid=C1: 100 segundos\n"}},
	// 5.6 MB a run, the child's lines all after the parent's trailer.
	{"MixingIsSummedUp", "interleave",
	    "lines='BEGIN { for (k = 0; k < 100000; k++) printf \"%s:La "
	    "variable_global vale %c\\n\", who, first + int(k / 10000) }'\n"
	    "export lines\n"
	    "echo \"Antes del fork: Soy el proceso $$\"\n"
	    "echo \"PADRE: Soy el proceso $$\"\n"
	    "awk -v who=PADRE -v first=98 \"$lines\"\n"
	    "echo \"Solo lo ejecuta el padre: Soy el proceso $$\"\n"
	    "sh -c 'echo \"HIJO: Soy el proceso $$\"; "
	    "exec awk -v who=HIJO -v first=66 \"$lines\"' &\n", {"-n", "2"}, 0,
	    {"switches between the writers: min 1, median 1, max 1\n",
	    "the parent's trailer came after this many of the child's 100001 "
	    "lines: min 0, median 0, max 0\n", "after all of them in 0 runs, "
	    "before the child's last line in 2\n", "Every run was sound.\n"}},
};

class OrdersStandIn : public testing::TestWithParam<StandIn> {};

TEST_P(OrdersStandIn, JudgedByTheDemosRules)
{
	const StandIn &s = GetParam();
	Scratch dir;
	std::vector<std::string> args = s.args;
	args.push_back(dir.script(s.demo, s.script));
	Result r = orders(args);
	EXPECT_EQ(r.end, End::exited(s.status)) << r.out << r.err;
	for (const auto &text : s.shown)
		EXPECT_TRUE(holds(r.out, text)) << text << "\n---\n" << r.out;
	EXPECT_TRUE(r.orphans.empty());
}

INSTANTIATE_TEST_SUITE_P(Scripts, OrdersStandIn, testing::ValuesIn(standins),
    [](const testing::TestParamInfo<StandIn> &s) { return s.param.name; });

TEST(Orders, BadUsageExitsWithTwo)
{
	const std::vector<std::pair<std::vector<std::string>, std::string>>
	    cases = {
		{{}, "no program given"},
		{{"-x", "tworoles"}, "usage:"},
		{{"-n", "0", "tworoles"}, "RUNS must be a number"},
		{{"-n", "1x", "tworoles"}, "RUNS must be a number"},
		{{"-j", "", "tworoles"}, "JOBS must be a number"},
		{{"nosuchdemo"}, "no rules for nosuchdemo"},
		{{"argecho"}, "no rules for argecho"},
		{{"/nonexistent/tworoles"}, "cannot run /nonexistent/tworoles"},
		// A run of a timer demo lasts 10 s or more: how many, say.
		{{"tickpair"}, "tickpair takes about 100 s a run: give the "
		    "number of runs with -n"},
		{{"-j", "4", "lonetimer"}, "about 10 s a run"},
	};
	for (const auto &[args, why] : cases) {
		Result r = orders(args);
		EXPECT_EQ(r.end, End::exited(2)) << testing::PrintToString(args);
		EXPECT_TRUE(holds(r.err, why)) << r.err;
		EXPECT_EQ(r.out, "");
	}
}

} // namespace
