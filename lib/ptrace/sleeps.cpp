// Calls that may sleep on a descriptor or for a time: a read or write on
// a pipe, socket or terminal, nanosleep, poll, select, epoll_wait,
// sigtimedwait. Whether one sleeps is not known as it starts: it is told
// blocked once /proc shows it asleep in the call, looked at before any
// other stop is handled (whatever another process does next may wake
// it), and every few milliseconds meanwhile; one that returned before
// that was never seen to sleep, and is not told. See tracer.h.
#include <algorithm>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <sys/select.h>
#include <sys/time.h>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

constexpr std::uint64_t most_polled = 16;	// descriptors named of a poll

double
seconds_of(const std::string &bytes, bool micro)
{
	// timespec and timeval alike: seconds, then the rest.
	std::int64_t v[2] = {};
	if (bytes.size() != sizeof v)
		return -1;
	std::memcpy(v, bytes.data(), sizeof v);
	if (v[0] < 0 || v[1] < 0)
		return -1;
	return static_cast<double>(v[0]) + static_cast<double>(v[1]) /
	    (micro ? 1e6 : 1e9);
}

} // namespace

// At the start of a call that may sleep: watched until it is seen asleep
// or returns.
void
Tracer::may_sleep(Proc &p)
{
	p.sleepy = true;
	p.await_exit = true;
	if (std::find(sleepy_.begin(), sleepy_.end(), p.pid) == sleepy_.end())
		sleepy_.push_back(p.pid);
}

// Each call that may sleep, asleep now: told blocked.
void
Tracer::look_for_sleepers()
{
	std::erase_if(sleepy_, [this](pid_t pid) {
		Proc *p = live(pid);
		long nr = -1;
		std::uint64_t first = 0;
		if (!p || !p->sleepy || p->ended)
			return true;
		if (!sleeping(pid, nr, first) || nr < 0 ||
		    static_cast<std::uint64_t>(nr) != p->entry.nr ||
		    state_of(pid) != 'S')
			return false;
		p->sleepy = false;
		p->in_call = true;
		p->blocked_as = blocked_in(*p);
		emit(p->blocked_as, *p);
		return true;
	});
}

// One of p's descriptors, and where it leads.
Event::Fd
Tracer::fd_of(Proc &p, int fd)
{
	Event::Fd f;

	f.fd = fd;
	f.target = target_of(p, fd);
	return f;
}

// The descriptors a poll waits on, up to most_polled of them.
void
Tracer::polled(Proc &p, Event::Blocked &b)
{
	const CallStop &s = p.entry;
	std::uint64_t n = std::min(s.args[1] & 0xffffffff, most_polled);
	std::string v = read_bytes(p.pid, s.args[0], n * sizeof(pollfd));

	for (std::size_t i = 0; i + sizeof(pollfd) <= v.size();
	    i += sizeof(pollfd)) {
		pollfd f{};
		std::memcpy(&f, v.data() + i, sizeof f);
		if (f.fd >= 0)
			b.fds.push_back(fd_of(p, f.fd));
	}
}

// The descriptors a select waits to read or write on.
void
Tracer::selected(Proc &p, Event::Blocked &b)
{
	const CallStop &s = p.entry;
	auto n = std::min<std::uint64_t>(s.args[0], FD_SETSIZE);

	for (int set : {1, 2}) {
		if (!s.args[set])
			continue;
		std::string v = read_bytes(p.pid, s.args[set], (n + 7) / 8);
		for (std::size_t i = 0; i < v.size() * 8 && i < n &&
		    b.fds.size() < most_polled; i++)
			if (static_cast<unsigned char>(v[i / 8]) >> (i % 8) & 1)
				b.fds.push_back(fd_of(p, static_cast<int>(i)));
	}
}

// What p sleeps in, and on what, as its call's arguments say.
Event::Blocked
Tracer::blocked_in(Proc &p)
{
	const CallStop &s = p.entry;
	Event::Blocked b;

	b.call = call_name(s.call);
	if (reads(s.call) || writes(s.call)) {
		b.fds.push_back(fd_of(p, static_cast<int>(s.args[0])));
		return b;
	}
	switch (s.call) {
	case Call::nanosleep:
		b.seconds = seconds_of(read_bytes(p.pid, s.args[0], 16), false);
		break;
	case Call::clock_nanosleep:
		b.until = (s.args[1] & TIMER_ABSTIME) != 0;
		if (!b.until)
			b.seconds = seconds_of(read_bytes(p.pid, s.args[2], 16),
			    false);
		break;
	case Call::poll:
	case Call::ppoll:
		polled(p, b);
		if (s.call == Call::poll && static_cast<int>(s.args[2]) >= 0)
			b.seconds = static_cast<int>(s.args[2]) / 1e3;
		else if (s.call == Call::ppoll && s.args[2])
			b.seconds = seconds_of(read_bytes(p.pid, s.args[2], 16),
			    false);
		break;
	case Call::select:
	case Call::pselect6:
		selected(p, b);
		if (s.args[4])
			b.seconds = seconds_of(read_bytes(p.pid, s.args[4], 16),
			    s.call == Call::select);
		break;
	case Call::epoll_wait:
	case Call::epoll_pwait:
		if (static_cast<int>(s.args[3]) >= 0)
			b.seconds = static_cast<int>(s.args[3]) / 1e3;
		break;
	case Call::sigtimedwait:
		b.signals = signal_names(read_word(p.pid, s.args[0]));
		if (s.args[2])
			b.seconds = seconds_of(read_bytes(p.pid, s.args[2], 16),
			    false);
		break;
	default:
		break;
	}
	return b;
}

// Out of a call that may sleep: woken, if it was told blocked, unless a
// signal cut it short to be started again.
void
Tracer::woke(Proc &p, std::int64_t ret)
{
	p.sleepy = false;
	if (!p.in_call)
		return;
	if (restarting(ret)) {
		p.interrupted = true;
		p.interrupted_by = ret;
		return;
	}
	p.in_call = false;
	emit(Event::Woken{.call = call_name(p.entry.call),
	    .error = ret < 0 ? static_cast<int>(-ret) : 0}, p);
}

// Asleep so that only another process of the run can wake it: on a
// pipe or socket pair the run made, with no time limit.
bool
Tracer::sleeps_for_good(const Proc &p)
{
	const Event::Blocked &b = p.blocked_as;

	if (b.seconds >= 0 || b.until || b.fds.empty())
		return p.entry.call == Call::sigtimedwait && b.seconds < 0 &&
		    !b.until;
	return std::ranges::all_of(b.fds, [](const Event::Fd &f) {
		return f.target.made;
	});
}
