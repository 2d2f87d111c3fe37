// Descriptors as a student draws them: each pipe and socket pair of the
// run gets a number as it is made (or first used, if the run was handed
// it), and its ends are told by it as they are made, copied (dup, dup2,
// dup3, fcntl), closed, and found at end of file. Who still holds an end
// is asked of /proc, which the kernel keeps true, only as one is closed
// or the run is stopped. See tracer.h.
#include <algorithm>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

constexpr std::size_t most_named = 4096;	// pipes and pairs with a number
constexpr std::size_t most_fds = 4096;	// of a process, looked through

using Kind = Event::Target::Kind;

bool
channel(Kind k)
{
	return k == Kind::pipe || k == Kind::socket;
}

} // namespace

// The number of a pipe or socket pair (by either end), given it the
// first time: made, by the run.
int
Tracer::name_channel(std::pair<dev_t, ino_t> end, Kind kind, bool made)
{
	if (auto it = channels_.find(end); it != channels_.end())
		return it->second.id;
	// A program may make pipes without end: those of long ago lose
	// their numbers, which are not given again.
	if (channels_.size() >= most_named)
		channels_.clear();
	int &last = kind == Kind::pipe ? pipes_named_ : pairs_named_;
	channels_[end] = {++last, made};
	return last;
}

Event::Target
Tracer::target_of(Proc &p, int fd)
{
	const Dest &d = dest(p, fd);
	Event::Target t;

	switch (d.kind) {
	case Dest::Kind::none:
		return t;
	case Dest::Kind::pipe:
		t.kind = Kind::pipe;
		t.id = name_channel({d.dev, d.ino}, t.kind, false);
		t.made = channels_.at({d.dev, d.ino}).made;
		t.writes = d.writes;
		return t;
	case Dest::Kind::socket:
		// Only a pair the run made has a number: any other socket
		// leads out of the run.
		t.kind = Kind::socket;
		if (auto it = channels_.find({d.dev, d.ino});
		    it != channels_.end()) {
			t.id = it->second.id;
			t.made = it->second.made;
		}
		return t;
	case Dest::Kind::output:
	case Dest::Kind::file:
		t.kind = d.tty ? Kind::terminal : Kind::file;
		t.name = d.name;
		return t;
	}
	return t;
}

// The descriptors of the run's processes that lead to a pipe or socket,
// by its inode: to its write end (end 1), its read end (end 0) or either
// (-1); but skip's, in its process.
std::vector<Event::Fd>
Tracer::holders(ino_t ino, int end, pid_t of, int skip) const
{
	std::vector<Event::Fd> v;

	for (const auto &q : order_) {
		if (q->leader || q->ended || q->role.empty())
			continue;
		for (const OpenFd &f : open_fds(q->pid, most_fds)) {
			if (f.channel != ino || (q->pid == of && f.fd == skip))
				continue;
			int flags = end < 0 ? 0 : fd_flags(q->pid, f.fd);
			if (end >= 0 && (flags < 0 ||
			    ((flags & O_ACCMODE) == O_WRONLY) != (end == 1)))
				continue;
			Event::Fd h;
			h.who = peer(q->pid);
			h.fd = f.fd;
			v.push_back(std::move(h));
		}
	}
	return v;
}

// A pipe made: its two descriptors, as the call returned them.
void
Tracer::on_pipe(Proc &p, std::int64_t ret)
{
	std::string v = read_bytes(p.pid, p.entry.args[0], 2 * sizeof(int));
	int fds[2];
	struct stat st {};

	if (ret != 0 || v.size() != sizeof fds)
		return;
	std::memcpy(fds, v.data(), sizeof fds);
	forget_fds(p, static_cast<std::uint64_t>(fds[0]),
	    static_cast<std::uint64_t>(fds[0]));
	forget_fds(p, static_cast<std::uint64_t>(fds[1]),
	    static_cast<std::uint64_t>(fds[1]));
	if (!fd_target(p.pid, fds[0], st))
		return;
	int id = name_channel({st.st_dev, st.st_ino}, Kind::pipe, true);
	emit(Event::Pipe{Kind::pipe, id, {fds[0], fds[1]}}, p);
}

void
Tracer::on_dup_entry(Proc &p)
{
	const CallStop &s = p.entry;
	int from = static_cast<int>(s.args[0]);
	bool onto = s.call == Call::dup2 || s.call == Call::dup3;

	locate(p);
	p.dup_from = target_of(p, from);
	p.dup_over = {};
	if (onto && s.args[1] != s.args[0]) {
		p.dup_over = target_of(p, static_cast<int>(s.args[1]));
		p.dup_over_ino = dest(p, static_cast<int>(s.args[1])).ino;
	}
}

// A copy made, onto to: whatever to led to is closed first, and a copy
// of the run's standard output or error writes lines there.
void
Tracer::on_dup_exit(Proc &p, std::int64_t ret)
{
	const CallStop &s = p.entry;
	int from = static_cast<int>(s.args[0]);
	bool onto = s.call == Call::dup2 || s.call == Call::dup3;
	int to = onto ? static_cast<int>(s.args[1]) : static_cast<int>(ret);

	if (ret < 0 || to == from)
		return;
	forget_fds(p, static_cast<std::uint64_t>(to),
	    static_cast<std::uint64_t>(to));
	auto &copies = owner(p).copies;
	auto it = copies.find(from);
	if (from == 1 || from == 2 || it != copies.end())
		copies[to] = it != copies.end() ? it->second : from;
	else
		copies.erase(to);
	const char *call = call_name(s.call);
	if (channel(p.dup_over.kind) && p.dup_over.id)
		emit(Event::Close{call, to, p.dup_over, left_open(p.dup_over,
		    p.dup_over_ino, 0, -1)}, p);
	if ((channel(p.dup_from.kind) && p.dup_from.id) ||
	    (to <= 2 && p.dup_from.kind != Kind::none))
		emit(Event::Dup{call, from, to, p.dup_from}, p);
}

// The descriptors of the run that lead to the same end as t, whose
// inode is ino, but fd of process of.
std::vector<Event::Fd>
Tracer::left_open(const Event::Target &t, ino_t ino, pid_t of,
    int fd) const
{
	return holders(ino, t.kind == Kind::pipe ? static_cast<int>(t.writes) :
	    -1, of, fd);
}

// close, or close_range: each end of a pipe or socket pair closed.
void
Tracer::on_close(Proc &p)
{
	const CallStop &s = p.entry;
	std::uint64_t first = 0, last = 0;

	(void)closed_fds(s, first, last);
	std::vector<int> fds;
	if (s.call == Call::close)
		fds.push_back(static_cast<int>(s.args[0]));
	else
		for (const OpenFd &f : open_fds(p.pid, most_fds))
			if (f.channel && static_cast<std::uint64_t>(f.fd) >= first &&
			    static_cast<std::uint64_t>(f.fd) <= last)
				fds.push_back(f.fd);
	for (int on : fds) {
		Event::Target t = target_of(p, on);
		if (!channel(t.kind) || !t.id)
			continue;
		locate(p);
		emit(Event::Close{call_name(s.call), on, t, left_open(t,
		    dest(p, on).ino, owner(p).pid, on)}, p);
	}
	auto &copies = owner(p).copies;
	std::erase_if(copies, [first, last](const auto &c) {
		auto fd = static_cast<std::uint64_t>(c.first);
		return fd >= first && fd <= last;
	});
	forget_fds(p, first, last);
}

// An exec starting: the ends of the run's pipes and pairs it will close,
// those marked close-on-exec.
void
Tracer::closing_at_exec(Proc &p)
{
	p.cloexec.clear();
	if (channels_.empty())
		return;
	for (const OpenFd &f : open_fds(p.pid, most_fds)) {
		int flags = f.channel ? fd_flags(p.pid, f.fd) : -1;
		if (flags < 0 || !(flags & O_CLOEXEC))
			continue;
		Event::Target t = target_of(p, f.fd);
		if (channel(t.kind) && t.id)
			p.cloexec.push_back({f.fd, f.channel, t});
	}
}

// The exec went through: those ends are closed.
void
Tracer::closed_at_exec(Proc &p)
{
	for (const auto &c : p.cloexec)
		emit(Event::Close{"exec", c.fd, c.target, left_open(c.target,
		    c.ino, owner(p).pid, c.fd)}, p);
	p.cloexec.clear();
}

// A read that asked for bytes and got none: the other end is closed.
void
Tracer::tell_eof(Proc &p)
{
	int on = static_cast<int>(p.entry.args[0]);

	if (call_size(p.pid, p.entry) == 0)
		return;
	Event::Target t = target_of(p, on);
	if ((channel(t.kind) && t.id) || t.kind == Kind::terminal)
		emit(Event::Eof{on, t}, p);
}
