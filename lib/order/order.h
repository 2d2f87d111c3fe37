// Tells whether the lines of one run form an order that a demo's rules
// allow (rules.h), and which orders those are. The checker binds each
// role to the number it first finds where the role's identifier stands,
// one number per role; any interleaving the rules do not forbid is
// allowed.
#ifndef ORDER_H
#define ORDER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rules.h"

// One line of an order: a process, and which of its lines; a line past
// its last stands for the further lines of a process that has them.
struct Step {
	std::size_t proc, line;
	bool operator==(const Step &) const = default;
};

struct Verdict {
	bool ok = false;
	std::string why;	// on failure: what broke, and the run's lines
	// role -> identifier; on failure, those bound when the furthest try
	// stopped, at line `furthest` (from 0)
	std::map<std::string, long> pids;
	std::size_t furthest = 0;
	std::vector<Step> steps;	// what each line is in the rules
};

Verdict check_order(const Rules &rules, std::span<const std::string_view> lines,
    const std::map<std::string, long> &known = {});
Verdict check_order(const Rules &rules, const std::vector<std::string> &lines,
    const std::map<std::string, long> &known = {});

// Why a run fits no order: how many lines came against how many were
// due, the line that fits no process (the first of the furthest try, at
// `furthest`), each process's lines, and the run's lines around it. In
// the lines of the rules, each process's identifier is shown as role
// names it, each address as addr.
std::string explain_rejection(const Rules &rules,
    std::span<const std::string_view> lines, std::size_t furthest,
    const std::function<std::string(const std::string &)> &role,
    std::string_view addr);

// A line as it is shown: without its newline, or marked as having none.
std::string shown_line(std::string_view line);

// The role of the process that wrote each line of a run the rules allow.
std::vector<std::string> writers(const Rules &rules, const Verdict &v);

// How many orders the rules allow, the further lines of a process counted
// as one line; nullopt if there are 2^64 or more. Both recurse once per
// line: for rules of a few hundred lines, not for interleave's.
std::optional<std::uint64_t> count_orders(const Rules &rules);

// Calls f with each order the rules allow, until f returns false.
void each_order(const Rules &rules,
    const std::function<bool(const std::vector<Step> &)> &f);

#endif
