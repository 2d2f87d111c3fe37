// What goes through the descriptors of the run: a write to the run's
// standard output or error is a line; into a pipe or socket, a message
// (sent, then received by whoever reads it); to anything else, a write to
// a file. Where each descriptor leads is asked of /proc once, and
// forgotten when the descriptor is closed or replaced, or at exec. Who
// sent the bytes in a pipe is kept in the order they went in, which is
// the order they come out. See tracer.h.
#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

constexpr std::size_t most_bytes = 1 << 20;	// of a line's write, kept
constexpr std::size_t most_shown = 4096;	// of a message, kept
// Of one write to the run's output, told as lines.
constexpr std::uint64_t most_told = std::uint64_t{64} << 20;
constexpr std::size_t most_senders = 1024;	// remembered in a pipe
constexpr std::size_t most_channels = 4096;	// pipes and socket pairs
// A write to a pipe up to this size goes in whole or not at all.
constexpr std::uint64_t pipe_buf = 4096;

bool
terminal(const struct stat &st)
{
	// The consoles and virtual terminals, /dev/tty, the pseudo-terminals.
	unsigned m = major(st.st_rdev);
	return S_ISCHR(st.st_mode) && (m == 4 || m == 5 ||
	    (m >= 136 && m <= 143));
}

} // namespace

// The run's standard output and error, as its first process has them
// when its program starts.
void
Tracer::outputs_of(pid_t pid)
{
	struct stat st {};

	for (int out : {1, 2})
		if (fd_target(pid, out, st))
			outputs_.emplace_back(st.st_dev, st.st_ino);
}

const Tracer::Dest &
Tracer::dest(Proc &p, int fd)
{
	static const Dest none;
	Proc &o = owner(p);

	if (auto it = o.fds.find(fd); it != o.fds.end())
		return it->second;
	struct stat st {};
	Dest d;
	if (!fd_target(p.pid, fd, st))
		return none;
	d.dev = st.st_dev;
	d.ino = st.st_ino;
	// /dev/null is the character device 1, 3.
	d.null = S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 3);
	d.tty = terminal(st);
	if (std::find(outputs_.begin(), outputs_.end(),
	    std::pair(st.st_dev, st.st_ino)) != outputs_.end()) {
		d.kind = Dest::Kind::output;
		if (S_ISFIFO(st.st_mode) || terminal(st)) {
			int flags = fd_flags(p.pid, fd);
			d.sure = flags >= 0 && !(flags & O_NONBLOCK);
		}
	} else if (S_ISFIFO(st.st_mode))
		d.kind = Dest::Kind::pipe;
	else if (S_ISSOCK(st.st_mode))
		d.kind = Dest::Kind::socket;
	else
		d.kind = Dest::Kind::file;
	if (auto it = peers_.find({d.dev, d.ino}); it != peers_.end())
		d.peer = it->second;
	if (S_ISFIFO(st.st_mode)) {
		int flags = fd_flags(p.pid, fd);
		d.writes = flags >= 0 && (flags & O_ACCMODE) == O_WRONLY;
	}
	if (d.kind == Dest::Kind::file || d.tty)
		d.name = fd_path(p.pid, fd);
	return o.fds[fd] = d;
}

void
Tracer::forget_fds(Proc &p, std::uint64_t from, std::uint64_t to)
{
	std::erase_if(owner(p).fds, [from, to](const auto &f) {
		auto fd = static_cast<std::uint64_t>(f.first);
		return fd >= from && fd <= to;
	});
}

// The run's standard output or error that fd is a copy of (dup), for
// its lines; else fd.
int
Tracer::copy_of(Proc &p, int fd)
{
	const auto &copies = owner(p).copies;
	auto it = copies.find(fd);
	return it == copies.end() ? fd : it->second;
}

// A call that writes or reads, as it starts: whether its end is waited
// for. A write to /dev/null cannot fail or fall short: one read whole is
// told at once; of any other, what was written is what the call returns.
void
Tracer::on_io_entry(Proc &p)
{
	const CallStop &s = p.entry;
	int on = static_cast<int>(s.args[0]);

	p.io = dest(p, on);
	p.bytes.clear();
	p.await_exit = false;
	if (reads(s.call)) {
		p.await_exit = p.io.kind == Dest::Kind::pipe ||
		    p.io.kind == Dest::Kind::socket || p.io.tty;
		return;
	}
	if (p.io.kind == Dest::Kind::none)
		return;
	std::uint64_t size = call_size(p.pid, s);
	bool line = p.io.kind == Dest::Kind::output;
	p.asked = size;
	p.sent_told = false;
	p.bytes = call_bytes(p.pid, s, size, line ? most_bytes : most_shown);
	// Queued as it starts: a reader can take the bytes before the
	// writer's call is seen to end.
	if (p.io.kind == Dest::Kind::pipe || p.io.peer)
		queue(p, static_cast<std::int64_t>(size));
	// A short line to a blocking pipe or terminal: whether it went out
	// is known at the writer's next stop, without one at its end; but
	// a write let go alone is stopped at its end, to be told there.
	if (line && p.io.sure && !one_write_ && size <= pipe_buf &&
	    p.bytes.size() == size &&
	    (s.call == Call::write || s.call == Call::writev)) {
		p.await_exit = false;
		p.unended = {true, copy_of(p, on), size, s.ip, s.nr, 0, false};
		return;
	}
	if (!p.io.null || p.bytes.size() < size) {
		p.await_exit = true;
		return;
	}
	if (line)
		line_bytes(p, copy_of(p, on), p.bytes, size);
	else
		on_io_exit(p, static_cast<std::int64_t>(size));
}

void
Tracer::on_io_exit(Proc &p, std::int64_t ret)
{
	int on = static_cast<int>(p.entry.args[0]);
	auto size = static_cast<std::uint64_t>(ret);

	if ((p.io.kind == Dest::Kind::pipe || p.io.peer) &&
	    writes(p.entry.call)) {
		auto asked = static_cast<std::int64_t>(p.asked);
		if (std::max<std::int64_t>(ret, 0) < asked)
			queue(p, std::max<std::int64_t>(ret, 0) - asked);
	}
	if (ret == 0 && reads(p.entry.call))
		tell_eof(p);
	if (ret <= 0)
		return;
	if (reads(p.entry.call)) {
		if (p.io.kind == Dest::Kind::pipe ||
		    p.io.kind == Dest::Kind::socket)
			received(p, size);
	} else if (p.io.kind == Dest::Kind::output) {
		write_lines(p, copy_of(p, on), size);
	} else if (p.io.kind == Dest::Kind::file) {
		emit(Event::Wrote{on, p.io.name, size, p.bytes.substr(0, size)},
		    p);
	} else if (!p.sent_told) {
		sent(p, p.bytes.substr(0, size), size);
	}
	p.sent_told = false;
	p.bytes.clear();
}

// Tells p's write whose end it was not stopped for, at its next stop or
// once /proc shows it out of the call. Stopped where the call returned,
// p holds what it returned. Anywhere else, the call went through whole:
// it could have fallen short only if a signal came, which stops p as
// the call returns, or a missing reader, which sends SIGPIPE.
void
Tracer::settle(Proc &p, bool at_return)
{
	auto u = p.unended;
	auto ret = static_cast<std::int64_t>(u.size);

	if (!u.on)
		return;
	p.unended.on = false;
	if (at_return)
		(void)returned_here(p.pid, u.ip, u.nr, ret);
	if (ret > 0) {
		auto n = std::min(u.size, static_cast<std::uint64_t>(ret));
		p.bytes.resize(n);
		line_bytes(p, u.fd, p.bytes, n);
	}
	p.bytes.clear();
}

// Every write whose end was not stopped for, of a process that has left
// the call since: running, or sleeping in another. One found running
// twice in a row, 100 ms apart, has left a call that takes microseconds.
void
Tracer::settle_unended()
{
	for (const auto &[pid, p] : procs_) {
		auto &u = p->unended;
		long nr = 0;
		std::uint64_t first = 0;
		if (!u.on)
			continue;
		if (!sleeping(pid, nr, first)) {
			if (++u.running >= 2)
				settle(*p, false);
		} else if (static_cast<std::uint64_t>(nr) == u.nr &&
		    first == static_cast<std::uint64_t>(u.fd)) {
			u.blocked = true;
			u.running = 0;
		} else {
			settle(*p, false);
		}
	}
}

// Adds size bytes of p's to the pipe it writes into; a negative size
// takes back what a write asked for and did not write.
void
Tracer::queue(Proc &p, std::int64_t size)
{
	Proc &o = owner(p);
	std::pair<dev_t, ino_t> into{p.io.dev, p.io.peer ? p.io.peer : p.io.ino};
	// Pipes whose bytes have all been read are forgotten first.
	if (pipes_.size() >= most_channels && !pipes_.contains(into))
		std::erase_if(pipes_, [](const auto &c) {
			return std::all_of(c.second.begin(), c.second.end(),
			    [](const Sent &s) { return s.left == 0; });
		});
	if (pipes_.size() >= most_channels && !pipes_.contains(into))
		pipes_.clear();
	std::deque<Sent> &q = pipes_[into];

	// Its latest bytes are the ones its write did not take.
	for (std::size_t i = q.size(); size < 0 && i-- > 0;)
		if (q[i].pid == o.pid) {
			q[i].left -= std::min(q[i].left,
			    static_cast<std::uint64_t>(-size));
			break;
		}
	if (size < 0)
		return;
	if (!q.empty() && q.back().pid == o.pid) {
		q.back().left += static_cast<std::uint64_t>(size);
		q.back().tid = p.pid;
	} else {
		q.push_back({o.pid, o.role, static_cast<std::uint64_t>(size),
		    p.pid});
	}
	if (q.size() > most_senders)
		q.pop_front();
}

// A write to the run's output, told line by line: what was kept of it
// as it started, then the rest read a piece at a time from the writer,
// still stopped where it wrote them, so that what is held stays bounded.
// Past most_told bytes, the rest is only counted, and the line they end
// is shown cut short.
void
Tracer::write_lines(Proc &p, int fd, std::uint64_t size)
{
	std::uint64_t kept = std::min<std::uint64_t>(size, most_told);
	std::uint64_t at = std::min<std::uint64_t>(p.bytes.size(), kept);

	p.bytes.resize(at);
	line_bytes(p, fd, p.bytes, at);
	while (at < kept) {
		std::string piece = call_bytes(p.pid, p.entry, kept,
		    most_bytes, at);
		if (piece.empty())
			break;
		at += piece.size();
		line_bytes(p, fd, piece, piece.size());
	}
	if (size > at)
		line_bytes(p, fd, std::string(), size - at);
}

void
Tracer::sent(Proc &p, std::string bytes, std::uint64_t size)
{
	bool pipe = p.io.kind == Dest::Kind::pipe;
	int on = static_cast<int>(p.entry.args[0]);
	emit(Event::Sent{on, pipe ? "pipe" : "socket", p.io.peer ? p.io.peer :
	    p.io.ino, size, std::move(bytes), target_of(p, on).id}, p);
}

// A message read before its writer's call is seen to end is told as
// sent first. A write of up to 4096 bytes goes in whole or not at all:
// some of it read, all of it went.
void
Tracer::sent_before(pid_t tid)
{
	auto it = procs_.find(tid);
	if (it == procs_.end())
		return;
	Proc &w = *it->second;
	if (!w.await_exit || !writes(w.entry.call) || w.sent_told ||
	    w.asked > pipe_buf || w.bytes.size() != w.asked ||
	    (w.io.kind != Dest::Kind::pipe && w.io.kind != Dest::Kind::socket))
		return;
	w.sent_told = true;
	sent(w, w.bytes, w.asked);
}

// The ends of a socket pair just made, each told the other's: what one
// end sends, the other receives.
void
Tracer::pair_sockets(Proc &p)
{
	std::string v = read_bytes(p.pid, p.entry.args[3], 2 * sizeof(int));
	int fds[2];
	struct stat a {}, b {};

	if (v.size() != sizeof fds)
		return;
	std::memcpy(fds, v.data(), sizeof fds);
	if (!fd_target(p.pid, fds[0], a) || !fd_target(p.pid, fds[1], b))
		return;
	// A program may make pairs without end: those of long ago are
	// forgotten, and what goes through them has no known sender.
	if (peers_.size() >= most_channels)
		peers_.clear();
	peers_[{a.st_dev, a.st_ino}] = b.st_ino;
	peers_[{b.st_dev, b.st_ino}] = a.st_ino;
	int id = name_channel({a.st_dev, a.st_ino}, Event::Target::Kind::socket,
	    true);
	channels_[{b.st_dev, b.st_ino}] = {id, true};
	emit(Event::Pipe{Event::Target::Kind::socket, id, {fds[0], fds[1]}}, p);
}

// Bytes read out of a pipe or socket: told by sender, as far as the
// pipe remembers who sent them. A pipe no process of the run wrote into
// brings the run its input, which is not a message.
void
Tracer::received(Proc &p, std::uint64_t size)
{
	auto it = pipes_.find({p.io.dev, p.io.ino});
	bool pipe = p.io.kind == Dest::Kind::pipe;
	std::deque<Sent> *q = it == pipes_.end() ? nullptr : &it->second;

	if (pipe && !q)
		return;
	std::string bytes = call_bytes(p.pid, p.entry, size, most_shown);
	std::uint64_t at = 0;
	while (at < size) {
		Event::Received e;
		e.fd = static_cast<int>(p.entry.args[0]);
		e.through = pipe ? "pipe" : "socket";
		e.channel = p.io.ino;
		e.id = target_of(p, e.fd).id;
		e.size = size - at;
		while (q && !q->empty() && q->front().left == 0)
			q->pop_front();
		if (q && !q->empty()) {
			Sent &from = q->front();
			sent_before(from.tid);
			e.sender = {from.pid, from.role};
			e.size = std::min(from.left, e.size);
			from.left -= e.size;
			if (from.left == 0)
				q->pop_front();
		}
		if (at < bytes.size())
			e.text = bytes.substr(at, e.size);
		at += e.size;
		emit(e, p);
	}
}
