// How many orders a run's rules allow, and each of them in turn: counted
// by hand, by trying every arrangement, and for interleave, whose count
// is past 2^64 and whose orders are 200004 lines long, without a frame
// per line.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "demo_rules.h"
#include "order.h"

namespace {

// reaper's orders, for n children, counted by how many lines of each kind
// are out: creation lines come in turn; after c of them any of the c - g
// children made but not yet heard from may greet; once all are made, any
// of the g - w greeted but not yet collected may be collected. Which child
// it is does not change what may follow, so the counts are the state.
std::uint64_t
reaper_orders(std::size_t n)
{
	// ways[c][g][w]: the orders of what is left after that much.
	std::vector<std::vector<std::vector<std::uint64_t>>> ways(n + 1,
	    std::vector<std::vector<std::uint64_t>>(n + 1,
	    std::vector<std::uint64_t>(n + 1)));
	for (std::size_t c = n + 1; c-- > 0;)
		for (std::size_t g = c + 1; g-- > 0;)
			for (std::size_t w = g + 1; w-- > 0;) {
				std::uint64_t &x = ways[c][g][w];
				if (c == n && g == n && w == n)
					x = 1;
				if (c < n)
					x += ways[c + 1][g][w];
				if (g < c)
					x += (c - g) * ways[c][g + 1][w];
				if (c == n && w < g)
					x += (g - w) * ways[c][g][w + 1];
			}
	return ways[0][0][0];
}

// The same, by trying every arrangement of the 3n lines: 'c' k is the
// creation line of child k, 'g' k its greeting, 'w' k its collection.
std::uint64_t
reaper_orders_tried(int n)
{
	std::vector<std::pair<char, int>> lines;
	for (int k = 0; k < n; k++)
		for (char kind : {'c', 'g', 'w'})
			lines.emplace_back(kind, k);
	std::sort(lines.begin(), lines.end());
	std::uint64_t n_ok = 0;
	do {
		std::map<std::pair<char, int>, int> at;
		for (std::size_t i = 0; i < lines.size(); i++)
			at[lines[i]] = static_cast<int>(i);
		bool ok = true;
		for (int k = 0; k < n; k++) {
			ok = ok && (k == 0 || at[{'c', k - 1}] < at[{'c', k}]) &&
			    at[{'c', k}] < at[{'g', k}] &&
			    at[{'g', k}] < at[{'w', k}] &&
			    at[{'c', n - 1}] < at[{'w', k}];
		}
		n_ok += ok;
	} while (std::next_permutation(lines.begin(), lines.end()));
	return n_ok;
}

TEST(DemoRules, ReaperOrdersCountedTwoWays)
{
	for (int n = 1; n <= 3; n++)
		EXPECT_EQ(reaper_orders(static_cast<std::size_t>(n)),
		    reaper_orders_tried(n)) << n << " children";
	// By hand: the first greeting before the second creation line,
	// then 3!/2 orders of the rest; or after it, 4!/(2 * 2).
	EXPECT_EQ(reaper_orders(2), 3u + 6u);
}

// How many orders each demo's rules allow, counted by hand: a fork only
// puts the child after the parent's first line, a wait puts the child
// before the parent's next line. interleave's C(200003, 100001) is far
// past 2^64, and said so at once.
TEST(DemoRules, CountOfAllowedOrders)
{
	const std::map<std::string, std::optional<std::uint64_t>> counts = {
		{"twinspeak", 2},	// two lines, no order between them
		{"tworoles", 6},	// 2 + 2 lines after the first: C(4, 2)
		{"childquits", 3},	// C(3, 1)
		{"busychild", 6},	// C(4, 2)
		{"patientparent", 3},	// the child's two lines around PADRE
		{"copyview", 3},
		{"copyedit", 3},
		{"funcview", 10},	// C(5, 2)
		{"interleave", std::nullopt},
		{"becomelist", 1},	// the listing counts as one line
		{"becometwin", 2},
		{"lonetimer", 1},	// no line at all: one, empty, order
		{"tickcounter", 1},
		{"tickpair", 184756},	// C(20, 10)
		{"tickheir", 1},
		{"reaper", reaper_orders(10)},
		{"heapwalk", 1},
		{"faultcatch", 1},
	};
	for (const DemoRules &d : demo_rules) {
		ASSERT_TRUE(counts.contains(d.name)) << d.name;
		EXPECT_EQ(count_orders(d.rules()), counts.at(d.name)) << d.name;
	}
	// Just past 2^64 - 1, and the most below it: C(67, 33) < 2^64 <
	// C(68, 34), for two processes of 33 and 34 lines, or 34 and 34.
	for (auto [lines, want] : {std::pair<std::size_t, std::optional<
	    std::uint64_t>>{33, 14226520737620288370u}, {34, std::nullopt}}) {
		Rules r = Rules().proc("P", std::vector<std::string>(34, "p\n"))
		    .proc("C1", std::vector<std::string>(lines, "c\n"));
		EXPECT_EQ(count_orders(r), want) << lines;
	}
	// Rules that put a line before itself allow no order.
	Rules loop = Rules().proc("P", {"a\n", "b\n"}).proc("C1", {"c\n"})
	    .forks("P", 1, "C1").waits("P", 0, "C1");
	EXPECT_EQ(count_orders(loop), 0u);
}

// interleave's orders, one after another, without a frame per line: the
// first has every line of the parent's first, the second differs in its
// parent's last line alone.
TEST(DemoRules, LongOrdersAreListedOneByOne)
{
	Rules r = find_demo("interleave")->rules();
	std::vector<std::vector<Step>> orders;
	each_order(r, [&](const std::vector<Step> &order) {
		orders.push_back(order);
		return orders.size() < 2;
	});
	ASSERT_EQ(orders.size(), 2u);
	const std::size_t parent = r.procs[0].lines.size(), all = parent +
	    r.procs[1].lines.size();
	for (const auto &order : orders)
		ASSERT_EQ(order.size(), all);
	EXPECT_EQ(orders[0][parent - 1], (Step{0, parent - 1}));
	EXPECT_EQ(orders[1][parent - 1], (Step{1, 0}));
	EXPECT_EQ(orders[1][parent], (Step{0, parent - 1}));
}

} // namespace
