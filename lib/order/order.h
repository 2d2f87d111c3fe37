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
	// What each line is in the rules; on failure, each line before
	// `furthest` as the furthest try took it.
	std::vector<Step> steps;
};

Verdict check_order(const Rules &rules, std::span<const std::string_view> lines,
    const std::map<std::string, long> &known = {});
Verdict check_order(const Rules &rules, const std::vector<std::string> &lines,
    const std::map<std::string, long> &known = {});

// How an explanation shows what it quotes: in the lines of the rules,
// each process's identifier as role names it and each address as addr;
// the run's lines as in `lines`, or as written if that is empty.
struct Shown {
	std::function<std::string(const std::string &)> role;
	std::string_view addr;
	std::span<const std::string_view> lines;
};

// Why a run fits no order (v, its verdict): how many lines came against
// how many were due; the line that fits no process (the first of the
// furthest try, at v.furthest) and, where it can be told, the rule it
// breaks: for each line of the rules it could be by its text, one that
// the rules put before it and had not come, and why they do, processes
// named by their roles; then each process's lines, and the run's lines
// around it.
std::string explain_rejection(const Rules &rules,
    std::span<const std::string_view> lines, const Verdict &v,
    const Shown &shown);

// A line of the rules that a run's line reads as, by its text alone, and
// the number that stands in it for each role.
struct Reading {
	Step step;
	std::map<std::string, long> roles;
};

// Every line of the rules that line (with its newline) could be, whatever
// the numbers in it; the further lines of a process are never among them.
std::vector<Reading> readings(const Rules &rules, std::string_view line);

// Whether a reading agrees with the numbers bound: each of its roles has
// the number bound to it, or one bound to no role.
bool fits(const Reading &r, const std::map<std::string, long> &bound);

// bound, with the roles it lacks that the lines give a number: a line
// whose readings that fit what is bound so far all give the same numbers
// binds them. Names the processes of a run that fits no order.
std::map<std::string, long> bind_by_text(const Rules &rules,
    std::span<const std::string_view> lines,
    std::map<std::string, long> bound);

// A line as it is shown: without its newline, or marked as having none.
std::string shown_line(std::string_view line);

// The role of the process that wrote each line of a run the rules allow.
std::vector<std::string> writers(const Rules &rules, const Verdict &v);

// How many orders the rules allow, the further lines of a process counted
// as one line; nullopt if there are 2^64 or more, found as soon as the
// ways to go on pass that many (interleave's, in a moment).
std::optional<std::uint64_t> count_orders(const Rules &rules);

// Calls f with each order the rules allow, until f returns false; one
// order after another, for rules of any length.
void each_order(const Rules &rules,
    const std::function<bool(const std::vector<Step> &)> &f);

// One rule that puts line `before` ahead of line `after`, and why (its
// roles as "{ROLE}", for fill_roles).
struct Link {
	Step before, after;
	std::string cause;
};

// Which lines the rules put before which: program order in a process,
// forks and waits between processes (precede.cpp).
class Precedence {
public:
	explicit Precedence(const Rules &rules);
	// The fewest rules that, one after another, put x before y; empty
	// if the rules leave x and y in either order, or x is y.
	[[nodiscard]] std::vector<Link> chain(Step x, Step y) const;

private:
	[[nodiscard]] std::vector<Link> after(Step s) const;

	const Rules &r_;
	std::map<std::pair<std::size_t, std::size_t>, std::vector<std::size_t>>
	    from_;	// rules of r_.order by the line they put first
};

// An order that breaks the rules: the line at `early` came before the
// one at `due` (positions in the order), which the chain's rules put
// ahead of it.
struct Broken {
	std::size_t early, due;
	std::vector<Link> chain;
};

// The first line of an order that comes before a line the rules put
// ahead of it; nullopt if none does. The order may leave lines out:
// only the lines in it are compared. Each line at most once.
std::optional<Broken> first_broken(const Rules &rules,
    const std::vector<Step> &order);

#endif
