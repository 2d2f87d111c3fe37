// What trace --explain says beside each event: which state the process
// is in from then on and why, as a lecture puts it, followed from the
// events alone. See explain.h.
#include <csignal>
#include <cstring>

#include "explain.h"
#include "shown.h"

namespace {

bool
stops(int sig)
{
	return sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN ||
	    sig == SIGTTOU;
}

bool
changes_nothing(int sig)
{
	return sig == SIGCHLD || sig == SIGURG || sig == SIGWINCH;
}

// Whether a wait that waits for what waits_for names takes child.
bool
takes(const std::string &waits_for, const std::string &child)
{
	return waits_for == child || waits_for.starts_with("any child");
}

} // namespace

struct Explainer::Step {
	Explainer &ex;
	const Event &e;
	Proc &p;
	Explained &x;

	void operator()(const Event::Line &) const {}
	void operator()(const Event::Fork &f) const;
	void operator()(const Event::Exec &f) const;
	void operator()(const Event::Signal &s) const;
	void operator()(const Event::Kill &) const {}
	void operator()(const Event::Alarm &a) const;
	void operator()(const Event::Handler &h) const;
	void operator()(const Event::Mask &m) const;
	void operator()(const Event::Blocked &b) const;
	void operator()(const Event::Woken &w) const;
	void operator()(const Event::Ended &) const;
	void operator()(const Event::Reaped &r) const;
	void operator()(const Event::Reparented &) const;
	void operator()(const Event::Stuck &) const {}
	void operator()(const Event::Zombie &z) const;
	void operator()(const Event::Sent &) const {}
	void operator()(const Event::Received &) const {}
	void operator()(const Event::Pipe &) const {}
	void operator()(const Event::Thread &) const {}
	void operator()(const Event::Dup &) const {}
	void operator()(const Event::Close &) const {}
	void operator()(const Event::Eof &) const {}
	void operator()(const Event::Snapshot &) const {}
	void operator()(const Event::Wrote &) const {}
	void operator()(const Event::Pending &q) const;
	void operator()(const Event::Returned &r) const;

	void say(const std::string &key, const std::string &note) const
	{
		ex.say(x, key, note);
	}
	void signal_state(const Event::Signal &s) const;
	void zombie_from_here() const;
};

Explained
Explainer::explain(const Event &e)
{
	Explained x;
	auto [it, fresh] = procs_.try_emplace(e.pid);
	Proc &p = it->second;
	if (fresh)
		p.role = e.role;

	std::visit(Step{*this, e, p, x}, e.what);
	if (e.is<Event::Reaped>())
		procs_.erase(e.pid);
	return x;
}

void
Explainer::say(Explained &x, const std::string &key, const std::string &note)
{
	if (said_.insert(key).second)
		x.notes.push_back(note);
}

void
Explainer::become(Proc &p, char state, Explained &x)
{
	if (p.state != state)
		x.state = state;
	p.state = state;
}

void
Explainer::Step::operator()(const Event::Fork &f) const
{
	Proc &c = ex.procs_[f.child.pid];
	c.role = f.child.role;
	c.parent = e.pid;
	c.ignores_chld = p.ignores_chld;
	say("fork", "fork made " + f.child.role + ", a copy of " + p.role +
	    " with a number of its own: from here both run (R), in the order "
	    "the scheduler picks");
}

void
Explainer::Step::operator()(const Event::Exec &f) const
{
	if (f.error) {
		say("exec failed", "the exec failed: " + p.role + " goes on "
		    "with the program it had");
	} else if (!ex.started_) {
		ex.started_ = true;
		say("start", p.role + " is trace's child: trace forked it to "
		    "run " + base_name(f.path) + ", as a shell would");
	} else {
		say("exec", p.role + " keeps its number, " +
		    std::to_string(e.pid) + ", but runs " + base_name(f.path) +
		    " from here: exec replaces the program, not the process");
	}
}

void
Explainer::Step::operator()(const Event::Reparented &) const
{
	p.parent = 0;
	say("orphan " + p.role, p.role + " is an orphan: trace adopts it "
	    "here; untraced, the nearest subreaper, or else init (pid 1), "
	    "would");
}

void
Explainer::Step::operator()(const Event::Handler &h) const
{
	if (h.sig == SIGCHLD)
		p.ignores_chld = h.action == Event::Action::ignore;
}

void
Explainer::Step::operator()(const Event::Zombie &z) const
{
	std::string parent = who(z.parent.pid, z.parent.role);
	say("stuck", "nothing in the run can wake " + parent + "; only a "
	    "signal from outside would (Ctrl-C, or kill). Untraced, " +
	    p.role + " would stay a zombie until " + parent + " ends, then "
	    "init (or a subreaper) would reap it: trace lets 10 s go by to "
	    "show it, then ends the run");
}

void
Explainer::Step::operator()(const Event::Alarm &a) const
{
	if (a.seconds > 0)
		say("alarm", "when the alarm is due, the kernel sends " +
		    p.role + " SIGALRM; a new alarm replaces the one before");
}

void
Explainer::Step::operator()(const Event::Mask &m) const
{
	if (m.how != Event::Mask::How::unblock)
		say("mask", "a signal blocked is not lost: sent meanwhile, it "
		    "stays pending until " + p.role + " unblocks it");
}

void
Explainer::Step::operator()(const Event::Pending &q) const
{
	if (q.arrives == Event::Pending::Arrives::later)
		say("pending", "the kernel keeps a blocked signal pending, one "
		    "of each kind, and delivers it once it is unblocked");
}

// A signal delivered: what it does to the process, by its action.
void
Explainer::Step::operator()(const Event::Signal &s) const
{
	std::string sig = signal_name(s.sig);

	if (s.origin == Event::Origin::terminal)
		say("terminal " + sig, std::string("typing ") +
		    terminal_key(s.sig) + " makes the terminal send " + sig +
		    " to every process of its foreground group");
	// In sigsuspend or pause, its waking says what the handler did.
	bool woken_after = p.state == 'S' && !p.call.starts_with("wait");
	switch (s.action) {
	case Event::Action::discarded:
		say("discarded " + sig, "the kernel sends a parent SIGCHLD as "
		    "its child ends; left at its default action, it is thrown "
		    "away then, and changes nothing");
		break;
	case Event::Action::handler:
		if (!woken_after)
			say("handler " + sig, p.role + "'s handler for " + sig +
			    " runs now: what " + p.role + " was doing waits "
			    "until the handler returns, if it does");
		break;
	case Event::Action::ignore:
		say("ignore " + sig, p.role + " ignores " + sig + ": it "
		    "changes nothing");
		break;
	case Event::Action::orphaned:
		say("orphaned " + sig, p.role + "'s process group is orphaned: "
		    "the kernel throws " + sig + " away, and " + p.role +
		    " goes on");
		break;
	case Event::Action::by_default:
		signal_state(s);
		break;
	}
}

// A signal at its default action.
void
Explainer::Step::signal_state(const Event::Signal &s) const
{
	std::string sig = signal_name(s.sig);

	if (changes_nothing(s.sig)) {
		say("quiet " + sig, sig + " to " + p.role + " is ignored by "
		    "default: it changes nothing");
	} else if (s.sig == SIGCONT && p.state == 'T') {
		become(p, p.before_stop, x);
		say("cont " + p.role, p.role + " goes on (" +
		    std::string(1, p.state) + ")");
	} else if (stops(s.sig)) {
		p.before_stop = p.state == 'T' ? p.before_stop : p.state;
		become(p, 'T', x);
		say("stop " + p.role, p.role + " is stopped (T) until a "
		    "SIGCONT");
	} else if (s.sig != SIGCONT) {
		say("default " + sig + p.role, sig + "'s default action ends " +
		    p.role + ", which has no handler for it");
	}
}

// Asleep in a call.
void
Explainer::Step::operator()(const Event::Blocked &b) const
{
	bool wait = b.call == "wait4" || b.call == "waitid";

	p.call = b.call;
	p.waits_for = waited_words(b);
	become(p, 'S', x);
	if (b.call == "wait4")
		say("wait4", "wait() and waitpid() are the wait4 system call");
	bool io = !b.fds.empty() || b.seconds >= 0 || b.until;
	std::string until = io ? sleep_end_words(b) : !wait ?
	    "a signal it waits for arrives" :
	    (p.waits_for.starts_with("any child") ? "a child" : p.waits_for) +
	    (b.awaited.empty() || b.awaited == std::vector<std::string>{"end"} ?
	    " ends" : " changes (" + awaited_words(b) + ")");
	say("sleeps " + b.call, p.role + " sleeps (S) until " + until);
}

// Woken from it.
void
Explainer::Step::operator()(const Event::Woken &w) const
{
	bool wait = w.call == "wait4" || w.call == "waitid";

	p.call.clear();
	p.waits_for.clear();
	become(p, 'R', x);
	if (w.child.pid)
		say("wakes " + w.call, p.role + " wakes (R): " + w.call +
		    " returned " + who(w.child.pid, w.child.role));
	else if (w.sig && wait)
		say("cut " + w.call, p.role + " wakes (R): " +
		    signal_name(w.sig) + " cut " + w.call + " short, which "
		    "fails with EINTR");
	else if (w.sig)
		say("wakes " + w.call, p.role + " wakes (R): " + w.call +
		    " returns once the handler for " + signal_name(w.sig) +
		    " has run");
	else if (w.error)
		say("failed " + w.call, p.role + " wakes (R): " + w.call +
		    " failed");
}

// Reaped, and gone: where its exit status went, if the tracer saw.
void
Explainer::Step::operator()(const Event::Reaped &r) const
{
	using S = Event::Reaped::Status;
	std::string by = who(r.reaper.pid, r.reaper.role);

	if (r.status == S::kept)
		say("reaped kept", "reaped, " + p.role + " is gone: its exit "
		    "status went to " + by + ", and its number may be given "
		    "again");
	else if (r.status == S::discarded && r.reaper.role == kernel_role)
		say("reaped by kernel", "reaped by the kernel, " + p.role +
		    " is gone: no process gets its exit status, and its "
		    "number may be given again");
	else if (r.status == S::discarded)
		say("reaped discarded", "reaped, " + p.role + " is gone: " +
		    by + "'s wait gave no place for its exit status (NULL), "
		    "so the status was thrown away; its number may be given "
		    "again");
	else
		say("reaped", "reaped, " + p.role + " is gone, and its "
		    "number may be given again");
}

// A handler returned: what it broke into goes on.
void
Explainer::Step::operator()(const Event::Returned &r) const
{
	if (r.cut.empty())
		say("fault again " + p.role, "a handler for a fault that "
		    "returns sends " + p.role + " back to the instruction that "
		    "faulted: unless the handler removed the cause, the same "
		    "fault comes again");
	else if (r.error)
		say("eintr " + r.cut, r.cut + " returns -1, errno EINTR: a "
		    "call a handler cut short fails once the handler returns, "
		    "unless the handler was set with SA_RESTART and the call "
		    "is one the kernel restarts (man 7 signal)");
	else
		say("restart " + r.cut, "the kernel starts " + r.cut + " again "
		    "once the handler returns (SA_RESTART, or a call that "
		    "always restarts): " + p.role + " never sees it cut short");
}

// Ended: a zombie until reaped.
void
Explainer::Step::operator()(const Event::Ended &) const
{
	become(p, 'Z', x);
	if (e.handler)
		say("ended in handler " + p.role, p.role + " ended inside its "
		    "handler for " + signal_name(e.handler) + ": it never went "
		    "back to what the signal interrupted");
	// Before the run's first program, it is trace's own child.
	if (p.parent == 0 && !ex.started_)
		return;
	zombie_from_here();
}

// Who is to collect a process just ended, and when.
void
Explainer::Step::zombie_from_here() const
{
	auto parent = ex.procs_.find(p.parent);
	std::string key = "zombie " + p.role;

	if (p.parent == 0 && p.role == "P") {
		say(key, "P is a zombie (Z) until trace, its parent, waits for "
		    "it, as a shell would");
	} else if (p.parent == 0 || parent == ex.procs_.end()) {
		say(key, p.role + " is a zombie (Z) until trace, which adopted "
		    "it, waits for it");
	} else if (parent->second.ignores_chld) {
		say(key, p.role + " is gone at once: " + parent->second.role +
		    " ignores SIGCHLD, so the kernel reaps its children");
	} else if (const Proc &q = parent->second; q.state == 'S' &&
	    (q.call == "wait4" || q.call == "waitid") &&
	    takes(q.waits_for, p.role)) {
		say(key, q.waits_for == p.role ? p.role + " is a zombie (Z) "
		    "until " + q.role + ", asleep in " + q.call + " for it, "
		    "collects it" : p.role + " is a zombie (Z) until its "
		    "parent, " + q.role + ", waits for it: " + q.role + " is "
		    "asleep in " + q.call + " for " + q.waits_for + ", and "
		    "each wait collects one ended child");
	} else {
		say(key, p.role + " is a zombie (Z) from here: it has ended "
		    "and " + parent->second.role + " has not waited for it");
	}
}
