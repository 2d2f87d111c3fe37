// How the tracer knows the run's processes and threads: each by its
// number while it lives, each given its role when first seen, whose
// thread it is and who made it as the kernel says. See tracer.h.
#include <algorithm>

#include <csignal>

#include <sys/ptrace.h>
#include <unistd.h>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

Tracer::Proc &
Tracer::proc(pid_t pid)
{
	auto &slot = procs_[pid];
	if (!slot) {
		slot = std::make_shared<Proc>();
		slot->pid = pid;
	}
	return *slot;
}

Tracer::Proc *
Tracer::live(pid_t pid) const
{
	auto it = procs_.find(pid);
	return it == procs_.end() || it->second->role.empty() ? nullptr :
	    it->second.get();
}

// The process a thread belongs to; a process is its own, and is
// handed back as it was given, not const.
Tracer::Proc &
Tracer::owner(Proc &p) const // cppcheck-suppress constParameter
{
	Proc *leader = p.leader ? live(p.leader) : nullptr;
	return leader ? *leader : p;
}

// The latest process with that number: the one alive, or the last of
// those reaped.
const Traced *
Tracer::find(pid_t pid) const
{
	if (const Proc *p = live(pid); p && !p->leader)
		return p;
	for (std::size_t i = order_.size(); i-- > 0;)
		if (order_[i]->pid == pid)
			return order_[i].get();
	return nullptr;
}

std::string
Tracer::role_of(pid_t pid) const
{
	const Traced *t = find(pid);
	return t ? t->role : "";
}

// Our children that are the run's and that the tracer has not seen stop:
// handed to us, the subreaper, as their parents died, before their first
// stop (made as their parent was killed) or never traced at all (made
// with CLONE_UNTRACED). Only we reap our children, so none of these
// numbers can be another process's before we have waited for it.
std::vector<pid_t>
Tracer::unseen() const
{
	std::vector<pid_t> v;

	for (pid_t pid : children_of(getpid())) {
		const Proc *p = live(pid);
		if ((!p || p->leader) && !std::binary_search(before_.begin(),
		    before_.end(), pid))
			v.push_back(pid);
	}
	return v;
}

void
Tracer::on_event(Proc &p, int event, int sig)
{
	unsigned long msg = 0;

	switch (event) {
	case PTRACE_EVENT_FORK:
	case PTRACE_EVENT_VFORK:
	case PTRACE_EVENT_CLONE:
		locate(p);
		// Killed since it stopped, it says nothing; its child, if
		// made, shows up by itself.
		if (event_message(p.pid, event, msg) && msg > 0)
			on_child(p, static_cast<pid_t>(msg),
			    event == PTRACE_EVENT_CLONE);
		break;
	case PTRACE_EVENT_EXEC:
		// Any thread may exec; the process goes on under its
		// leader's number, and the thread is no more.
		if (event_message(p.pid, event, msg) &&
		    static_cast<pid_t>(msg) != p.pid)
			if (auto it = procs_.find(static_cast<pid_t>(msg));
			    it != procs_.end()) {
				p.exec_path = std::move(it->second->exec_path);
				p.exec_argv = std::move(it->second->exec_argv);
				p.cloexec = std::move(it->second->cloexec);
				// Its exec is told as the thread's.
				p.thread = it->second->thread;
				rehold_exec(it->first, p.pid);
				procs_.erase(it);
			}
		on_exec(p);
		// One thread is left, under the leader's number.
		p.thread.clear();
		p.threads_made = 0;
		if (sites_.forget)
			sites_.forget(p.pid);
		break;
	case PTRACE_EVENT_EXIT:
		locate(p, true);
		if (!p.leader)
			on_exiting(p);
		else
			p.block_all.reset();	// its mask ends with it
		break;
	case PTRACE_EVENT_STOP:
		// A stop of the whole group (SIGSTOP, Ctrl-Z) lasts until
		// SIGCONT, as it would untraced; a new process's first stop
		// and an interrupt do not.
		p.stopped = sig != SIGTRAP;
		if (p.stopped) {
			(void)ptrace_done(ptrace(PTRACE_LISTEN, p.pid, 0, 0),
			    "ptrace(PTRACE_LISTEN)");
			return;
		}
		break;
	default:
		break;
	}
	resume(p);
}

void
Tracer::on_child(Proc &creator, pid_t child, bool thread)
{
	Proc &c = proc(child);

	if (c.role.empty())
		place(c, &creator, thread);
}

// A process or thread seen for the first time, by its creator's event or
// by its own first stop, whichever the kernel reports first. The kernel
// says whose thread it is and who its parent is, which is not always its
// creator (CLONE_PARENT).
void
Tracer::place(Proc &c, Proc *creator, bool thread)
{
	Stat st;
	pid_t tgid = tgid_of(c.pid);
	bool known = tgid > 0 && stat_of(c.pid, st);
	Proc *by = creator ? &owner(*creator) : nullptr;

	if (known ? tgid != c.pid : thread && by) {
		threads_ = true;
		c.leader = known ? tgid : by->pid;
		Proc *leader = live(c.leader);
		c.role = leader ? leader->role : "";
		if (!c.role.empty()) {
			name_thread(c, *leader, creator);
			return;
		}
	}
	c.leader = 0;
	Proc *parent = known ? live(st.ppid) : by;
	// Its parent died since it was first seen, and may be reaped.
	for (std::size_t i = order_.size(); !parent && c.first_ppid && i-- > 0;)
		if (order_[i]->pid == c.first_ppid)
			parent = order_[i].get();
	if (parent && parent->leader)
		parent = live(parent->leader);
	c.role = child_role(static_cast<std::size_t>(++children_));
	c.parent = parent ? parent->pid : 0;
	if (Proc *from = by ? by : parent)
		c.program = from->program;
	if (Proc *from = by ? by : parent) {
		c.restarts = from->restarts;
		c.chld_ignored = from->chld_ignored;
		c.chld_nocldwait = from->chld_nocldwait;
		c.copies = from->copies;
	}
	order_.push_back(procs_.at(c.pid));
	// Made as the run is being ended: it ends too.
	if (!kill_why_.empty())
		c.killed = kill(c.pid, SIGKILL) == 0;
	Proc *maker = by ? by : parent;
	if (!maker)
		return;
	// Made by a thread of its process: that thread's, at its place.
	emit(Event::Fork{peer(c.pid)}, creator && by == maker ? *creator :
	    *maker);
	if (parent && parent->ended) {
		c.parent = 0;
		emit(Event::Reparented{peer(getpid())}, c);
	}
}

// A thread started: named in its process, and told by the thread that
// started it. The C library blocks every signal around the start, and
// the new thread puts its creator's mask back: neither is the program's.
void
Tracer::name_thread(Proc &c, Proc &leader, Proc *creator)
{
	c.thread = "T" + std::to_string(++leader.threads_made);
	Proc &from = creator && owner(*creator).pid == leader.pid ? *creator :
	    leader;
	if (from.block_all) {
		from.block_all.reset();
		from.restores = c.restores = true;
	}
	emit(Event::Thread{c.pid, c.thread}, from);
}

bool
Tracer::done() const
{
	for (const auto &[pid, p] : procs_)
		if (!p->leader && !p->role.empty() && !p->reaped)
			return false;
	return root_ != 0 && unseen().empty();
}

void
Tracer::signal_all(int sig) const
{
	// Never 0 or below, which would be a whole group, ours maybe. One
	// gone already is no error.
	for (const auto &[pid, p] : procs_)
		if (pid > 0 && !p->leader && !p->ended)
			(void)kill(pid, sig);
	for (pid_t pid : unseen())
		(void)kill(pid, sig);
}

void
Tracer::kill_all(const std::string &why)
{
	kill_why_ = why;
	for (auto &[pid, p] : procs_)
		if (pid > 0 && !p->leader && !p->ended)
			p->killed = kill(pid, SIGKILL) == 0;
	for (pid_t pid : unseen())
		(void)kill(pid, SIGKILL);
}

std::vector<Traced>
Tracer::processes() const
{
	std::vector<Traced> v;

	v.reserve(order_.size());
	for (const auto &p : order_)
		v.push_back(*p);
	return v;
}
