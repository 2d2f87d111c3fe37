// orders --format json, read back as a script reads it: its figures add
// up to the runs made, as the report's do, runs that broke the rules
// alike are one entry, and a run's reasons name the rule it broke.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.h"

namespace {

using json = nlohmann::json;

struct Case {
	const char *name;
	std::vector<std::string> args;
	std::string standin;	// a script named as the demo, run last
	int status;
	json allowed;
	std::size_t orders;	// distinct orders seen, at most
	std::string said{};	// in the reasons of the one kind of problem

	friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
};

// The child writes its second line first, before its number is bound:
// untraced orders knows it by its lines alone, and the runs read alike.
const std::string child_early = "echo \"Antes del fork: Soy el proceso $$\"\n"
    "sh -c 'echo \"Los DOS: Soy el proceso $$\"; "
    "echo \"HIJO: Soy el proceso $$\"'\n"
    "echo \"PADRE: Soy el proceso $$\"\n"
    "echo \"Los DOS: Soy el proceso $$\"\n";

const Case reports[] = {
	{"Sound", {"-n", "20", "tworoles"}, "", 0, 6, 6},
	// Summed up, not listed; 2^64 orders or more are null.
	{"Mixing", {"-n", "2", "interleave"}, "", 0, nullptr, 0},
	{"Unruled", {"-n", "3", "sh", "-c", "echo uno; echo dos >&2"}, "", 1,
	    nullptr, 1, "it wrote on descriptor 2:\ndos\n"},
	{"WrongOrderOnce", {"-n", "4"}, child_early, 1, 6, 1,
	    "\nLine 2 \"Los DOS: Soy el proceso C1\" came before C1's line "
	    "\"HIJO: Soy el proceso C1\": one process writes its lines in the "
	    "order of its program.\n"},
};

// The runs an array of objects counts, each no more than the one before.
long
runs_in(const json &list)
{
	long runs = 0, last = -1;
	for (const auto &e : list) {
		long n = e.at("runs");
		EXPECT_TRUE(last < 0 || n <= last) << list;
		runs += last = n;
	}
	return runs;
}

class OrdersJson : public testing::TestWithParam<Case> {};

TEST_P(OrdersJson, FiguresAddUp)
{
	const Case &c = GetParam();
	Scratch dir;
	std::vector<std::string> args = {"--format=json"};
	args.insert(args.end(), c.args.begin(), c.args.end());
	if (!c.standin.empty())
		args.push_back(dir.script("tworoles", c.standin));
	Result r = run_orders(args);
	EXPECT_EQ(r.end, End::exited(c.status)) << r.out << r.err;
	EXPECT_EQ(r.err, "");
	json j = json::parse(r.out, nullptr, false);
	ASSERT_FALSE(j.is_discarded()) << r.out;
	long runs = j.at("runs"), failed = j.at("failed");
	EXPECT_EQ(runs, std::stol(c.args[1]));
	EXPECT_EQ(j.at("planned"), runs);
	EXPECT_EQ(j.at("allowed"), c.allowed);
	EXPECT_EQ(j.at("sound"), c.status == 0);
	EXPECT_EQ(failed, c.status == 0 ? 0 : runs);
	EXPECT_EQ(runs_in(j.at("endings")), runs) << j.at("endings");
	EXPECT_EQ(runs_in(j.at("problems")), failed) << j.at("problems");
	const json &orders = j.at("orders");
	EXPECT_LE(orders.size(), c.orders) << orders;
	if (j.at("mixing").is_null())
		EXPECT_EQ(runs_in(orders), runs) << orders;
	else
		EXPECT_TRUE(orders.empty() && j.at("mixing").at("runs") == runs);
	if (!c.said.empty()) {
		ASSERT_EQ(j.at("problems").size(), 1u) << j.at("problems");
		const json &why = j.at("problems")[0].at("why");
		EXPECT_TRUE(std::any_of(why.begin(), why.end(),
		    [&](const json &w) { return w.get<std::string>().find(
		    c.said) != std::string::npos; })) << why;
	}
}

INSTANTIATE_TEST_SUITE_P(Runs, OrdersJson, testing::ValuesIn(reports),
    [](const testing::TestParamInfo<Case> &c) { return c.param.name; });

// --allowed in JSON: the count, as text too, and the orders listed.
TEST(OrdersJson, AllowedOrders)
{
	const struct {
		std::vector<std::string> args;
		json allowed, as_text;
		std::size_t orders, lines;	// listed, each of so many lines
	} cases[] = {
		{{"--allowed", "funcview", "--limit", "9"}, 10, 8, 8, 6},
		{{"--allowed", "tworoles", "-w", "--limit", "2"}, 6, 6, 2, 5},
		{{"--allowed", "interleave"}, nullptr, nullptr, 0, 0},
	};
	for (const auto &c : cases) {
		std::vector<std::string> args = c.args;
		args.insert(args.begin(), {"--format", "json"});
		Result r = run_orders(args);
		EXPECT_EQ(r.end, End::exited(0)) << r.err;
		json j = json::parse(r.out, nullptr, false);
		ASSERT_FALSE(j.is_discarded()) << r.out;
		EXPECT_EQ(j.at("allowed"), c.allowed);
		EXPECT_EQ(j.at("allowed_as_text"), c.as_text);
		ASSERT_EQ(j.at("orders").size(), c.orders) << j;
		for (const auto &o : j.at("orders"))
			EXPECT_EQ(o.at("lines").size(), c.lines) << o;
	}
}

} // namespace
