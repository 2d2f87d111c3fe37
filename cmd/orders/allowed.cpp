// orders: the orders a demo's rules allow, without a run: counted, and
// gone through as they are shown, for the report's allowed orders never
// seen and for --allowed.
#include <functional>
#include <limits>
#include <set>

#include "orders.h"

namespace {

// Allowed orders few enough to go through whole, and how many --allowed
// lists unless told.
constexpr std::uint64_t enumerable = 20000;
constexpr long default_limit = 10;

// Goes through the orders the rules allow as they are shown, each text
// once, until f returns false.
void
each_text(const Rules &rules, bool writers, const std::function<bool(
    const std::string &, std::vector<std::string> &&)> &f)
{
	std::set<std::string> texts;
	each_order(rules, [&](const std::vector<Step> &steps) {
		Names names;
		std::vector<std::string> lines = render(rules, steps, names,
		    writers);
		std::string key = joined(lines);
		return !texts.insert(key).second || f(key, std::move(lines));
	});
}

// "6 orders", "more than 18446744073709551615 orders".
std::string
how_many(const Allowed &a)
{
	if (!a.count)
		return "more than " + std::to_string(
		    std::numeric_limits<std::uint64_t>::max()) + " orders";
	return counted(*a.count, "order", "orders");
}

// The line --allowed starts with: how many orders, and how many follow.
std::string
heading(const DemoRules &demo, const Rules &rules, const Allowed &a,
    long limit, bool told)
{
	std::size_t lines = 0;
	for (const auto &p : rules.procs)
		lines += p.lines.size() + !p.rest.empty();
	std::string s = "The rules of " + demo.name + " allow " + how_many(a);
	// An order of a mixing demo fills screens: one is asked for.
	if (limit == 0 && demo.mixes && !told)
		return s + " of its " + std::to_string(lines) + " lines; "
		    "--limit K lists the first K.\n";
	s += " of its lines";
	if (a.listed && a.texts != a.count)
		s += ", " + std::to_string(a.texts) + " as text";
	auto all = a.listed ? a.texts : a.count.value_or(
	    std::numeric_limits<std::uint64_t>::max());
	if (limit == 0)
		return s + ".\n";
	if (static_cast<std::uint64_t>(limit) >= all)
		return s + ":\n";
	if (limit == 1)
		return s + "; the first:\n";
	return s + "; the first " + std::to_string(limit) + ":\n";
}

// The first `limit` orders the rules allow, as text, each once.
std::vector<std::vector<std::string>>
first_orders(const Rules &rules, bool writers, long limit)
{
	std::vector<std::vector<std::string>> orders;
	if (limit > 0)
		each_text(rules, writers, [&](const std::string &,
		    std::vector<std::string> &&lines) {
			orders.push_back(std::move(lines));
			return static_cast<long>(orders.size()) < limit;
		});
	return orders;
}

} // namespace

Allowed
allowed_orders(const Rules &rules, bool writers,
    const std::map<std::string, Seen> *seen)
{
	Allowed a;
	a.count = count_orders(rules);
	if (!a.count || *a.count > enumerable)
		return a;
	each_text(rules, writers, [&](const std::string &key,
	    std::vector<std::string> &&lines) {
		a.texts++;
		if (seen && !seen->contains(key))
			a.unseen[key] = std::move(lines);
		return true;
	});
	a.listed = true;
	return a;
}

int
list_allowed(const DemoRules &demo, const Listing &l)
{
	Rules rules = demo.rules();
	Allowed a = allowed_orders(rules, l.writers);
	long limit = l.limit >= 0 ? l.limit : demo.mixes ? 0 : default_limit;
	if (l.json)
		return put(allowed_json(demo, a, first_orders(rules, l.writers,
		    limit))) ? 0 : status_failed;
	if (!put(heading(demo, rules, a, limit, l.limit >= 0)))
		return status_failed;
	bool written = true;
	if (limit > 0) {
		long shown = 0;
		each_text(rules, l.writers, [&](const std::string &key,
		    std::vector<std::string> &&) {
			written = put("\n" + (key.empty() ? "(no lines)\n" : key));
			return written && ++shown < limit;
		});
	}
	return written ? 0 : status_failed;
}
