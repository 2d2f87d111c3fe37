// How many orders a run's rules allow, and each of them in turn. Neither
// recurses: interleave's rules have 200004 lines, far more than a stack
// holds frames for.
#include <map>

#include "internal/frontier.h"

namespace {

// Whether a walk that always takes the first step it may reaches the end.
// It does unless the rules contradict themselves (a line put before
// itself through others): then no order reaches the end.
bool
completes(const Rules &rules)
{
	Frontier f(rules, true);
	Step s{};
	while (!f.finished()) {
		if (!f.first(s))
			return false;
		f.take(s);
	}
	return true;
}

} // namespace

// Line by line: how many ways lead to each place the walk can reach after
// as many steps. Every place reached leads on to at least one whole order
// (completes says so), so once the ways to one place reach 2^64, so do
// the orders, and the count stops there: for interleave, some seventy
// steps in.
std::optional<std::uint64_t>
count_orders(const Rules &rules)
{
	if (!completes(rules))
		return 0;
	Frontier f(rules, true);
	std::map<Frontier::Place, std::uint64_t> ways{{f.place(), 1}}, next;
	std::uint64_t orders = 0;

	while (!ways.empty()) {
		next.clear();
		for (const auto &[place, n] : ways) {
			f.go_to(place);
			if (f.finished() &&
			    __builtin_add_overflow(orders, n, &orders))
				return std::nullopt;
			Step s{};
			for (bool more = f.first(s); more; more = f.next(s)) {
				f.take(s);
				std::uint64_t &m = next[f.place()];
				f.undo(s);
				if (__builtin_add_overflow(m, n, &m))
					return std::nullopt;
			}
		}
		ways.swap(next);
	}
	return orders;
}

// Depth first, the path itself the stack: each step taken is undone, and
// the next one tried in its place, once everything after it has been.
void
each_order(const Rules &rules,
    const std::function<bool(const std::vector<Step> &)> &f)
{
	Frontier at(rules, true);
	std::vector<Step> path;
	Step s{};
	bool more = at.first(s);

	for (;;) {
		if (at.finished()) {
			if (!f(path))
				return;
			more = false;
		}
		if (more) {
			at.take(s);
			path.push_back(s);
			more = at.first(s);
			continue;
		}
		if (path.empty())
			return;
		s = path.back();
		path.pop_back();
		at.undo(s);
		more = at.next(s);
	}
}
