// orders: how each process of a run ended and who reaped it, as far as
// the run shows. orders reaps the started process and every one left
// behind, so it sees their ends; a process its parent reaps is seen,
// its end and its reaper, only under the tracer.
#include <algorithm>
#include <climits>

#include "orders.h"
#include "roles.h"

namespace {

// P first, then C1, C2, ... by number, whatever else last.
long
number_of(const std::string &name)
{
	if (name == "P")
		return 0;
	if (name.size() > 1 && name[0] == 'C' && name.size() < 9 &&
	    std::all_of(name.begin() + 1, name.end(), [](char c) {
	    return c >= '0' && c <= '9'; }))
		return std::stol(name.substr(1));
	return LONG_MAX;
}

// "C1", "C1 and C3", "C1 to C10 and C12": three or more in a row by their
// ends.
std::string
names_of(const std::vector<std::string> &names)
{
	std::vector<std::string> spans;
	for (std::size_t i = 0; i < names.size();) {
		std::size_t j = i;
		while (j + 1 < names.size() && number_of(names[j]) > 0 &&
		    number_of(names[j]) != LONG_MAX &&
		    number_of(names[j + 1]) == number_of(names[j]) + 1)
			j++;
		if (j >= i + 2) {
			spans.push_back(names[i] + " to " + names[j]);
			i = j + 1;
		} else {
			spans.push_back(names[i++]);
		}
	}
	return listed(spans);
}

std::string
how(const Fate &f)
{
	std::string s = f.end ? describe(*f.end) + ", " : "";
	if (f.left)
		return s + "left for orders to reap";
	return s + (f.reaper.empty() ? "never reaped" : "reaped by " +
	    f.reaper);
}

} // namespace

std::string
listed(const std::vector<std::string> &names)
{
	std::string s;
	for (std::size_t i = 0; i < names.size(); i++)
		s += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") +
		    names[i];
	return s;
}

std::vector<Fate>
fates(const Made &m, std::map<long, std::string> &roles, Names &names)
{
	const Outcome &r = m.outcome;
	std::vector<Fate> all;
	if (r.collected)
		all.push_back({"P", r.end, "orders"});
	for (const auto &[pid, end] : r.orphans)
		all.push_back({names(roles.at(pid)), end, "orders", true});
	auto name_of = [&](long pid) -> const std::string & {
		return names(roles.try_emplace(pid, numbered('?', pid))
		    .first->second);
	};
	// The tracer names a process's reaper by its own role for it.
	std::map<std::string, long> by_role;
	for (const Traced &p : m.processes)
		by_role[p.role] = p.pid;
	for (const Traced &p : m.processes) {
		if (p.pid == r.pid || std::any_of(r.orphans.begin(),
		    r.orphans.end(), [&](const Orphan &o) {
		    return o.pid == p.pid; }))
			continue;
		Fate f{name_of(p.pid), std::nullopt, "", false};
		if (p.ended)
			f.end = p.end;
		if (p.reaper_role == subreaper_role)
			f.reaper = "orders";
		else if (p.reaper_role == kernel_role)
			f.reaper = kernel_role;
		else if (auto by = by_role.find(p.reaper_role); by !=
		    by_role.end())
			f.reaper = name_of(by->second);
		all.push_back(std::move(f));
	}
	return all;
}

std::string
in_words(std::vector<Fate> all, const std::vector<std::string> &more)
{
	std::stable_sort(all.begin(), all.end(), [](const Fate &a,
	    const Fate &b) { return number_of(a.name) < number_of(b.name); });
	std::vector<std::string> parts;
	for (std::size_t i = 0; i < all.size();) {
		std::vector<std::string> alike;
		std::size_t j = i;
		for (; j < all.size() && how(all[j]) == how(all[i]); j++)
			alike.push_back(all[j].name);
		parts.push_back(names_of(alike) + " " + how(all[i]));
		i = j;
	}
	parts.insert(parts.end(), more.begin(), more.end());
	std::string s;
	for (const auto &p : parts)
		s += (s.empty() ? "" : "; ") + p;
	return s;
}
