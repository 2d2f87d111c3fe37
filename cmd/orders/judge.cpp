// orders: what one run shows. Its order is named by roles, so that runs
// with other process numbers compare equal, and its ends are held against
// the demo's table.
#include <algorithm>
#include <cctype>
#include <set>
#include <utility>

#include "orders.h"
#include "roles.h"

namespace {

// A line shown with its writer.
std::string
tagged(const std::string &writer, const std::string &line)
{
	std::string s = "[";
	s += writer;
	s += "] ";
	return s + line;
}

// The parent is the first process, the child the second; the trailer is
// the parent's last line.
void
mixing(const Rules &rules, const std::vector<Step> &steps, Judged &j)
{
	const Step trailer{0, rules.procs[0].lines.size() - 1};

	for (std::size_t i = 1; i < steps.size(); i++)
		j.switches += steps[i].proc != steps[i - 1].proc;
	j.trailer = std::count_if(steps.begin(), std::find(steps.begin(),
	    steps.end(), trailer), [](const Step &s) { return s.proc == 1; });
}

// Holds each process that came back to us against the table, by its
// role; what broke it goes to why. Those it names are added to back.
void
judge_back(const DemoRules &demo, const Outcome &r,
    const std::map<long, std::string> &roles, Names &names,
    std::set<std::string> &back, std::vector<std::string> &why)
{
	const auto &ends = demo.ends;
	for (const auto &[pid, end] : r.orphans) {
		const std::string &role = roles.at(pid);
		auto e = std::find_if(ends.begin() + 1, ends.end(),
		    [&](const auto &re) { return re.first == role; });
		if (e == ends.end())
			why.push_back(names(role) + (role.starts_with('?') ?
			    ", not named by the rules," : "") + " " +
			    describe(end) + " and came back to orders: its "
			    "parent should have collected it");
		else if (end != e->second)
			why.push_back(names(role) + " " + describe(end) + ", "
			    "where the rules say it " + describe(e->second));
		back.insert(role);
	}
	for (auto e = ends.begin() + 1; e != ends.end(); e++)
		if (!back.contains(e->first))
			why.push_back(names(e->first) + " never came back to "
			    "orders, though its parent does not collect it");
}

// Holds the processes their parents reap against the table. Traced, how
// each ended and who reaped it are seen; untraced, one that did not come
// back to orders was reaped by its parent, its end unseen.
void
judge_reaped(const DemoRules &demo, const Made &m,
    const std::map<std::string, long> &pids, Names &names,
    std::vector<Fate> &all, std::vector<std::string> &why)
{
	for (const DemoRules::Reaped &e : demo.reaped) {
		if (!pids.contains(e.role))
			continue;
		const std::string &name = names(e.role), &by = names(e.by);
		auto f = std::find_if(all.begin(), all.end(),
		    [&](const Fate &x) { return x.name == name; });
		if (m.processes.empty()) {
			if (f == all.end())
				all.push_back({name, std::nullopt, by, false});
			continue;
		}
		if (f == all.end() || f->left)
			continue;	// judge_back has said so
		if (f->end && *f->end != e.end)
			why.push_back(name + " " + describe(*f->end) +
			    ", where the rules say it " + describe(e.end));
		if (f->reaper != by) {
			std::string w = name;
			w += f->reaper.empty() ? " was never reaped" :
			    " was reaped by " + f->reaper;
			w += ", where the rules say " + by + " reaps it";
			why.push_back(std::move(w));
		}
	}
}

// How the run's processes ended and who reaped each, and those that
// never appeared; what broke the table goes to why. Every process that
// came back has a role in roles.
std::string
endings(const DemoRules &demo, const Made &m, const Verdict &v,
    std::map<long, std::string> &roles,
    const std::vector<std::string> &absent, Names &names,
    std::vector<std::string> &why)
{
	const Outcome &r = m.outcome;
	const auto &ends = demo.ends;
	if (r.collected && r.end != ends[0].second)
		why.push_back("P " + describe(r.end) + ", where the rules say "
		    "it " + describe(ends[0].second));
	if (v.ok) {
		std::set<std::string> back;
		judge_back(demo, r, roles, names, back, why);
	} else if (r.orphans.size() != ends.size() - 1) {
		why.push_back(counted(r.orphans.size(), "process came",
		    "processes came") + " back to orders, where the rules "
		    "expect " + std::to_string(ends.size() - 1));
	}
	std::vector<Fate> all = fates(m, roles, names);
	if (v.ok)
		judge_reaped(demo, m, v.pids, names, all, why);
	std::vector<std::string> gone;
	gone.reserve(absent.size());
	for (const auto &role : absent)
		gone.push_back(names(role));
	if (gone.empty())
		return in_words(all);
	return in_words(all, {listed(gone) + " never appeared"});
}

} // namespace

std::string
numbered(char prefix, long n)
{
	return prefix + std::to_string(n);
}

std::vector<std::string_view>
split_lines(std::string_view s)
{
	std::vector<std::string_view> lines;

	lines.reserve(static_cast<std::size_t>(std::count(s.begin(), s.end(),
	    '\n')) + 1);
	for (std::size_t at = 0; at < s.size();) {
		std::size_t nl = s.find('\n', at);
		std::size_t end = nl == std::string::npos ? s.size() : nl + 1;
		lines.push_back(s.substr(at, end - at));
		at = end;
	}
	return lines;
}

// Of the processes whose next line of their own has the same bytes as a
// line, its writer is the one the tracer saw write it first: lines that
// read alike are told apart this way.
void
tag_writers(const std::vector<std::string_view> &lines, const Made &m,
    const std::map<long, std::string> &roles, Names &names,
    std::vector<std::string> &shown)
{
	// The tracer may see two processes' writes in another order than
	// the pipe took them; never one process's own.
	std::map<long, std::vector<std::size_t>> own;
	std::map<long, std::size_t> next;

	for (std::size_t k = 0; k < m.written.size(); k++)
		own[m.written[k].first].push_back(k);
	for (std::size_t i = 0; i < lines.size(); i++) {
		long by = 0;
		std::size_t first = m.written.size();
		for (const auto &[pid, ks] : own) {
			std::size_t n = next[pid];
			if (n < ks.size() && m.written[ks[n]].second == lines[i] &&
			    ks[n] < first) {
				by = pid;
				first = ks[n];
			}
		}
		std::string writer = "?";
		if (first < m.written.size()) {
			next[by]++;
			if (auto role = roles.find(by); role != roles.end())
				writer = names(role->second);
		}
		shown[i] = tagged(writer, shown[i]);
	}
}

const std::string &
Names::operator()(const std::string &role)
{
	auto [it, fresh] = names_.try_emplace(role, role);
	if (fresh && role != "P" && role != subreaper_role)
		it->second = child_role(static_cast<std::size_t>(++children_));
	return it->second;
}

std::vector<std::string>
render(const Rules &rules, const std::vector<Step> &steps, Names &names,
    bool writers)
{
	std::vector<std::string> out;
	const Step *last = nullptr;
	auto name = [&names](const std::string &role) { return names(role); };

	for (const Step &s : steps) {
		const Rules::Proc &p = rules.procs[s.proc];
		if (s.line < p.lines.size()) {
			std::string line = shown_line(fill(p.templates[s.line],
			    name, "<addr>"));
			out.push_back(writers ? tagged(names(p.role), line) : line);
		} else if (!last || last->proc != s.proc ||
		    last->line < p.lines.size())
			out.push_back("[" + p.rest + "]");
		last = &s;
	}
	return out;
}

std::string
joined(const std::vector<std::string> &lines)
{
	std::string s;
	for (const auto &l : lines)
		s += l + "\n";
	return s;
}

void
cut_short(const Outcome &r, std::vector<std::string> &why)
{
	if (r.timed_out)
		why.emplace_back("the run did not end in time and was killed");
	if (r.too_much)
		why.push_back("the run wrote more than " +
		    std::to_string(most_output >> 20) + " MiB and was killed; "
		    "its first " + std::to_string(lines_kept) + " lines are "
		    "shown");
}

Judged
judge(const DemoRules &demo, const Rules &rules, const Made &m)
{
	if (unruled(demo))
		return judge_unruled(m);
	const Outcome &r = m.outcome;
	Judged j;
	std::vector<std::string_view> lines = split_lines(r.out);
	Verdict v;
	if (r.collected)
		v = check_order(rules, lines, {{"P", r.pid}});
	else
		j.why.emplace_back("the demo could not be started or collected");
	cut_short(r, j.why);

	Names names;
	std::map<long, std::string> roles;	// pid -> role
	// Not in an order the rules allow, a process the checker had not
	// come to is named by the lines that can only be its own: runs that
	// differ in their numbers alone then read alike.
	for (const auto &[role, pid] : v.ok || !r.collected ? v.pids :
	    bind_by_text(rules, lines, v.pids))
		roles[pid] = role;
	roles.insert_or_assign(r.pid, std::string(1, 'P'));
	// Not in an order the rules allow, each process the rules name is
	// shown by the role they give it; those they do not, after them.
	if (!v.ok)
		for (const auto &p : rules.procs)
			names(p.role);
	for (const auto &o : r.orphans)
		roles.try_emplace(o.pid, numbered('?', o.pid));
	std::vector<std::string> absent;
	if (!v.ok && r.collected)
		absent = missing(rules, lines, roles);

	std::vector<std::string> named;
	if (!v.ok)
		named = named_lines(lines, roles, names);
	if (r.collected && !v.ok)
		j.why.push_back("an order the rules do not allow:\n" +
		    rejection(rules, lines, named, v, names));
	if (!r.err.empty())
		j.why.push_back("it wrote on descriptor 2:\n" + r.err);

	j.allowed = v.ok;
	if (demo.mixes)
		mixing(rules, v.steps, j);
	else if (v.ok)
		j.shown = render(rules, v.steps, names);
	else
		for (const auto &l : named)
			j.shown.push_back(shown_line(l));
	if (!m.written.empty() && j.shown.size() == lines.size())
		tag_writers(lines, m, roles, names, j.shown);
	j.ending = endings(demo, m, v, roles, absent, names, j.why);
	return j;
}
