// orders on programs without rules: their orders are only counted, each
// line as written but that the numbers of the run's own processes show
// by role, and only those orders knows for certain to be the run's.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

// A parent that waits for its child: one order, whatever the scheduler
// does. $PPID in P is the subreaper that started it.
const std::string waiting = "echo \"parent $$ of $PPID, forked 1 child\"; "
    "sh -c 'echo \"child $$ of $PPID\"'; echo \"done $$\"";

// A parent that does not wait: its child comes back to orders.
const std::string leaving = "echo \"parent $$\"; sh -c 'echo \"child $$ of "
    "$PPID\"' &";

struct Unruled {
	const char *name;
	std::vector<std::string> args;
	std::string script;	// if any, a file run by its path, last
	int status;
	long orders;	// seen, at most; 0: not looked at
	std::vector<std::string> shown;
	std::string not_shown{};	// a pattern

	friend void PrintTo(const Unruled &u, std::ostream *os) { *os << u.name; }
};

// Where the next process's end begins, under the first's.
const std::string gap(14, ' ');

const Unruled cases[] = {
	// Untraced, the child's number is nobody's orders knows: it stays
	// as written, and each run shows an order of its own.
	{"ReapedChildKeepsItsNumber", {"-n", "4", "sh", "-c", waiting}, "", 0,
	    4, {"No rules for this program: the orders are only counted.\n",
	    "      parent P of subreaper, forked 1 child\n", "      done P\n",
	    std::string("\nSome orders differ only in numbers that could be "
	    "those of the run's processes.\nUntraced, orders"),
	    "  P exited with 0, reaped by orders\n" + gap + "no process left "
	    "behind\n",
	    "Every run ended by itself, with nothing on descriptor 2.\n"},
	    "child (P|C1) of"},
	// Traced, it knows them all.
	{"TracedChildHasARole", {"-w", "-n", "4", "sh", "-c", waiting}, "", 0,
	    1, {"1 order seen; most frequent first:\n\n      4 runs  100.0%\n"
	    "      [P] parent P of subreaper, forked 1 child\n"
	    "      [C1] child C1 of P\n      [P] done P\n\n",
	    "  P exited with 0, reaped by orders\n" + gap + "C1 exited with 0, "
	    "reaped by P\n"},
	    "Untraced| [0-9]+ of"},
	// A child that outlives its parent comes back to orders, which then
	// knows its number untraced.
	{"OrphanHasARole", {"-n", "4", "sh", "-c", leaving}, "", 0, 2,
	    {"      child C1 of ", "      parent P\n", "  P exited with 0, "
	    "reaped by orders\n" + gap + "C1 exited with 0, left for orders to "
	    "reap\n"}, "Untraced"},
	// Numbers that no process of the run can have, counts here, are no
	// process numbers orders does not know: the runs, one at a time,
	// count 0, 1, 2, 3.
	{"CountsAreNotProcessNumbers", {"-j", "1", "-n", "4"}, "c=\"${0%/*}/n\""
	    "\nn=$(cat \"$c\" 2>/dev/null || echo 0)\necho $((n + 1)) >\"$c\"\n"
	    "echo \"got $n of 10\"\n", 0, 4, {"      got 0 of 10\n",
	    "      got 3 of 10\n"}, "Some orders differ"},
	// A file of one's own, named by its path; what it writes on
	// descriptor 2 and its status are shown.
	{"DescriptorTwoIsShown", {"-n", "2"}, "echo out\necho oops >&2\nexit 3\n",
	    1, 1, {"homework, 2 runs\n", "      out\n", "  P exited with 3, "
	    "reaped by orders\n" + gap + "no process left behind\n",
	    "NOT CLEAN: 2 of 2 runs wrote on "
	    "descriptor 2 or did not end by themselves:\nRun 1, and 1 more like "
	    "it:\n  it wrote on "
	    "descriptor 2:\n    oops\n"}, "NOT ALLOWED|rules allow"},
	// A demo without rules is run as one: from beside orders, its name
	// as given.
	{"DemoWithoutRules", {"-n", "2", "argecho", "x"}, "", 0, 1,
	    {"      El argumento 0 es argecho (es el nombre del ejecutable)\n"
	    "      El argumento 1 es x\n"}, "/argecho"},
	// A program that writes without end is ended, traced or not, and
	// what is kept of it stays small: its first lines.
	{"EndlessOutputIsCut", {"-n", "1", "yes"}, "", 1, 1,
	    {"      y\n      y\n", "the run wrote more than 16 MiB and was "
	    "killed; its first 20 lines are shown"}, "(      y\n){21}"},
	{"EndlessOutputIsCutTraced", {"-w", "-n", "1", "yes"}, "", 1, 1,
	    {"      [P] y\n", "the run wrote more than 16 MiB"},
	    "(      \\[P\\] y\n){21}"},
};

class OrdersUnruled : public testing::TestWithParam<Unruled> {};

TEST_P(OrdersUnruled, OrdersAreCounted)
{
	const Unruled &u = GetParam();
	Scratch dir;
	std::vector<std::string> args = u.args;
	if (!u.script.empty())
		args.push_back(dir.script("homework", u.script));
	Result r = run_orders(args);
	EXPECT_EQ(r.end, End::exited(u.status)) << r.out << r.err;
	EXPECT_EQ(r.err, "");
	EXPECT_TRUE(r.orphans.empty());
	for (const auto &text : u.shown)
		EXPECT_TRUE(holds(r.out, text)) << text << "\n---\n" << r.out;
	if (!u.not_shown.empty()) {
		EXPECT_FALSE(std::regex_search(r.out, std::regex(u.not_shown)))
		    << u.not_shown << "\n---\n" << r.out;
	}
	std::smatch m;
	ASSERT_TRUE(std::regex_search(r.out, m, std::regex("\n([0-9]+) "
	    "orders? seen; most frequent first:\n"))) << r.out;
	EXPECT_GE(std::stol(m[1]), 1);
	EXPECT_LE(std::stol(m[1]), u.orders) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Programs, OrdersUnruled, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<Unruled> &u) { return u.param.name; });

} // namespace
