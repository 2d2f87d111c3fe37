// The rules of a demo's run. They name each process by a role ("P" for
// the process started, "C1", "C2", ... for the others) and list its lines
// in order, with "{ROLE}" where that process's identifier stands and
// "{addr}" where an address ("0x..." or "(nil)") does; each line is
// parsed once, as the rules are built. Between processes only the stated
// rules order the lines: a fork puts a child's lines after a line of its
// parent, a wait before one.
#ifndef RULES_H
#define RULES_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "roles.h"

// A piece of a line: text as it stands, a process's identifier, or an
// address.
struct Token {
	enum class Kind { text, role, addr };
	Kind kind;
	std::string text;	// the text itself, or the role
};
using Template = std::vector<Token>;

// Throws std::invalid_argument, naming the line, for a "{" without its
// "}" or with no role inside.
Template parse_template(const std::string &line);

// Why each kind of rule holds, unless a rule says otherwise.
extern const char program_order_cause[];	// one process's lines
extern const char fork_cause[];
extern const char wait_cause[];	// "{P} waits for {C1} ..."

// The text with each "{ROLE}" replaced by role(ROLE).
std::string fill_roles(const std::string &text,
    const std::function<std::string(const std::string &)> &role);

// The line with each role's identifier replaced by role(name) and each
// address by addr.
std::string fill(const Template &t,
    const std::function<std::string(const std::string &)> &role,
    std::string_view addr);

struct Rules {
	struct Proc {
		std::string role;
		std::vector<std::string> lines;
		std::vector<Template> templates;	// lines, parsed
		// The first line of each line's group; a group's lines come in
		// any order among themselves.
		std::vector<std::size_t> group;
		// Not empty: after its lines the process writes any number of
		// further lines of any text, which this names.
		std::string rest;
	};
	struct Before {	// line i of procs[a] comes before line j of procs[b]
		std::size_t a, i, b, j;
		std::size_t cause = 0;	// in causes
	};

	std::vector<Proc> procs;
	std::vector<Before> order;
	// Why each rule of order holds, in words a student reads, the roles
	// in them as "{ROLE}" (fill_roles).
	std::vector<std::string> causes;

	Rules &proc(const std::string &role, std::vector<std::string> lines);
	// Lines from to to - 1 of role's process come in any order among
	// themselves (64 at most). Name the groups before forks and waits.
	Rules &any_order(const std::string &role, std::size_t from,
	    std::size_t to);
	// After its lines, role's process writes whatever another program
	// prints, named by `what`.
	Rules &then_anything(const std::string &role, const std::string &what);
	// Everything child writes comes after line i of parent: the fork.
	// A child that writes nothing is ordered by neither rule. cause:
	// why, if not fork_cause.
	Rules &forks(const std::string &parent, std::size_t i,
	    const std::string &child, const std::string &cause = "");
	// Everything child writes comes before line i of parent: the wait;
	// cause: why, if not wait_cause.
	Rules &waits(const std::string &parent, std::size_t i,
	    const std::string &child, const std::string &cause = "");

	// Whether any process has lines that come in any order.
	[[nodiscard]] bool has_groups() const;

private:
	static constexpr std::size_t npos = static_cast<std::size_t>(-1);
	std::size_t cause_of(const std::string &cause,
	    const std::string &parent, const std::string &child);
	// The index of role's process; throws unless it has line `line`.
	[[nodiscard]] std::size_t at(const std::string &role,
	    std::size_t line) const;
	// The lines of procs[p]'s group that holds line i.
	[[nodiscard]] std::pair<std::size_t, std::size_t> group_of(std::size_t p,
	    std::size_t i) const;
};

#endif
