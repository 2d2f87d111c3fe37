// The order checker is what every ordering test leans on: it must accept
// exactly the interleavings the rules allow.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "demo_rules.h"
#include "order.h"

namespace {

Rules
two_roles()
{
	return Rules()
	    .proc("P", {"antes {P}\n", "padre {P}\n", "dos {P}\n"})
	    .proc("C1", {"hijo {C1}\n", "dos {C1}\n"})
	    .forks("P", 0, "C1");
}

// How many orderings of the lines after the first the rules accept.
int
accepted_orders(const Rules &rules, std::vector<std::string> rest)
{
	int n = 0;
	std::sort(rest.begin(), rest.end());
	do {
		std::vector<std::string> lines = {"antes 10\n"};
		lines.insert(lines.end(), rest.begin(), rest.end());
		n += check_order(rules, lines, {{"P", 10}}).ok;
	} while (std::next_permutation(rest.begin(), rest.end()));
	return n;
}

TEST(OrderCheck, AcceptsExactlyTheInterleavingsAllowed)
{
	EXPECT_EQ(accepted_orders(two_roles(),
	    {"padre 10\n", "dos 10\n", "hijo 11\n", "dos 11\n"}), 6);

	Rules waiting = Rules()
	    .proc("P", {"antes {P}\n", "padre {P}\n", "fin {P}\n"})
	    .proc("C1", {"hijo {C1}\n", "acaba {C1}\n"})
	    .forks("P", 0, "C1")
	    .waits("P", 2, "C1");
	EXPECT_EQ(accepted_orders(waiting,
	    {"padre 10\n", "fin 10\n", "hijo 11\n", "acaba 11\n"}), 3);

	// A child that writes nothing orders nothing.
	Rules silent = Rules().proc("P", {"antes {P}\n", "fin {P}\n"})
	    .proc("C1", {}).forks("P", 0, "C1").waits("P", 1, "C1");
	EXPECT_TRUE(check_order(silent, {"antes 10\n", "fin 10\n"}).ok);
}

TEST(OrderCheck, RejectsBrokenRuns)
{
	const std::vector<std::vector<std::string>> broken = {
		// the child writes before the fork line
		{"hijo 11\n", "antes 10\n", "padre 10\n", "dos 10\n", "dos 11\n"},
		// a line is missing, or written twice
		{"antes 10\n", "padre 10\n", "dos 10\n", "hijo 11\n"},
		{"antes 10\n", "antes 10\n", "padre 10\n", "dos 10\n",
		    "hijo 11\n", "dos 11\n"},
		// the child's lines carry two numbers, or the parent's
		{"antes 10\n", "padre 10\n", "dos 10\n", "hijo 11\n", "dos 12\n"},
		{"antes 10\n", "padre 10\n", "dos 10\n", "hijo 10\n", "dos 10\n"},
		// a number that is no process's
		{"antes 10\n", "padre 10\n", "dos 10\n", "hijo 0\n", "dos 0\n"},
		// a cut line
		{"antes 10\n", "padre 10\n", "dos 10\n", "hijo 11\n", "dos 11"},
	};
	for (const auto &lines : broken) {
		Verdict v = check_order(two_roles(), lines, {{"P", 10}});
		EXPECT_FALSE(v.ok) << testing::PrintToString(lines);
		EXPECT_NE(v.why.find("The run's lines:"), std::string::npos);
	}
}

// The line that fits no process is held against the lines of the rules
// it reads as: the rule it breaks is named where one can be, with its
// cause; a line of no process, or written twice, keeps the plain words.
TEST(OrderCheck, RejectionNamesTheRuleBroken)
{
	Rules waiting = Rules()
	    .proc("P", {"antes {P}\n", "padre {P}\n", "fin {P}\n"})
	    .proc("C1", {"hijo {C1}\n", "acaba {C1}\n"})
	    .forks("P", 0, "C1").waits("P", 2, "C1");
	Rules alike = Rules().proc("P", {"a\n", "x\n"}).proc("C1", {"b\n",
	    "x\n"});
	const struct {
		Rules rules;
		std::vector<std::string> lines;
		std::string said;
	} cases[] = {
		{two_roles(), {"antes 10\n", "padre 10\n", "dos 11\n"},
		    "\nLine 3 \"dos 11\" came before C1's line \"hijo {C1}\": one "
		    "process writes its lines in the order of its program.\n"},
		{two_roles(), {"hijo 11\n", "antes 10\n"}, "\nLine 1 \"hijo 11\" "
		    "came before P's line \"antes 10\": a child cannot write "
		    "before the fork that made it.\n"},
		{waiting, {"antes 10\n", "hijo 11\n", "padre 10\n", "fin 10\n",
		    "acaba 11\n"}, "Line 4 \"fin 10\" came before C1's line "
		    "\"acaba 11\": P waits for C1 in waitpid before writing it.\n"},
		{alike, {"x\n", "a\n", "b\n", "x\n"}, "Line 1 fits no process at "
		    "that point: \"x\"\n  as P's, it came before P's line \"a\": "
		    "one process writes its lines in the order of its program.\n"
		    "  as C1's, it came before C1's line \"b\": one process"},
		{two_roles(), {"antes 10\n", "otro 10\n"}, "5 lines expected, 2 "
		    "written.\nLine 2 fits no process at that point: \"otro 10\"\n"
		    "Each process's"},
		{two_roles(), {"antes 10\n", "antes 10\n"}, "\nLine 2 fits no "
		    "process at that point: \"antes 10\"\nEach process's"},
	};
	for (const auto &c : cases) {
		Verdict v = check_order(c.rules, c.lines, {{"P", 10}});
		EXPECT_FALSE(v.ok);
		EXPECT_NE(v.why.find(c.said), std::string::npos) << c.said <<
		    "\n---\n" << v.why;
	}
}

TEST(OrderCheck, LearnsUnknownNumbersAndBacktracksOverLookalikes)
{
	Verdict v = check_order(two_roles(),
	    {"antes 7\n", "hijo 9\n", "padre 7\n", "dos 9\n", "dos 7\n"});
	ASSERT_TRUE(v.ok) << v.why;
	EXPECT_EQ(v.pids, (std::map<std::string, long>{{"C1", 9}, {"P", 7}}));
	EXPECT_EQ(writers(two_roles(), v), (std::vector<std::string>{"P",
	    "C1", "P", "C1", "P"}));

	// The first "x" must be the child's, which only the later lines show.
	Rules same = Rules().proc("P", {"x\n", "z\n"}).proc("C1", {"x\n", "y\n"});
	v = check_order(same, {"x\n", "y\n", "x\n", "z\n"});
	EXPECT_TRUE(v.ok);
	EXPECT_EQ(writers(same, v), (std::vector<std::string>{"C1", "C1", "P",
	    "P"}));
	EXPECT_FALSE(check_order(same, {"x\n", "y\n", "z\n", "x\n"}).ok);
}

TEST(OrderCheck, LongRunsStayLinear)
{
	std::vector<std::string> a, b, lines;
	for (int i = 0; i < 100000; i++) {
		a.emplace_back("a{P}\n");
		b.emplace_back("b{C1}\n");
		lines.emplace_back("a1\n");
		lines.emplace_back("b2\n");
	}
	EXPECT_TRUE(check_order(Rules().proc("P", a).proc("C1", b), lines).ok);
}

} // namespace

namespace {

// A line of an order with made-up numbers: P is 10, Ck is 10 + k.
std::string
filled(const Rules &rules, const Step &s)
{
	const Rules::Proc &p = rules.procs[s.proc];
	if (s.line >= p.lines.size())
		return "total 0\n";
	std::string line = p.lines[s.line];
	for (std::size_t at; (at = line.find('{')) != std::string::npos;) {
		std::size_t close = line.find('}', at);
		std::string role = line.substr(at + 1, close - at - 1);
		line.replace(at, close - at + 1, role == "addr" ? "0x7ffd1000" :
		    std::to_string(10 + (role == "P" ? 0 :
		    std::stoi(role.substr(1)))));
	}
	return line;
}

// How a small demo's child is tied to its parent: it writes after the
// parent's line `fork`, and has written everything before its line
// `wait`; -1: no such line.
struct Ties {
	int fork, wait;
};

const std::map<std::string, Ties> ties = {
	{"twinspeak", {-1, -1}}, {"tworoles", {0, -1}},
	{"childquits", {0, -1}}, {"busychild", {0, -1}},
	{"patientparent", {0, 2}}, {"copyview", {0, 2}}, {"copyedit", {0, 2}},
	{"funcview", {0, -1}}, {"becomelist", {-1, -1}},
	{"becometwin", {0, -1}}, {"lonetimer", {-1, -1}},
	{"heapwalk", {-1, -1}}, {"faultcatch", {-1, -1}},
};

using Order = std::vector<std::pair<std::size_t, std::size_t>>;

// Whether an order of (process, line) keeps each process's lines in turn
// and the child within its ties.
bool
allowed(const Order &order, const Ties &t)
{
	auto child_lines = static_cast<std::size_t>(std::count_if(order.begin(),
	    order.end(), [](const auto &step) { return step.first == 1; }));
	std::size_t next[2] = {0, 0};
	for (const auto &[proc, line] : order) {
		if (line != next[proc]++)
			return false;
		if (proc == 1 && t.fork >= 0 &&
		    next[0] <= static_cast<std::size_t>(t.fork))
			return false;
		if (proc == 0 && static_cast<int>(line) == t.wait &&
		    next[1] != child_lines)
			return false;
	}
	return true;
}

// For every small demo, every arrangement of its lines tried: the orders
// the rules go through, and the runs the checker accepts, are exactly
// the arrangements that keep each process's lines in turn and its child
// within its ties.
TEST(DemoRules, OrdersAreExactlyTheArrangementsAllowed)
{
	std::size_t tried = 0;
	for (const DemoRules &d : demo_rules) {
		Rules rules = d.rules();
		Order steps;
		for (std::size_t p = 0; p < rules.procs.size(); p++)
			for (std::size_t l = 0; l < rules.procs[p].lines.size() +
			    !rules.procs[p].rest.empty(); l++)
				steps.emplace_back(p, l);
		if (d.mixes || steps.size() > 8)
			continue;
		ASSERT_TRUE(ties.contains(d.name)) << d.name;
		ASSERT_LE(rules.procs.size(), 2u);
		tried++;
		std::set<Order> want, yielded;
		std::set<std::vector<std::string>> want_lines, accepted;
		do {
			std::vector<std::string> lines;
			for (const auto &[p, l] : steps)
				lines.push_back(filled(rules, {p, l}));
			if (allowed(steps, ties.at(d.name))) {
				want.insert(steps);
				want_lines.insert(lines);
			}
			if (check_order(rules, lines, {{"P", 10}}).ok)
				accepted.insert(lines);
		} while (std::next_permutation(steps.begin(), steps.end()));
		each_order(rules, [&](const std::vector<Step> &order) {
			Order o;
			for (const Step &s : order)
				o.emplace_back(s.proc, s.line);
			EXPECT_TRUE(yielded.insert(o).second) << d.name;
			return true;
		});
		EXPECT_EQ(yielded, want) << d.name;
		EXPECT_EQ(accepted, want_lines) << d.name;
	}
	EXPECT_EQ(tried, ties.size());
}

// Lines in any order among themselves, each still after what its own
// rules put before it: two children's ends collected as they come.
TEST(OrderCheck, GroupsTakeAnyOrderWithinTheirBounds)
{
	Rules r = Rules()
	    .proc("P", {"crea\n", "fin {C1}\n", "fin {C2}\n", "listo\n"})
	    .any_order("P", 1, 3)
	    .proc("C1", {"hola {C1}\n"}).proc("C2", {"hola {C2}\n"})
	    .forks("P", 0, "C1").forks("P", 0, "C2")
	    .waits("P", 1, "C1").waits("P", 2, "C2");
	// crea, then h1 and h2 in either order, each before its own fin:
	// 2 orders with both greetings first, 1 + 1 with one fin between.
	EXPECT_EQ(count_orders(r), 6u);
	const std::vector<std::vector<std::string>> good = {
		{"crea\n", "hola 11\n", "hola 12\n", "fin 12\n", "fin 11\n",
		    "listo\n"},
		{"crea\n", "hola 12\n", "fin 12\n", "hola 11\n", "fin 11\n",
		    "listo\n"},
	};
	for (const auto &lines : good)
		EXPECT_TRUE(check_order(r, lines, {{"P", 10}}).ok)
		    << testing::PrintToString(lines);
	const std::vector<std::vector<std::string>> bad = {
		// collected before it greeted
		{"crea\n", "hola 12\n", "fin 11\n", "hola 11\n", "fin 12\n",
		    "listo\n"},
		// the line after the group inside it
		{"crea\n", "hola 11\n", "hola 12\n", "fin 11\n", "listo\n",
		    "fin 12\n"},
		// one child collected twice
		{"crea\n", "hola 11\n", "hola 12\n", "fin 11\n", "fin 11\n",
		    "listo\n"},
	};
	for (const auto &lines : bad)
		EXPECT_FALSE(check_order(r, lines, {{"P", 10}}).ok)
		    << testing::PrintToString(lines);
	EXPECT_THROW(Rules().proc("P", {"a\n"}).any_order("P", 0, 2),
	    std::invalid_argument);
}

TEST(OrderCheck, FurtherLinesComeOnlyAfterTheProcesssOwn)
{
	Rules r = Rules().proc("P", {"soy {P}\n"}).then_anything("P", "ls");
	const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
		{{"soy 10\n"}, true},
		{{"soy 10\n", "total 0\n", "-rw x\n"}, true},
		{{"total 0\n", "soy 10\n"}, false},
		{{}, false},
	};
	for (const auto &[lines, ok] : cases) {
		Verdict v = check_order(r, lines, {{"P", 10}});
		EXPECT_EQ(v.ok, ok) << testing::PrintToString(lines);
		if (v.ok) {
			EXPECT_EQ(v.steps.size(), lines.size());
		}
	}
}

TEST(OrderCheck, AddressesMatchAnyAddressButNothingElse)
{
	Rules r = Rules().proc("P", {"p: {addr}, {P}\n"});
	const std::vector<std::pair<std::string, bool>> cases = {
		{"p: 0x55d0412ab010, 10\n", true},
		{"p: (nil), 10\n", true},
		{"p: 0x, 10\n", false},
		{"p: 4096, 10\n", false},
		{"p: 0xABC, 10\n", false},
	};
	for (const auto &[line, ok] : cases)
		EXPECT_EQ(check_order(r, {line}, {{"P", 10}}).ok, ok) << line;
}

} // namespace
