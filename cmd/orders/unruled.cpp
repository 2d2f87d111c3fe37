// orders: a run of a program without rules. Its order is only counted:
// its lines as written, but that the numbers of the processes known for
// certain to be the run's are shown by role, so that runs compare equal.
#include <algorithm>

#include "orders.h"
#include "roles.h"

namespace {

// The processes whose numbers are known for certain: the one started,
// those that came back to the subreaper and, traced, every one the
// tracer saw; and the subreaper itself, the started process's parent.
// Any other number may be anything, a count or a process long gone, and
// stays as written.
std::map<long, std::string>
known_processes(const Made &m)
{
	const Outcome &r = m.outcome;
	std::map<long, std::string> roles;

	for (pid_t pid : m.processes)
		roles[pid] = std::to_string(pid);
	for (const auto &o : r.orphans)
		roles[o.pid] = std::to_string(o.pid);
	// Not = "P", which g++ 12 at -O3 takes for an overlapping copy.
	if (r.pid > 0)
		roles.insert_or_assign(r.pid, std::string(1, 'P'));
	if (m.subreaper > 0)
		roles[m.subreaper] = subreaper_role;
	return roles;
}

// How the run's processes ended: the started one, then each that came
// back to us, by name.
std::string
ending(const Outcome &r, const std::map<long, std::string> &roles,
    Names &names)
{
	std::string s = "P ";
	s += r.collected ? describe(r.end) : "could not be started or collected";
	std::vector<std::pair<std::string, std::string>> back;
	for (const auto &[pid, end] : r.orphans)
		back.emplace_back(names(roles.at(pid)), describe(end));
	std::sort(back.begin(), back.end());
	for (const auto &[name, end] : back) {
		s += "; ";
		s += name;
		s += " ";
		s += end;
		s += ", left for orders to collect";
	}
	if (back.empty() && r.collected)
		s += "; no process left behind";
	return s;
}

} // namespace

Judged
judge_unruled(const Made &m)
{
	const Outcome &r = m.outcome;
	Judged j;

	// Without rules nothing is forbidden: what goes wrong is a run that
	// could not be made or had to be ended, or anything on descriptor 2.
	j.allowed = true;
	if (!r.collected)
		j.why.emplace_back("the program could not be started or collected");
	cut_short(r, j.why);
	if (!r.err.empty())
		j.why.push_back("it wrote on descriptor 2:\n" + r.err);

	std::map<long, std::string> roles = known_processes(m);
	Names names;
	std::vector<std::string_view> lines = split_lines(r.out);
	for (const auto &l : named_lines(lines, roles, names, false))
		j.shown.push_back(shown_line(l));
	if (!m.written.empty())
		tag_writers(lines, m, roles, names, j.shown);
	j.ending = ending(r, roles, names);
	return j;
}
