// Tells whether the lines of one run form an order that a demo's rules
// allow. The rules name each process by a role ("P" for the process
// started, "C1", "C2", ... for the others) and list its lines in order,
// with "{ROLE}" where that process's identifier stands; the checker binds
// each role to the number it first finds there, one number per role.
// Between processes only the stated rules order the lines; any other
// interleaving is allowed.
#ifndef ORDER_H
#define ORDER_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

struct Rules {
	struct Proc {
		std::string role;
		std::vector<std::string> lines;
	};
	struct Before {	// line i of procs[a] comes before line j of procs[b]
		std::size_t a, i, b, j;
	};

	std::vector<Proc> procs;
	std::vector<Before> order;

	Rules &proc(const std::string &role, std::vector<std::string> lines);
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
	std::size_t at(const std::string &role, std::size_t line) const;
};

struct Verdict {
	bool ok = false;
	std::string why;	// on failure: what broke, and the run's lines
	std::map<std::string, long> pids;	// role -> identifier
	std::vector<std::string> writers;	// the role of each line
};

Verdict check_order(const Rules &rules, const std::vector<std::string> &lines,
    const std::map<std::string, long> &known = {});

#endif
