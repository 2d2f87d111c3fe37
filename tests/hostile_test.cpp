// The tracer against programs that take it to its corners: children
// killed as they fork, writes of any size, a kernel timer still running
// under time-lapse, waits a C library makes with ppoll. Whatever the
// program does, its run ends as it would untraced, the tracer keeps a
// bounded amount of what it writes, and every event names a process of
// the run.
#include <cerrno>
#include <csignal>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.h"
#include "procfs.h"

namespace {

using Rows = std::vector<std::string>;
using Check = std::function<void(const Result &)>;

constexpr long long mib = 1 << 20;

struct Case {
	std::string name;
	std::string program;	// in tests/hostile
	std::vector<std::string> args;
	bool time_lapse;
	Check check;	// what the run must show besides
	// How much the tracer's memory may grow, which here is ours; 0: it
	// keeps every event, in proportion to the run.
	long most_mib = 0;

	friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
};

// How much of a write the tracer kept, of how much.
std::string
told(const std::string &text, std::uint64_t size)
{
	return std::to_string(text.size()) + " of " + std::to_string(size);
}

// bigwrites: each write to /dev/null told with what the call returned,
// its first 4096 bytes kept; 3 MiB on standard output, one line of which
// the first MiB is kept.
void
cut_as_returned(const Result &r)
{
	std::vector<long long> ret;
	for (std::size_t at = 0, nl; (nl = r.err.find('\n', at)) !=
	    std::string::npos; at = nl + 1)
		ret.push_back(std::stoll(r.err.substr(at, nl - at)));
	ASSERT_EQ(ret.size(), 5u);
	ASSERT_EQ(ret[0], 192 * mib);
	auto kept = [](long long n) { return "4096 of " + std::to_string(n); };
	Rows want = {kept(ret[0])};
	// The kernel cuts 2^62 bytes to its own limit, or refuses them.
	if (ret[1] > 0)
		want.push_back(kept(ret[1]));
	want.push_back(kept(3 * mib));
	// /dev/null takes bytes unread, past memory the tracer cannot read.
	if (ret[3] == 15)
		want.push_back("5 of 15");
	// One line, its first MiB kept and its size told.
	want.push_back("line 1048576 of " + std::to_string(3 * mib));
	Rows got;
	for (const Event &e : r.events)
		if (const auto *w = e.as<Event::Wrote>())
			got.push_back(told(w->text, w->size));
		else if (const auto *l = e.as<Event::Line>(); l && l->fd == 1)
			got.push_back("line " + told(l->text, l->size));
	EXPECT_EQ(got, want);
}

// ticker: the k-th SIGALRM comes no sooner, on the run's clock, than k
// periods after the timer was set, as only the tracer's own alarms come
// under time-lapse; one of the kernel's, let through, would come early.
Check
ticks_every(long long every_us)
{
	return [every_us](const Result &r) {
		long long set_us = -1;
		int k = 0;
		for (const Event &e : r.events) {
			if (e.is<Event::Alarm>() && set_us < 0)
				set_us = e.us;
			const auto *s = e.as<Event::Signal>();
			if (!s || s->sig != SIGALRM)
				continue;
			k++;
			// set_us is when the alarm was told, just after it
			// was set: a millisecond to spare.
			ASSERT_GE(e.us, set_us + k * every_us - 1000) << "tick " << k;
		}
		EXPECT_GE(k, 2);
	};
}

// ppollwait: the waits it was seen blocked in, and woken from.
Check
waits(const Rows &want)
{
	return [want](const Result &r) {
		Rows got;
		// A ppoll with a descriptor and a time limit may be seen to
		// sleep or not: it is no wait for a signal.
		for (const Event &e : r.events)
			if (const auto *b = e.as<Event::Blocked>();
			    b && b->call != "ppoll")
				got.push_back("blocked " + b->call);
			else if (const auto *w = e.as<Event::Woken>();
			    w && w->call != "ppoll")
				got.push_back("woken " + w->call);
		EXPECT_EQ(got, want);
	};
}

// defaults: each setting of a handler that changes one, and no other.
void
changes_alone(const Result &r)
{
	Rows got;
	for (const Event &e : r.events)
		if (const auto *h = e.as<Event::Handler>())
			got.push_back(signal_name(h->sig) + " " +
			    action_name(h->action));
	EXPECT_EQ(got, (Rows{"SIGUSR1 ignore", "SIGUSR1 default"}));
}

void
nothing_more(const Result &)
{
}

// stopleft: the child, stopped, is ended by SIGHUP.
void
hung_up(const Result &r)
{
	ASSERT_EQ(r.traced.size(), 2u);
	EXPECT_EQ(r.traced[1].end, End::killed(SIGHUP));
}

const Case cases[] = {
	// The grandchildren can be seen before, or without, their fork; a
	// child can die between a stop (its fork, a signal) and the tracer
	// asking of it.
	{"ChildKilledAsItForks", "forkkilled", {"500"}, false, nothing_more},
	// Never seen stop, it is still the run's: handed to the subreaper,
	// waited for.
	{"ChildNeverTraced", "untraced", {}, false, nothing_more},
	// Its stop may reach the tracer after its parent's end, which left
	// its group orphaned: it is hung up all the same.
	{"StoppedChildLeftBehind", "stopleft", {}, false, hung_up},
	{"WritesOfAnySize", "bigwrites", {}, false, cut_as_returned, 64},
	{"DefaultSetAgain", "defaults", {}, false, changes_alone},
	{"TimerEvery100msLapsed", "ticker", {"100000", "300"}, true,
	    ticks_every(100000)},
	{"TimerEvery7msLapsed", "ticker", {"7000", "300"}, true,
	    ticks_every(7000)},
	// Ages away: the run's clock jumps there, and does not overflow.
	{"TimerOfAgesLapsed", "ticker", {"max", "0"}, true,
	    waits({"blocked pause", "woken pause"})},
	{"PpollAsPause", "ppollwait", {"pause"}, true,
	    waits({"blocked pause", "woken pause"})},
	{"PpollAsSigsuspend", "ppollwait", {"mask"}, true,
	    waits({"blocked sigsuspend", "woken sigsuspend"})},
	{"PpollOnADescriptor", "ppollwait", {"fds"}, true, waits({})},
	{"LibcPause", "ppollwait", {"libc"}, true,
	    waits({"blocked pause", "woken pause"})},
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
// high-water mark of memory, and so do the events the harness keeps.
TEST_P(Hostile, RunEndsAsUntracedWithinBounds)
{
	const Case &c = GetParam();
	Options o;
	o.args = c.args;
	o.trace_writes = true;
	o.time_lapse = c.time_lapse;
	long rss_kb = max_rss_kb();
	Result r = run(built("tests/hostile/" + c.program), o);
	if (c.most_mib) {
		EXPECT_LT(max_rss_kb() - rss_kb, c.most_mib * 1024);
	}
	EXPECT_EQ(r.end, End::exited(0));
	for (const Event &e : r.events) {
		const auto *forked = e.as<Event::Fork>();
		const auto *reaped = e.as<Event::Reaped>();
		const auto *sig = e.as<Event::Signal>();
		pid_t named = forked ? forked->child.pid : reaped ?
		    reaped->reaper.pid : sig && sig->origin ==
		    Event::Origin::kill ? sig->sender.pid : 1;
		EXPECT_GT(named, 0) << kind_name(e) << " of " << e.role;
	}
	for (const Traced &t : r.traced)
		EXPECT_TRUE(t.ended && !t.reaper_role.empty()) << t.role;
	EXPECT_EQ(children_of(getpid()), std::vector<pid_t>{}) <<
	    "processes of the run outlived its tracer";
	c.check(r);
}

INSTANTIATE_TEST_SUITE_P(Corners, Hostile, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<Case> &c) { return c.param.name; });

// A runner killed before it lets its child go on leaves no child waiting
// for it: the child, traced by strace here, gives up and exits.
TEST(HostileStart, RunnerGoneBeforeTheGo)
{
	Options o;
	o.args = {program_path("tworoles")};
	o.runs_tracer = true;
	o.fault = Fault{"ptrace", "", "SIGKILL", 1};
	o.timeout_ms = 20000;
	Result r = run("trace", o);
	std::multiset<std::string> ends;
	for (const auto &[pid, end] : r.ends)
		ends.insert(describe(end));
	EXPECT_EQ(ends, (std::multiset<std::string>{describe(End::exited(126)),
	    describe(End::killed(SIGKILL))}));
}

// trace with its standard output a pipe that no one reads yet, or that
// no one ever reads (broken): how trace ended, and what it told of
// cutwrite's lines on descriptor 1 and what the pipe holds. The pipe
// fills; each write that waits for room is cut by a signal or fails.
struct Cut {
	int status = -1;
	std::string told, written;
};

Cut
trace_into_pipe(bool broken)
{
	Cut c;
	std::string report = testing::TempDir() + "cutwrite.jsonl";
	std::string trace = program_path("trace");
	std::string prog = built("tests/hostile/cutwrite");
	std::vector<const char *> argv = {trace.c_str(), "--format", "jsonl",
	    "-o", report.c_str(), prog.c_str(), nullptr};
	int fds[2];
	if (pipe2(fds, O_CLOEXEC) != 0)
		return c;
	if (broken)
		close(fds[0]);
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
	posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
	pid_t pid = -1;
	int err = posix_spawn(&pid, trace.c_str(), &fa, nullptr,
	    const_cast<char *const *>(argv.data()), environ);
	posix_spawn_file_actions_destroy(&fa);
	close(fds[1]);
	// The run ends by itself: the first write that waits is cut.
	while (err == 0 && waitpid(pid, &c.status, 0) < 0 && errno == EINTR)
		;
	char buf[65536];
	ssize_t n;
	while (!broken && (n = read(fds[0], buf, sizeof buf)) > 0)
		c.written.append(buf, static_cast<std::size_t>(n));
	if (!broken)
		close(fds[0]);
	std::ifstream in(report);
	for (std::string l; std::getline(in, l);) {
		auto e = nlohmann::json::parse(l, nullptr, false);
		if (e.is_object() && e.value("kind", "") == "line" &&
		    e.value("fd", 0) == 1)
			c.told += e.value("text", "");
	}
	return c;
}

// A write the tracer does not stop at the end of is told only as far as
// it went through.
TEST(HostileCut, WriteToTheRunsOutputToldAsFarAsItWent)
{
	Cut full = trace_into_pipe(false);
	EXPECT_TRUE(WIFEXITED(full.status) && WEXITSTATUS(full.status) == 0) <<
	    full.status;
	EXPECT_GE(full.written.size(), 4096u);
	EXPECT_EQ(full.told.size(), full.written.size());
	EXPECT_TRUE(full.told == full.written);

	Cut broken = trace_into_pipe(true);
	EXPECT_TRUE(WIFEXITED(broken.status) &&
	    WEXITSTATUS(broken.status) == 128 + SIGPIPE) << broken.status;
	EXPECT_EQ(broken.told, "");
}

} // namespace
