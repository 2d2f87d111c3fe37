// How many orders a run's rules allow, and each of them in turn.
#include <unordered_map>

#include "internal/frontier.h"

namespace {

constexpr std::uint64_t too_many = ~std::uint64_t{0};

// Recurses as deep as the rules have lines.
std::uint64_t
count_from(Frontier &f, std::unordered_map<std::string, std::uint64_t> &memo)	// NOLINT(misc-no-recursion)
{
	if (f.finished())
		return 1;
	std::string key = f.key();
	if (auto it = memo.find(key); it != memo.end())
		return it->second;
	std::uint64_t n = 0;
	Step s{};
	for (bool more = f.first(s); more; more = f.next(s)) {
		f.take(s);
		std::uint64_t m = count_from(f, memo);
		f.undo(s);
		if (m == too_many || __builtin_add_overflow(n, m, &n) ||
		    n == too_many) {
			n = too_many;
			break;
		}
	}
	memo[key] = n;
	return n;
}

// Recurses as deep as the rules have lines.
bool
each_from(Frontier &f, std::vector<Step> &path,	// NOLINT(misc-no-recursion)
    const std::function<bool(const std::vector<Step> &)> &fn)
{
	if (f.finished())
		return fn(path);
	Step s{};
	for (bool more = f.first(s); more; more = f.next(s)) {
		f.take(s);
		path.push_back(s);
		bool go_on = each_from(f, path, fn);
		path.pop_back();
		f.undo(s);
		if (!go_on)
			return false;
	}
	return true;
}

} // namespace

std::optional<std::uint64_t>
count_orders(const Rules &rules)
{
	Frontier f(rules, true);
	std::unordered_map<std::string, std::uint64_t> memo;
	std::uint64_t n = count_from(f, memo);
	if (n == too_many)
		return std::nullopt;
	return n;
}

void
each_order(const Rules &rules,
    const std::function<bool(const std::vector<Step> &)> &f)
{
	Frontier at(rules, true);
	std::vector<Step> path;
	each_from(at, path, f);
}
