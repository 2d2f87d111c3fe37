// What the order checker says of a run that fits no order its rules
// allow: enough to see which line broke them, and which rule, for runs of
// any length.
#include <sstream>

#include "order.h"

namespace {

// Long runs show only what surrounds the line that broke.
constexpr std::size_t context = 20;

void
skipped(std::ostringstream &why, std::size_t n)
{
	if (n > 0)
		why << "    ... " << n << " lines\n";
}

// Each process's lines, under the name shown.role gives it.
void
put_rules(std::ostringstream &why, const Rules &rules, const Shown &shown)
{
	why << "Each process's lines, in order" << (rules.has_groups() ?
	    " (~: in any order among the neighbouring ~ lines)" : "")
	    << ":\n";
	for (const auto &p : rules.procs) {
		why << "  " << shown.role(p.role) << ":\n";
		std::size_t shown_lines = std::min(p.lines.size(), 2 * context);
		for (std::size_t i = 0; i < shown_lines; i++)
			why << "    " << (p.group[i] != i ||
			    (i + 1 < p.lines.size() && p.group[i + 1] == i) ?
			    "~ " : "") << shown_line(fill(p.templates[i],
			    shown.role, shown.addr)) << "\n";
		skipped(why, p.lines.size() - shown_lines);
		if (!p.rest.empty())
			why << "    then " << p.rest << "\n";
	}
}

// A line of the rules that the line which fits no process could be, one
// the rules put before it that had not come, and why they do.
struct Early {
	Step as, before;
	std::string cause;
};

// The lines the rules put right before line x: the group before x's own
// in its process, then those the rules between processes name.
std::vector<Step>
right_before(const Rules &rules, Step x)
{
	std::vector<Step> before;
	const Rules::Proc &p = rules.procs[x.proc];
	std::size_t from = p.group[x.line];
	if (from > 0)
		for (std::size_t i = p.group[from - 1]; i < from; i++)
			before.push_back({x.proc, i});
	for (const Rules::Before &b : rules.order)
		if (b.b == x.proc && b.j == x.line)
			before.push_back({b.a, b.i});
	return before;
}

// For each process, the first of its lines that the line at v.furthest
// reads as and agrees with the numbers bound (a process writes lines that
// read alike in turn), if one the rules put right before it had not come
// in the furthest try. A line written already, or whose numbers are not
// its process's, breaks no rule that can be named.
std::vector<Early>
early(const Rules &rules, std::span<const std::string_view> lines,
    const Verdict &v)
{
	std::vector<std::vector<bool>> written;
	for (const auto &p : rules.procs)
		written.emplace_back(p.lines.size() + 1, false);
	for (const Step &s : v.steps)
		written[s.proc][s.line] = true;
	std::vector<bool> tried(rules.procs.size());
	Precedence precedence(rules);
	std::vector<Early> out;
	for (const Reading &r : readings(rules, lines[v.furthest])) {
		Step x = r.step;
		if (tried[x.proc] || written[x.proc][x.line] || !fits(r, v.pids))
			continue;
		tried[x.proc] = true;
		for (Step y : right_before(rules, x)) {
			if (written[y.proc][y.line])
				continue;
			std::vector<Link> chain = precedence.chain(y, x);
			if (!chain.empty())
				out.push_back({x, y, chain.back().cause});
			break;
		}
	}
	return out;
}

// "before C1's line "HIJO: Soy el proceso C1": one process writes ...".
std::string
came_before(const Rules &rules, const Early &e, const Shown &shown)
{
	const Rules::Proc &p = rules.procs[e.before.proc];
	return "before " + p.role + "'s line \"" + shown_line(fill(
	    p.templates[e.before.line], shown.role, shown.addr)) + "\": " +
	    fill_roles(e.cause, [](const std::string &role) { return role; }) +
	    ".";
}

// The line that fits no process, and the rule it breaks if one can be
// named: one sentence, or one for each process it could be from.
void
put_misfit(std::ostringstream &why, const Rules &rules,
    std::span<const std::string_view> lines, const Verdict &v,
    const Shown &shown)
{
	std::string_view line = shown.lines.empty() ? lines[v.furthest] :
	    shown.lines[v.furthest];
	std::vector<Early> e = early(rules, lines, v);
	why << "Line " << v.furthest + 1;
	if (e.size() == 1) {
		why << " \"" << shown_line(line) << "\" came " << came_before(
		    rules, e[0], shown) << "\n";
		return;
	}
	why << " fits no process at that point: \"" << shown_line(line)
	    << "\"\n";
	for (const Early &x : e)
		why << "  as " << rules.procs[x.as.proc].role << "'s, it came "
		    << came_before(rules, x, shown) << "\n";
}

} // namespace

std::string
shown_line(std::string_view line)
{
	if (line.ends_with('\n'))
		return std::string(line.substr(0, line.size() - 1));
	return std::string(line) + "   (no newline)";
}

std::string
explain_rejection(const Rules &rules, std::span<const std::string_view> lines,
    const Verdict &v, const Shown &shown)
{
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
	if (v.furthest < lines.size())
		put_misfit(why, rules, lines, v, shown);
	else
		why << "Lines are missing at the end.\n";
	put_rules(why, rules, shown);
	why << "The run's lines:\n";
	std::span<const std::string_view> seen = shown.lines.empty() ? lines :
	    shown.lines;
	std::size_t from = v.furthest > context ? v.furthest - context : 0;
	std::size_t to = std::min(seen.size(), v.furthest + context);
	skipped(why, from);
	for (std::size_t i = from; i < to; i++)
		why << "  " << i + 1 << ": " << shown_line(seen[i]) << "\n";
	skipped(why, seen.size() - to);
	return why.str();
}
