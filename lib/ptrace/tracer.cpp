// The tracing loop: every stop of every traced process, turned into
// events and resumed at once. See tracer.h.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "clock.h"
#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

constexpr long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEFORK |
    PTRACE_O_TRACEVFORK | PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC |
    PTRACE_O_TRACEEXIT | PTRACE_O_TRACESECCOMP | PTRACE_O_EXITKILL;
// How long to look for the next stop after one, before sleeping until
// it: a program that writes line after line stops again within
// microseconds, sooner than a sleeping core wakes (on a virtual machine,
// up to four times sooner).
constexpr long long spin_ns = 30000;

} // namespace

Tracer::Tracer(Sink sink, bool time_lapse)
    : sink_(std::move(sink)), time_lapse_(time_lapse)
{
	sigset_t chld, old;

	sigemptyset(&chld);
	sigaddset(&chld, SIGCHLD);
	if (sigprocmask(SIG_BLOCK, &chld, &old) != 0)
		throw std::system_error(errno, std::generic_category(),
		    "sigprocmask");
	chld_was_blocked_ = sigismember(&old, SIGCHLD) == 1;
	sigfd_ = signalfd(-1, &chld, SFD_NONBLOCK | SFD_CLOEXEC);
	if (sigfd_ < 0) {
		int e = errno;
		if (!chld_was_blocked_)
			(void)sigprocmask(SIG_SETMASK, &old, nullptr);
		throw std::system_error(e, std::generic_category(), "signalfd");
	}
	before_ = children_of(getpid());
	std::sort(before_.begin(), before_.end());
}

Tracer::~Tracer()
{
	signal_all(SIGKILL);
	close(sigfd_);
	// Cannot fail, with a valid how.
	if (!chld_was_blocked_) {
		sigset_t chld;
		sigemptyset(&chld);
		sigaddset(&chld, SIGCHLD);
		(void)sigprocmask(SIG_UNBLOCK, &chld, nullptr);
	}
}

int
Tracer::prepare(int go) noexcept
{
	char c = 0;
	ssize_t n;

	while ((n = read(go, &c, 1)) < 0 && errno == EINTR)
		;
	// Not seized, the tracer gone: not a step further untraced.
	if (n != 1) {
		errno = ESRCH;
		return -1;
	}
	// Only now: with no tracer yet, the calls it stops on would fail
	// (ENOSYS), read among them.
	return install_call_filter();
}

void
Tracer::seize(pid_t pid)
{
	if (ptrace(PTRACE_SEIZE, pid, 0, options) != 0)
		throw std::system_error(errno, std::generic_category(),
		    "ptrace(PTRACE_SEIZE)");
	start_ns_ = mono_ns();
	root_ = pid;
	Proc &p = proc(pid);
	p.role.assign(1, 'P');
	p.parent = 0;
	order_.push_back(procs_.at(pid));
}

long long
Tracer::now_us() const
{
	return (mono_ns() - start_ns_) / 1000 + skipped_us_;
}

// Not before the run's first program starts: until then it is ours.
void
Tracer::locate(Proc &p, bool ending)
{
	if (!sites_.at || owner(p).program.empty())
		return;
	p.site = sites_.at(p.leader ? p.leader : p.pid, p.pid, ending,
	    !p.handling.empty());
	if (!p.site.file.empty())
		p.own_seen = true;
	else if (p.own_seen && !p.leader && !ending && p.handling.empty())
		p.site.after_main = true;
}

// A thread's events are its process's.
Event
Tracer::made(Event::What what, const Proc &p, bool where) const
{
	const Proc *by = p.leader ? live(p.leader) : &p;
	by = by ? by : &p;
	Event e{.us = now_us(), .pid = by->pid, .role = by->role,
	    .what = std::move(what)};
	if (by->threads_made) {
		e.tid = p.pid;
		e.thread = p.thread;
	}
	where = where && e.sited();
	if (sites_.at && where)
		e.source = p.site;
	if (!p.handling.empty() && where) {
		e.handler = p.handling.back().sig;
		e.handler_cut = p.handling.back().cut;
	}
	return e;
}

void
Tracer::emit(Event::What what, const Proc &p, bool where)
{
	release_handlers();
	told_exec(p.pid);
	release_mask(p.pid);
	sink_(made(std::move(what), p, where));
}

Event::Peer
Tracer::peer(pid_t pid) const
{
	if (pid == 0)
		return {};
	return {pid, pid == getpid() ? subreaper_role : role_of(pid)};
}

void
Tracer::resume(Proc &p, int sig)
{
	(void)ptrace_done(ptrace(p.await_exit ? PTRACE_SYSCALL : PTRACE_CONT,
	    p.pid, 0, sig), "ptrace(PTRACE_CONT)");
}

void
Tracer::service()
{
	// SIGCHLD pends once however many children changed: one read
	// takes it, and any that comes later wakes the next poll.
	signalfd_siginfo si;
	(void)!read(sigfd_, &si, sizeof si);
	for (long long until = 0;;) {
		long long now = mono_ns();
		if (drain())
			until = now + spin_ns;
		else if (now >= until)
			break;
	}
	sweep();
	look_for_sleepers();
	// A run being ended ends whole: whatever the kernel handed us
	// since, never seen stop, goes too.
	if (!kill_why_.empty())
		for (pid_t pid : unseen())
			(void)kill(pid, SIGKILL);
	if (time_lapse_)
		try_fire();
}

// Every stop and end there is to take now; whether there was any.
bool
Tracer::drain()
{
	bool any = false;

	for (;;) {
		int status;
		pid_t pid = waitpid(-1, &status, __WALL | WNOHANG);
		if (pid < 0 && errno == EINTR)
			continue;
		if (pid <= 0)
			break;
		any = true;
		// A new process's first stop can come before its creator's
		// event, most often in the same batch: it waits until the
		// batch is read, so that its creator is known if it can be.
		if (WIFSTOPPED(status) && proc(pid).role.empty() &&
		    pid != root_) {
			// Its parent as it is now: it may die before the batch
			// is read, and hand the process on to us.
			if (Stat st; stat_of(pid, st))
				proc(pid).first_ppid = st.ppid;
			held_.emplace_back(pid, status);
		}
		else if (WIFSTOPPED(status))
			on_stop(pid, status);
		else
			on_gone(pid, status);
	}
	for (auto [pid, status] : std::exchange(held_, {}))
		on_stop(pid, status);
	return any;
}

void
Tracer::on_stop(pid_t pid, int status)
{
	Proc &p = proc(pid);
	int sig = WSTOPSIG(status), event = status >> 16;

	// Its creator's event never came (it was killed first).
	if (p.role.empty())
		place(p, nullptr, false);
	// Whatever this stop leads to may wake a process asleep now.
	if (!sleepy_.empty())
		look_for_sleepers();
	// Any stop but a call's or one a call makes comes as p returns from
	// the write it made last, or later.
	settle(p, event == 0 || event == PTRACE_EVENT_EXIT ||
	    event == PTRACE_EVENT_STOP);
	if (event == PTRACE_EVENT_SECCOMP)
		on_entry(p);
	else if (sig == (SIGTRAP | 0x80))
		on_exit(p);
	else if (event)
		on_event(p, event, sig);
	else
		on_signal(p, sig);
}

void
Tracer::on_entry(Proc &p)
{
	CallStop s;
	if (!call_stop(p.pid, s)) {
		resume(p);
		return;
	}
	// Between a call cut short and its restart: what is known of that
	// call stays.
	if (s.call == Call::sigreturn) {
		Signals st;
		p.returning = p.await_exit = true;
		p.handler_mask = signals_of(p.pid, st) ? st.blocked : 0;
		resume(p);
		return;
	}
	if (s.call != Call::execve && s.call != Call::execveat)
		told_exec(p.pid);
	// A call cut short by a signal, started again (restart_syscall
	// stands for the call it restarts).
	bool again = p.interrupted && (s.call == p.entry.call ||
	    s.call == Call::restart);
	p.interrupted = false;
	if (s.call == Call::restart && !again) {
		resume(p);
		return;
	}
	if (s.call != Call::restart)
		p.entry = s;
	p.await_exit = true;
	if (!changes_fds(s.call))
		locate(p);
	// Told blocked before, it goes on being so.
	if (writes(s.call) || reads(s.call)) {
		on_io_entry(p);
		if (again)
			p.in_call = p.await_exit = true;
		else if (p.await_exit && (p.io.tty ||
		    p.io.kind == Dest::Kind::pipe ||
		    p.io.kind == Dest::Kind::socket))
			may_sleep(p);
		resume(p);
		write_alone(p.pid);
		return;
	}
	if (row_of(p.entry.call).cls == CallClass::sleep) {
		if (again)
			p.in_call = true;
		else
			may_sleep(p);
		resume(p);
		return;
	}
	switch (s.call) {
	case Call::execve:
	case Call::execveat: {
		int at = s.call == Call::execveat;
		p.exec_path = read_string(p.pid, s.args[at]);
		p.exec_argv = read_argv(p.pid, s.args[at + 1]);
		// The next try of a search closes what the last would have.
		if (!searching(p)) {
			told_exec(p.pid);
			closing_at_exec(p);
		}
		break;
	}
	case Call::sigsuspend:
	case Call::pause:
	case Call::wait4:
	case Call::waitid:
		// Its mask, while it waits: what it blocks but that lets in.
		if (s.call == Call::sigsuspend && s.args[0] && !again)
			let_in(p, ~read_word(p.pid, s.args[0]));
		on_wait_entry(p, again);
		break;
	case Call::socketpair:
	case Call::pipe:
	case Call::pipe2:
		break;
	case Call::dup:
	case Call::dup2:
	case Call::dup3:
		on_dup_entry(p);
		break;
	case Call::fcntl:
		if (s.args[1] == F_DUPFD || s.args[1] == F_DUPFD_CLOEXEC) {
			on_dup_entry(p);
			break;
		}
		p.await_exit = false;
		on_quick_call(p);
		break;
	case Call::close:
	case Call::close_range:
		p.await_exit = false;
		on_close(p);
		break;
	default:
		p.await_exit = false;
		on_quick_call(p);
		break;
	}
	resume(p);
}
