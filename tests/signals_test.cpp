// The timer demos, lonetimer, tickcounter, tickpair and tickheir. A SIGALRM
// sent while a process sits in sigsuspend counts like an expiry, so these
// tests drive the timers from outside and never wait for a real alarm;
// the Realtime tests do, and carry the ctest label realtime.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

using Clock = std::chrono::steady_clock;

const Fault sigaction_fails{"rt_sigaction", "EINVAL"};

std::string
tick(pid_t pid, int segundos)
{
	return "ALARMA pid=" + std::to_string(pid) + ": " +
	    std::to_string(segundos) + " segundos\n";
}

// The one child of a program that forks before its first wait; 0 if
// there is none, which kill() must never be given.
pid_t
only_child(const Process &p)
{
	if (!await_sigsuspend(p.pid()))
		return 0;
	std::vector<pid_t> children = children_of(p.pid());
	return children.size() == 1 ? children[0] : 0;
}

// Signals sent in order, each once its receiver sits in its wait.
struct Send {
	char to;	// 'P' the program, 'C' its child, 'G' both, as Ctrl-C
	int sig;
	int times = 1;
};

struct Walk {
	std::string name;
	std::string program;
	bool reports;	// writes a line for every SIGALRM
	std::vector<Send> sends;
	End parent;
	std::optional<End> child;	// for the programs that fork

	friend void PrintTo(const Walk &w, std::ostream *os) { *os << w.name; }
};

const Walk walks[] = {
	{"LonetimerAlarm", "lonetimer", false, {{'P', SIGALRM}},
	    End::killed(SIGALRM), {}},
	{"LonetimerInterrupt", "lonetimer", false, {{'P', SIGINT}},
	    End::killed(SIGINT), {}},
	// The wait holds SIGTERM back; the alarm's default action ends it.
	{"LonetimerHoldsTerm", "lonetimer", false,
	    {{'P', SIGTERM}, {'P', SIGALRM}}, End::killed(SIGALRM), {}},
	{"TickcounterToHundred", "tickcounter", true, {{'P', SIGALRM, 10}},
	    End::exited(1), {}},
	{"TickcounterInterrupt", "tickcounter", true,
	    {{'P', SIGALRM, 2}, {'P', SIGINT}}, End::killed(SIGINT), {}},
	{"TickcounterTermAfterNextReport", "tickcounter", true,
	    {{'P', SIGALRM}, {'P', SIGTERM}, {'P', SIGALRM}},
	    End::killed(SIGTERM), {}},
	{"TickpairToHundred", "tickpair", true, {{'G', SIGALRM, 10}},
	    End::exited(1), End::exited(1)},
	{"TickpairOneAdvancesAlone", "tickpair", true,
	    {{'P', SIGALRM, 10}, {'C', SIGALRM}, {'C', SIGINT}},
	    End::exited(1), End::killed(SIGINT)},
	{"TickpairCtrlC", "tickpair", true, {{'G', SIGALRM}, {'G', SIGINT}},
	    End::killed(SIGINT), End::killed(SIGINT)},
	// The ended child is left to us: its parent never collects it.
	{"TickheirChildThenParent", "tickheir", true,
	    {{'C', SIGALRM, 10}, {'P', SIGALRM, 10}}, End::exited(1),
	    End::exited(1)},
	{"TickheirCtrlC", "tickheir", true, {{'C', SIGALRM}, {'G', SIGINT}},
	    End::killed(SIGINT), End::killed(SIGINT)},
};

class Timers : public testing::TestWithParam<Walk> {};

// Each SIGALRM must bring exactly the line of its receiver's next count,
// and nothing may follow the last signal but the ends it brings.
TEST_P(Timers, EndAsSignalled)
{
	const Walk &w = GetParam();
	Options o;
	o.args = {"uno", "%d"};	// change nothing
	Process p(w.program, o);
	std::map<char, pid_t> pid = {{'P', p.pid()}};
	if (w.child) {
		pid['C'] = only_child(p);
		ASSERT_GT(pid['C'], 0);
	}
	std::map<char, int> segundos;
	std::size_t lines = 0;
	for (const Send &s : w.sends) {
		std::string to = s.to == 'G' ? "PC" : std::string(1, s.to);
		for (int i = 0; i < s.times; i++) {
			std::multiset<std::string> want, got;
			for (char who : to) {
				ASSERT_TRUE(await_sigsuspend(pid[who])) << who;
				if (s.sig == SIGALRM && w.reports)
					want.insert(tick(pid[who],
					    segundos[who] += 10));
			}
			if (s.to == 'G')
				p.signal_group(s.sig);
			else
				kill(pid[s.to], s.sig);
			while (got.size() < want.size())
				got.insert(p.read_line());
			ASSERT_EQ(got, want);
			lines += want.size();
		}
	}
	Result r = p.finish();
	EXPECT_EQ(r.lines.size(), lines) << r.out;
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, w.parent);
	if (!w.child) {
		EXPECT_TRUE(r.orphans.empty());
		return;
	}
	ASSERT_EQ(r.orphans.size(), 1u);
	EXPECT_EQ(r.orphans[0].pid, pid['C']);
	EXPECT_EQ(r.orphans[0].end, *w.child);
}

INSTANTIATE_TEST_SUITE_P(Demos, Timers, testing::ValuesIn(walks),
    [](const testing::TestParamInfo<Walk> &w) { return w.param.name; });

struct Failure {
	std::string name;
	std::string program;
	Fault fault;
	std::string err;

	friend void PrintTo(const Failure &f, std::ostream *os)
	{
		*os << f.name;
	}
};

const Failure failures[] = {
	{"TickcounterSigaction", "tickcounter", sigaction_fails,
	    "sigaction: Invalid argument\n"},
	{"TickpairSigaction", "tickpair", sigaction_fails,
	    "sigaction: Invalid argument\n"},
	{"TickheirSigaction", "tickheir", sigaction_fails,
	    "sigaction: Invalid argument\n"},
	{"TickpairFork", "tickpair", fork_fails,
	    "fork: Resource temporarily unavailable\n"},
	{"TickheirFork", "tickheir", fork_fails,
	    "fork: Resource temporarily unavailable\n"},
};

class TimerFailures : public testing::TestWithParam<Failure> {};

TEST_P(TimerFailures, EndWithOneAndNoReport)
{
	Options o;
	o.fault = GetParam().fault;
	Result r = run(GetParam().program, o);
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.err, GetParam().err);
	EXPECT_EQ(r.end, End::exited(1));
	EXPECT_TRUE(r.orphans.empty());
}

INSTANTIATE_TEST_SUITE_P(Demos, TimerFailures, testing::ValuesIn(failures),
    [](const testing::TestParamInfo<Failure> &f) { return f.param.name; });

// The real alarms. Each time is measured from a moment before the alarm
// was armed, so it can only be late, and never by the slack a loaded
// machine might add.

// Late by less than this, on a loaded machine.
constexpr double slack = 3;

double
seconds_since(Clock::time_point from)
{
	return std::chrono::duration<double>(Clock::now() - from).count();
}

struct Due {
	std::string line;
	Clock::time_point from;
	// cppcheck-suppress unusedStructMember ; read through an iterator
	double seconds;
};

// Reads as many lines as are due, in any order, each in its time.
void
expect_due(Process &p, const std::vector<Due> &due)
{
	for (std::size_t i = 0; i < due.size(); i++) {
		std::string line = p.read_line();
		auto d = std::find_if(due.begin(), due.end(),
		    [&](const Due &e) { return e.line == line; });
		ASSERT_NE(d, due.end()) << "unexpected line " << line;
		double took = seconds_since(d->from);
		EXPECT_GE(took, d->seconds) << line;
		EXPECT_LT(took, d->seconds + slack) << line;
	}
}

Options
patient()
{
	Options o;
	o.timeout_ms = 60000;
	return o;
}

TEST(Realtime, LonetimerEndsAfterTenSeconds)
{
	Clock::time_point start = Clock::now();
	Result r = run("lonetimer", patient());
	double took = seconds_since(start);
	EXPECT_GE(took, 10);
	EXPECT_LT(took, 10 + slack);
	EXPECT_EQ(r.out + r.err, "");
	EXPECT_EQ(r.end, End::killed(SIGALRM));
}

// An outside SIGALRM makes the next pass arm a fresh alarm, replacing
// the pending one: the next line comes ten seconds after it.
TEST(Realtime, TickcounterTicksEveryTenSeconds)
{
	Clock::time_point start = Clock::now();
	Process p("tickcounter", patient());
	expect_due(p, {{tick(p.pid(), 10), start, 10}});
	// Far enough from the replaced alarm's expiry to tell the two apart.
	std::this_thread::sleep_for(std::chrono::seconds(3));
	ASSERT_TRUE(await_sigsuspend(p.pid()));
	Clock::time_point sent = Clock::now();
	p.signal(SIGALRM);
	expect_due(p, {{tick(p.pid(), 20), sent, 0},
	    {tick(p.pid(), 30), sent, 10}});
	p.signal(SIGINT);
	EXPECT_EQ(p.finish().end, End::killed(SIGINT));
}

TEST(Realtime, TickpairTicksEveryTenSecondsInBoth)
{
	Clock::time_point start = Clock::now();
	Process p("tickpair", patient());
	pid_t child = only_child(p);
	ASSERT_GT(child, 0);
	expect_due(p, {{tick(p.pid(), 10), start, 10},
	    {tick(child, 10), start, 10}, {tick(p.pid(), 20), start, 20},
	    {tick(child, 20), start, 20}});
	p.signal_group(SIGINT);
	EXPECT_EQ(p.finish().end, End::killed(SIGINT));
}

// The child ticks from the start; the parent, which arms no alarm of its
// own, only from an outside SIGALRM.
TEST(Realtime, TickheirTicksEveryTenSecondsInEach)
{
	Clock::time_point start = Clock::now();
	Process p("tickheir", patient());
	pid_t child = only_child(p);
	ASSERT_GT(child, 0);
	expect_due(p, {{tick(child, 10), start, 10}});
	ASSERT_TRUE(await_sigsuspend(p.pid()));
	Clock::time_point sent = Clock::now();
	p.signal(SIGALRM);
	expect_due(p, {{tick(p.pid(), 10), sent, 0}});
	expect_due(p, {{tick(child, 20), start, 20},
	    {tick(p.pid(), 20), sent, 10}});
	p.signal_group(SIGINT);
	EXPECT_EQ(p.finish().end, End::killed(SIGINT));
}

} // namespace
