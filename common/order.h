// Tells whether the lines of one run form an order that a demo's rules
// allow, and which orders those are. The rules name each process by a
// role ("P" for the process started, "C1", "C2", ... for the others) and
// list its lines in order, with "{ROLE}" where that process's identifier
// stands and "{addr}" where an address ("0x..." or "(nil)") does; the
// checker binds each role to the number it first finds there, one number
// per role. Between processes only the stated rules order the lines; any
// other interleaving is allowed.
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

struct Rules {
	struct Proc {
		std::string role;
		std::vector<std::string> lines;
		// The first line of each line's group; a group's lines come in
		// any order among themselves.
		std::vector<std::size_t> group;
		// Not empty: after its lines the process writes any number of
		// further lines of any text, which this names.
		std::string rest;
	};
	struct Before {	// line i of procs[a] comes before line j of procs[b]
		std::size_t a, i, b, j;
	};

	std::vector<Proc> procs;
	std::vector<Before> order;

	Rules &proc(const std::string &role, std::vector<std::string> lines);
	// Lines from to to - 1 of role's process come in any order among
	// themselves (64 at most). Name the groups before forks and waits.
	Rules &any_order(const std::string &role, std::size_t from,
	    std::size_t to);
	// After its lines, role's process writes whatever another program
	// prints, named by `what`.
	Rules &then_anything(const std::string &role, const std::string &what);
	// Everything child writes comes after line i of parent: the fork.
	// A child that writes nothing is ordered by neither rule.
	Rules &forks(const std::string &parent, std::size_t i,
	    const std::string &child);
	// Everything child writes comes before line i of parent: the wait.
	Rules &waits(const std::string &parent, std::size_t i,
	    const std::string &child);

private:
	static constexpr std::size_t npos = static_cast<std::size_t>(-1);
	// The index of role's process; throws unless it has line `line`.
	[[nodiscard]] std::size_t at(const std::string &role,
	    std::size_t line) const;
	// The lines of procs[p]'s group that holds line i.
	[[nodiscard]] std::pair<std::size_t, std::size_t> group_of(std::size_t p,
	    std::size_t i) const;
};

// One line of an order: a process, and which of its lines; a line past
// its last stands for the further lines of a process that has them.
struct Step {
	std::size_t proc, line;
	bool operator==(const Step &) const = default;
};

struct Verdict {
	bool ok = false;
	std::string why;	// on failure: what broke, and the run's lines
	std::map<std::string, long> pids;	// role -> identifier
	std::vector<Step> steps;	// what each line is in the rules
};

Verdict check_order(const Rules &rules, std::span<const std::string_view> lines,
    const std::map<std::string, long> &known = {});
Verdict check_order(const Rules &rules, const std::vector<std::string> &lines,
    const std::map<std::string, long> &known = {});

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
