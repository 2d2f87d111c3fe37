// orders: what the runs showed, or what a demo's rules allow, as one JSON
// document for scripts: the figures of the report, grouped and ordered
// as it shows them. docs/guide.md describes every field; a field once
// there keeps its name and meaning.
#include <nlohmann/json.hpp>

#include "orders.h"

namespace {

using json = nlohmann::ordered_json;

// A line a program wrote may be anything but UTF-8.
std::string
dumped(const json &j)
{
	return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

json
spread(std::vector<long> v)
{
	if (v.empty())
		return nullptr;
	std::sort(v.begin(), v.end());
	return {{"min", v.front()}, {"median", v[v.size() / 2]},
	    {"max", v.back()}};
}

// How a mixing demo's two writers mixed, as the report sums it up.
json
mixing(const Tally &t)
{
	long child_lines = static_cast<long>(t.rules.procs[1].lines.size());
	return {{"runs", t.switches.size()}, {"switches", spread(t.switches)},
	    {"child_lines", child_lines}, {"trailer", spread(t.trailer)},
	    {"trailer_after_all", std::count(t.trailer.begin(),
	    t.trailer.end(), child_lines)}};
}

// The allowed orders as far as they are known: how many, as text, and
// how many of them were never seen.
void
allowed_fields(json &j, const Tally &t)
{
	for (const char *key : {"allowed", "allowed_as_text", "unseen"})
		j[key] = nullptr;
	if (unruled(t.demo))
		return;
	Allowed a = t.demo.mixes ? Allowed{count_orders(t.rules), false, 0,
	    {}} : allowed_orders(t.rules, t.writers, &t.orders);
	if (!a.count)
		return;
	j["allowed"] = *a.count;
	if (a.listed) {
		j["allowed_as_text"] = a.texts;
		j["unseen"] = a.unseen.size();
	} else if (!t.demo.mixes) {
		std::uint64_t seen = 0;
		for (const auto &o : t.orders)
			seen += o.second.allowed;
		j["unseen"] = *a.count - seen;
	}
}

json
orders(const Tally &t)
{
	json list = json::array();
	for (const auto *o : most_frequent(t.orders)) {
		const Seen &s = o->second;
		list.push_back({{"lines", s.lines}, {"runs", s.count},
		    {"allowed", unruled(t.demo) ? json(nullptr) :
		    json(s.allowed)}});
	}
	return list;
}

json
problems(const Tally &t)
{
	json list = json::array();
	for (const auto *p : most_frequent(t.problems))
		list.push_back({{"runs", p->second.count},
		    {"first_run", p->second.first + 1},
		    {"why", p->second.why}});
	return list;
}

} // namespace

int
report_json(const Tally &t, std::ostream &out, const Plan &plan, bool whole)
{
	json j;
	j["program"] = t.demo.name;
	j["runs"] = t.runs;
	j["planned"] = plan.runs;
	j["interrupted"] = !whole;
	j["time_lapse"] = plan.time_lapse;
	j["writers"] = plan.writers;
	j["rules"] = !unruled(t.demo);
	allowed_fields(j, t);
	j["orders"] = orders(t);
	j["mixing"] = t.demo.mixes ? mixing(t) : json(nullptr);
	j["endings"] = json::array();
	for (const auto &[how, n] : endings_by_count(t))
		j["endings"].push_back({{"ending", how}, {"runs", n}});
	j["failed"] = t.failed;
	j["problems"] = problems(t);
	j["sound"] = t.failed == 0;
	out << dumped(j);
	return t.failed ? status_unsound : 0;
}

std::string
allowed_json(const DemoRules &demo, const Allowed &a,
    const std::vector<std::vector<std::string>> &listed)
{
	json j;
	j["program"] = demo.name;
	j["allowed"] = a.count ? json(*a.count) : json(nullptr);
	j["allowed_as_text"] = a.listed ? json(a.texts) : json(nullptr);
	j["orders"] = json::array();
	for (const auto &lines : listed)
		j["orders"].push_back({{"lines", lines}});
	return dumped(j);
}
