// The order explorer, from outside: what it counts and names, and when it
// says a demo broke its rules. Stand-ins are shell scripts named like a
// demo, so the demo's rules judge what they print.
#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

// Where the next process's end begins, under the first's.
const std::string ends_gap(14, ' ');

// The figures of a report, as printed.
struct Report {
	long runs = -1;
	long distinct = -1, allowed_seen = -1, not_allowed = 0;
	std::vector<std::pair<long, double>> blocks;	// runs, percent
	long blocks_not_allowed = 0, more = 0;	// more: blocks not shown
	long allowed = -1;	// the allowed orders, as text if they differ
	long unseen = -1, unseen_listed = 0;
	bool too_many = false;	// unseen: too many to list
	std::vector<std::pair<long, std::string>> endings;
	long failed = -1;	// 0: every run was sound
};

Report
parse(const std::string &out)
{
	static const std::regex heading("[^ ]+, ([0-9]+) runs?"),
	    seen("([0-9]+) orders? seen(: ([0-9]+))? of the ([0-9]+|2\\^64 or "
	    "more) the rules allow( \\(none that breaks them\\)|, ([0-9]+) "
	    "that breaks? them); most frequent first:"),
	    block(" +([0-9]+) runs? +([0-9.]+)%(  NOT ALLOWED)?"),
	    more(R"(  \.\.\. and ([0-9]+) more orders?, seen less often)"),
	    unseen("([0-9]+) allowed orders? never seen(:|, too many to list\\.|"
	    ", too many to go through\\.)"),
	    ending(" +([0-9]+) runs? +(.*)"),
	    broken("NOT SOUND: ([0-9]+) of [0-9]+ runs? broke the rules.*");
	Report rep;
	std::istringstream in(out);
	std::smatch m;
	bool ends = false, listing = false;
	std::string last;
	for (std::string l; std::getline(in, l); last = l) {
		if (rep.runs < 0 && std::regex_match(l, m, heading))
			rep.runs = std::stol(m[1]);
		else if (std::regex_match(l, m, seen)) {
			rep.distinct = std::stol(m[1]);
			rep.allowed_seen = std::stol(m[m[2].matched ? 3 : 1]);
			rep.not_allowed = m[6].matched ? std::stol(m[6]) : 0;
			rep.allowed = m[4] == "2^64 or more" ? -2 : std::stol(m[4]);
		} else if (!ends && std::regex_match(l, m, block)) {
			rep.blocks.emplace_back(std::stol(m[1]),
			    std::stod(m[2]));
			rep.blocks_not_allowed += m[3].matched;
		} else if (std::regex_match(l, m, more))
			rep.more = std::stol(m[1]);
		else if (std::regex_match(l, m, unseen)) {
			rep.unseen = std::stol(m[1]);
			rep.too_many = m[2] != ":";
			listing = !rep.too_many;
		} else if (l == "Every allowed order was seen.")
			rep.unseen = 0;
		else if (l == "How the processes ended:")
			ends = true, listing = false;
		else if (ends && std::regex_match(l, m, ending))
			rep.endings.emplace_back(std::stol(m[1]), m[2]);
		else if (ends && !rep.endings.empty() &&
		    l.starts_with(ends_gap))
			rep.endings.back().second += "; " + l.substr(14);
		else if (l == "Every run was sound.")
			rep.failed = 0;
		else if (std::regex_match(l, m, broken))
			rep.failed = std::stol(m[1]);
		else if (listing && last.empty() && l.starts_with("      "))
			rep.unseen_listed++;
	}
	return rep;
}

// What the figures of a report must come to among themselves.
void
expect_adds_up(const Report &rep, const std::string &out)
{
	ASSERT_GT(rep.runs, 0) << out;
	long ended = 0;
	for (const auto &e : rep.endings)
		ended += e.first;
	EXPECT_EQ(ended, rep.runs) << out;
	EXPECT_TRUE(rep.failed >= 0 && rep.failed <= rep.runs) << out;
	if (rep.distinct < 0)
		return;	// a summary of how the writers mixed instead
	EXPECT_EQ(rep.allowed_seen + rep.not_allowed, rep.distinct) << out;
	EXPECT_EQ(static_cast<long>(rep.blocks.size()) + rep.more,
	    rep.distinct) << out;
	long counted = 0;
	for (std::size_t i = 0; i < rep.blocks.size(); i++) {
		auto [runs, percent] = rep.blocks[i];
		counted += runs;
		// 100 * runs / rep.runs, to one decimal
		EXPECT_LE(std::abs(percent * static_cast<double>(rep.runs) -
		    100.0 * static_cast<double>(runs)),
		    0.05 * static_cast<double>(rep.runs) + 1e-6)
		    << runs << " runs shown as " << percent << "%\n" << out;
		if (i > 0) {
			EXPECT_LE(runs, rep.blocks[i - 1].first) << out;
		}
	}
	if (rep.more == 0) {
		EXPECT_EQ(counted, rep.runs) << out;
		EXPECT_EQ(rep.blocks_not_allowed, rep.not_allowed) << out;
	} else {
		EXPECT_LT(counted, rep.runs) << out;
	}
	EXPECT_EQ(rep.unseen + rep.allowed_seen, rep.allowed) << out;
	if (rep.unseen_listed > 0) {
		EXPECT_EQ(rep.unseen_listed, rep.unseen) << out;
	}
}

struct Survey {
	std::string demo;
	long runs;	// 200: left to orders, whose default it is
	long allowed;	// as text, unless lines are shown with writers
	std::string ending;	// of every run
	std::vector<std::string> options{};
};

// Each process's end on a line of its own, joined here by "; ".
const std::string p0 = "P exited with 0, reaped by orders",
    c1_left = "; C1 exited with 0, left for orders to reap";

const Survey surveys[] = {
	{"tworoles", 30, 6, p0 + c1_left},
	{"twinspeak", 40, 2, p0 + c1_left},
	// Ten orders, two pairs of which read alike.
	{"funcview", 20, 8, p0 + c1_left},
	// Untraced, a child its parent reaps is seen not to come back.
	{"patientparent", 20, 3, p0 + "; C1 reaped by P"},
	// Too many to go through: those seen are all that are named.
	{"reaper", 10, 202382019239400000, p0 + "; C1 to C10 reaped by P"},
	{"heapwalk", 200, 1, p0},
	// The tracer tells the lines that read alike apart by their writers.
	{"funcview", 20, 10, p0 + c1_left, {"--writers"}},
	// Alarms fast-forwarded: 100 s runs in moments, ending as they do.
	{"tickpair", 20, 184756, "P exited with 1, reaped by orders; C1 exited "
	    "with 1, left for orders to reap", {"--time-lapse"}},
	{"tickheir", 10, 1, "P killed by signal 2 (SIGINT), reaped by orders; "
	    "C1 exited with 1, left for orders to reap", {"-t"}},
	{"lonetimer", 10, 1, "P killed by signal 14 (SIGALRM), reaped by "
	    "orders", {"-t", "-w"}},
};

TEST(Orders, ReportAddsUp)
{
	for (const Survey &s : surveys) {
		std::vector<std::string> args = s.options;
		if (s.runs != 200)
			args.insert(args.end(), {"-n", std::to_string(s.runs)});
		args.push_back(s.demo);
		Result r = run_orders(args);
		EXPECT_EQ(r.end, End::exited(0)) << r.out << r.err;
		EXPECT_EQ(r.err, "");
		EXPECT_TRUE(r.orphans.empty());
		Report rep = parse(r.out);
		ASSERT_GT(rep.distinct, 0) << r.out;
		expect_adds_up(rep, r.out);
		EXPECT_EQ(rep.runs, s.runs) << r.out;
		EXPECT_EQ(rep.failed, 0) << r.out;
		EXPECT_EQ(rep.not_allowed, 0) << r.out;
		EXPECT_EQ(rep.allowed, s.allowed) << r.out;
		EXPECT_EQ(rep.endings, (std::vector<std::pair<long,
		    std::string>>{{s.runs, s.ending}})) << r.out;
	}
}

// Every run has new process numbers; named by role, twinspeak's two
// lines can come in two orders only, whoever writes first.
TEST(Orders, RoleNamesAreTheSameInEveryRun)
{
	Result r = run_orders({"-n", "40", "twinspeak"});
	EXPECT_EQ(r.end, End::exited(0)) << r.out;
	Report rep = parse(r.out);
	EXPECT_TRUE(rep.distinct >= 1 && rep.distinct <= 2) << r.out;
	EXPECT_FALSE(std::regex_search(r.out, std::regex("proceso [0-9]")))
	    << r.out;
}

// Each line shown with its writer, seen or only allowed; of the two
// that read alike, one is the parent's and one the child's.
TEST(Orders, WritersTellLinesApart)
{
	Result r = run_orders({"-w", "-n", "20", "funcview"});
	EXPECT_EQ(r.end, End::exited(0)) << r.out << r.err;
	std::istringstream in(r.out);
	int tagged = 0, funcion[2] = {};
	for (std::string l; std::getline(in, l) && !l.starts_with("How");) {
		if (!l.starts_with("      ") || l.ends_with("%"))
			continue;
		std::string line = l.substr(6);
		bool parent = line.starts_with("[P] ");
		EXPECT_TRUE(parent || line.starts_with("[C1] ")) << l;
		tagged++;
		if (line.find("] Funcion:") != std::string::npos)
			funcion[parent]++;
	}
	EXPECT_GE(tagged, 6) << r.out;
	EXPECT_EQ(funcion[0], funcion[1]) << r.out;
}

struct StandIn {
	std::string name;
	std::string demo;	// the name the script gets
	std::string script;
	std::vector<std::string> args;
	int status;
	std::vector<std::string> shown;	// in the output, each
	std::vector<std::string> not_shown{};	// in the output, none

	friend void PrintTo(const StandIn &s, std::ostream *os) { *os << s.name; }
};

// patientparent, its child exiting with status, then P going on with more.
std::string
patient(const std::string &status, const std::string &more = "")
{
	return "echo \"Antes del fork: Soy el proceso $$\"\n"
	    "echo \"PADRE: Soy el proceso $$\"\n"
	    "sh -c 'echo \"HIJO: Soy el proceso $$\"; "
	    "echo \"HIJO acaba: Soy el proceso $$\"; exit " + status + "'\n"
	    "echo \"Solo lo ejecuta el padre: Soy el proceso $$\"\n" + more;
}

// $$ is the process started; a line from `sh -c` has its own number, that
// of a child.
const StandIn standins[] = {
	{"ForbiddenOrderIsLoud", "tworoles",
	    "echo \"Antes del fork: Soy el proceso $$\"\n"
	    "sh -c 'echo \"HIJO: Soy el proceso $$\"; "
	    "echo \"Los DOS: Soy el proceso $$\"'\n"
	    "echo \"Los DOS: Soy el proceso $$\"\n"
	    "echo \"PADRE: Soy el proceso $$\"\n", {"-n", "3"}, 1,
	    {("\n1 order seen: 0 of the 6 the rules allow, 1 that breaks them; "
	    "most frequent first:\n"), "NOT ALLOWED",
	    ("      Los DOS: Soy el proceso P\n"
	    "      PADRE: Soy el proceso P\n"),
	    // The rule it breaks, by its cause.
	    ("\n    Line 4 \"Los DOS: Soy el proceso P\" came before P's line "
	    "\"PADRE: Soy el proceso P\": one process writes its lines in the "
	    "order of its program.\n"),
	    // Every process by its role, in the rules and in the run.
	    ("      C1:\n        HIJO: Soy el proceso C1\n"
	    "        Los DOS: Soy el proceso C1\n"
	    "    The run's lines:\n"
	    "      1: Antes del fork: Soy el proceso P\n"
	    "      2: HIJO: Soy el proceso C1\n"),
	    "  0 processes came back to orders, where the rules expect 1\n",
	    // Alike, the runs are told of once.
	    ("NOT SOUND: 3 of 3 runs broke the rules:\nRun 1, and 2 more like "
	    "it:\n")}, {"Run 2"}},
	// The child's lines never come: no sign of it, which is said.
	{"MissingChildIsSaid", "patientparent",
	    "echo \"Antes del fork: Soy el proceso $$\"\n"
	    "echo \"PADRE: Soy el proceso $$\"\n"
	    "echo \"Solo lo ejecuta el padre: Soy el proceso $$\"\n",
	    {"-n", "2"}, 1, {"2 runs  " + p0 + "\n" + ends_gap + "C1 never "
	    "appeared\n", "5 lines expected, 3 written.\n",
	    "        HIJO: Soy el proceso C1\n"},
	    {"no process left behind"}},
	// The child ends well after its parent, with a status of its own:
	// still collected, and its end judged.
	{"LateChildIsCollected", "childquits",
	    "echo \"Antes del fork: Soy el proceso $$\"\n"
	    "sh -c 'echo \"HIJO: Soy el proceso $$\"; sleep 0.5; exit 3' &\n"
	    "echo \"PADRE: Soy el proceso $$\"\n"
	    "echo \"Solo lo ejecuta el padre: Soy el proceso $$\"\n",
	    {"-n", "2"}, 1,
	    {ends_gap + "C1 exited with 3, left for orders to reap\n",
	    "C1 exited with 3, where the rules say it exited with 0"}},
	// An allowed order, and every process as it should be but P.
	{"WrongEndOfPIsNamed", "patientparent", patient("0", "exit 3\n"),
	    {"-n", "2"}, 1,
	    {"1 order seen of the 3 the rules allow (none that breaks them);",
	    "Run 1, and 1 more like it:\n  P exited with 3, "
	    "where the rules say it exited with 0\n", "NOT SOUND: 2 of 2 runs "
	    "broke the rules:\n"}},
	// Traced, the end of a child its parent reaps is seen, and judged.
	{"WrongEndOfReapedChildIsNamed", "patientparent", patient("3"),
	    {"-t", "-n", "2"}, 1, {ends_gap + "C1 exited with 3, reaped by P\n",
	    "  C1 exited with 3, where the rules say it exited with 0\n"}},
	{"DescriptorTwoIsAProblem", "heapwalk",
	    "echo Addresses:; printf '\\tp: 0x10\\n'\n"
	    "printf '\\tProgram code -- p address: 0x10, p value: 0x20, "
	    "*p: 0\\n'\necho aviso >&2\n", {"-n", "2"}, 1,
	    {"it wrote on descriptor 2:\n    aviso\n", "      \tp: <addr>\n"}},
	// A process the rules do not name, left behind, is named by a role
	// of its own as it is judged.
	{"UnnamedOrphanHasARole", "patientparent",
	    patient("0", "sh -c 'exit 4' &\n"), {"-n", "2"}, 1,
	    {"2 runs  " + p0 + "\n" + ends_gap + "C1 reaped by P\n" + ends_gap +
	    "C2 exited with 4, left for orders to reap\n",
	    "  C2, not named by the rules, exited with 4 and came "
	    "back to orders: its parent should have collected it\n"}},
	// The parent waits for ever, its child left uncollected: once the
	// child has ended, the parent is ended as Ctrl-C would.
	{"EndlessParentIsInterrupted", "tickheir",
	    "sh -c 'for s in 10 20 30 40 50 60 70 80 90 100; do "
	    "echo \"ALARMA pid=$$: $s segundos\"; done; exit 1' &\n"
	    "exec sleep 1000\n", {"-n", "2"}, 0,
	    {"2 runs  P killed by signal 2 (SIGINT), reaped by orders\n" +
	    ends_gap + "C1 exited with 1, left for orders to reap\n",
	    "      ALARMA pid=C1: 100 segundos\n"}},
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
	Result r = run_orders(args);
	EXPECT_EQ(r.end, End::exited(s.status)) << r.out << r.err;
	for (const auto &text : s.shown)
		EXPECT_TRUE(holds(r.out, text)) << text << "\n---\n" << r.out;
	for (const auto &text : s.not_shown)
		EXPECT_FALSE(holds(r.out, text)) << text << "\n---\n" << r.out;
	// Processes by role only: no number of theirs, no tag of the rules.
	EXPECT_FALSE(std::regex_search(r.out, std::regex(
	    "(proceso |pid=)[0-9]|\\{(P|C[0-9]+)\\}|\\([0-9]+\\)"))) << r.out;
	Report rep = parse(r.out);
	expect_adds_up(rep, r.out);
	EXPECT_EQ(rep.failed > 0, s.status == 1) << r.out;
	EXPECT_TRUE(r.orphans.empty());
}

INSTANTIATE_TEST_SUITE_P(Scripts, OrdersStandIn, testing::ValuesIn(standins),
    [](const testing::TestParamInfo<StandIn> &s) { return s.param.name; });

// One run is "1 run" wherever runs are counted; heapwalk's one order is
// the only one its rules allow.
TEST(Orders, OneOfAThingIsSingular)
{
	Result r = run_orders({"-n", "1", "heapwalk"});
	EXPECT_EQ(r.end, End::exited(0)) << r.err;
	for (const char *text : {"heapwalk, 1 run\n\n1 order seen of the 1 "
	    "the rules allow (none that breaks them); most frequent first:\n"
	    "\n      1 run   100.0%\n", "Every allowed order was seen.\n",
	    "How the processes ended:\n      1 run   P exited with 0, reaped "
	    "by orders\n\n"})
		EXPECT_TRUE(holds(r.out, text)) << text << "\n---\n" << r.out;
	EXPECT_FALSE(std::regex_search(r.out, std::regex("\\b1 (run|order|"
	    "process)[a-z]*s\\b"))) << r.out;
}

// Of tworoles' six orders, those never seen are said as allowed ones.
TEST(Orders, HeadingSaysSeenOfAllowed)
{
	Result r = run_orders({"-n", "2", "tworoles"});
	EXPECT_EQ(r.end, End::exited(0)) << r.err;
	Report rep = parse(r.out);
	expect_adds_up(rep, r.out);
	std::string seen = "\n" + (rep.distinct == 1 ? std::string("1 order") :
	    std::to_string(rep.distinct) + " orders") + " seen of the 6 the "
	    "rules allow (none that breaks them); most frequent first:\n";
	std::string unseen = "\n" + std::to_string(6 - rep.distinct) +
	    " allowed orders never seen:\n";
	EXPECT_TRUE(holds(r.out, seen)) << r.out;
	EXPECT_TRUE(holds(r.out, unseen)) << r.out;
}

} // namespace
