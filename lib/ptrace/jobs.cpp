// Job control where trace stands in the kernel's way. When a process
// group is left with no member whose parent is in another group of the
// same session, it is orphaned: no shell can continue it any more, so if
// a member is stopped the kernel sends the whole group SIGHUP, then
// SIGCONT. The kernel checks when a process ends, for its own group and
// its children's. Under trace, every orphan's parent is trace, the
// subreaper, which is in the same session and another group: the kernel
// never finds such a group orphaned, and a stopped orphan would wait
// for ever. So trace does the kernel's part here, as it would be done
// untraced, and shows the signals as the kernel's. See tracer.h.
#include <csignal>

#include <sys/ptrace.h>
#include <unistd.h>

#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

// x is about to end: the groups it was the last tie of.
void
Tracer::on_exiting(const Proc &x)
{
	Stat xs, ps;
	std::vector<pid_t> groups;

	if (!stat_of(x.pid, xs))
		return;
	// Its own group, if its parent was a tie: in another group of the
	// same session. P's parent is the shell trace was started from.
	pid_t parent = x.pid == root_ ? getppid() : x.parent;
	if (parent && stat_of(parent, ps) && ps.pgrp != xs.pgrp &&
	    ps.session == xs.session)
		groups.push_back(xs.pgrp);
	// Its children's groups, which it tied.
	for (const auto &[pid, c] : procs_) {
		Stat cs;
		if (c->parent == x.pid && !c->leader && !c->ended &&
		    stat_of(pid, cs) && cs.pgrp != xs.pgrp &&
		    cs.session == xs.session)
			groups.push_back(cs.pgrp);
	}
	for (pid_t g : groups)
		hang_up(g, x.pid);
}

// Whether m, of the run, ties its group once gone has ended: its parent
// (the shell, for P) is in another group of the same session. An orphan
// handed to trace has none: untraced, its parent would be init or a
// subreaper outside the session.
bool
Tracer::tied(const Proc &m, pid_t gone) const
{
	pid_t parent = m.pid == root_ ? getppid() : m.parent;
	Stat ms, ps;

	if (!parent || parent == gone || !stat_of(m.pid, ms) ||
	    !stat_of(parent, ps))
		return false;
	return ps.pgrp != ms.pgrp && ps.session == ms.session;
}

// Whether p's group would be orphaned untraced, where a stop signal
// other than SIGSTOP does nothing (the kernel throws it away): no member
// of the run ties it. trace's own group is left to the kernel, which
// sees trace's tie as it is.
bool
Tracer::orphaned_group(const Proc &p) const
{
	Stat ps;

	if (!stat_of(p.pid, ps) || ps.pgrp == getpgrp())
		return false;
	for (const auto &[pid, m] : procs_) {
		Stat ms;
		if (!m->ended && stat_of(pid, ms) && ms.pgrp == ps.pgrp &&
		    tied(*m, 0))
			return false;
	}
	return true;
}

// The group left without a tie by gone's end, if it has a stopped member,
// gets SIGHUP and SIGCONT, each of its members in turn. Never the group
// trace is in (the shell's job), nor anyone outside the run.
void
Tracer::hang_up(pid_t group, pid_t gone)
{
	std::vector<Proc *> members;
	bool stopped = false;

	if (group == getpgrp())
		return;
	for (const auto &[pid, m] : procs_) {
		Stat ms;
		if (m->leader || m->ended || pid == gone || !stat_of(pid, ms) ||
		    ms.pgrp != group)
			continue;
		if (tied(*m, gone))
			return;
		int held = held_stop(pid);
		stopped = stopped || m->stopped || ms.state == 'T' ||
		    (held >> 8 == PTRACE_EVENT_STOP && (held & 0x7f) != SIGTRAP);
		members.push_back(m.get());
	}
	if (!stopped)
		return;
	for (int sig : {SIGHUP, SIGCONT})
		for (Proc *m : members)
			if (kill(m->pid, sig) == 0)
				m->for_kernel |= 1ULL << (sig - 1);
}

// Whether a signal that stopped p is one we sent for the kernel: if so,
// it is made to look as the kernel's own.
bool
Tracer::from_kernel(Proc &p, siginfo_t &si) const
{
	Proc &o = owner(p);
	std::uint64_t bit = 1ULL << (si.si_signo - 1);

	if (!(o.for_kernel & bit) || si.si_code != SI_USER ||
	    si.si_pid != getpid())
		return false;
	o.for_kernel &= ~bit;
	si.si_code = SI_KERNEL;
	si.si_pid = 0;
	si.si_uid = 0;
	(void)ptrace(PTRACE_SETSIGINFO, p.pid, 0, &si);
	return true;
}
