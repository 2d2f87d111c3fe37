// What the order checker says of a run that fits no order its rules
// allow: enough to see which line broke them, for runs of any length.
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

// Each process's lines, under the name role gives it.
void
put_rules(std::ostringstream &why, const Rules &rules,
    const std::function<std::string(const std::string &)> &role,
    std::string_view addr)
{
	why << "Each process's lines, in order" << (rules.has_groups() ?
	    " (~: in any order among the neighbouring ~ lines)" : "")
	    << ":\n";
	for (const auto &p : rules.procs) {
		why << "  " << role(p.role) << ":\n";
		std::size_t shown_lines = std::min(p.lines.size(), 2 * context);
		for (std::size_t i = 0; i < shown_lines; i++)
			why << "    " << (p.group[i] != i ||
			    (i + 1 < p.lines.size() && p.group[i + 1] == i) ?
			    "~ " : "") << shown_line(fill(p.templates[i], role,
			    addr)) << "\n";
		skipped(why, p.lines.size() - shown_lines);
		if (!p.rest.empty())
			why << "    then " << p.rest << "\n";
	}
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
    std::size_t furthest,
    const std::function<std::string(const std::string &)> &role,
    std::string_view addr)
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
	if (furthest < lines.size())
		why << "Line " << furthest + 1 << " fits no process at that "
		    << "point: \"" << shown_line(lines[furthest]) << "\"\n";
	else
		why << "Lines are missing at the end.\n";
	put_rules(why, rules, role, addr);
	why << "The run's lines:\n";
	std::size_t from = furthest > context ? furthest - context : 0;
	std::size_t to = std::min(lines.size(), furthest + context);
	skipped(why, from);
	for (std::size_t i = from; i < to; i++)
		why << "  " << i + 1 << ": " << shown_line(lines[i]) << "\n";
	skipped(why, lines.size() - to);
	return why.str();
}
