// trace and a run that nothing in it can wake: under --time-lapse it
// lets the run stand ten seconds of virtual time, in which a zombie its
// parent never waits for shows as one, then kills what is left and says
// that the kill was its own, in the text, the JSON lines and the
// pictures. In real time its timeout ends such a run, as before.
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

using json = nlohmann::json;

constexpr long long held_us = 10000000;

struct Stuck {
	std::string name;
	std::string program;

	friend void PrintTo(const Stuck &s, std::ostream *os) { *os << s.name; }
};

// Each leaves C1 a zombie behind P, which waits for a signal from
// outside for ever.
const Stuck runs[] = {
	{"Tickheir", "tickheir"},
	{"UnwaitedChild", built("tests/hostile/unwaited")},
};

// The objects of one kind, by role.
std::multimap<std::string, json>
of_kind(const std::vector<json> &v, const std::string &kind)
{
	std::multimap<std::string, json> m;
	for (const auto &j : v)
		if (j["kind"] == kind)
			m.emplace(j["role"].get<std::string>(), j);
	return m;
}

std::string
temp_path(const std::string &name)
{
	return testing::TempDir() + "trace_stuck_test." +
	    std::to_string(getpid()) + "." + name;
}

class StuckRun : public testing::TestWithParam<Stuck> {};

TEST_P(StuckRun, ZombieHeldTenSecondsThenKilledByTrace)
{
	std::string svg = temp_path(GetParam().name + ".svg");
	std::string perfetto = temp_path(GetParam().name + ".json");
	auto start = std::chrono::steady_clock::now();
	Result r = run_trace({"--time-lapse", "--format", "jsonl", "--svg", svg,
	    "--perfetto", perfetto, GetParam().program});
	// Virtual time: the ten seconds are not slept.
	EXPECT_LT(std::chrono::steady_clock::now() - start,
	    std::chrono::seconds(5));
	ASSERT_EQ(r.end, End::exited(124));
	std::vector<json> v = json_lines(r);
	auto zombies = of_kind(v, "zombie"), ended = of_kind(v, "ended");
	auto procs = of_kind(v, "process");
	ASSERT_EQ(zombies.size(), 1U);
	ASSERT_EQ(ended.count("C1"), 1U);
	ASSERT_EQ(ended.count("P"), 1U);
	const json &zombie = zombies.begin()->second;
	const json &child = ended.find("C1")->second;
	const json &parent = ended.find("P")->second;
	EXPECT_EQ(zombies.begin()->first, "C1");
	EXPECT_EQ(zombie["parent_role"], "P");
	EXPECT_GE(zombie["t_us"], child["t_us"]);
	EXPECT_GE(parent["t_us"].get<long long>(),
	    zombie["t_us"].get<long long>() + held_us);
	EXPECT_EQ(parent["signal"], "SIGKILL");
	EXPECT_EQ(parent.value("by_trace", false), true);
	EXPECT_FALSE(child.contains("by_trace"));
	const json &c1 = procs.find("C1")->second;
	EXPECT_GE(c1["reaped_us"].get<long long>() -
	    c1["ended_us"].get<long long>(), held_us);
	EXPECT_EQ(procs.find("P")->second.value("by_trace", false), true);
	EXPECT_TRUE(v.back()["ended_by_trace"].is_string());

	std::string picture = slurp(svg);
	EXPECT_TRUE(holds(picture, "killed by trace: SIGKILL: nothing in "
	    "the run could wake it</title>"));
	EXPECT_TRUE(holds(picture, ">zombie, not waited for</text>"));
	int marked = 0;
	json events = json::parse(slurp(perfetto))["traceEvents"];
	for (const auto &e : events)
		if (e.value("name", "") == "SIGKILL" && e.contains("args"))
			marked += e["args"].value("by_trace", false);
	EXPECT_EQ(marked, 1);
	unlink(svg.c_str());
	unlink(perfetto.c_str());
}

TEST_P(StuckRun, TextTellsTheZombieAndTracesKill)
{
	Result r = run_trace({"--time-lapse", GetParam().program});
	ASSERT_EQ(r.end, End::exited(124));
	std::string text = unwrapped(r.out);
	const std::string note = "C1 is a zombie: it has ended and P has not "
	    "waited for it\n";
	std::size_t at = text.find(note);
	ASSERT_NE(at, std::string::npos) << r.out;
	EXPECT_EQ(text.find(note, at + 1), std::string::npos) << r.out;
	EXPECT_TRUE(holds(text, "P killed by trace (SIGKILL): nothing in the "
	    "run could wake it\n")) << r.out;
	EXPECT_TRUE(holds(text, "C1 reaped by trace: it was a zombie for "
	    "10.0")) << r.out;
	EXPECT_TRUE(holds(text, ": killed by trace (SIGKILL) at ")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Trace, StuckRun, testing::ValuesIn(runs),
    [](const testing::TestParamInfo<Stuck> &s) { return s.param.name; });

// In real time nothing is held or told of: the timeout ends the run, by
// trace's kill.
TEST(StuckRun, RealTimeEndsPastTheTimeout)
{
	Result r = run_trace({"--timeout", "0.3", "--format", "jsonl",
	    built("tests/hostile/unwaited")});
	ASSERT_EQ(r.end, End::exited(124));
	std::vector<json> v = json_lines(r);
	EXPECT_TRUE(of_kind(v, "zombie").empty());
	auto ended = of_kind(v, "ended");
	ASSERT_EQ(ended.count("P"), 1U);
	EXPECT_EQ(ended.find("P")->second["signal"], "SIGKILL");
	EXPECT_EQ(ended.find("P")->second.value("by_trace", false), true);
	EXPECT_TRUE(holds(v.back()["ended_by_trace"].get<std::string>(),
	    "--timeout"));
}

} // namespace

// A child stopped by any job-control signal, that nobody will continue,
// while its parent waits for its end: stuck as soon as it has stopped,
// ended by trace after the ten seconds.
TEST(StuckRun, StoppedChildNobodyContinues)
{
	for (const char *sig : {"STOP", "TSTP", "TTIN", "TTOU"}) {
		Result r = run_trace({"--time-lapse", "--format", "jsonl",
		    built("tests/hostile/stops"), sig, "left"});
		EXPECT_EQ(r.end, End::exited(124)) << sig;
		std::vector<json> v = json_lines(r);
		auto stuck = of_kind(v, "stuck");
		ASSERT_EQ(stuck.size(), 1U) << sig << "\n" << r.out;
		std::vector<std::string> waiting;
		for (const auto &w : stuck.begin()->second["waiting"])
			waiting.push_back(w["role"].get<std::string>() + " in " +
			    w["in"].get<std::string>());
		EXPECT_EQ(waiting, (std::vector<std::string>{"P in wait4",
		    "C1 in stop"})) << sig;
	}
}
