// The demos under our tracer with time-lapse: once every process waits
// and only an alarm can wake one, the alarm fires at once and the run's
// clock jumps to it. Such a run says what a run left alone says, by the
// demos' rules, in a blink, its clock moving ten seconds a tick; the
// Realtime tests hold it against a real run of each timer demo. And a
// process stopped as a whole stays stopped, traced as untraced.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "demo_rules.h"
#include "harness.h"

namespace {

using Rows = std::vector<std::string>;

Options
lapsed()
{
	Options o;
	o.time_lapse = true;
	o.timeout_ms = 60000;
	return o;
}

bool
stuck(const Event &e)
{
	return e.is<Event::Stuck>();
}

std::map<pid_t, std::string>
roles_of(const Result &r)
{
	std::map<pid_t, std::string> role;
	for (const Traced &t : r.traced)
		role[t.pid] = t.role;
	return role;
}

// A run's lines by writer and how each process ended, both by role; the
// numbers that are processes in the lines as roles too.
struct Told {
	std::map<std::string, Rows> lines;
	std::map<std::string, End> ends;
};

Told
told_by_tracer(const Result &r)
{
	Told t;
	std::map<pid_t, std::string> role = roles_of(r);
	for (const Written &w : r.written)
		t.lines[w.role].push_back(plain_line(w.text, role));
	for (const Traced &p : r.traced)
		t.ends[p.role] = p.end;
	return t;
}

// A run to its end under time-lapse; tickheir's parent, once nothing but
// a signal from outside can wake it, gets the Ctrl-C that ends it.
Result
lapsed_run(const DemoRules &demo)
{
	Process p(demo.name, lapsed());
	if (demo.nudge) {
		EXPECT_TRUE(p.await_event(stuck));
		p.signal_group(demo.nudge);
	}
	return p.finish();
}

// The checker binds every role to the tracer's process: each line is its
// writer's, and each process ends as the rules say.
class TimeLapse : public testing::TestWithParam<std::string> {};

TEST_P(TimeLapse, RunsAsTheRulesSay)
{
	const DemoRules *demo = find_demo(GetParam());
	ASSERT_NE(demo, nullptr);
	Result r = lapsed_run(*demo);
	std::map<std::string, long> pids;
	for (const Traced &t : r.traced)
		pids[t.role] = t.pid;
	Verdict v = check_order(demo->rules(), r.lines, pids);
	EXPECT_TRUE(v.ok) << v.why;
	Told told = told_by_tracer(r);
	for (const auto &[role, end] : demo->ends)
		EXPECT_EQ(told.ends[role], end) << role;
	EXPECT_EQ(r.end, demo->ends.front().second);
	for (const Traced &t : r.traced)
		EXPECT_TRUE(t.ended && !t.reaper_role.empty()) << t.role;
	EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Demos, TimeLapse, testing::Values("lonetimer",
    "tickcounter", "tickpair", "tickheir", "reaper"),
    [](const testing::TestParamInfo<std::string> &p) { return p.param; });

// Each tick comes ten seconds on the run's clock after the one before,
// plus what the run really took between them, which the whole run's real
// time bounds.
TEST(TimeLapse, ClockMovesTenSecondsATick)
{
	auto start = std::chrono::steady_clock::now();
	Result r = run("tickcounter", lapsed());
	long long real_us = std::chrono::duration_cast<std::chrono::microseconds>(
	    std::chrono::steady_clock::now() - start).count();
	std::vector<long long> at;
	for (const Event &e : r.events)
		if (e.is<Event::Line>())
			at.push_back(e.us);
	ASSERT_EQ(at.size(), 10u);
	long long before = 0;
	for (std::size_t i = 0; i < at.size(); before = at[i++]) {
		EXPECT_GE(at[i] - before, 10000000) << "line " << i;
		EXPECT_LE(at[i] - before, 10000000 + real_us) << "line " << i;
	}
	EXPECT_EQ(r.end, End::exited(1));
}

// What a run told, event by event: a process's lines, signals and where
// they came from, wake-ups, end and reaper, and when nothing can wake any
// (a zombie left then, and by whom).
Rows
story(const Result &r)
{
	std::map<pid_t, std::string> role = roles_of(r);
	Rows rows;
	for (const Event &e : r.events) {
		std::string row = e.role + " " + kind_name(e) + " ";
		if (const auto *l = e.as<Event::Line>())
			row += plain_line(l->text, role);
		else if (const auto *s = e.as<Event::Signal>())
			row += signal_name(s->sig) + " " +
			    origin_name(s->origin);
		else if (const auto *w = e.as<Event::Woken>())
			row += w->call;
		else if (const auto *x = e.as<Event::Ended>())
			row += describe(x->end);
		else if (const auto *reaped = e.as<Event::Reaped>())
			row += reaped->reaper.role;
		else if (const auto *z = e.as<Event::Zombie>())
			row += z->parent.role;
		else if (const auto *all = e.as<Event::Stuck>())
			for (const auto &waiter : all->waiting)
				row += waiter.who.role + " in " + waiter.in + ";";
		else
			continue;
		rows.push_back(row);
	}
	return rows;
}

// tickheir's child ticks ten times and ends; then only a signal from
// outside can wake its parent, and the tracer says so, and that the
// child is a zombie its parent will not wait for: the run waits for the
// Ctrl-C that ends it, and the child, never collected, comes back to us.
TEST(TimeLapse, TickheirParentWaitsForOutside)
{
	Process p("tickheir", lapsed());
	ASSERT_TRUE(p.await_event(stuck));
	p.signal_group(SIGINT);
	Rows want;
	for (int s = 10; s <= 100; s += 10)
		want.insert(want.end(), {"C1 signal SIGALRM alarm",
		    "C1 line ALARMA pid={C1}: " + std::to_string(s) +
		    " segundos\n", "C1 woken sigsuspend"});
	want.insert(want.end(), {"C1 ended exited with 1", "C1 zombie P",
	    "P stuck P in sigsuspend;", "P signal SIGINT kill",
	    "P ended killed by signal 2 (SIGINT)", "P reaped subreaper",
	    "C1 reaped subreaper"});
	Result r = p.finish();
	EXPECT_EQ(story(r), want);
	EXPECT_EQ(r.end, End::killed(SIGINT));
}

// A child stopped as a whole (SIGSTOP, as Ctrl-Z would) stays stopped
// under the tracer as it would untraced: its parent goes on waiting and
// nothing more is written until SIGCONT; then the run ends as usual.
TEST(Traced, StoppedChildStaysStoppedUntilContinued)
{
	Options o;
	o.trace_writes = true;
	pid_t child = 0;
	// At its fork, before it runs a step of its own.
	o.on_event = [&child](const Event &e) {
		const auto *f = e.as<Event::Fork>();
		if (f && kill(f->child.pid, SIGSTOP) == 0)
			child = f->child.pid;
	};
	Process p("patientparent", o);
	ASSERT_TRUE(p.await_event([](const Event &e) {
		return e.is<Event::Blocked>() && e.role == "P";
	}));
	ASSERT_GT(child, 0);
	for (int i = 0; i < 1000 && state_of(child) != 't'; i++)
		p.pump(10);
	ASSERT_EQ(state_of(child), 't');	// a stop the tracer watches
	for (int i = 0; i < 20; i++)
		p.pump(10);
	EXPECT_EQ(state_of(child), 't');
	for (const Event &e : p.events())
		EXPECT_TRUE(!e.is<Event::Woken>() &&
		    (!e.is<Event::Line>() || e.role == "P")) <<
		    e.role << " " << kind_name(e);
	kill(child, SIGCONT);
	Result r = p.finish();
	const DemoRules *demo = find_demo("patientparent");
	Verdict v = check_order(demo->rules(), r.lines,
	    {{"P", r.pid}, {"C1", child}});
	EXPECT_TRUE(v.ok) << v.why;
	Rows want = {"P woken wait4", "C1 signal SIGSTOP kill",
	    "C1 ended exited with 0", "C1 reaped P", "P ended exited with 0",
	    "P reaped subreaper"};
	Rows got;
	for (const std::string &row : story(r))
		if (row.find(" line ") == std::string::npos)
			got.push_back(row);
	std::sort(got.begin(), got.end());
	std::sort(want.begin(), want.end());
	EXPECT_EQ(got, want);
	EXPECT_EQ(r.end, End::exited(0));
}

// A run left alone, in real time, told as the tracer tells one. Each
// process is named by the process tree, as the tracer names it: P the
// one started, C1 its child, which the timer demos that fork make before
// their first wait; never by whichever of two lines that read alike came
// first. tickheir's parent gets its Ctrl-C once its child has ended.
Told
told_by_real_run(const DemoRules &demo)
{
	Options o;
	o.timeout_ms = (demo.seconds * 2 + 30) * 1000;
	Process p(demo.name, o);
	Rules rules = demo.rules();
	std::map<std::string, long> pids = {{"P", p.pid()}};
	if (rules.procs.size() > 1) {
		EXPECT_TRUE(await_sigsuspend(p.pid()));
		std::vector<pid_t> children = children_of(p.pid());
		EXPECT_EQ(children.size(), 1u);
		if (!children.empty())
			pids["C1"] = children[0];
	}
	if (demo.nudge) {
		for (int i = 0; i < 10; i++)
			p.read_line();
		pid_t child = static_cast<pid_t>(pids["C1"]);
		for (int i = 0; i < 1000 && child && state_of(child) != 'Z'; i++)
			p.pump(10);
		p.signal(demo.nudge);
	}
	Result r = p.finish();
	Verdict v = check_order(rules, r.lines, pids);
	EXPECT_TRUE(v.ok) << v.why;
	std::map<pid_t, std::string> role;
	for (const auto &[name, pid] : pids)
		role[static_cast<pid_t>(pid)] = name;
	Told t;
	std::vector<std::string> writer = writers(rules, v);
	for (std::size_t i = 0; i < r.lines.size() && v.ok; i++)
		t.lines[writer[i]].push_back(plain_line(r.lines[i], role));
	// Whoever collected it: its parent (none here does), or us.
	t.ends[role[r.pid]] = r.end;
	for (const Orphan &orphan : r.orphans)
		t.ends[role.contains(orphan.pid) ? role[orphan.pid] :
		    "pid " + std::to_string(orphan.pid)] = orphan.end;
	return t;
}

// Time-lapse changes when the alarms fire, and nothing else: each
// process writes the same lines and ends the same way as in real time.
void
expect_as_real(const std::string &name)
{
	const DemoRules *demo = find_demo(name);
	ASSERT_NE(demo, nullptr);
	Told lapse = told_by_tracer(lapsed_run(*demo));
	Told real = told_by_real_run(*demo);
	EXPECT_EQ(lapse.lines, real.lines);
	EXPECT_EQ(lapse.ends, real.ends);
}

// One test each, so that ctest --parallel runs them side by side: each
// mostly sleeps, for up to 100 s.
TEST(Realtime, TimeLapseTellsLonetimerAsItRuns) { expect_as_real("lonetimer"); }
TEST(Realtime, TimeLapseTellsTickcounterAsItRuns) { expect_as_real("tickcounter"); }
TEST(Realtime, TimeLapseTellsTickpairAsItRuns) { expect_as_real("tickpair"); }
TEST(Realtime, TimeLapseTellsTickheirAsItRuns) { expect_as_real("tickheir"); }

} // namespace
