// orders: the runs counted in, and what they showed, printed.
#include <algorithm>
#include <iomanip>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>

#include "orders.h"

namespace {

// Orders shown one by one, allowed orders worth going through, and the
// runs that broke the rules shown in full.
constexpr std::size_t shown_orders = 10, listed_unseen = 24;
constexpr std::uint64_t enumerable = 20000;
constexpr std::size_t examples = 3;

std::string
share(int n, int of)
{
	std::ostringstream s;
	s << std::fixed << std::setprecision(1) << 100.0 * n / of << "%";
	return s.str();
}

void
print_lines(const std::vector<std::string> &lines, const char *indent)
{
	if (lines.empty())
		std::cout << indent << "(no lines)\n";
	for (const auto &l : lines)
		std::cout << indent << l << "\n";
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
print_mixing(const Tally &t)
{
	long child_lines = static_cast<long>(t.rules.procs[1].lines.size());
	long after_all = std::count(t.trailer.begin(), t.trailer.end(),
	    child_lines);

	std::cout << "Whole orders never repeat here; how the two writers "
	    "mixed, over the " << t.switches.size() << " runs in an allowed "
	    "order:\n";
	std::cout << "  switches between the writers: " << spread(t.switches)
	    << "\n";
	std::cout << "  the parent's trailer came after this many of the "
	    "child's " << child_lines << " lines: " << spread(t.trailer)
	    << "\n";
	std::cout << "  after all of them in " << after_all << " runs, "
	    "before the child's last line in " << t.trailer.size() -
	    static_cast<std::size_t>(after_all) << "\n\n";
}

// The orders seen, most frequent first; how many of them are allowed.
std::size_t
print_seen(const Tally &t)
{
	std::vector<const std::pair<const std::string, Seen> *> seen;
	for (const auto &o : t.orders)
		seen.push_back(&o);
	std::sort(seen.begin(), seen.end(), [](auto a, auto b) {
		if (a->second.count != b->second.count)
			return a->second.count > b->second.count;
		return a->second.first < b->second.first;
	});
	std::size_t allowed_seen = 0, others = 0;
	for (const auto *o : seen) {
		allowed_seen += o->second.allowed;
		others += !o->second.allowed;
	}
	std::cout << seen.size() << " distinct order" << (seen.size() == 1 ?
	    "" : "s") << " seen, " << allowed_seen
	    << " allowed" << (others ? ", " + std::to_string(others) +
	    " NOT ALLOWED" : "") << "; most frequent first:\n";
	for (std::size_t i = 0; i < seen.size() && i < shown_orders; i++) {
		const Seen &s = seen[i]->second;
		std::cout << "\n  " << std::setw(5) << s.count << " runs  "
		    << std::setw(6) << share(s.count, t.runs)
		    << (s.allowed ? "" : "  NOT ALLOWED") << "\n";
		print_lines(s.lines, "      ");
	}
	if (seen.size() > shown_orders)
		std::cout << "\n  ... and " << seen.size() - shown_orders
		    << " more orders, seen less often\n";
	std::cout << "\n";
	return allowed_seen;
}

// How many orders the rules allow, and those never seen if they are few.
void
print_unseen(const Tally &t, std::size_t allowed_seen)
{
	std::optional<std::uint64_t> count = count_orders(t.rules);
	if (!count) {
		std::cout << "The rules allow 2^64 orders or more.\n\n";
		return;
	}
	std::cout << "The rules allow " << *count << " order"
	    << (*count == 1 ? "" : "s") << " of the processes' lines";
	if (*count > enumerable) {
		std::cout << ": too many to go through; " << allowed_seen
		    << " seen.\n\n";
		return;
	}
	std::set<std::string> texts;
	std::map<std::string, std::vector<std::string>> unseen;
	each_order(t.rules, [&](const std::vector<Step> &steps) {
		Names names;
		std::vector<std::string> lines = render(t.rules, steps, names,
		    t.writers);
		std::string key = joined(lines);
		texts.insert(key);
		if (!t.orders.contains(key))
			unseen[key] = lines;
		return true;
	});
	if (texts.size() != *count && !t.writers)
		std::cout << ", " << texts.size() << " as text (lines that "
		    "read alike cannot be told apart)";
	std::cout << ".\n";
	if (unseen.empty()) {
		std::cout << "Every one of them was seen.\n\n";
		return;
	}
	std::cout << unseen.size() << " of them never seen";
	if (unseen.size() > listed_unseen) {
		std::cout << ".\n\n";
		return;
	}
	std::cout << ":\n";
	for (const auto &[key, lines] : unseen) {
		std::cout << "\n";
		print_lines(lines, "      ");
	}
	std::cout << "\n";
}

void
print_orders(const Tally &t)
{
	print_unseen(t, print_seen(t));
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
		}
	} else if (j.allowed) {
		t.switches.push_back(j.switches);
		t.trailer.push_back(j.trailer);
	}
	if (j.why.empty())
		return;
	t.failed++;
	if (t.problems.size() >= examples)
		return;
	std::string p = "Run " + std::to_string(index + 1) + ":\n";
	for (const auto &w : j.why)
		p += "  " + w + (w.ends_with('\n') ? "" : "\n");
	t.problems.push_back(p);
}

int
report(const Tally &t)
{
	std::cout << t.demo.name << ", " << t.runs << " runs\n\n";
	if (t.demo.mixes)
		print_mixing(t);
	else
		print_orders(t);

	std::vector<std::pair<std::string, int>> endings(t.endings.begin(),
	    t.endings.end());
	std::sort(endings.begin(), endings.end(), [](const auto &a, const auto &b) {
		return a.second > b.second;
	});
	std::cout << "How the processes ended:\n";
	for (const auto &[how, n] : endings)
		std::cout << "  " << std::setw(5) << n << " runs  " << how
		    << "\n";
	std::cout << "\n";
	if (t.failed == 0) {
		std::cout << "Every run was sound.\n";
		return 0;
	}
	std::cout << "NOT SOUND: " << t.failed << " of " << t.runs
	    << " runs broke the rules. The first " << t.problems.size()
	    << ":\n";
	for (const auto &p : t.problems)
		std::cout << p;
	return 1;
}
