// What the calls and signals the tracer stops on mean for the run: the
// waits and what ended them, the signals and where
// they came from, the ends and reaps. See tracer.h.
#include <csignal>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include <sys/ptrace.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

// A time as setitimer takes it, in microseconds: -1 if the kernel
// refuses it (EINVAL), and the alarm stays as it was.
long long
micros(const timeval &t)
{
	if (t.tv_sec < 0 || t.tv_usec < 0 || t.tv_usec >= 1000000)
		return -1;
	return t.tv_sec >= longest_alarm_us / 1000000 ? longest_alarm_us :
	    t.tv_sec * 1000000LL + t.tv_usec;
}

} // namespace

// A signal sent by kill, tgkill or pidfd_send_signal: its event, and
// whether it is one to tell.
bool
Tracer::on_kill(Proc &p, Event::Kill &k)
{
	const CallStop &s = p.entry;
	auto to = static_cast<pid_t>(s.args[0]);

	if (s.call == Call::pidfd_send_signal)
		to = pidfd_target(p.pid, static_cast<int>(s.args[0]));
	else if (s.call == Call::tgkill)
		to = tgid_of(static_cast<pid_t>(s.args[1]));
	k.target = peer(to);
	k.sig = static_cast<int>(s.call == Call::tgkill ? s.args[2] :
	    s.args[1]);
	if (k.sig <= 0 || k.sig > 64)
		return false;
	watch_pending(p, s.call == Call::tgkill ?
	    static_cast<pid_t>(s.args[1]) : to, k.sig);
	return true;
}

// A real-time interval timer set: armed as an alarm is.
void
Tracer::on_setitimer(Proc &p)
{
	const CallStop &s = p.entry;

	if (s.args[0] != ITIMER_REAL || !s.args[1])
		return;
	std::string v = read_bytes(p.pid, s.args[1], sizeof(itimerval));
	itimerval it{};
	if (v.size() != sizeof it)
		return;
	std::memcpy(&it, v.data(), sizeof it);
	long long in = micros(it.it_value), every = micros(it.it_interval);
	if (in >= 0 && every >= 0)
		arm(p, in, every);
}

// Calls that do not block and whose result does not matter here.
void
Tracer::on_quick_call(Proc &p)
{
	const CallStop &s = p.entry;
	Event::Kill k;
	std::uint64_t first = 0, last = 0;

	if (closed_fds(s, first, last)) {
		forget_fds(p, first, last);
		return;
	}
	if (row_of(s.call).args == Args::flags) {
		// Shared by every process that has the file open: what any
		// of them knows of its flags may be wrong now.
		for (const auto &[pid, o] : procs_)
			o->fds.clear();
		return;
	}
	switch (s.call) {
	case Call::kill:
	case Call::tgkill:
	case Call::pidfd_send_signal:
		if (on_kill(p, k))
			emit(k, p);
		return;
	case Call::alarm:
		// Its seconds are an unsigned int.
		arm(p, static_cast<long long>(s.args[0] & 0xffffffff) * 1000000,
		    0);
		return;
	case Call::setitimer:
		on_setitimer(p);
		return;
	case Call::sigaction: {
		if (!s.args[1] || s.args[0] < 1 || s.args[0] > 64)
			return;
		if (auto h = on_sigaction(p))
			hold_handler(p, *h);
		return;
	}
	case Call::sigprocmask:
		on_sigprocmask(p);
		return;
	default:
		return;
	}
}

void
Tracer::on_exit(Proc &p)
{
	CallStop s;

	p.await_exit = false;
	if (!call_stop(p.pid, s) || s.op != CallStop::Op::exit) {
		resume(p);
		return;
	}
	if (std::exchange(p.returning, false)) {
		on_handler_return(p, s.ret);
		resume(p);
		return;
	}
	if (writes(p.entry.call) || reads(p.entry.call)) {
		woke(p, s.ret);
		on_io_exit(p, s.ret);
		resume(p);
		return;
	}
	if (row_of(p.entry.call).cls == CallClass::sleep) {
		woke(p, s.ret);
		resume(p);
		return;
	}
	switch (p.entry.call) {
	case Call::execve:
	case Call::execveat:
		if (s.ret < 0)
			hold_exec(p, static_cast<int>(-s.ret));
		break;
	case Call::socketpair:
		if (s.ret == 0)
			pair_sockets(p);
		break;
	case Call::pipe:
	case Call::pipe2:
		on_pipe(p, s.ret);
		break;
	case Call::dup:
	case Call::dup2:
	case Call::dup3:
	case Call::fcntl:
		on_dup_exit(p, s.ret);
		break;
	case Call::kill:
	case Call::tgkill:
	case Call::pidfd_send_signal:
		on_kill_exit(p, s.ret);
		break;
	case Call::sigsuspend:
	case Call::pause:
	case Call::wait4:
	case Call::waitid:
		if (restarting(s.ret)) {
			p.interrupted = p.in_call;
			p.interrupted_by = s.ret;
		} else
			on_wait_result(p, s.ret);
		break;
	default:
		break;
	}
	resume(p);
}

void
Tracer::on_signal(Proc &p, int sig)
{
	siginfo_t si{};
	Event::Signal e;

	stuck_ = false;
	// Killed since it stopped, it is given nothing: a siginfo left
	// empty would read as a kill from process 0, and that of the stop
	// it makes as it exits is not this signal's.
	if (!ptrace_done(ptrace(PTRACE_GETSIGINFO, p.pid, 0, &si),
	    "ptrace(PTRACE_GETSIGINFO)") || si.si_signo != sig)
		return;
	e.sig = sig;
	locate(p);
	if (sig == SIGALRM && !own_alarm(p, si)) {
		resume(p, 0);
		return;
	}
	// The kernel's SIGPIPE, for a write no one can read, comes as from
	// the writer itself.
	bool broken_pipe = sig == SIGPIPE && si.si_code == SI_USER &&
	    si.si_pid == owner(p).pid && writes(p.entry.call);
	if (from_kernel(p, si) || broken_pipe) {
		e.origin = Event::Origin::kernel;
	} else if (sig == SIGALRM && si.si_code == SI_KERNEL) {
		e.origin = Event::Origin::alarm;
	} else if (si.si_code == SI_KERNEL && (sig == SIGINT ||
	    sig == SIGQUIT || sig == SIGTSTP)) {
		// The terminal's keys, sent by its line discipline to the
		// foreground group: the kernel's, from no process.
		e.origin = Event::Origin::terminal;
	} else if (si.si_code == SI_USER || si.si_code == SI_TKILL ||
	    si.si_code == SI_QUEUE) {
		e.origin = Event::Origin::kill;
		e.sender = peer(si.si_pid);
	} else if (si.si_code > 0 && (sig == SIGSEGV || sig == SIGBUS ||
	    sig == SIGFPE || sig == SIGILL || sig == SIGTRAP)) {
		e.origin = Event::Origin::fault;
		e.addr = reinterpret_cast<std::uintptr_t>(si.si_addr);
	}
	Signals st;
	bool known = signals_of(p.pid, st);
	bool caught = known && (st.caught >> (sig - 1) & 1);
	e.action = caught ? Event::Action::handler : known &&
	    (st.ignored >> (sig - 1) & 1) ? Event::Action::ignore :
	    Event::Action::by_default;
	// Untraced, the kernel would throw it away; under trace, a group
	// whose orphans trace adopted is tied by trace, so it would stop.
	bool thrown = e.action == Event::Action::by_default &&
	    (sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU) &&
	    orphaned_group(p);
	if (thrown)
		e.action = Event::Action::orphaned;
	std::uint64_t bit = 1ULL << (sig - 1);
	owner(p).pending_told &= ~bit;
	// Told as it was sent: untraced, it would never have come.
	bool discarded = (sig == SIGCHLD &&
	    e.action == Event::Action::by_default &&
	    std::exchange(owner(p).chld_discarded, false)) ||
	    (e.action == Event::Action::ignore &&
	    (owner(p).ignored_told & bit));
	owner(p).ignored_told &= ~bit;
	// The terminal's key ends the run: where each process stood first.
	if (e.origin == Event::Origin::terminal && sig != SIGTSTP &&
	    e.action == Event::Action::by_default)
		snapshot();
	if (told(sig, caught) && !discarded)
		emit(e, p);
	if (e.origin == Event::Origin::terminal)
		ignored_by_group(p, sig);
	if (caught)
		enter_handler(p, sig, e.origin == Event::Origin::fault);
	// Let through at its default action, it stops the whole group:
	// stopped from here, whenever that stop reaches us.
	if ((sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN ||
	    sig == SIGTTOU) && e.action == Event::Action::by_default)
		p.stopped = owner(p).stopped = true;
	else if (sig == SIGCONT)
		p.stopped = owner(p).stopped = false;
	resume(p, thrown ? 0 : sig);
}

// A process gone, as its tracer sees it; for the run's start and the
// orphans handed to us, also as their parent.
void
Tracer::on_gone(pid_t pid, int status)
{
	auto it = procs_.find(pid);
	if (it == procs_.end())
		return;
	Proc &p = *it->second;
	if (p.role.empty() && pid != root_)
		place(p, nullptr, false);
	// Its last write is unknown if it was still in it; else the write
	// went through.
	if (!p.unended.blocked)
		settle(p, false);
	p.unended.on = false;
	if (p.leader) {
		procs_.erase(it);
		return;
	}
	if (p.ended) {
		reaped(p, getpid(), Event::Reaped::Status::kept);
		orphans_.push_back(pid);
		return;
	}
	flush(p);
	p.ended = true;
	p.end = End::from_wait_status(status);
	p.by_trace = p.killed && p.end == End::killed(SIGKILL);
	p.ended_us = now_us();
	p.in_call = p.await_exit = false;
	emit(Event::Ended{p.end, p.by_trace, p.by_trace ? kill_why_ : ""},
	    p);
	if (every_signal_)
		chld_discarded(p);
	if (sites_.forget)
		sites_.forget(pid);
	for (auto &[cpid, c] : procs_) {
		if (c->parent != pid || c->reaped || c->leader)
			continue;
		c->parent = 0;
		emit(Event::Reparented{peer(getpid())}, *c);
	}
	// Ours, it is reaped already; another's, it waits as a zombie.
	if (pid != root_ && state_of(pid) != '\0')
		return;
	// Gone at once: ours; reaped by the kernel, as its parent ignores
	// SIGCHLD; or reaped by its parent, whose wait says so as it
	// returns.
	const Proc *parent = p.parent ? live(p.parent) : nullptr;
	bool ours = pid == root_ || !parent || parent->ended;
	if (ours)
		reaped(p, getpid(), Event::Reaped::Status::kept);
	else if (parent->chld_ignored || parent->chld_nocldwait)
		reaped(p, 0, Event::Reaped::Status::discarded);
	if (ours && pid != root_)
		orphans_.push_back(pid);
}
