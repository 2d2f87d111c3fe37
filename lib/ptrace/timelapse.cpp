// The programs' alarms as the tracer keeps them, and time-lapse: once
// every process of the run waits and only an alarm can wake one, the
// earliest alarm fires at once and the run's clock jumps to it. See
// tracer.h.
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
	p.alarm_at_us = in_us > 0 ? now_us() + in_us : -1;
	p.alarm_every_us = in_us > 0 ? every_us : 0;
	Event e(Event::Kind::alarm);
	e.seconds = static_cast<double>(in_us) / 1e6;
	emit(e, p);
}

// Whether a SIGALRM that stopped p is to be delivered as its alarm. The
// kernel's own timer still runs under time-lapse; its signal is let
// through only if the alarm is still armed here, which is then spent.
// Ours comes from us: it is made to look as the kernel's timer's.
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
		ptrace(PTRACE_SETSIGINFO, p.pid, 0, &si);
		return true;
	}
	if (!timer)
		return true;
	if (p.alarm_at_us < 0 && time_lapse_)
		return false;
	p.alarm_at_us = p.alarm_every_us ? now_us() + p.alarm_every_us : -1;
	return true;
}

// Asleep in a waiting call that nothing but a signal can end: the
// kernel says it sleeps in it, and for a wait, no child of it has ended
// unreaped. A stopped process waits for SIGCONT.
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
	if (p.entry.call == Call::sigsuspend || p.entry.call == Call::pause)
		return true;
	for (const auto &[pid, c] : procs_)
		if (c->parent == p.pid && c->ended && !c->reaped)
			return false;
	return true;
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

int
Tracer::wake_in_ms() const
{
	return time_lapse_ && !stuck_ && all_waiting() ? 1 : -1;
}

void
Tracer::try_fire()
{
	if (stuck_ || !all_waiting())
		return;
	Proc *next = nullptr;
	for (const auto &[pid, p] : procs_) {
		if (p->leader || p->ended || p->role.empty())
			continue;
		if (!quiet(*p))
			return;
		if (p->alarm_at_us >= 0 && (!next ||
		    p->alarm_at_us < next->alarm_at_us))
			next = p.get();
	}
	if (!next) {
		stuck_ = true;
		Event e(Event::Kind::stuck);
		const Proc *first = nullptr;
		for (const auto &q : order_) {
			const Proc &p = *q;
			if (p.ended)
				continue;
			first = first ? first : &p;
			e.text += (e.text.empty() ? "" : ", ") + p.role + " in " +
			    (p.stopped ? "a stop" : call_name(p.entry.call));
		}
		if (first)
			emit(e, *first);
		return;
	}
	long long now = now_us();
	if (next->alarm_at_us > now)
		skipped_us_ += next->alarm_at_us - now;
	next->alarm_at_us = next->alarm_every_us ?
	    next->alarm_at_us + next->alarm_every_us : -1;
	// Gone meanwhile, it is told of as it ends.
	next->firing = kill(next->pid, SIGALRM) == 0;
}
