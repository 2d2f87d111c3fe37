// What trace --explain says beside each event: which state the process
// is in from then on and why, as a lecture puts it, followed from the
// events alone. See explain.h.
#include <csignal>
#include <cstring>

#include "explain.h"
#include "trace.h"

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

const char *
key_of(int sig)
{
	return sig == SIGINT ? "Ctrl-C" : sig == SIGQUIT ? "Ctrl-\\" :
	    "Ctrl-Z";
}

// Whether a wait that waits for what waits_for names takes child.
bool
takes(const std::string &waits_for, const std::string &child)
{
	return waits_for == child || waits_for.starts_with("any child");
}

} // namespace

Explained
Explainer::explain(const Event &e)
{
	Explained x;
	auto [it, fresh] = procs_.try_emplace(e.pid);
	Proc &p = it->second;
	if (fresh)
		p.role = e.role;

	switch (e.kind) {
	case Event::Kind::signal:
	case Event::Kind::pending:
	case Event::Kind::mask:
	case Event::Kind::alarm:
		signal(e, p, x);
		break;
	case Event::Kind::blocked:
	case Event::Kind::woken:
	case Event::Kind::returned:
		woken(e, p, x);
		break;
	case Event::Kind::ended:
	case Event::Kind::reaped:
		ended(e, p, x);
		break;
	default:
		life(e, p, x);
		break;
	}
	if (e.kind == Event::Kind::reaped)
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

// Made, given a program, handed to a new parent.
void
Explainer::life(const Event &e, Proc &p, Explained &x)
{
	if (e.kind == Event::Kind::fork) {
		Proc &c = procs_[e.other];
		c.role = e.other_role;
		c.parent = e.pid;
		c.ignores_chld = p.ignores_chld;
		say(x, "fork", "fork made " + e.other_role + ", a copy of " +
		    p.role + " with a number of its own: from here both run "
		    "(R), in the order the scheduler picks");
	} else if (e.kind == Event::Kind::exec && e.error) {
		say(x, "exec failed", "the exec failed: " + p.role + " goes on "
		    "with the program it had");
	} else if (e.kind == Event::Kind::exec && !started_) {
		started_ = true;
		say(x, "start", p.role + " is trace's child: trace forked it "
		    "to run " + base_name(e.path) + ", as a shell would");
	} else if (e.kind == Event::Kind::exec) {
		say(x, "exec", p.role + " keeps its number, " +
		    std::to_string(e.pid) + ", but runs " + base_name(e.path) +
		    " from here: exec replaces the program, not the process");
	} else if (e.kind == Event::Kind::reparented) {
		p.parent = 0;
		say(x, "orphan " + p.role, p.role + " is an orphan: trace "
		    "adopts it here; untraced, the nearest subreaper, or else "
		    "init (pid 1), would");
	} else if (e.kind == Event::Kind::handler && e.sig == SIGCHLD) {
		p.ignores_chld = e.text == "ignore";
	} else if (e.kind == Event::Kind::zombie) {
		std::string parent = who(e.other, e.other_role);
		say(x, "stuck", "nothing in the run can wake " + parent +
		    "; only a signal from outside would (Ctrl-C, or kill). "
		    "Untraced, " + p.role + " would stay a zombie until " +
		    parent + " ends, then init (or a subreaper) would reap "
		    "it: trace lets 10 s go by to show it, then ends the run");
	}
}

// Signals sent, held back, delivered; alarms.
void
Explainer::signal(const Event &e, Proc &p, Explained &x)
{
	std::string sig = signal_name(e.sig);

	if (e.kind == Event::Kind::alarm && e.seconds > 0)
		say(x, "alarm", "when the alarm is due, the kernel sends " +
		    p.role + " SIGALRM; a new alarm replaces the one before");
	else if (e.kind == Event::Kind::mask && e.text != "unblock")
		say(x, "mask", "a signal blocked is not lost: sent meanwhile, "
		    "it stays pending until " + p.role + " unblocks it");
	else if (e.kind == Event::Kind::pending && e.text == "later")
		say(x, "pending", "the kernel keeps a blocked signal pending, "
		    "one of each kind, and delivers it once it is unblocked");
	if (e.kind != Event::Kind::signal)
		return;
	if (e.origin == Event::Origin::terminal)
		say(x, "terminal " + sig, std::string("typing ") +
		    key_of(e.sig) + " makes the terminal send " + sig +
		    " to every process of its foreground group");
	// In sigsuspend or pause, its waking says what the handler did.
	bool woken_after = p.state == 'S' && !p.call.starts_with("wait");
	if (e.text == "discarded") {
		say(x, "discarded " + sig, "the kernel sends a parent SIGCHLD "
		    "as its child ends; left at its default action, it is "
		    "thrown away then, and changes nothing");
	} else if (e.text == "handler") {
		if (!woken_after)
			say(x, "handler " + sig, p.role + "'s handler for " +
			    sig + " runs now: what " + p.role + " was doing "
			    "waits until the handler returns, if it does");
	} else if (e.text == "ignore") {
		say(x, "ignore " + sig, p.role + " ignores " + sig + ": it "
		    "changes nothing");
	} else if (changes_nothing(e.sig)) {
		say(x, "quiet " + sig, sig + " to " + p.role + " is ignored "
		    "by default: it changes nothing");
	} else if (e.sig == SIGCONT && p.state == 'T') {
		become(p, p.before_stop, x);
		say(x, "cont " + p.role, p.role + " goes on (" +
		    std::string(1, p.state) + ")");
	} else if (stops(e.sig)) {
		p.before_stop = p.state == 'T' ? p.before_stop : p.state;
		become(p, 'T', x);
		say(x, "stop " + p.role, p.role + " is stopped (T) until a "
		    "SIGCONT");
	} else if (e.sig != SIGCONT) {
		say(x, "default " + sig + p.role, sig + "'s default action "
		    "ends " + p.role + ", which has no handler for it");
	}
}

// Asleep in a call, and woken from it.
void
Explainer::woken(const Event &e, Proc &p, Explained &x)
{
	bool wait = e.call == "wait4" || e.call == "waitid";

	if (e.kind == Event::Kind::returned) {
		returned(e, p, x);
		return;
	}
	if (e.kind == Event::Kind::blocked) {
		p.call = e.call;
		p.waits_for = e.text.empty() ? "any child" : e.text;
		become(p, 'S', x);
		if (e.call == "wait4")
			say(x, "wait4", "wait() and waitpid() are the wait4 "
			    "system call");
		std::string until = !wait ? "a signal it waits for arrives" :
		    (p.waits_for.starts_with("any child") ? "a child" :
		    p.waits_for) + (e.change.empty() || e.change == "end" ?
		    " ends" : " changes (" + e.change + ")");
		say(x, "sleeps " + e.call, p.role + " sleeps (S) until " +
		    until);
		return;
	}
	p.call.clear();
	p.waits_for.clear();
	become(p, 'R', x);
	if (e.other)
		say(x, "wakes " + e.call, p.role + " wakes (R): " + e.call +
		    " returned " + who(e.other, e.other_role));
	else if (e.sig && wait)
		say(x, "cut " + e.call, p.role + " wakes (R): " +
		    signal_name(e.sig) + " cut " + e.call + " short, which "
		    "fails with EINTR");
	else if (e.sig)
		say(x, "wakes " + e.call, p.role + " wakes (R): " + e.call +
		    " returns once the handler for " + signal_name(e.sig) +
		    " has run");
	else if (e.error)
		say(x, "failed " + e.call, p.role + " wakes (R): " + e.call +
		    " failed");
}

// Reaped, and gone: where its exit status went, if the tracer saw.
void
Explainer::reaped(const Event &e, const Proc &p, Explained &x)
{
	std::string by = who(e.other, e.other_role);

	if (e.status == "kept")
		say(x, "reaped kept", "reaped, " + p.role + " is gone: its "
		    "exit status went to " + by + ", and its number may be "
		    "given again");
	else if (e.status == "discarded" && e.other_role == kernel_role)
		say(x, "reaped by kernel", "reaped by the kernel, " + p.role +
		    " is gone: no process gets its exit status, and its "
		    "number may be given again");
	else if (e.status == "discarded")
		say(x, "reaped discarded", "reaped, " + p.role + " is gone: " +
		    by + "'s wait gave no place for its exit status (NULL), "
		    "so the status was thrown away; its number may be given "
		    "again");
	else
		say(x, "reaped", "reaped, " + p.role + " is gone, and its "
		    "number may be given again");
}

// A handler returned: what it broke into goes on.
void
Explainer::returned(const Event &e, const Proc &p, Explained &x)
{
	if (e.call.empty())
		say(x, "fault again " + p.role, "a handler for a fault that "
		    "returns sends " + p.role + " back to the instruction that "
		    "faulted: unless the handler removed the cause, the same "
		    "fault comes again");
	else if (e.error)
		say(x, "eintr " + e.call, e.call + " returns -1, errno EINTR: "
		    "a call a handler cut short fails once the handler "
		    "returns, unless the handler was set with SA_RESTART and "
		    "the call is one the kernel restarts (man 7 signal)");
	else
		say(x, "restart " + e.call, "the kernel starts " + e.call +
		    " again once the handler returns (SA_RESTART, or a call "
		    "that always restarts): " + p.role + " never sees it cut "
		    "short");
}

// Ended, a zombie until reaped, and gone.
void
Explainer::ended(const Event &e, Proc &p, Explained &x)
{
	if (e.kind == Event::Kind::reaped) {
		reaped(e, p, x);
		return;
	}
	become(p, 'Z', x);
	if (e.handler)
		say(x, "ended in handler " + p.role, p.role + " ended inside "
		    "its handler for " + signal_name(e.handler) + ": it never "
		    "went back to what the signal interrupted");
	auto parent = procs_.find(p.parent);
	std::string key = "zombie " + p.role;
	// Before the run's first program, it is trace's own child.
	if (p.parent == 0 && !started_)
		return;
	if (p.parent == 0 && p.role == "P") {
		say(x, key, "P is a zombie (Z) until trace, its parent, waits "
		    "for it, as a shell would");
	} else if (p.parent == 0 || parent == procs_.end()) {
		say(x, key, p.role + " is a zombie (Z) until trace, which "
		    "adopted it, waits for it");
	} else if (parent->second.ignores_chld) {
		say(x, key, p.role + " is gone at once: " +
		    parent->second.role + " ignores SIGCHLD, so the kernel "
		    "reaps its children");
	} else if (const Proc &q = parent->second; q.state == 'S' &&
	    (q.call == "wait4" || q.call == "waitid") &&
	    takes(q.waits_for, p.role)) {
		say(x, key, q.waits_for == p.role ? p.role + " is a zombie (Z) "
		    "until " + q.role + ", asleep in " + q.call + " for it, "
		    "collects it" : p.role + " is a zombie (Z) until its "
		    "parent, " + q.role + ", waits for it: " + q.role + " is "
		    "asleep in " + q.call + " for " + q.waits_for + ", and "
		    "each wait collects one ended child");
	} else {
		say(x, key, p.role + " is a zombie (Z) from here: it has "
		    "ended and " + parent->second.role + " has not waited for "
		    "it");
	}
}
