// orders: each run counted in as it comes: its order with the others
// alike, how its processes ended, and, if it was not sound, with the
// runs that were not sound alike.
#include "orders.h"

namespace {

// What tells runs that were not sound apart: the order, if the rules do
// not allow it, and every reason.
std::string
problem_key(const Judged &j)
{
	std::string key = j.allowed ? "" : joined(j.shown);
	for (const auto &w : j.why) {
		key += '\0';
		key += w;
	}
	return key;
}

} // namespace

void
tally(Tally &t, const Judged &j)
{
	auto index = static_cast<std::size_t>(t.runs++);

	t.endings[j.ending]++;
	if (!t.demo.mixes) {
		Seen &s = t.orders[joined(j.shown)];
		if (s.count++ == 0) {
			s.allowed = j.allowed;
			s.first = index;
			s.lines = j.shown;
			s.masked = j.masked;
		}
	} else if (j.allowed) {
		t.switches.push_back(j.switches);
		t.trailer.push_back(j.trailer);
	}
	if (j.why.empty())
		return;
	t.failed++;
	Problem &p = t.problems[problem_key(j)];
	if (p.count++ == 0) {
		p.first = index;
		p.why = j.why;
	}
}

std::vector<std::pair<std::string, int>>
endings_by_count(const Tally &t)
{
	std::vector<std::pair<std::string, int>> endings(t.endings.begin(),
	    t.endings.end());
	std::stable_sort(endings.begin(), endings.end(),
	    [](const auto &a, const auto &b) { return a.second > b.second; });
	return endings;
}
