// Signals that wait: one sent to a process that blocks it stays pending
// in the kernel, and stops no one, until the process unblocks it. The
// tracer sees it only then, so it reads the kernel's sets instead: after
// a kill of the run's that reached a process blocking the signal, and
// as a process unblocks signals (sigprocmask, sigsuspend, a handler's
// return). And signals that never come: a SIGCHLD at its default action,
// not blocked, or a signal ignored, is thrown away as it is sent; only a
// traced process gets it later, which the tracer does not tell again.
// See tracer.h.
#include <csignal>
#include <utility>

#include <unistd.h>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

std::uint64_t
bit_of(int sig)
{
	return 1ULL << (sig - 1);
}

} // namespace

bool
quiet_by_default(int sig)
{
	return sig == SIGCHLD || sig == SIGCONT || sig == SIGURG ||
	    sig == SIGWINCH;
}

// A signal is told, pending or delivered, if it does something: caught,
// or with a default that is not to do nothing; every one if asked.
bool
Tracer::told(int sig, bool caught) const
{
	return every_signal_ || caught || !quiet_by_default(sig);
}

// p is about to send sig to (a thread id, or as kill(2) names a group):
// the processes of the run that block it, to look at once it is sent.
// Only then is p stopped again, as the call returns.
void
Tracer::watch_pending(Proc &p, pid_t to, int sig)
{
	std::vector<pid_t> targets;

	p.blocking.clear();
	if (to > 0) {
		targets.push_back(to);
	} else if (to < -1 || to == 0) {
		Stat sender;
		pid_t group = -to;
		if (to == 0 && stat_of(p.pid, sender))
			group = sender.pgrp;
		for (const auto &[pid, q] : procs_)
			if (Stat st; !q->leader && !q->ended && stat_of(pid, st) &&
			    st.pgrp == group)
				targets.push_back(pid);
	}
	for (pid_t t : targets) {
		const Proc *q = live(t);
		Signals s;
		if (q && !q->ended && signals_of(t, s) &&
		    (s.blocked & bit_of(sig)) &&
		    told(sig, (s.caught & bit_of(sig)) != 0))
			p.blocking.push_back(t);
	}
	p.blocked_sig = sig;
	p.await_exit = !p.blocking.empty();
}

// The kill p made returned ret: each process that blocked the signal
// and has it pending now is told so, the sender with it.
void
Tracer::on_kill_exit(Proc &p, std::int64_t ret)
{
	std::vector<pid_t> blocking = std::exchange(p.blocking, {});
	std::uint64_t bit = bit_of(p.blocked_sig);

	if (ret != 0)
		return;
	for (pid_t t : blocking) {
		Proc *q = live(t);
		Signals s;
		if (!q || q->ended || !signals_of(t, s) ||
		    !(s.pending & s.blocked & bit) ||
		    (owner(*q).pending_told & bit))
			continue;
		owner(*q).pending_told |= bit;
		emit(Event::Pending{p.blocked_sig, peer(owner(p).pid),
		    Event::Pending::Arrives::later}, *q);
	}
}

// p is about to unblock the signals of unblocking: those pending arrive
// now. Each is told as pending here unless it was as it was sent.
void
Tracer::let_in(Proc &p, std::uint64_t unblocking)
{
	Signals s;

	if (unblocking && signals_of(p.pid, s))
		arrive(p, s, s.pending & s.blocked & unblocking);
}

// The signals of arriving, which p blocked until now, are delivered as
// it goes on: told as pending here, unless they were as they were sent.
void
Tracer::arrive(Proc &p, const Signals &s, std::uint64_t arriving)
{
	Proc &o = owner(p);

	// Never blocked, whatever the mask says.
	arriving &= ~(bit_of(SIGKILL) | bit_of(SIGSTOP));
	for (int sig = 1; sig <= 64 && arriving; sig++) {
		if (!(arriving & bit_of(sig)))
			continue;
		if (!(o.pending_told & bit_of(sig)) &&
		    told(sig, (s.caught & bit_of(sig)) != 0)) {
			emit(Event::Pending{.sig = sig,
			    .arrives = Event::Pending::Arrives::now}, p);
		}
		o.pending_told &= ~bit_of(sig);
	}
}

// c has ended: the kernel sends its parent SIGCHLD, which, at its default
// action and not blocked, it throws away then.
void
Tracer::chld_discarded(const Proc &c)
{
	Proc *parent = c.parent ? live(c.parent) : nullptr;
	Signals s;

	if (!parent || parent->ended || !signals_of(parent->pid, s) ||
	    ((s.caught | s.ignored | s.blocked) & bit_of(SIGCHLD)))
		return;
	parent->chld_discarded = true;
	// Filled in field by field: g++ 12 at -O3 takes the peer strings of
	// a designated initializer for uninitialized.
	Event::Signal e;
	e.sig = SIGCHLD;
	e.action = Event::Action::discarded;
	e.child = peer(c.pid);
	emit(e, *parent, false);
}

// The terminal sent sig to p's whole process group at once. Those of the
// group that ignore it throw it away then, untraced; traced, each is
// stopped with it later, maybe after others have ended (or never, if it
// is killed first): told now, where it stood not known.
void
Tracer::ignored_by_group(Proc &p, int sig)
{
	Stat ps;
	const Proc &o = owner(p);

	if (!stat_of(o.pid, ps))
		return;
	for (auto &[pid, q] : procs_) {
		Stat qs;
		Signals s;
		if (q->leader || q->ended || pid == o.pid || q->role.empty() ||
		    (q->ignored_told & bit_of(sig)) || !stat_of(pid, qs) ||
		    qs.pgrp != ps.pgrp || !signals_of(pid, s) ||
		    !(s.ignored & bit_of(sig)))
			continue;
		// Still on its way, or taken, its stop not yet waited for.
		if (!(s.pending & ~s.blocked & bit_of(sig)) &&
		    held_stop(pid) != sig)
			continue;
		q->ignored_told |= bit_of(sig);
		emit(Event::Signal{.sig = sig, .origin = Event::Origin::terminal,
		    .action = Event::Action::ignore}, *q, false);
	}
}
