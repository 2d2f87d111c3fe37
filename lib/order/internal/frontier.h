// A walk through the orders that a run's rules allow, one line at a time:
// shared by the order checker and the counting and listing of orders.
#ifndef FRONTIER_H
#define FRONTIER_H

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "order.h"

// Where a walk through the rules stands: for each process, the first line
// it has not written, or the first of the group it is writing and which
// lines of that group it has written. A process with further lines counts
// them past its last line.
class Frontier {
public:
	// Where a walk stands, to come back to with go_to.
	struct Place {
		std::vector<std::size_t> next;
		std::vector<std::uint64_t> mask;
		bool operator<(const Place &o) const
		{
			return std::tie(next, mask) < std::tie(o.next, o.mask);
		}
	};

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

	[[nodiscard]] Place place() const { return {next_, mask_}; }

	void go_to(const Place &p)
	{
		next_ = p.next;
		mask_ = p.mask;
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

#endif
