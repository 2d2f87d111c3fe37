// The tracer against programs that take it to its corners: children
// killed as they fork, writes of any size, a kernel timer still running
// under time-lapse, waits a C library makes with ppoll. Whatever the
// program does, its run ends as it would untraced, the tracer keeps a
// bounded amount of it, and every event names a process of the run.
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

using Check = std::function<void(const Result &)>;

struct Case {
	std::string name;
	std::string program;	// in tests/hostile
	std::vector<std::string> args;
	bool time_lapse;
	Check check;	// what the run must show besides

	friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
};

void
nothing_more(const Result &)
{
}

const Case cases[] = {
	// The grandchildren can be seen before, or without, their fork.
	{"ChildKilledAsItForks", "forkkilled", {"200"}, false, nothing_more},
};

long
max_rss_kb()
{
	rusage u{};
	getrusage(RUSAGE_SELF, &u);
	return u.ru_maxrss;
}

class Hostile : public testing::TestWithParam<Case> {};

// The tracer runs in this process: what it keeps shows in our own
// high-water mark of memory.
TEST_P(Hostile, RunEndsAsUntracedWithinBounds)
{
	const Case &c = GetParam();
	Options o;
	o.args = c.args;
	o.trace_writes = true;
	o.time_lapse = c.time_lapse;
	long rss_kb = max_rss_kb();
	Result r = run(std::string(HOSTILE_DIR) + "/" + c.program, o);
	EXPECT_LT(max_rss_kb() - rss_kb, 64 * 1024);
	EXPECT_EQ(r.end, End::exited(0));
	for (const Event &e : r.events) {
		bool names_other = e.kind == Event::Kind::fork ||
		    e.kind == Event::Kind::reaped ||
		    (e.kind == Event::Kind::signal &&
		    e.origin == Event::Origin::kill);
		EXPECT_TRUE(!names_other || e.other > 0) << kind_name(e.kind) <<
		    " of " << e.role << " names process " << e.other;
	}
	for (const Traced &t : r.traced)
		EXPECT_TRUE(t.ended && !t.reaper_role.empty()) << t.role;
	c.check(r);
}

INSTANTIATE_TEST_SUITE_P(Corners, Hostile, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<Case> &c) { return c.param.name; });

} // namespace
