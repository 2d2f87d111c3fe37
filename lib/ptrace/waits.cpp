// The waiting calls: what a wait waits for, what it found, and who
// reaped each process, as the kernel tells it. See tracer.h.
#include <algorithm>
#include <csignal>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

#include "clock.h"
#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

std::uint64_t
wait_options(const CallStop &s)
{
	return s.call == Call::wait4 ? s.args[2] :
	    s.call == Call::waitid ? s.args[3] : 0;
}

// What a wait with these options waits for: "end", "stop", "continue".
std::vector<std::string>
changes(std::uint64_t opts, bool waitid)
{
	std::vector<std::string> v;

	if (!waitid || opts & WEXITED)
		v.emplace_back("end");
	if (opts & WUNTRACED)
		v.emplace_back("stop");
	if (opts & WCONTINUED)
		v.emplace_back("continue");
	return v;
}

// What the siginfo of a waitid says became of the child.
Event::Woken::Change
change_of(int code)
{
	using C = Event::Woken::Change;
	return code == CLD_STOPPED || code == CLD_TRAPPED ? C::stopped :
	    code == CLD_CONTINUED ? C::continued : C::ended;
}

} // namespace

void
Tracer::on_wait_entry(Proc &p, bool again)
{
	const CallStop &s = p.entry;
	bool wait = s.call == Call::wait4 || s.call == Call::waitid;

	// Started again after a signal cut it short, a call told blocked
	// goes on being so, though what it waits for may have come since.
	if (again) {
		p.in_call = true;
		return;
	}
	// A wait with no child to wait for returns at once, and so does one
	// with a zombie ready for it: not a block.
	p.in_call = !(wait_options(s) & WNOHANG) &&
	    (!wait || (can_wait(p, false) && !can_wait(p, true)));
	if (!p.in_call)
		return;
	Event::Blocked e;
	e.call = call_name(s.call);
	if (wait) {
		waited_for(p, e);
		e.awaited = changes(wait_options(s), s.call == Call::waitid);
	} else if (s.call == Call::sigsuspend) {
		e.signals = signal_names(~read_word(p.pid, s.args[0]) &
		    ((1ULL << 31) - 1));
	}
	p.blocked_as = e;
	emit(e, p);
}

// Whether p has a child the wait it makes can wait for; ended: one it
// takes at once, a zombie the wait is for. Of a group, only any child
// is looked at: a zombie there is not taken for one the wait takes.
bool
Tracer::can_wait(Proc &p, bool ended) const
{
	const CallStop &s = p.entry;
	pid_t of = owner(p).pid;
	auto pid = static_cast<pid_t>(s.call == Call::wait4 ? s.args[0] :
	    s.args[1]);
	bool exits = s.call == Call::wait4 || (wait_options(s) & WEXITED);
	auto takes = [of, ended, exits](const Proc *c) {
		return c && !c->leader && !c->role.empty() && c->parent == of &&
		    !c->reaped && (!ended || (c->ended && exits));
	};

	if (s.call == Call::waitid && s.args[0] == P_PIDFD)
		pid = pidfd_target(p.pid, static_cast<int>(s.args[1]));
	if (pid > 0 && (s.call == Call::wait4 || s.args[0] != P_ALL))
		return takes(live(pid));
	bool any = s.call == Call::wait4 ? pid == -1 : s.args[0] == P_ALL;
	if (ended && !any)
		return false;
	return std::any_of(procs_.begin(), procs_.end(),
	    [&takes](const auto &c) { return takes(c.second.get()); });
}

// The child a wait waits for, or the group whose children.
void
Tracer::waited_for(Proc &p, Event::Blocked &e) const
{
	const CallStop &s = p.entry;
	auto id = static_cast<pid_t>(s.call == Call::wait4 ? s.args[0] :
	    s.args[1]);
	std::uint64_t type = s.args[0];

	if (s.call == Call::wait4)
		type = id == -1 ? std::uint64_t{P_ALL} : id > 0 ?
		    std::uint64_t{P_PID} : std::uint64_t{P_PGID};

	if (s.call == Call::wait4 && id < -1)
		id = -id;
	if (type == P_PIDFD)
		id = pidfd_target(p.pid, id);
	if (type == P_PGID)
		e.group = id;
	else if (type == P_PID || type == P_PIDFD)
		e.child = peer(id);
}

// A waiting call came back: with a child it reaped or saw stop or go
// on, or an error. A waited child's end has reached us before: the
// kernel shows a traced zombie to its parent only once we have seen it.
void
Tracer::on_wait_result(Proc &p, std::int64_t ret)
{
	const CallStop &s = p.entry;
	using C = Event::Woken::Change;
	pid_t child = 0;
	C change = C::ended;

	if (s.call == Call::wait4 && ret > 0) {
		child = static_cast<pid_t>(ret);
		const Proc *c = live(child);
		if (s.args[1]) {
			auto st = static_cast<int>(read_word(p.pid, s.args[1]));
			change = WIFSTOPPED(st) ? C::stopped :
			    WIFCONTINUED(st) ? C::continued : C::ended;
		} else if (c && !c->ended) {
			change = c->stopped ? C::stopped : C::continued;
		}
	} else if (s.call == Call::waitid && ret == 0 && s.args[2]) {
		siginfo_t si{};
		std::string b = read_bytes(p.pid, s.args[2], sizeof si);
		if (b.size() == sizeof si)
			std::memcpy(&si, b.data(), sizeof si);
		child = si.si_pid;	// 0: WNOHANG, and nothing yet
		change = change_of(si.si_code);
	}
	bool kept = s.call == Call::waitid && (s.args[3] & WNOWAIT);
	// Where the wait puts the status: none given, it is thrown away.
	bool given = s.args[s.call == Call::wait4 ? 1 : 2] != 0;
	if (child > 0 && !kept && change == C::ended)
		if (Proc *c = live(child); c && !c->leader)
			reaped(*c, owner(p).pid, given ?
			    Event::Reaped::Status::kept :
			    Event::Reaped::Status::discarded);
	if (!p.in_call)
		return;
	p.in_call = false;
	emit(Event::Woken{.call = call_name(s.call), .child = peer(child),
	    .change = change, .error = ret < 0 ? static_cast<int>(-ret) : 0},
	    p);
}

void
Tracer::reaped(Proc &c, pid_t by, Event::Reaped::Status status)
{
	if (c.reaped)
		return;
	c.reaped = true;
	c.reaped_us = now_us();
	Event::Peer reaper = by == 0 ? Event::Peer{0, kernel_role} : peer(by);
	c.reaper_role = reaper.role;
	emit(Event::Reaped{reaper, c.ended_us >= 0 ? c.reaped_us - c.ended_us :
	    0, status}, c);
	// Its number is free again: what is kept of it is in order_.
	c.partial.clear();
	c.bytes.clear();
	c.exec_argv.clear();
	if (auto it = procs_.find(c.pid); it != procs_.end() &&
	    it->second.get() == &c)
		procs_.erase(it);
}

// A zombie gone from /proc was reaped by a call we do not follow (or by
// the kernel for a parent that ignores SIGCHLD): by its parent. Looked
// at no more than every 100 ms.
void
Tracer::sweep()
{
	long long now = mono_ms();

	if (now - swept_ms_ < 100)
		return;
	swept_ms_ = now;
	settle_unended();
	std::vector<Proc *> gone;
	for (const auto &[pid, c] : procs_)
		if (c->ended && !c->reaped && !c->leader && pid != root_ &&
		    state_of(pid) == '\0')
			gone.push_back(c.get());
	for (Proc *c : gone)
		reaped(*c, c->parent ? c->parent : getpid(),
		    Event::Reaped::Status::unknown);
}
