// A Perfetto file of trace's, read back for the tests: each track's role,
// its lines in terms of roles, its slices and instants, and its flows.
#ifndef PERFETTO_PICTURE_H
#define PERFETTO_PICTURE_H

#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using json = nlohmann::json;

// Every number of a process in text, in place of its role.
inline std::string
in_roles(const std::string &text, const std::map<long, std::string> &roles)
{
	static const std::regex number("[0-9]+");
	std::string s;
	auto from = text.cbegin();

	for (std::sregex_iterator it(text.begin(), text.end(), number), end;
	    it != end; ++it) {
		s.append(from, (*it)[0].first);
		auto role = roles.find(std::stol(it->str()));
		s += role != roles.end() ? role->second : it->str();
		from = (*it)[0].second;
	}
	return s.append(from, text.cend());
}

inline long
pid_of(const json &e)
{
	return e.at("pid").get<long>();
}

// A run's picture, read back: each track's role, its lines by role,
// its slices, and the flows by id.
struct Picture {
	json file;
	std::map<long, std::string> roles;	// "trace" for the subreaper
	std::map<long, int> order;
	std::map<std::string, std::vector<std::string>> lines;
	std::map<long, std::vector<json>> slices;
	std::map<long, std::vector<json>> instants;
	std::map<long long, std::pair<json, json>> flows;	// out, in
	std::map<long long, std::pair<std::size_t, std::size_t>> flow_at;

	explicit Picture(const std::string &text)
	    : file(json::parse(text))
	{
		static const std::regex name("(P|C[0-9]+) ([0-9]+) [^ ]+");
		const json &events = file.at("traceEvents");
		for (const auto &e : events) {
			long pid = pid_of(e);
			if (e["name"] == "process_name") {
				std::string n = e["args"]["name"];
				std::smatch m;
				if (std::regex_match(n, m, name)) {
					EXPECT_EQ(std::stol(m[2]), pid) << n;
					roles[pid] = m[1];
				} else {
					EXPECT_EQ(n, "trace (subreaper)");
					roles[pid] = "trace";
				}
			} else if (e["name"] == "process_sort_index") {
				order[pid] = e["args"]["sort_index"];
			}
		}
		for (std::size_t i = 0; i < events.size(); i++)
			take(events[i], i);
	}

	void take(const json &e, std::size_t i)
	{
		long pid = pid_of(e);
		if (e["ph"] == "X")
			slices[pid].push_back(e);
		if (e["ph"] == "i")
			instants[pid].push_back(e);
		// A write to a file has bytes too.
		if (e["ph"] == "i" && e["args"].contains("text") &&
		    !e["args"].contains("file"))
			lines[roles[pid]].push_back(in_roles(e["args"]["text"],
			    roles));
		if (!e.contains("bind_id"))
			return;
		bool out = e.value("flow_out", false);
		auto &f = flows[e["bind_id"]];
		(out ? f.first : f.second) = e;
		(out ? flow_at[e["bind_id"]].first :
		    flow_at[e["bind_id"]].second) = i;
	}
};

#endif
