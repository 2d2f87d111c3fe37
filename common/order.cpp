#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

#include "order.h"

namespace {

using Bindings = std::map<std::string, long>;

// How long an address may be: "0x" and 16 hexadecimal digits.
constexpr std::size_t max_address = 18;

// The length of the address at the start of s, or 0 if there is none.
std::size_t
address_at(std::string_view s, std::size_t at)
{
	if (s.compare(at, 5, "(nil)") == 0)
		return 5;
	if (s.compare(at, 2, "0x") != 0)
		return 0;
	std::size_t end = at + 2;
	while (end < s.size() && end - at < max_address && std::isxdigit(
	    static_cast<unsigned char>(s[end])) && !std::isupper(
	    static_cast<unsigned char>(s[end])))
		end++;
	return end > at + 2 ? end - at : 0;
}

// Matches line against a template, binding roles seen for the first time;
// on a mismatch nothing stays bound.
bool
match(const std::string &tmpl, std::string_view line, Bindings &b,
    std::vector<std::string> &bound)
{
	std::size_t t = 0, l = 0;
	bool ok = true;

	while (ok && t < tmpl.size()) {
		if (tmpl[t] != '{') {
			std::size_t to = std::min(tmpl.find('{', t), tmpl.size());
			std::string_view text(tmpl.data() + t, to - t);
			ok = line.substr(l).starts_with(text);
			l += text.size();
			t = to;
			continue;
		}
		std::size_t close = tmpl.find('}', t);
		std::string role = tmpl.substr(t + 1, close - t - 1);
		t = close + 1;
		if (role == "addr") {
			std::size_t n = address_at(line, l);
			ok = n > 0;
			l += n;
			continue;
		}
		if (auto it = b.find(role); it != b.end()) {
			std::string n = std::to_string(it->second);
			ok = line.compare(l, n.size(), n) == 0;
			l += n.size();
			continue;
		}
		std::size_t end = l;
		while (end < line.size() && std::isdigit(
		    static_cast<unsigned char>(line[end])))
			end++;
		// A process number is positive and has no leading zero.
		ok = end > l && end - l < 12 && line[l] != '0';
		if (!ok)
			break;
		long n = std::stol(std::string(line.substr(l, end - l)));
		ok = std::none_of(b.begin(), b.end(),
		    [n](const auto &kv) { return kv.second == n; });
		if (ok) {
			b[role] = n;
			bound.push_back(role);
		}
		l = end;
	}
	if (!ok || l != line.size()) {
		for (const auto &role : bound)
			b.erase(role);
		bound.clear();
		return false;
	}
	return true;
}

std::string
fill(const std::string &tmpl, const Bindings &b)
{
	std::string s = tmpl;

	for (const auto &[role, n] : b) {
		std::string key = "{" + role + "}";
		for (std::size_t at; (at = s.find(key)) != std::string::npos;)
			s.replace(at, key.size(), std::to_string(n));
	}
	return s;
}

std::string
shown(std::string_view line)
{
	if (line.ends_with('\n'))
		return std::string(line.substr(0, line.size() - 1));
	return std::string(line) + "   (no newline)";
}

// Where a walk through the rules stands: for each process, the first line
// it has not written, or the first of the group it is writing and which
// lines of that group it has written. A process with further lines counts
// them past its last line.
class Frontier {
public:
	// once: the further lines of a process are one step, not any number.
	Frontier(const Rules &r, bool once)
	    : r_(r), once_(once), next_(r.procs.size(), 0),
	      mask_(r.procs.size(), 0), into_(r.order)
	{
		std::sort(into_.begin(), into_.end(), [](const auto &x,
		    const auto &y) { return std::tie(x.b, x.j) <
		    std::tie(y.b, y.j); });
	}

	// The steps that may come next are tried in one order: each
	// process's own lines in turn, further lines last. first() finds the
	// first of them, next() the one after s; both false past the last.
	bool first(Step &s) const
	{
		return own(0, 0, s);
	}

	bool next(Step &s) const
	{
		if (s.line < r_.procs[s.proc].lines.size())
			return own(s.proc, s.line + 1, s);
		return further(s.proc + 1, s);
	}

	void take(const Step &s)
	{
		const Rules::Proc &proc = r_.procs[s.proc];
		std::size_t from = next_[s.proc];
		if (s.line >= proc.lines.size()) {
			next_[s.proc]++;
			return;
		}
		std::size_t to = group_end(s.proc, from);
		mask_[s.proc] |= std::uint64_t{1} << (s.line - from);
		if (mask_[s.proc] == full(from, to)) {
			next_[s.proc] = to;
			mask_[s.proc] = 0;
		}
	}

	// Takes back s, the last step taken.
	void undo(const Step &s)
	{
		const Rules::Proc &proc = r_.procs[s.proc];
		if (s.line >= proc.lines.size()) {
			next_[s.proc]--;
			return;
		}
		std::size_t from = proc.group[s.line];
		if (next_[s.proc] != from) {	// s completed its group
			mask_[s.proc] = full(from, next_[s.proc]);
			next_[s.proc] = from;
		}
		mask_[s.proc] &= ~(std::uint64_t{1} << (s.line - from));
	}

	[[nodiscard]] bool finished() const
	{
		for (std::size_t p = 0; p < r_.procs.size(); p++) {
			std::size_t n = r_.procs[p].lines.size();
			if (next_[p] < n || (once_ && next_[p] == n &&
			    !r_.procs[p].rest.empty()))
				return false;
		}
		return true;
	}

	[[nodiscard]] std::string key() const
	{
		std::string k;
		for (std::size_t p = 0; p < next_.size(); p++)
			k += std::to_string(next_[p]) + "." +
			    std::to_string(mask_[p]) + ",";
		return k;
	}

private:
	// A group holds 1 to 64 lines (any_order sees to it).
	static std::uint64_t full(std::size_t from, std::size_t to)
	{
		std::size_t n = to - from;
		return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
	}

	[[nodiscard]] std::size_t group_end(std::size_t p, std::size_t from) const
	{
		const Rules::Proc &proc = r_.procs[p];
		std::size_t to = from;
		while (to < proc.lines.size() && proc.group[to] == from)
			to++;
		return to;
	}

	[[nodiscard]] bool written(std::size_t p, std::size_t line) const
	{
		std::size_t from = next_[p];
		if (line < from)
			return true;
		return line - from < 64 && r_.procs[p].group[line] == from &&
		    (mask_[p] >> (line - from) & 1);
	}

	// Whether every line the rules put before line of p is written.
	[[nodiscard]] bool due(std::size_t p, std::size_t line) const
	{
		auto [lo, hi] = std::equal_range(into_.begin(), into_.end(),
		    Rules::Before{0, 0, p, line}, [](const auto &x,
		    const auto &y) { return std::tie(x.b, x.j) <
		    std::tie(y.b, y.j); });
		return std::all_of(lo, hi, [this](const Rules::Before &o) {
			return written(o.a, o.i);
		});
	}

	// The first own line that may come next, from line `line` of p on.
	bool own(std::size_t p, std::size_t line, Step &s) const
	{
		for (; p < r_.procs.size(); p++, line = 0) {
			const Rules::Proc &proc = r_.procs[p];
			std::size_t from = next_[p];
			for (std::size_t i = std::max(line, from); i <
			    proc.lines.size() && proc.group[i] == from; i++)
				if (!written(p, i) && due(p, i)) {
					s = {p, i};
					return true;
				}
		}
		return further(0, s);
	}

	// The first process from p on whose further lines may come next.
	bool further(std::size_t p, Step &s) const
	{
		for (; p < r_.procs.size(); p++) {
			const Rules::Proc &proc = r_.procs[p];
			std::size_t n = proc.lines.size();
			if (next_[p] >= n && !proc.rest.empty() &&
			    (!once_ || next_[p] == n)) {
				s = {p, n};
				return true;
			}
		}
		return false;
	}

	const Rules &r_;
	bool once_;
	std::vector<std::size_t> next_;
	std::vector<std::uint64_t> mask_;
	std::vector<Rules::Before> into_;	// by the line they order
};

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

std::size_t
Rules::at(const std::string &role, std::size_t line) const
{
	for (std::size_t i = 0; i < procs.size(); i++) {
		if (procs[i].role != role)
			continue;
		if (line != npos && line >= procs[i].lines.size())
			throw std::invalid_argument(role + " has no line " +
			    std::to_string(line));
		return i;
	}
	throw std::invalid_argument("no process with role " + role);
}

std::pair<std::size_t, std::size_t>
Rules::group_of(std::size_t p, std::size_t i) const
{
	const Proc &owner = procs[p];
	std::size_t from = owner.group[i], to = from;
	while (to < owner.lines.size() && owner.group[to] == from)
		to++;
	return {from, to};
}

Rules &
Rules::proc(const std::string &role, std::vector<std::string> lines)
{
	Proc p{role, std::move(lines), {}, {}};
	for (std::size_t i = 0; i < p.lines.size(); i++)
		p.group.push_back(i);
	procs.push_back(std::move(p));
	return *this;
}

Rules &
Rules::any_order(const std::string &role, std::size_t from, std::size_t to)
{
	std::size_t p = at(role, to - 1);
	if (!order.empty() || to <= from || to - from > 64 ||
	    procs[p].group[from] != from || group_of(p, to - 1).second != to)
		throw std::invalid_argument("group of " + role + " out of place");
	for (std::size_t i = from; i < to; i++)
		procs[p].group[i] = from;
	return *this;
}

Rules &
Rules::then_anything(const std::string &role, const std::string &what)
{
	procs[at(role, npos)].rest = what;
	return *this;
}

Rules &
Rules::forks(const std::string &parent, std::size_t i, const std::string &child)
{
	std::size_t p = at(parent, i), c = at(child, npos);
	if (procs[c].lines.empty())
		return *this;
	auto [from, to] = group_of(c, 0);
	for (std::size_t j = from; j < to; j++)
		order.push_back({p, i, c, j});
	return *this;
}

Rules &
Rules::waits(const std::string &parent, std::size_t i, const std::string &child)
{
	std::size_t p = at(parent, i), c = at(child, npos);
	if (procs[c].lines.empty())
		return *this;
	auto [from, to] = group_of(c, procs[c].lines.size() - 1);
	for (std::size_t j = from; j < to; j++)
		order.push_back({c, j, p, i});
	return *this;
}

Verdict
check_order(const Rules &rules, std::span<const std::string_view> lines,
    const std::map<std::string, long> &known)
{
	Frontier at(rules, false);
	Bindings b = known;
	std::set<std::string> dead;	// states from which no order fits

	auto state = [&] {
		std::string k = at.key();
		for (const auto &[role, n] : b)
			k += role + "=" + std::to_string(n) + ",";
		return k;
	};

	// Depth first through the steps that may come next: path holds the
	// step taken for each line so far, bound the roles each of them
	// bound; untried: s is a step not yet tried for the next line.
	Verdict v;
	std::vector<Step> path;
	std::vector<std::pair<std::size_t, std::string>> bound;
	std::vector<std::string> fresh;
	std::size_t furthest = 0;
	Bindings furthest_b = b;
	bool rebound = false;	// b changed since furthest_b was taken
	Step s{};
	bool untried = at.first(s);
	path.reserve(lines.size());
	for (;;) {
		std::size_t pos = path.size();
		if (pos == lines.size() && at.finished()) {
			v.ok = true;
			v.pids = b;
			v.steps = std::move(path);
			return v;
		}
		for (; untried && pos < lines.size(); untried = at.next(s)) {
			const Rules::Proc &proc = rules.procs[s.proc];
			if (s.line >= proc.lines.size() ||
			    match(proc.lines[s.line], lines[pos], b, fresh))
				break;
		}
		if (untried && pos < lines.size()) {
			at.take(s);
			path.push_back(s);
			rebound = rebound || !fresh.empty();
			for (auto &role : fresh)
				bound.emplace_back(pos, std::move(role));
			fresh.clear();
			if (pos + 1 > furthest) {
				furthest = pos + 1;
				if (rebound)
					furthest_b = b;
				rebound = false;
			}
			// Most runs never step back: no state to look up,
			// none built.
			untried = (dead.empty() || !dead.contains(state())) &&
			    at.first(s);
			continue;
		}
		dead.insert(state());
		if (path.empty())
			break;
		s = path.back();
		path.pop_back();
		at.undo(s);
		for (; !bound.empty() && bound.back().first == pos - 1;
		    bound.pop_back()) {
			b.erase(bound.back().second);
			rebound = true;
		}
		untried = at.next(s);
	}

	std::size_t total = 0;
	bool more = false;
	for (const auto &p : rules.procs) {
		total += p.lines.size();
		more = more || !p.rest.empty();
	}
	std::ostringstream why;
	if (lines.size() < total || (lines.size() > total && !more))
		why << total << " lines expected, " << lines.size()
		    << " written.\n";
	if (furthest < lines.size())
		why << "Line " << furthest + 1 << " fits no process at that "
		    << "point: \"" << shown(lines[furthest]) << "\"\n";
	else
		why << "Lines are missing at the end.\n";
	// Long runs show only what surrounds the line that broke.
	constexpr std::size_t context = 20;
	auto skipped = [&](std::size_t n) {
		if (n > 0)
			why << "    ... " << n << " lines\n";
	};
	bool groups = std::any_of(rules.procs.begin(), rules.procs.end(),
	    [](const Rules::Proc &p) {
		for (std::size_t i = 0; i < p.group.size(); i++)
			if (p.group[i] != i)
				return true;
		return false;
	    });
	why << "Each process's lines, in order" << (groups ?
	    " (~: in any order among the neighbouring ~ lines)" : "")
	    << ":\n";
	for (const auto &p : rules.procs) {
		why << "  " << p.role << ":\n";
		std::size_t shown_lines = std::min(p.lines.size(), 2 * context);
		for (std::size_t i = 0; i < shown_lines; i++)
			why << "    " << (p.group[i] != i ||
			    (i + 1 < p.lines.size() && p.group[i + 1] == i) ?
			    "~ " : "") << shown(fill(p.lines[i], furthest_b))
			    << "\n";
		skipped(p.lines.size() - shown_lines);
		if (!p.rest.empty())
			why << "    then " << p.rest << "\n";
	}
	why << "The run's lines:\n";
	std::size_t from = furthest > context ? furthest - context : 0;
	std::size_t to = std::min(lines.size(), furthest + context);
	skipped(from);
	for (std::size_t i = from; i < to; i++)
		why << "  " << i + 1 << ": " << shown(lines[i]) << "\n";
	skipped(lines.size() - to);
	v.why = why.str();
	return v;
}

Verdict
check_order(const Rules &rules, const std::vector<std::string> &lines,
    const std::map<std::string, long> &known)
{
	std::vector<std::string_view> views(lines.begin(), lines.end());
	return check_order(rules, views, known);
}

std::vector<std::string>
writers(const Rules &rules, const Verdict &v)
{
	std::vector<std::string> w;

	for (const Step &s : v.steps)
		w.push_back(rules.procs[s.proc].role);
	return w;
}

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
