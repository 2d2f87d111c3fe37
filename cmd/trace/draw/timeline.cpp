// The recorder: keeps every event of a run that a picture draws, lane
// by lane. See timeline.h.
#include <algorithm>
#include <map>

#include <unistd.h>

#include "timeline.h"
#include "words.h"

namespace {

// Of a message or a write, the bytes kept for a picture: enough for
// its tooltip or its arguments.
constexpr std::size_t most_kept = 512;

} // namespace

const Lane *
Timeline::find(pid_t pid) const
{
	std::size_t i = index(pid);

	return i < lanes.size() ? &lanes[i] : nullptr;
}

std::size_t
Timeline::index(pid_t pid) const
{
	auto it = std::find_if(lanes.begin(), lanes.end(),
	    [pid](const Lane &l) { return l.pid == pid; });
	return static_cast<std::size_t>(it - lanes.begin());
}

std::vector<long long>
Timeline::instants() const
{
	std::vector<long long> t{0, end_us};

	for (const auto &l : lanes) {
		t.insert(t.end(), {l.start_us, l.end_us, l.reaped_us,
		    l.orphaned_us, l.unwaited_us});
		for (const auto &x : l.lines)
			t.push_back(x.us);
		for (const auto &x : l.execs)
			t.push_back(x.us);
		for (const auto &x : l.blocked)
			t.insert(t.end(), {x.from_us, x.to_us});
		for (const auto &x : l.signals)
			t.push_back(x.us);
		for (const auto &x : l.kills)
			t.push_back(x.us);
		for (const auto &x : l.sent)
			t.push_back(x.us);
		for (const auto &x : l.received)
			t.push_back(x.us);
		for (const auto &x : l.wrote)
			t.push_back(x.us);
	}
	std::sort(t.begin(), t.end());
	t.erase(std::unique(t.begin(), t.end()), t.end());
	t.erase(t.begin(), std::lower_bound(t.begin(), t.end(), 0LL));
	return t;
}

Recorder::Recorder(std::vector<std::string> argv, bool time_lapse)
{
	t_.argv = std::move(argv);
	t_.time_lapse = time_lapse;
	t_.subreaper = getpid();
}

Lane &
Recorder::lane(const Event &e)
{
	std::size_t i = t_.index(e.pid);

	if (i == t_.lanes.size()) {
		Lane &l = t_.lanes.emplace_back();
		l.pid = e.pid;
		l.role = e.role;
	}
	return t_.lanes[i];
}

static void
unblock(Lane &l, long long us)
{
	if (!l.blocked.empty() && l.blocked.back().to_us < 0)
		l.blocked.back().to_us = us;
}

// The lane of the child a fork made: running its parent's program.
static Lane
child_lane(const Lane &parent, const Event &e, const Event::Peer &child)
{
	Lane c;
	c.pid = child.pid;
	c.role = child.role;
	c.program = parent.program;
	for (const auto &x : parent.execs)
		if (x.error == 0)
			c.program = x.program;
	c.parent = e.pid;
	c.start_us = e.us;
	c.forked_at = e.source;
	return c;
}

struct Recorder::Take {
	Recorder &r;
	Lane &l;
	const Event &e;

	void operator()(const Event::Line &x) const
	{
		l.lines.push_back({e.us, x.fd, x.text, e.source});
	}
	void operator()(const Event::Fork &x) const
	{
		if (r.t_.index(x.child.pid) == r.t_.lanes.size())
			r.t_.lanes.push_back(child_lane(l, e, x.child));
	}
	void operator()(const Event::Exec &x) const
	{
		l.execs.push_back({e.us, x.path, x.error, e.source});
		// The run's first process is trace's until its program starts.
		if (l.program.empty() && x.error == 0)
			l.program = x.path;
	}
	void operator()(const Event::Signal &x) const
	{
		l.signals.push_back({e.us, x.sig, x.origin, x.sender.pid,
		    x.addr, e.source});
	}
	void operator()(const Event::Kill &x) const
	{
		l.kills.push_back({e.us, x.target.pid, x.sig});
	}
	void operator()(const Event::Alarm &) const {}
	void operator()(const Event::Handler &) const {}
	void operator()(const Event::Mask &) const {}
	void operator()(const Event::Blocked &x) const
	{
		unblock(l, e.us);
		// Named by what it waits on, when that is one pipe or pair.
		std::string call = x.call;
		if (x.fds.size() == 1 && x.fds[0].target.id)
			call += " on " + channel_words(x.fds[0].target);
		l.blocked.push_back({e.us, -1, call, waiting_words(x),
		    e.source});
	}
	void operator()(const Event::Woken &) const { unblock(l, e.us); }
	void operator()(const Event::Ended &x) const
	{
		unblock(l, e.us);
		l.ended = true;
		l.end = x.end;
		l.end_us = e.us;
		l.ended_at = e.source;
		l.by_trace = x.by_trace;
		l.end_why = x.by_trace ? x.why : "";
	}
	void operator()(const Event::Reaped &x) const
	{
		l.reaper = x.reaper.pid;
		l.reaper_role = x.reaper.role;
		l.reaped_us = e.us;
	}
	void operator()(const Event::Reparented &) const
	{
		if (l.orphaned_us < 0)
			l.orphaned_us = e.us;
	}
	void operator()(const Event::Stuck &) const {}
	void operator()(const Event::Zombie &) const { l.unwaited_us = e.us; }
	void operator()(const Event::Sent &x) const
	{
		l.sent.push_back({e.us, x.fd, x.size,
		    x.text.substr(0, most_kept), x.through, x.channel, x.id});
	}
	void operator()(const Event::Received &x) const
	{
		r.reads_.emplace_back(r.t_.index(e.pid), l.received.size());
		l.received.push_back({e.us, x.fd, x.size, x.text, x.through,
		    x.channel, x.id, x.sender.pid});
	}
	void operator()(const Event::Wrote &x) const
	{
		l.wrote.push_back({e.us, x.fd, x.size,
		    x.text.substr(0, most_kept), x.file});
	}
	void operator()(const Event::Pending &) const {}
	void operator()(const Event::Returned &) const {}
	void operator()(const Event::Pipe &) const {}
	void operator()(const Event::Thread &) const {}
	void operator()(const Event::Dup &) const {}
	void operator()(const Event::Close &) const {}
	void operator()(const Event::Eof &) const {}
	void operator()(const Event::Snapshot &) const {}
};

void
Recorder::event(const Event &e)
{
	std::visit(Take{*this, lane(e), e}, e.what);
}

void
Recorder::cut(const std::string &why, long long)
{
	t_.cut = why;
}

void
Recorder::summary(const std::vector<Traced> &procs, const Ending &end)
{
	t_.end_us = end.us;
	t_.status = end.status;
	for (const auto &p : procs) {
		std::size_t i = t_.index(p.pid);
		if (i == t_.lanes.size()) {
			Lane &l = t_.lanes.emplace_back();
			l.pid = p.pid;
			l.role = p.role;
		}
		if (t_.lanes[i].program.empty())
			t_.lanes[i].program = p.program;
	}
	match();
}

// Which bytes each read took from which write. Through one pipe, a
// sender's bytes come out in the order they went in, and the tracer
// tells the reads in the order they took them; a write is seen to end
// only after its reader may have its bytes, so they are matched once the
// run is over. Each read is cut into parts, one per write it took from;
// a write is joined to the part that took its first byte.
void
Recorder::match()
{
	struct Unread {
		std::size_t next = 0;	// the sender's first send not all read
		std::uint64_t taken = 0;	// and how much of it is
	};
	std::map<std::pair<pid_t, std::uint64_t>, Unread> unread;
	std::vector<std::vector<Lane::Received>> parts(t_.lanes.size());

	for (auto [li, ri] : reads_) {
		Lane::Received r = std::move(t_.lanes[li].received[ri]);
		std::size_t from = r.from ? t_.index(r.from) : t_.lanes.size();
		Unread &u = unread[{r.from, r.channel}];
		std::uint64_t at = 0;
		while (from < t_.lanes.size() && at < r.size) {
			std::vector<Lane::Sent> &sent = t_.lanes[from].sent;
			while (u.next < sent.size() && (sent[u.next].channel !=
			    r.channel || u.taken == sent[u.next].size)) {
				u.next++;
				u.taken = 0;
			}
			if (u.next == sent.size())
				break;
			Lane::Sent &s = sent[u.next];
			Lane::Received part = r;
			part.size = std::min(s.size - u.taken, r.size - at);
			part.text = at < r.text.size() ? r.text.substr(at,
			    std::min<std::uint64_t>(part.size, most_kept)) : "";
			part.matched = true;
			part.begins = u.taken == 0;
			if (part.begins) {
				s.to = t_.lanes[li].pid;
				s.receipt = parts[li].size();
				s.us = std::min(s.us, r.us);
			}
			u.taken += part.size;
			at += part.size;
			parts[li].push_back(std::move(part));
		}
		if (at == r.size)
			continue;
		r.text = at < r.text.size() ? r.text.substr(at, most_kept) : "";
		r.size -= at;
		parts[li].push_back(std::move(r));
	}
	for (std::size_t i = 0; i < parts.size(); i++)
		t_.lanes[i].received = std::move(parts[i]);
}

std::string
role_of(const Timeline &t, pid_t pid)
{
	const Lane *l = t.find(pid);
	return who(pid, pid == t.subreaper ? subreaper_role : l ? l->role :
	    "");
}

std::string
sent_words(const Timeline &t, const Lane::Sent &s)
{
	std::string w = "sends ";

	w += counted(s.size, "byte", "bytes");
	if (s.to == 0)
		return w + " into a " + s.through + (s.through == "pipe" ?
		    ", not read in the run" : "");
	return w + " to " + role_of(t, s.to) + " through " +
	    through_words(s.through, s.id);
}

std::string
received_words(const Timeline &t, const Lane::Received &r)
{
	std::string w = "receives ";

	w += counted(r.size, "byte", "bytes");
	if (r.from == 0)
		return w + " from a " + r.through;
	return w + " from " + role_of(t, r.from) + " through " +
	    through_words(r.through, r.id);
}

std::string
wrote_words(const Lane::Wrote &w)
{
	std::string s = "writes ";

	s += counted(w.size, "byte", "bytes");
	s += " to ";
	s += escaped(w.path);
	return s;
}
