// Where each process of the run stands as the run is ended: running,
// stopped, a zombie, or asleep in a call, on what, and who holds the
// other end of a pipe it waits on; and whether nothing in the run can
// ever wake it, which the kernel's rules make certain when every process
// of the run sleeps where only another of them could wake it, and no
// alarm is armed. See tracer.h.
#include <algorithm>
#include <csignal>
#include <utility>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

// The call a process sleeps in, as /proc tells it, for one not seen to
// go to sleep; nullptr if it runs.
const char *
asleep_in(pid_t pid)
{
	long nr = sleeping_in(pid);

	if (nr < 0 || state_of(pid) != 'S')
		return nullptr;
	const char *name = waiting_call_name(static_cast<std::uint64_t>(nr));
	return name ? name : "a system call";
}

} // namespace

// As told: asleep where only another process of the run can wake it
// (or a signal from outside), or stopped.
bool
Tracer::told_quiet(const Proc &p) const
{
	if (p.stopped)
		return true;
	if (!p.in_call)
		return false;
	if (p.entry.call == Call::sigsuspend || p.entry.call == Call::pause)
		return true;
	if (row_of(p.entry.call).cls == CallClass::wait)
		return std::ranges::none_of(procs_, [&p](const auto &c) {
			return c.second->parent == p.pid && c.second->ended &&
			    !c.second->reaped;
		});
	return sleeps_for_good(p);
}

// Every process and thread of the run sleeps so, and no alarm is armed.
bool
Tracer::nothing_wakes() const
{
	bool any = false;

	for (const auto &[pid, p] : procs_) {
		if (p->ended || p->role.empty())
			continue;
		if (!told_quiet(*p) || (p->alarm_at_us >= 0 &&
		    p->alarm_at_us < last_us))
			return false;
		any = true;
	}
	return any;
}

// Of a pipe or socket p reads or writes on: the descriptors of its other
// end (a reader's are the write ends).
std::vector<Event::Fd>
Tracer::other_ends(Proc &p)
{
	const Event::Blocked &b = p.blocked_as;

	if (b.fds.size() != 1 || !(reads(p.entry.call) ||
	    writes(p.entry.call)))
		return {};
	const Event::Fd &f = b.fds[0];
	const Dest &d = dest(p, f.fd);
	if (f.target.kind == Event::Target::Kind::pipe)
		return holders(d.ino, reads(p.entry.call) ? 1 : 0, 0, -1);
	if (f.target.kind == Event::Target::Kind::socket && d.peer)
		return holders(d.peer, -1, 0, -1);
	return {};
}

void
Tracer::snapshot()
{
	using S = Event::Snapshot::State;

	if (std::exchange(snapped_, true))
		return;
	look_for_sleepers();
	bool never = nothing_wakes();
	for (const auto &q : order_) {
		Proc &p = *q;
		Event::Snapshot s;
		if (p.leader || p.role.empty() || p.reaped)
			continue;
		if (p.ended) {
			s.state = S::zombie;
		} else if (p.stopped) {
			s.state = S::stopped;
		} else if (p.in_call) {
			s.state = S::blocked;
			s.in = p.blocked_as;
			s.others = other_ends(p);
		} else if (const char *in = asleep_in(p.pid)) {
			s.state = S::blocked;
			s.in.call = in;
		}
		s.never = never && (s.state == S::blocked ||
		    s.state == S::stopped);
		emit(s, p, false);
	}
}
