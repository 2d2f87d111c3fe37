// reaper: ten children, each greeting, then collected by a blocking
// waitpid as it returns them, never before their greeting; also when
// a fork or a child's sigaction fails. The children's one-second alarms
// are sent from outside, but in the Realtime test (label realtime).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <set>

#include <gtest/gtest.h>

#include "demo_rules.h"
#include "harness.h"

namespace {

using Clock = std::chrono::steady_clock;

const Fault sigaction_fails{"rt_sigaction", "EINVAL"};

struct Reaping {
	std::size_t created = 0;
	std::vector<long> greeted, reaped;	// sorted
	std::size_t ungreeted = 0;	// reaped with no greeting before
};

// Sorts out reaper's lines, failing on any line it may not write where it
// stands: creation lines in order and all before the first reaping line,
// the n-th greeting after the n-th fork.
Reaping
read_reaping(const Result &r)
{
	Reaping g;
	for (const std::string &line : r.lines) {
		std::string n = std::to_string(trailing_number(line));
		if (line == "Creando el hijo numero " +
		    std::to_string(g.created) + "\n") {
			EXPECT_TRUE(g.reaped.empty()) << r.out;
			g.created++;
		} else if (line == "Hola, soy " + n + "\n") {
			EXPECT_LT(g.greeted.size(), g.created) << r.out;
			g.greeted.push_back(std::stol(n));
		} else if (line == "Waitpid bloqueante. Termina " + n + "\n") {
			g.reaped.push_back(std::stol(n));
			if (std::find(g.greeted.begin(), g.greeted.end(),
			    g.reaped.back()) == g.greeted.end())
				g.ungreeted++;
		} else {
			ADD_FAILURE() << "unexpected line " << line << r.out;
		}
	}
	std::sort(g.greeted.begin(), g.greeted.end());
	std::sort(g.reaped.begin(), g.reaped.end());
	return g;
}

void
expect_all_reaped(const Result &r)
{
	Verdict v = check_order(find_demo("reaper")->rules(), r.lines,
	    {{"P", r.pid}});
	EXPECT_TRUE(v.ok) << v.why;
	Reaping g = read_reaping(r);
	EXPECT_EQ(r.lines.size(), 30u);
	EXPECT_EQ(g.created, 10u);
	EXPECT_EQ(g.greeted, g.reaped);
	EXPECT_EQ(g.ungreeted, 0u) << r.out;
	EXPECT_EQ(std::set<long>(g.reaped.begin(), g.reaped.end()).size(), 10u);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_TRUE(r.orphans.empty());
}

// Runs reaper, sending each child its SIGALRM as soon as it waits, so no
// run lasts its children's one-second alarms.
Result
reap()
{
	Process p("reaper");
	for (std::string line; !(line = p.read_line()).empty();) {
		auto child = static_cast<pid_t>(trailing_number(line));
		if (line.starts_with("Hola") && await_sigsuspend(child))
			kill(child, SIGALRM);
	}
	return p.finish();
}

// The busy count itself is proven under valgrind, in busycount_test.cpp.
TEST(Reaper, CollectsEveryChildItGreeted)
{
	for (int i = 0; i < 5 && !HasFailure(); i++)
		expect_all_reaped(reap());
}

TEST(Reaper, FailedForkEndsAfterTheLinesSoFar)
{
	Options o;
	o.fault = fork_fails;
	o.fault->when = 4;
	// The children end by their own alarms, after their parent: a child
	// ending sooner would make a fork start again, and strace count it.
	Result r = run("reaper", o);
	Reaping g = read_reaping(r);
	EXPECT_EQ(g.created, 4u);
	EXPECT_EQ(g.greeted.size(), 3u);
	EXPECT_TRUE(g.reaped.empty());
	EXPECT_EQ(r.err, "Error en el fork: Resource temporarily unavailable\n");
	EXPECT_EQ(r.end, End::exited(1));
	// The children already made go on by themselves and come back to us.
	std::vector<long> orphans;
	for (const Orphan &orphan : r.orphans) {
		orphans.push_back(orphan.pid);
		EXPECT_EQ(orphan.end, End::exited(0));
	}
	std::sort(orphans.begin(), orphans.end());
	EXPECT_EQ(orphans, g.greeted);
}

TEST(Reaper, CollectsChildrenWhoseSigactionFailed)
{
	Options o;
	o.fault = sigaction_fails;
	Result r = run("reaper", o);
	Reaping g = read_reaping(r);
	EXPECT_EQ(g.created, 10u);
	EXPECT_TRUE(g.greeted.empty());
	EXPECT_EQ(g.ungreeted, 10u);
	EXPECT_EQ(std::set<long>(g.reaped.begin(), g.reaped.end()).size(), 10u);
	std::string err;
	for (int i = 0; i < 10; i++)
		err += "sigaction: Invalid argument\n";
	EXPECT_EQ(r.err, err);
	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_TRUE(r.orphans.empty());
}

// Late by less than this, on a loaded machine.
constexpr double slack = 3;

double
seconds_since(Clock::time_point from)
{
	return std::chrono::duration<double>(Clock::now() - from).count();
}

// The last child to greet arms its alarm right after: the run ends one
// second later, however long the children took to start.
TEST(Realtime, ReaperChildrenLiveOneSecond)
{
	Clock::time_point start = Clock::now(), greeted = start;
	Process p("reaper");
	for (std::string line; !(line = p.read_line()).empty();)
		if (line.starts_with("Hola"))
			greeted = Clock::now();
	EXPECT_GE(seconds_since(start), 1);
	EXPECT_LT(seconds_since(greeted), 1 + slack);
	expect_all_reaped(p.finish());
}

} // namespace
