#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <stdexcept>

#include "order.h"

namespace {

using Bindings = std::map<std::string, long>;

// Matches line against a template, binding roles seen for the first time;
// on a mismatch nothing stays bound.
bool
match(const std::string &tmpl, const std::string &line, Bindings &b,
    std::vector<std::string> &bound)
{
	std::size_t t = 0, l = 0;
	bool ok = true;

	while (ok && t < tmpl.size()) {
		if (tmpl[t] != '{') {
			ok = l < line.size() && line[l++] == tmpl[t++];
			continue;
		}
		std::size_t close = tmpl.find('}', t);
		std::string role = tmpl.substr(t + 1, close - t - 1);
		t = close + 1;
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
		long n = std::stol(line.substr(l, end - l));
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
shown(const std::string &line)
{
	if (!line.empty() && line.back() == '\n')
		return line.substr(0, line.size() - 1);
	return line + "   (no newline)";
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

Rules &
Rules::proc(const std::string &role, std::vector<std::string> lines)
{
	procs.push_back({role, std::move(lines)});
	return *this;
}

Rules &
Rules::forks(const std::string &parent, std::size_t i, const std::string &child)
{
	std::size_t p = at(parent, i), c = at(child, npos);
	if (!procs[c].lines.empty())
		order.push_back({p, i, c, 0});
	return *this;
}

Rules &
Rules::waits(const std::string &parent, std::size_t i, const std::string &child)
{
	std::size_t p = at(parent, i), c = at(child, npos);
	if (!procs[c].lines.empty())
		order.push_back({c, procs[c].lines.size() - 1, p, i});
	return *this;
}

Verdict
check_order(const Rules &rules, const std::vector<std::string> &lines,
    const std::map<std::string, long> &known)
{
	const std::size_t nprocs = rules.procs.size();
	std::size_t total = 0;
	for (const auto &p : rules.procs)
		total += p.lines.size();

	std::vector<std::size_t> next(nprocs, 0);
	Bindings b = known;
	std::set<std::string> dead;	// states from which no order fits

	auto state = [&] {
		std::string k;
		for (auto n : next)
			k += std::to_string(n) + ",";
		for (const auto &[role, n] : b)
			k += role + "=" + std::to_string(n) + ",";
		return k;
	};
	auto ready = [&](std::size_t p) {
		if (next[p] >= rules.procs[p].lines.size())
			return false;
		for (const auto &o : rules.order)
			if (o.b == p && o.j == next[p] && next[o.a] <= o.i)
				return false;
		return true;
	};

	struct Frame {
		std::vector<std::size_t> ready;
		std::size_t tried = 0, chosen = 0;
		std::vector<std::string> bound;
	};
	std::vector<Frame> stack;
	auto enter = [&] {
		Frame f;
		if (!dead.contains(state()))
			for (std::size_t p = 0; p < nprocs; p++)
				if (ready(p))
					f.ready.push_back(p);
		stack.push_back(std::move(f));
	};

	Verdict v;
	std::size_t pos = 0, furthest = 0;
	Bindings furthest_b = b;
	enter();
	while (!stack.empty()) {
		if (pos == lines.size() && pos == total) {
			v.ok = true;
			v.pids = b;
			stack.pop_back();
			for (const auto &f : stack)
				v.writers.push_back(rules.procs[f.chosen].role);
			return v;
		}
		Frame &f = stack.back();
		bool moved = false;
		while (pos < lines.size() && f.tried < f.ready.size()) {
			std::size_t p = f.ready[f.tried++];
			if (match(rules.procs[p].lines[next[p]], lines[pos], b,
			    f.bound)) {
				f.chosen = p;
				next[p]++;
				moved = true;
				break;
			}
		}
		if (moved) {
			if (++pos > furthest) {
				furthest = pos;
				furthest_b = b;
			}
			enter();
			continue;
		}
		dead.insert(state());
		stack.pop_back();
		if (stack.empty())
			break;
		Frame &back = stack.back();
		next[back.chosen]--;
		pos--;
		for (const auto &role : back.bound)
			b.erase(role);
		back.bound.clear();
	}

	std::ostringstream why;
	if (lines.size() != total)
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
	why << "Each process's lines, in order:\n";
	for (const auto &p : rules.procs) {
		why << "  " << p.role << ":\n";
		std::size_t shown_lines = std::min(p.lines.size(), 2 * context);
		for (std::size_t i = 0; i < shown_lines; i++)
			why << "    " << shown(fill(p.lines[i], furthest_b)) << "\n";
		skipped(p.lines.size() - shown_lines);
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
