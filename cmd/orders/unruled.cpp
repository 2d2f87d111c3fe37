// orders: a run of a program without rules. Its order is only counted:
// its lines as written, but that the numbers of the processes known for
// certain to be the run's are shown by role, so that runs compare equal.
#include <cctype>

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

	for (const Traced &p : m.processes)
		roles[p.pid] = std::to_string(p.pid);
	for (const auto &o : r.orphans)
		roles[o.pid] = std::to_string(o.pid);
	if (r.pid > 0)
		roles[r.pid] = "P";
	if (m.subreaper > 0)
		roles[m.subreaper] = subreaper_role;
	return roles;
}

// Whether n could be the number of a process of the run: one given out
// after P's and by the run's end, the numbers maybe gone round between.
// Unknown, any number could.
bool
could_be_ours(long n, const Made &m)
{
	long first = m.outcome.pid, last = m.last_pid;
	if (last <= 0 || first <= 0)
		return true;
	return last >= first ? n > first && n <= last : n > first || n <= last;
}

// The lines shown, each number that could be a process's of the run as
// #: a count, or any number too small or too large to be one, stays.
std::string
masked(const std::vector<std::string> &shown, const Made &m)
{
	std::string s;
	for (const std::string &line : shown) {
		for (std::size_t k = 0; k < line.size();) {
			std::size_t end = k;
			while (end < line.size() && std::isdigit(
			    static_cast<unsigned char>(line[end])))
				end++;
			if (end == k) {
				s += line[k++];
				continue;
			}
			bool alone = k == 0 || !std::isalnum(
			    static_cast<unsigned char>(line[k - 1]));
			if (alone && end - k <= 9 && could_be_ours(std::stol(
			    line.substr(k, end - k)), m))
				s += '#';
			else
				s.append(line, k, end - k);
			k = end;
		}
		s += '\n';
	}
	return s;
}

// How the run's processes ended, and who reaped each: untraced, only
// those orders reaped are seen.
std::string
ending(const Made &m, std::map<long, std::string> &roles, Names &names)
{
	const Outcome &r = m.outcome;
	std::vector<std::string> more;
	if (!r.collected)
		more.emplace_back("P could not be started or collected");
	else if (m.processes.empty() && r.orphans.empty())
		more.emplace_back("no process left behind");
	return in_words(fates(m, roles, names), more);
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
	if (m.processes.empty())
		j.masked = masked(j.shown, m);
	if (!m.written.empty())
		tag_writers(lines, m, roles, names, j.shown);
	j.ending = ending(m, roles, names);
	return j;
}
