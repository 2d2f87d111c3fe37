// The recorder: keeps every event of a run that a picture draws, lane
// by lane. See timeline.h.
#include <algorithm>

#include <unistd.h>

#include "timeline.h"

const Lane *
Timeline::find(pid_t pid) const
{
	std::size_t i = index(pid);

	return i < lanes.size() ? &lanes[i] : nullptr;
}

std::size_t
Timeline::index(pid_t pid) const
{
	auto it = std::find_if(lanes.begin(), lanes.end(),
	    [pid](const Lane &l) { return l.pid == pid; });
	return static_cast<std::size_t>(it - lanes.begin());
}

std::vector<long long>
Timeline::instants() const
{
	std::vector<long long> t{0, end_us};

	for (const auto &l : lanes) {
		t.insert(t.end(), {l.start_us, l.end_us, l.reaped_us,
		    l.orphaned_us});
		for (const auto &x : l.lines)
			t.push_back(x.us);
		for (const auto &x : l.execs)
			t.push_back(x.us);
		for (const auto &x : l.blocked)
			t.insert(t.end(), {x.from_us, x.to_us});
		for (const auto &x : l.signals)
			t.push_back(x.us);
		for (const auto &x : l.kills)
			t.push_back(x.us);
	}
	std::sort(t.begin(), t.end());
	t.erase(std::unique(t.begin(), t.end()), t.end());
	t.erase(t.begin(), std::lower_bound(t.begin(), t.end(), 0LL));
	return t;
}

Recorder::Recorder(std::vector<std::string> argv, bool time_lapse)
{
	t_.argv = std::move(argv);
	t_.time_lapse = time_lapse;
	t_.subreaper = getpid();
}

Lane &
Recorder::lane(const Event &e)
{
	std::size_t i = t_.index(e.pid);

	if (i == t_.lanes.size()) {
		Lane &l = t_.lanes.emplace_back();
		l.pid = e.pid;
		l.role = e.role;
	}
	return t_.lanes[i];
}

static void
unblock(Lane &l, long long us)
{
	if (!l.blocked.empty() && l.blocked.back().to_us < 0)
		l.blocked.back().to_us = us;
}

// The lane of the child a fork made: running its parent's program.
static Lane
child_lane(const Lane &parent, const Event &e)
{
	Lane c;
	c.pid = e.other;
	c.role = e.other_role;
	c.program = parent.program;
	for (const auto &x : parent.execs)
		if (x.error == 0)
			c.program = x.program;
	c.parent = e.pid;
	c.start_us = e.us;
	return c;
}

void
Recorder::event(const Event &e)
{
	Lane &l = lane(e);

	switch (e.kind) {
	case Event::Kind::line:
		l.lines.push_back({e.us, e.fd, e.text});
		break;
	case Event::Kind::fork:
		if (t_.index(e.other) == t_.lanes.size())
			t_.lanes.push_back(child_lane(l, e));
		break;
	case Event::Kind::exec:
		l.execs.push_back({e.us, e.path, e.error});
		// The run's first process is trace's until its program starts.
		if (l.program.empty() && e.error == 0)
			l.program = e.path;
		break;
	case Event::Kind::signal:
		l.signals.push_back({e.us, e.sig, e.origin, e.other, e.addr});
		break;
	case Event::Kind::kill:
		l.kills.push_back({e.us, e.other, e.sig});
		break;
	case Event::Kind::blocked:
		unblock(l, e.us);
		l.blocked.push_back({e.us, -1, e.call, waiting_words(e)});
		break;
	case Event::Kind::woken:
		unblock(l, e.us);
		break;
	case Event::Kind::ended:
		unblock(l, e.us);
		l.ended = true;
		l.end = e.end;
		l.end_us = e.us;
		break;
	case Event::Kind::reaped:
		l.reaper = e.other;
		l.reaper_role = e.other_role;
		l.reaped_us = e.us;
		break;
	case Event::Kind::reparented:
		if (l.orphaned_us < 0)
			l.orphaned_us = e.us;
		break;
	case Event::Kind::alarm:
	case Event::Kind::handler:
	case Event::Kind::mask:
	case Event::Kind::stuck:
	case Event::Kind::sent:
	case Event::Kind::received:
	case Event::Kind::wrote:
		break;
	}
}

void
Recorder::cut(const std::string &why, long long)
{
	t_.cut = why;
}

void
Recorder::summary(const std::vector<Traced> &procs, const Ending &end)
{
	t_.end_us = end.us;
	t_.status = end.status;
	for (const auto &p : procs) {
		std::size_t i = t_.index(p.pid);
		if (i == t_.lanes.size()) {
			Lane &l = t_.lanes.emplace_back();
			l.pid = p.pid;
			l.role = p.role;
		}
		if (t_.lanes[i].program.empty())
			t_.lanes[i].program = p.program;
	}
}
