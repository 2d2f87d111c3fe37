// The order checker is what every ordering test leans on: it must accept
// exactly the interleavings the rules allow.
#include <algorithm>

#include <gtest/gtest.h>

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

TEST(OrderCheck, LearnsUnknownNumbersAndBacktracksOverLookalikes)
{
	Verdict v = check_order(two_roles(),
	    {"antes 7\n", "hijo 9\n", "padre 7\n", "dos 9\n", "dos 7\n"});
	ASSERT_TRUE(v.ok) << v.why;
	EXPECT_EQ(v.pids, (std::map<std::string, long>{{"C1", 9}, {"P", 7}}));
	EXPECT_EQ(v.writers, (std::vector<std::string>{"P", "C1", "P", "C1",
	    "P"}));

	// The first "x" must be the child's, which only the later lines show.
	Rules same = Rules().proc("P", {"x\n", "z\n"}).proc("C1", {"x\n", "y\n"});
	v = check_order(same, {"x\n", "y\n", "x\n", "z\n"});
	EXPECT_TRUE(v.ok);
	EXPECT_EQ(v.writers, (std::vector<std::string>{"C1", "C1", "P", "P"}));
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
