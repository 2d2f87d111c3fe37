// The programs' alarms as the tracer keeps them, and time-lapse: once
// every process of the run waits and only an alarm can wake one, the
// earliest alarm fires at once and the run's clock jumps to it. See
// tracer.h.
#include <algorithm>
#include <climits>
#include <csignal>

#include <sys/ptrace.h>
#include <unistd.h>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

void
Tracer::arm(Proc &p, long long in_us, long long every_us)
{
	in_us = std::min(in_us, longest_alarm_us);
	every_us = std::min(every_us, longest_alarm_us);
	p.alarm_at_us = in_us > 0 ? now_us() + in_us : -1;
	p.alarm_every_us = in_us > 0 ? every_us : 0;
	emit(Event::Alarm{static_cast<double>(in_us) / 1e6}, p);
}

// Whether a SIGALRM that stopped p is to be delivered as its alarm.
// Under time-lapse the kernel's own timer still runs, on the real clock:
// its signal is never let through, ours stands for it. Ours comes from
// us, and is made to look as the kernel's timer's. Sent while another
// SIGALRM waited, ours was merged into that one, which is then
// delivered in its stead: none is left on its way.
bool
Tracer::own_alarm(Proc &p, siginfo_t &si) const
{
	bool ours = p.firing && si.si_code == SI_USER && si.si_pid == getpid();
	bool timer = si.si_code == SI_KERNEL;

	if (ours) {
		p.firing = false;
		si.si_code = SI_KERNEL;
		si.si_pid = 0;
		si.si_uid = 0;
		(void)ptrace_done(ptrace(PTRACE_SETSIGINFO, p.pid, 0, &si),
		    "ptrace(PTRACE_SETSIGINFO)");
		return true;
	}
	if (p.firing && !(deliverable(p.pid) >> (SIGALRM - 1) & 1)) {
		p.firing = false;
		return true;
	}
	if (!timer)
		return true;
	if (time_lapse_)
		return false;
	p.alarm_at_us = p.alarm_every_us ? now_us() + p.alarm_every_us : -1;
	return true;
}

// Asleep in a call that nothing but a signal or another process of the
// run can end (told_quiet), as the kernel says it sleeps in it. A
// stopped process waits for SIGCONT.
bool
Tracer::quiet(const Proc &p) const
{
	constexpr std::uint64_t cont = 1ULL << (SIGCONT - 1);

	// A signal on its way wakes it: SIGCONT a stopped one, which we
	// are told of only once it has run on.
	if (p.stopped)
		return !(deliverable(p.pid) & cont);
	if (!p.in_call || p.firing || deliverable(p.pid) ||
	    sleeping_in(p.pid) != static_cast<long>(p.entry.nr) ||
	    state_of(p.pid) != 'S')
		return false;
	return told_quiet(p);
}

bool
Tracer::all_waiting() const
{
	bool any = false;

	for (const auto &[pid, p] : procs_) {
		if (p->leader || p->ended || p->role.empty())
			continue;
		if (!p->in_call && !p->stopped)
			return false;
		any = true;
	}
	return any;
}

namespace {

// Sends p the alarm due, and arms the next if it repeats.
void
fire(Tracer::Proc &p)
{
	p.alarm_at_us = p.alarm_every_us ? p.alarm_at_us + p.alarm_every_us :
	    -1;
	// Gone meanwhile, it is told of as it ends.
	p.firing = kill(p.pid, SIGALRM) == 0;
}

} // namespace

// Soon, once every process waits; else when the earliest alarm is due.
// A process that ended with no reap seen is looked for again (sweep)
// within 100 ms: nothing else may wake us for it.
int
Tracer::wake_in_ms() const
{
	long long at = -1, now = now_us();
	// Zombies whose end /proc will show, and writes whose end it will.
	for (const auto &[pid, p] : procs_)
		if ((p->ended && !p->reaped && !p->leader && pid != root_) ||
		    p->unended.on)
			at = now + 100000;
	// A call that may sleep: looked at again soon.
	if (!sleepy_.empty())
		at = now + 10000;
	if (!time_lapse_ || stuck_)
		return at < 0 ? -1 : sleepy_.empty() ? 100 : 10;
	if (all_waiting())
		return 1;
	for (const auto &[pid, p] : procs_)
		if (!p->leader && !p->ended && !p->firing && p->alarm_at_us >= 0 &&
		    (at < 0 || p->alarm_at_us < at))
			at = p->alarm_at_us;
	return at < 0 ? -1 : static_cast<int>(std::clamp((at - now + 999) /
	    1000, 0LL, static_cast<long long>(INT_MAX)));
}

// An alarm due on the run's clock fires, whatever the processes do, as
// the kernel's would; once every process waits, the earliest fires at
// once and the clock jumps to it.
void
Tracer::try_fire()
{
	long long now = now_us();
	for (auto &[pid, p] : procs_)
		if (!p->leader && !p->ended && !p->firing &&
		    p->alarm_at_us >= 0 && p->alarm_at_us <= now)
			fire(*p);
	if (stuck_ || !all_waiting())
		return;
	Proc *next = nullptr;
	for (const auto &[pid, p] : procs_) {
		if (p->leader || p->ended || p->role.empty())
			continue;
		if (!quiet(*p))
			return;
		if (p->alarm_at_us >= 0 && p->alarm_at_us < last_us && (!next ||
		    p->alarm_at_us < next->alarm_at_us))
			next = p.get();
	}
	if (!next) {
		on_stuck();
		return;
	}
	if (next->alarm_at_us > now)
		skipped_us_ += next->alarm_at_us - now;
	fire(*next);
}

// Nothing can wake any process: each zombie whose parent lives is told
// first, as no wait will ever reap it now, then who waits in what.
void
Tracer::on_stuck()
{
	stuck_ = true;
	for (const auto &q : order_) {
		const Proc *parent = q->parent ? live(q->parent) : nullptr;
		if (q->leader || !q->ended || q->reaped || !parent ||
		    parent->ended)
			continue;
		emit(Event::Zombie{peer(parent->pid)}, *q);
	}
	snapshot();
	Event::Stuck e;
	const Proc *first = nullptr;
	for (const auto &q : order_) {
		const Proc &p = *q;
		if (p.ended)
			continue;
		first = first ? first : &p;
		e.waiting.push_back({peer(p.pid),
		    p.stopped ? "stop" : call_name(p.entry.call)});
	}
	if (first)
		emit(e, *first);
}

void
Tracer::hold(long long us)
{
	if (time_lapse_)
		skipped_us_ += std::clamp(us, 0LL, std::max(0LL,
		    last_us - now_us()));
}
