// What the views say of descriptors as a student draws them: pipes and
// socket pairs by number, their ends made, copied, closed and found at
// end of file; what a call that sleeps on them waits for; and where each
// process stood as the run was ended, with who holds the other end of a
// pipe it waits on.
#include <algorithm>
#include <iterator>
#include <utility>

#include "shown.h"

namespace {

using Kind = Event::Target::Kind;

constexpr std::size_t most_holders = 3;	// named in a sentence

std::string
seconds_words(double s)
{
	return fixed(s, s == static_cast<double>(static_cast<long long>(s)) ?
	    0 : 3) + " s";
}

// "P (fd 4)", "C2 itself (fds 0 and 4)", "P (fd 4), C1 (fd 4) and 2
// more": each process once, its descriptors together.
std::string
holders_words(const std::vector<Event::Fd> &fds, pid_t self)
{
	std::vector<std::pair<const Event::Peer *, std::vector<int>>> by;

	for (const auto &f : fds)
		if (!by.empty() && by.back().first->pid == f.who.pid)
			by.back().second.push_back(f.fd);
		else
			by.push_back({&f.who, {f.fd}});
	std::string s;
	for (std::size_t i = 0; i < by.size() && i < most_holders; i++) {
		const auto &[p, held] = by[i];
		if (i > 0)
			s += i + 1 == by.size() ? " and " : ", ";
		s += who(p->pid, p->role) + (p->pid == self ? " itself" : "") +
		    (held.size() == 1 ? " (fd " : " (fds ");
		for (std::size_t k = 0; k < held.size(); k++)
			s += (k == 0 ? "" : k + 1 == held.size() ? " and " :
			    ", ") + std::to_string(held[k]);
		s += ")";
	}
	if (by.size() > most_holders)
		s += " and " + std::to_string(by.size() - most_holders) +
		    " more";
	return s;
}

std::string
ends(std::size_t n, const Event::Target &t)
{
	std::string what = t.kind == Kind::pipe ? (t.writes ? "write end" :
	    "read end") : "descriptor";
	return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// What a read or write on fd waits for.
std::string
io_wait_words(const std::string &call, const Event::Fd &f)
{
	std::string on = channel_words(f.target) + " (fd " +
	    std::to_string(f.fd) + ")";
	if (f.target.kind == Kind::none)
		return "on fd " + std::to_string(f.fd);
	if (!reads_bytes(call))
		return "on " + on + " until there is room in it";
	return "on " + on;
}

} // namespace

bool
moves_bytes(const std::string &call)
{
	static const char *const calls[] = {"read", "readv", "recvfrom",
	    "recvmsg", "write", "writev", "pwrite64", "sendto", "sendmsg"};
	return std::find(std::begin(calls), std::end(calls), call) !=
	    std::end(calls);
}

bool
reads_bytes(const std::string &call)
{
	return moves_bytes(call) && (call.starts_with("read") ||
	    call.starts_with("recv"));
}

std::string
through_words(const std::string &through, int id)
{
	Event::Target t;
	t.kind = through == "pipe" ? Kind::pipe : Kind::socket;
	t.id = id;
	return channel_words(t);
}

std::string
channel_words(const Event::Target &t)
{
	std::string id = t.id ? " " + std::to_string(t.id) : "";

	switch (t.kind) {
	case Kind::pipe:
		return t.id ? "pipe" + id : "a pipe";
	case Kind::socket:
		return t.id ? "socket pair" + id : "a socket";
	case Kind::terminal:
		return "the terminal";
	case Kind::file:
		return escaped(t.name);
	case Kind::none:
		break;
	}
	return "nothing";
}

std::string
target_words(const Event::Target &t)
{
	if (t.kind != Kind::pipe)
		return channel_words(t);
	return channel_words(t) + "'s " + (t.writes ? "write" : "read") +
	    " end";
}

std::string
pipe_words(const Event::Pipe &e)
{
	Event::Target t{e.kind, e.id};
	std::string a = "fd " + std::to_string(e.fds[0]);
	std::string b = "fd " + std::to_string(e.fds[1]);

	if (e.kind == Kind::socket)
		return " makes " + channel_words(t) + ": " + a + " and " + b;
	return " makes " + channel_words(t) + ": " + a + " reads, " + b +
	    " writes";
}

std::string
dup_words(const Event::Dup &e)
{
	std::string to = "fd " + std::to_string(e.to);

	if (e.call == "dup2" || e.call == "dup3")
		return " puts " + target_words(e.target) + " on " + to + " (" +
		    e.call + ")";
	return " copies fd " + std::to_string(e.from) + ", " +
	    target_words(e.target) + ", to " + to + " (" + e.call + ")";
}

// "closes fd 4, a write end of pipe 1: 1 write end left open (P, fd 4)".
std::string
close_words(const Event::Close &e, pid_t self)
{
	const Event::Target &t = e.target;
	std::string s = " closes fd " + std::to_string(e.fd) + ", ";

	s += t.kind == Kind::pipe ? std::string("a ") + (t.writes ? "write" :
	    "read") + " end of " + channel_words(t) : "an end of " +
	    channel_words(t);
	if (e.call == "exec")
		s += ", as exec closes it (close-on-exec)";
	else if (e.call != "close" && e.call != "close_range")
		s += ", as " + e.call + " puts another there";
	if (e.left.empty())
		return s + ": no " + (t.kind == Kind::pipe ? (t.writes ?
		    "write end" : "read end") : "descriptor of that end") +
		    " is left open";
	return s + ": " + ends(e.left.size(), t) + " left open, in " +
	    holders_words(e.left, self);
}

std::string
eof_words(const Event::Eof &e)
{
	std::string s = " reads end of file from " + channel_words(e.target) +
	    " (fd " + std::to_string(e.fd) + ")";

	if (e.target.kind == Kind::pipe)
		return s + ": no write end is left open";
	if (e.target.kind == Kind::socket)
		return s + ": its other end is closed";
	return s;
}

// A call that sleeps on descriptors or for a time: what it waits for.
std::string
sleep_words(const Event::Blocked &e)
{
	std::string s = "blocked in " + e.call;

	if (moves_bytes(e.call) && e.fds.size() == 1)
		return s + " " + io_wait_words(e.call, e.fds[0]);
	if (e.call == "sigtimedwait")
		s += " for " + signal_set(e.signals, "or", "no signal at all");
	for (std::size_t i = 0; i < e.fds.size(); i++)
		s += (i == 0 ? " on " : i + 1 == e.fds.size() ? " and " :
		    ", ") +
		    channel_words(e.fds[i].target) + " (fd " +
		    std::to_string(e.fds[i].fd) + ")";
	if (e.until)
		return s + " until a set time";
	if (e.seconds < 0)
		return s;
	bool limit = !e.fds.empty() || e.call == "sigtimedwait" ||
	    e.call.starts_with("epoll") || e.call.ends_with("poll") ||
	    e.call.find("select") != std::string::npos;
	return s + (limit ? ", for up to " : " for ") +
	    seconds_words(e.seconds);
}

namespace {

// A process's state, said short, for one that holds a pipe's end.
std::string
state_words(const Event &e)
{
	using S = Event::Snapshot::State;
	const auto *s = e.as<Event::Snapshot>();

	switch (s->state) {
	case S::running:
		return "running";
	case S::stopped:
		return "stopped, until it is sent SIGCONT";
	case S::zombie:
		return "a zombie: it has ended, and its parent has not waited "
		    "for it";
	case S::blocked:
		break;
	}
	return waiting_words(s->in);
}

} // namespace

std::string
stood_words(const Event &e, const std::vector<Event> &all)
{
	const auto *s = e.as<Event::Snapshot>();
	std::string words = state_words(e);

	if (s->others.empty() || s->in.fds.empty())
		return words;
	const Event::Target &t = s->in.fds[0].target;
	bool reader = reads_bytes(s->in.call);
	words += std::string("; its ") + (t.kind != Kind::pipe ? "other end" :
	    reader ? "write end" : "read end") + " is open in ";
	for (std::size_t i = 0; i < s->others.size(); i++) {
		const Event::Fd &f = s->others[i];
		if (i > 0)
			words += i + 1 == s->others.size() ? ", and in " :
			    ", in ";
		words += who(f.who.pid, f.who.role) + (f.who.pid == e.pid ?
		    " itself" : "") + " (fd " + std::to_string(f.fd) + ")";
		for (const Event &o : all)
			if (o.pid == f.who.pid && o.pid != e.pid)
				words += ", which is " + state_words(o);
	}
	return words;
}

std::string
verdict_words(const Event &e)
{
	const auto *s = e.as<Event::Snapshot>();
	const std::string &call = s->in.call;

	if (!s->never)
		return "";
	if (s->state == Event::Snapshot::State::stopped)
		return e.role + " can never go on: no process of the run can "
		    "send it SIGCONT";
	if (s->in.fds.size() == 1 && moves_bytes(call) &&
	    s->in.fds[0].target.kind == Kind::pipe) {
		const Event::Target &t = s->in.fds[0].target;
		bool reader = reads_bytes(call);
		return e.role + (reader ? " can never see end of file: every "
		    "write end of " : " can never finish its write: every read "
		    "end of ") + channel_words(t) + " is held by a process "
		    "that waits (a deadlock)";
	}
	if (call == "wait4" || call == "waitid")
		return e.role + " can never be woken: what it waits for waits "
		    "too (a deadlock)";
	return e.role + " can never be woken: every process of the run "
	    "waits, and no alarm is armed";
}

std::string
sleep_end_words(const Event::Blocked &b)
{
	bool limit = b.seconds >= 0 || b.until;

	if (b.fds.size() == 1 && reads_bytes(b.call))
		return "bytes or end of file come through " +
		    channel_words(b.fds[0].target);
	if (b.fds.size() == 1 && !b.call.ends_with("poll") &&
	    b.call.find("select") == std::string::npos)
		return "there is room in " + channel_words(b.fds[0].target);
	if (!b.fds.empty())
		return std::string("one of its descriptors is ready") +
		    (limit ? ", or its time is up" : "");
	return limit ? "its time is up" : "a signal it waits for arrives";
}
