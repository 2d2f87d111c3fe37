// Which lines a run's rules put before which, and by which rules: what
// tells a student why an order cannot come.
#include <algorithm>
#include <deque>

#include "order.h"

Precedence::Precedence(const Rules &rules) : r_(rules)
{
	for (std::size_t k = 0; k < rules.order.size(); k++) {
		const Rules::Before &b = rules.order[k];
		from_[{b.a, b.i}].push_back(k);
	}
}

// The rules that put a line right after s, each once.
std::vector<Link>
Precedence::after(Step s) const
{
	std::vector<Link> next;
	const Rules::Proc &p = r_.procs[s.proc];

	if (s.line < p.lines.size()) {
		std::size_t to = s.line;
		while (to < p.lines.size() && p.group[to] == p.group[s.line])
			to++;
		for (std::size_t j = to; j < p.lines.size() &&
		    p.group[j] == to; j++)
			next.push_back({s, {s.proc, j}, program_order_cause});
	}
	if (auto it = from_.find({s.proc, s.line}); it != from_.end())
		for (std::size_t k : it->second) {
			const Rules::Before &b = r_.order[k];
			next.push_back({s, {b.b, b.j}, r_.causes[b.cause]});
		}
	return next;
}

std::vector<Link>
Precedence::chain(Step x, Step y) const
{
	std::map<std::pair<std::size_t, std::size_t>, Link> reached;
	std::deque<Step> todo = {x};

	while (!todo.empty() && !reached.contains({y.proc, y.line})) {
		Step s = todo.front();
		todo.pop_front();
		for (const Link &l : after(s))
			if (reached.try_emplace({l.after.proc, l.after.line},
			    l).second)
				todo.push_back(l.after);
	}
	std::vector<Link> links;
	for (Step at = y; !(at == x) && reached.contains({at.proc, at.line});) {
		links.push_back(reached.at({at.proc, at.line}));
		at = links.back().before;
	}
	std::reverse(links.begin(), links.end());
	return links;
}

std::optional<Broken>
first_broken(const Rules &rules, const std::vector<Step> &order)
{
	Precedence p(rules);

	for (std::size_t k = 0; k < order.size(); k++) {
		std::optional<Broken> b;
		for (std::size_t m = k + 1; m < order.size(); m++) {
			std::vector<Link> c = p.chain(order[m], order[k]);
			if (!c.empty() && (!b || c.size() < b->chain.size()))
				b = Broken{k, m, std::move(c)};
		}
		if (b)
			return b;
	}
	return std::nullopt;
}
