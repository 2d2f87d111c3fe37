// orders: the runs counted in, and what they showed, printed.
#include <algorithm>
#include <iomanip>
#include <set>
#include <sstream>

#include "orders.h"

namespace {

// Orders shown one by one, allowed orders worth going through, and the
// kinds of runs that broke the rules shown in full.
constexpr std::size_t shown_orders = 10, listed_unseen = 24;
constexpr std::size_t examples = 3;

std::string
share(int n, int of)
{
	std::ostringstream s;
	s << std::fixed << std::setprecision(1) << 100.0 * n / of << "%";
	return s.str();
}

// "    1 run   ", "   12 runs  ": a count of runs before what it counts.
std::string
runs_column(int n)
{
	std::ostringstream s;
	s << std::setw(5) << n << (n == 1 ? " run   " : " runs  ");
	return s.str();
}

void
print_lines(std::ostream &out, const std::vector<std::string> &lines,
    const char *indent)
{
	if (lines.empty())
		out << indent << "(no lines)\n";
	for (const auto &l : lines)
		out << indent << l << "\n";
}

std::string
spread(std::vector<long> v)
{
	if (v.empty())
		return "none";
	std::sort(v.begin(), v.end());
	return "min " + std::to_string(v.front()) + ", median " +
	    std::to_string(v[v.size() / 2]) + ", max " +
	    std::to_string(v.back());
}

void
print_mixing(std::ostream &out, const Tally &t)
{
	long child_lines = static_cast<long>(t.rules.procs[1].lines.size());
	auto after_all = static_cast<std::size_t>(std::count(t.trailer.begin(),
	    t.trailer.end(), child_lines));

	out << "Whole orders never repeat here; how the two writers mixed, "
	    "over the " << counted(t.switches.size(), "run", "runs") << " in "
	    "an allowed order:\n";
	out << "  switches between the writers: " << spread(t.switches) << "\n";
	out << "  the parent's trailer came after this many of the child's "
	    << child_lines << " lines: " << spread(t.trailer) << "\n";
	out << "  after all of them in " << counted(after_all, "run", "runs")
	    << ", before the child's last line in " << t.trailer.size() -
	    after_all << "\n\n";
}

// "the 6 the rules allow": as many as can be told apart in the output.
std::string
the_allowed(const Allowed &a)
{
	if (!a.count)
		return "the 2^64 or more the rules allow";
	return "the " + std::to_string(a.listed ? a.texts : *a.count) +
	    " the rules allow";
}

// The heading of the orders seen: how many, of how many allowed.
void
print_heading(std::ostream &out, const Tally &t, const Allowed &a)
{
	std::size_t broken = 0;
	for (const auto &o : t.orders)
		broken += !o.second.allowed;
	std::size_t seen = t.orders.size();
	out << counted(seen, "order", "orders") << " seen";
	if (broken == 0)
		out << " of " << the_allowed(a) << " (none that breaks them)";
	else
		out << ": " << seen - broken << " of " << the_allowed(a) << ", "
		    << broken << (broken == 1 ? " that breaks" : " that break")
		    << " them";
	out << "; most frequent first:\n";
}

// The orders seen, most frequent first.
void
print_seen(std::ostream &out, const Tally &t)
{
	auto seen = most_frequent(t.orders);
	for (std::size_t i = 0; i < seen.size() && i < shown_orders; i++) {
		const Seen &s = seen[i]->second;
		out << "\n  " << runs_column(s.count) << std::setw(6)
		    << share(s.count, t.runs) << (s.allowed ? "" :
		    "  NOT ALLOWED") << "\n";
		print_lines(out, s.lines, "      ");
	}
	if (seen.size() > shown_orders)
		out << "\n  ... and " << counted(seen.size() - shown_orders,
		    "more order", "more orders") << ", seen less often\n";
	out << "\n";
}

// The allowed orders never seen, if they are few enough to name.
void
print_unseen(std::ostream &out, const Tally &t, const Allowed &a)
{
	if (!a.count) {
		out << "Allowed orders never seen: too many to count.\n\n";
		return;
	}
	if (!a.listed) {
		std::uint64_t seen = 0;
		for (const auto &o : t.orders)
			seen += o.second.allowed;
		out << counted(*a.count - seen, "allowed order", "allowed "
		    "orders") << " never seen, too many to go through.\n\n";
		return;
	}
	if (a.texts != *a.count && !t.writers)
		out << "Lines that read alike cannot be told apart: the rules "
		    "allow " << *a.count << " orders, " << a.texts << " as "
		    "text.\n";
	if (a.unseen.empty()) {
		out << "Every allowed order was seen.\n\n";
		return;
	}
	out << counted(a.unseen.size(), "allowed order", "allowed orders")
	    << " never seen";
	if (a.unseen.size() > listed_unseen) {
		out << ", too many to list.\n\n";
		return;
	}
	out << ":\n";
	for (const auto &[key, lines] : a.unseen) {
		out << "\n";
		print_lines(out, lines, "      ");
	}
	out << "\n";
}

// Whether two orders seen differ only in numbers that could be those of
// the run's processes, which orders did not know.
bool
differ_in_process_numbers(const Tally &t)
{
	std::set<std::string> masked;
	for (const auto &o : t.orders)
		if (!masked.insert(o.second.masked).second)
			return true;
	return false;
}

// A program without rules: the orders seen, counted and no more.
void
print_counted(std::ostream &out, const Tally &t)
{
	out << "No rules for this program: the orders are only counted.\n\n";
	if (!t.traced && differ_in_process_numbers(t))
		out << "Some orders differ only in numbers that could be those "
		    "of the run's processes.\nUntraced, orders knows no number "
		    "but those of P, of its parent (the\nsubreaper) and of the "
		    "processes that came back to it: any other stays as\n"
		    "written. With -w, it knows every process's number.\n\n";
	out << counted(t.orders.size(), "order", "orders") << " seen; most "
	    "frequent first:\n";
	print_seen(out, t);
}

void
print_orders(std::ostream &out, const Tally &t)
{
	Allowed a = allowed_orders(t.rules, t.writers, &t.orders);
	print_heading(out, t, a);
	print_seen(out, t);
	print_unseen(out, t, a);
}

// A reason for a run's failure as it is shown: its first line indented
// under the run, the lines it goes on with further.
std::string
indented(const std::string &why)
{
	std::string s = "  ";
	for (std::size_t i = 0; i < why.size(); i++) {
		s += why[i];
		if (why[i] == '\n' && i + 1 < why.size())
			s += "    ";
	}
	return why.ends_with('\n') ? s : s + "\n";
}

// The runs that were not sound, alike ones together, each kind with the
// reasons of the first run that showed it; the most frequent few.
void
print_problems(std::ostream &out, const Tally &t)
{
	out << (unruled(t.demo) ? "NOT CLEAN: " : "NOT SOUND: ") << t.failed
	    << " of " << counted(static_cast<std::uint64_t>(t.runs), "run",
	    "runs") << (unruled(t.demo) ? " wrote on descriptor 2 or did not "
	    "end by themselves" : " broke the rules");
	if (t.problems.size() > 1)
		out << ", in " << t.problems.size() << " ways";
	if (t.problems.size() > examples)
		out << ". The " << examples << " most frequent";
	out << ":\n";
	auto problems = most_frequent(t.problems);
	for (std::size_t i = 0; i < problems.size() && i < examples; i++) {
		const Problem &p = problems[i]->second;
		out << "Run " << p.first + 1;
		if (p.count > 1)
			out << ", and " << p.count - 1 << " more like it";
		out << ":\n";
		for (const auto &w : p.why)
			out << indented(w);
	}
}

// How the processes ended, each process on a line of its own under the
// runs that ended so.
void
print_endings(std::ostream &out, const Tally &t)
{
	out << "How the processes ended:\n";
	for (const auto &[how, n] : endings_by_count(t)) {
		std::string runs = "  " + runs_column(n);
		for (std::size_t at = 0, end; at <= how.size(); at = end + 2) {
			end = std::min(how.find("; ", at), how.size());
			out << (at ? std::string(runs.size(), ' ') : runs) <<
			    how.substr(at, end - at) << "\n";
		}
	}
	if (!t.traced && !t.demo.reaped.empty())
		out << "Untraced, orders sees how a process ended only if it "
		    "reaps it.\nTraced (-t or -w), it sees how every process "
		    "ended.\n";
	out << "\n";
}

} // namespace

int
report(const Tally &t, std::ostream &out, int planned)
{
	out << t.demo.name << ", ";
	if (planned)
		out << "interrupted after " << t.runs << " of " << counted(
		    static_cast<std::uint64_t>(planned), "run", "runs") << "\n\n";
	else
		out << counted(static_cast<std::uint64_t>(t.runs), "run", "runs")
		    << "\n\n";
	if (t.traced)
		out << "Each run was traced: every call the tracer watches stops "
		    "its process for a\nmoment, so the orders below come at "
		    "other frequencies than untraced, and\ntimings differ.\n\n";
	if (unruled(t.demo))
		print_counted(out, t);
	else if (t.demo.mixes)
		print_mixing(out, t);
	else
		print_orders(out, t);

	print_endings(out, t);
	if (t.failed == 0) {
		out << (unruled(t.demo) ? "Every run ended by itself, with "
		    "nothing on descriptor 2.\n" : "Every run was sound.\n");
		return 0;
	}
	print_problems(out, t);
	return status_unsound;
}
