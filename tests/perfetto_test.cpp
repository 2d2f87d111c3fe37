// trace --perfetto from outside: the file parses; it has a track per
// process and one for trace, an instant per line written, slices that
// nest on each track, and a flow per fork, per reap and per message
// whose two ends sit on the right tracks. Compared with trace's JSON
// lines of another run of the same program, its numbers put in terms of
// roles.
#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "harness.h"
#include "perfetto_picture.h"

namespace {

struct Demo {
	std::string name;
	std::vector<std::string> args;
	std::size_t processes;
	std::size_t lines;	// 0: the same as the JSON lines of a run

	friend void PrintTo(const Demo &d, std::ostream *os) { *os << d.name; }
};

const Demo demos[] = {
	{"tworoles", {"tworoles"}, 2, 0},
	{"twinspeak", {"twinspeak"}, 2, 0},
	{"becometwin", {"becometwin"}, 2, 0},
	{"copyedit", {"copyedit"}, 2, 0},
	{"reaper", {"--time-lapse", "reaper"}, 11, 0},
	{"tickpair", {"--time-lapse", "tickpair"}, 2, 0},
	// Addresses differ from run to run, and interleave's JSON lines
	// would double the test's time: their lines are counted.
	{"faultcatch", {"faultcatch"}, 1, 3},
	{"interleave", {"interleave"}, 2, 200004},
	// Messages: every byte sent is read in the run.
	{"pipeline", {"/bin/sh", "-c", "ls / | wc -l"}, 3, 0},
	{"twopipes", {"/usr/bin/python3", "-c", two_pipes_py}, 3, 0},
	{"socketpair", {built("tests/real/socketpair")}, 2, 0},
};

class PerfettoRun : public testing::TestWithParam<Demo> {};

// Slices on one track are nested or apart, never overlapping; an
// instant on it falls within the run.
void
nested(const std::vector<json> &slices, long long end)
{
	std::vector<std::pair<long long, long long>> open, spans;
	for (const auto &s : slices) {
		EXPECT_GE(s["dur"].get<long long>(), 0) << s;
		spans.emplace_back(s["ts"], s["ts"].get<long long>() +
		    s["dur"].get<long long>());
	}
	std::sort(spans.begin(), spans.end(), [](auto a, auto b) {
		return a.first != b.first ? a.first < b.first :
		    a.second > b.second;
	});
	for (const auto &[from, to] : spans) {
		EXPECT_LE(to, end);
		while (!open.empty() && open.back().second <= from)
			open.pop_back();
		if (!open.empty()) {
			EXPECT_LE(to, open.back().second) << "a slice from " <<
			    from << " to " << to << " overlaps one from " <<
			    open.back().first << " to " << open.back().second;
		}
		open.emplace_back(from, to);
	}
}

// The processes, each on a track of its own in the order they came,
// trace's first.
void
tracks_in_order(Picture &p, const Demo &d)
{
	ASSERT_EQ(p.roles.size(), d.processes + 1);
	std::vector<std::string> by_order(p.roles.size());
	for (const auto &[pid, i] : p.order)
		by_order.at(static_cast<std::size_t>(i)) = p.roles[pid];
	EXPECT_EQ(by_order[0], "trace");
	EXPECT_EQ(by_order[1], "P");
	for (std::size_t i = 2; i < by_order.size(); i++)
		EXPECT_EQ(by_order[i], "C" + std::to_string(i - 1));
}

// Every track's slices nested within trace's, the run; its lines in
// their order, each named by its text.
void
tracks_nest(Picture &p)
{
	long long end = -1;
	for (const auto &[pid, role] : p.roles)
		if (role == "trace")
			end = p.slices[pid].at(0)["dur"].get<long long>();
	for (const auto &[pid, slices] : p.slices) {
		SCOPED_TRACE(p.roles[pid]);
		nested(slices, end);
		long long last = 0;
		for (const auto &e : p.instants[pid]) {
			if (!e["args"].contains("text"))
				continue;
			EXPECT_GE(e["ts"].get<long long>(), last);
			last = e["ts"].get<long long>();
			std::string name = e["name"], text = e["args"]["text"];
			if (auto cut = name.rfind("…"); cut != std::string::npos)
				name.resize(cut);
			EXPECT_EQ(text.substr(0, name.size()), name);
		}
	}
}

// A message's flow: from the write to the read that took its first
// bytes, on the reader's track.
void
message_joins(Picture &p, const json &out, const json &in)
{
	EXPECT_LE(out["ts"].get<long long>(), in["ts"].get<long long>());
	EXPECT_EQ(p.roles[pid_of(in)], out["args"]["to"]);
	EXPECT_EQ(in["args"]["from"], p.roles[pid_of(out)]);
	EXPECT_TRUE(std::string(in["name"]).starts_with("receives ")) << in;
	std::string sent = out["args"]["text"], read = in["args"]["text"];
	EXPECT_FALSE(read.empty());
	EXPECT_TRUE(sent.starts_with(read)) << sent << " read as " << read;
}

// Each flow with both ends, the start written first: from the fork in
// the parent to the child's first slice, from the zombie to its reap,
// from each write into a pipe (all read, in these runs) to its reader.
void
flows_join(Picture &p, const Demo &d)
{
	std::size_t forks = 0, reaps = 0, messages = 0, sends = 0;
	for (const auto &[pid, slices] : p.slices)
		for (const auto &s : slices)
			sends += std::string(s["name"]).starts_with("sends ");
	for (const auto &[id, f] : p.flows) {
		const auto &[out, in] = f;
		ASSERT_FALSE(out.is_null() || in.is_null()) << "flow " << id;
		EXPECT_LT(p.flow_at[id].first, p.flow_at[id].second);
		std::string name = out["name"];
		if (name.starts_with("sends ")) {
			messages++;
			message_joins(p, out, in);
			continue;
		}
		// The arrow leaves the end of one slice for the start of another.
		EXPECT_EQ(out["ts"].get<long long>() + out["dur"].get<long long>(),
		    in["ts"].get<long long>()) << out << in;
		if (name.starts_with("fork ")) {
			forks++;
			EXPECT_EQ(in["pid"], out["args"]["child"]);
			EXPECT_EQ(p.roles[pid_of(in)], name.substr(5));
			// The child's first slice, the earliest and widest.
			auto first = std::min_element(p.slices[pid_of(in)].begin(),
			    p.slices[pid_of(in)].end(), [](const json &a,
			    const json &b) {
				return a["ts"] != b["ts"] ? a["ts"] < b["ts"] :
				    a["dur"] > b["dur"];
			});
			EXPECT_EQ(*first, in);
		} else {
			reaps++;
			EXPECT_EQ(name, "zombie");
			EXPECT_EQ(in["args"]["child"], out["pid"]);
			EXPECT_EQ(in["name"], "reap " + p.roles[pid_of(out)]);
		}
	}
	EXPECT_EQ(forks, d.processes - 1);
	EXPECT_EQ(reaps, d.processes);
	EXPECT_EQ(messages, sends);
}

// The same lines, and the same reapers, as the JSON lines of a run tell.
void
same_as_jsonl(Picture &p, std::vector<std::string> args)
{
	args.insert(args.begin(), "--format=jsonl");
	Result jr = run_trace(args);
	std::map<long, std::string> roles;
	std::vector<json> objects;
	for (const auto &l : jr.lines) {
		objects.push_back(json::parse(l));
		if (objects.back()["kind"] == "process")
			roles[pid_of(objects.back())] = objects.back()["role"];
	}
	std::map<std::string, std::vector<std::string>> lines;
	std::map<std::string, std::string> reaped_by;
	for (const auto &j : objects) {
		if (j["kind"] == "line")
			lines[j["role"]].push_back(in_roles(j["text"], roles));
		if (j["kind"] == "process")
			reaped_by[j["role"]] = j["reaped_by"];
	}
	// reaper's parent tells of its children as waitpid returns them.
	for (auto *m : {&p.lines, &lines})
		for (auto &[role, texts] : *m)
			std::sort(texts.begin(), texts.end());
	EXPECT_EQ(p.lines, lines);
	for (const auto &[id, f] : p.flows) {
		if (f.first["name"] == "zombie") {
			EXPECT_EQ(p.roles[pid_of(f.second)],
			    reaped_by[p.roles[pid_of(f.first)]]);
		}
	}
}

TEST_P(PerfettoRun, HoldsTheRun)
{
	const Demo &d = GetParam();
	std::vector<std::string> args{"--perfetto", "-"};
	args.insert(args.end(), d.args.begin(), d.args.end());
	Result r = run_trace(args);
	Picture p(r.out);

	EXPECT_EQ(p.file["displayTimeUnit"], "ms");
	ASSERT_EQ(r.end.how, End::How::exited);
	EXPECT_EQ(p.file["metadata"]["exit_status"], r.end.value);
	tracks_in_order(p, d);
	tracks_nest(p);
	flows_join(p, d);
	if (d.lines == 0) {
		same_as_jsonl(p, d.args);
		return;
	}
	std::size_t n = 0;
	for (const auto &[role, lines] : p.lines)
		n += lines.size();
	EXPECT_EQ(n, d.lines);
}

INSTANTIATE_TEST_SUITE_P(Perfetto, PerfettoRun, testing::ValuesIn(demos),
    [](const testing::TestParamInfo<Demo> &d) { return d.param.name; });

// Events of one kind on a process's track, by name, with these
// arguments among theirs.
const char socket_pair[] = "import socket\n"
    "a, b = socket.socketpair()\n"
    "a.send(b'hi')\n"
    "b.recv(9)\n";

struct Shown {
	std::string name;
	std::vector<std::string> args;
	std::string role;
	std::string event;
	json has;
	std::size_t count;

	friend void PrintTo(const Shown &s, std::ostream *os) { *os << s.name; }
};

const Shown shown[] = {
	{"Fault", {"faultcatch"}, "P", "SIGSEGV",
	    {{"origin", "fault"}, {"addr", "0x0"}}, 1},
	{"Exit", {"faultcatch"}, "P", "exit 2", {{"end", "exited with 2"}}, 1},
	{"Alarms", {"--time-lapse", "tickpair"}, "C1", "SIGALRM",
	    {{"origin", "alarm"}}, 10},
	{"Sleeps", {"--time-lapse", "tickpair"}, "P", "sigsuspend",
	    {{"words", "blocked in sigsuspend for SIGINT or SIGALRM"}},
	    10},
	// Its child signals it only once it sleeps in the wait.
	{"Waits", {built("tests/hostile/pending")}, "P", "wait4",
	    {{"words", "blocked in wait4 for C1 to end"}}, 1},
	{"ReapsItsChildren", {"--time-lapse", "reaper"}, "P", "reap C10",
	    json::object(), 1},
	{"TraceReapsOrphans", {"twinspeak"}, "trace", "reap C1",
	    json::object(), 1},
	// The run's first process is trace's until it execs the demo.
	{"BeforeItsProgram", {"becometwin"}, "P", "trace", json::object(), 1},
	{"ItsProgram", {"becometwin"}, "P", "becometwin", json::object(), 1},
	{"ProgramItBecomes", {"becometwin"}, "P", "twinspeak",
	    json::object(), 1},
	{"ChildOfTheProgramItBecame", {"becometwin"}, "C1", "twinspeak",
	    json::object(), 1},
	{"Orphaned", {"twinspeak"}, "C1", "orphaned",
	    {{"new_parent", "trace"}}, 1},
	{"WritesToAFile", {"/bin/sh", "-c", "echo hi >/dev/zero"}, "P",
	    "writes 3 bytes to /dev/zero",
	    {{"file", "/dev/zero"}, {"size", 3}, {"text", "hi\n"}}, 1},
	// The two ends of a socket pair are known to each other.
	{"SendsIntoASocket", {"/usr/bin/python3", "-c", socket_pair}, "P",
	    "sends 2 bytes to P through socket pair 1",
	    {{"through", "socket"}, {"text", "hi"}, {"to", "P"}}, 1},
	{"ReceivesFromASocket", {"/usr/bin/python3", "-c", socket_pair}, "P",
	    "receives 2 bytes from P through socket pair 1",
	    {{"through", "socket"}, {"text", "hi"}, {"from", "P"}}, 1},
};

class PerfettoShows : public testing::TestWithParam<Shown> {};

TEST_P(PerfettoShows, EventsOnTheirTrack)
{
	const Shown &s = GetParam();
	std::vector<std::string> args{"--perfetto", "-"};
	args.insert(args.end(), s.args.begin(), s.args.end());
	Picture p(run_trace(args).out);

	std::size_t n = 0;
	for (const auto &[pid, role] : p.roles) {
		if (role != s.role)
			continue;
		for (const auto *events : {&p.slices[pid], &p.instants[pid]})
			for (const auto &e : *events) {
				if (e["name"] != s.event)
					continue;
				n++;
				for (const auto &[key, value] : s.has.items())
					EXPECT_EQ(e["args"][key], value) << e;
			}
	}
	EXPECT_EQ(n, s.count);
}

INSTANTIATE_TEST_SUITE_P(Perfetto, PerfettoShows, testing::ValuesIn(shown),
    [](const testing::TestParamInfo<Shown> &s) { return s.param.name; });

// A run that trace ended still makes a whole file, saying why; with
// --time-lapse, nothing but the picture on standard output.
TEST(Perfetto, RunEndedByTrace)
{
	Result r = run_trace({"--time-lapse", "--perfetto", "-", "tickheir"});
	ASSERT_EQ(r.end, End::exited(124));
	Picture p(r.out);
	const json &m = p.file["metadata"];
	EXPECT_EQ(m["command"], "tickheir");
	EXPECT_EQ(m["time_lapse"], true);
	EXPECT_EQ(m["times"], "virtual");
	EXPECT_EQ(m["exit_status"], 124);
	EXPECT_EQ(m["ended_by_trace"], "nothing in the run can wake any "
	    "process, only a signal from outside would: P is blocked in "
	    "sigsuspend for SIGINT or SIGALRM; no alarm is armed");
}

// A child reaped by its parent while it sleeps in wait4 (the child ends
// only once its parent sleeps there): the reap falls within the wait.
TEST(Perfetto, ReapWithinTheWait)
{
	Picture p(run_trace({"--perfetto", "-",
	    built("tests/hostile/pending")}).out);
	std::size_t reaps = 0;
	for (const auto &[pid, role] : p.roles) {
		if (role != "P")
			continue;
		for (const auto &r : p.slices[pid]) {
			if (r["name"] != "reap C1")
				continue;
			reaps++;
			bool within = false;
			for (const auto &w : p.slices[pid])
				within = within || (w["name"] == "wait4" &&
				    w["ts"] <= r["ts"] && r["ts"].get<long long>() <=
				    w["ts"].get<long long>() + w["dur"].get<long long>());
			EXPECT_TRUE(within) << r;
		}
	}
	EXPECT_EQ(reaps, 1U);
}

}
