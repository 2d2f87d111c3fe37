// What each event says in trace's text: one short sentence after its
// process's role, in plain words.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "shown.h"

namespace {

std::string
joined(const std::vector<std::string> &words, const std::string &none)
{
	std::string s;

	for (const auto &w : words) {
		if (!s.empty())
			s += ' ';
		s += escaped(w);
	}
	return s.empty() ? none : s;
}

std::string
kill_target(const Event::Kill &k)
{
	pid_t to = k.target.pid;

	if (to > 0)
		return who(to, k.target.role);
	if (to == 0)
		return "its own process group";
	if (to == -1)
		return "every process it may signal";
	return "process group " + std::to_string(-to);
}

std::string
signal_words(const Event::Signal &e)
{
	if (e.action == Event::Action::discarded)
		return " is sent " + signal_name(e.sig) + " as " +
		    who(e.child.pid, e.child.role) + " ends: at its default "
		    "action, it is discarded, never delivered";
	std::string s = signal_name(e.sig);

	switch (e.origin) {
	case Event::Origin::alarm:
		s += " from its alarm";
		break;
	case Event::Origin::kill:
		s += (e.action == Event::Action::orphaned ? " by " : " from ") +
		    who(e.sender.pid, e.sender.role);
		break;
	case Event::Origin::fault:
		s += ": a fault at " + address(e.addr);
		break;
	case Event::Origin::terminal:
		s += std::string(" from the terminal (") + terminal_key(e.sig) +
		    ")";
		break;
	case Event::Origin::kernel:
		if (e.sig == SIGPIPE)
			s += ": it wrote into a pipe or socket whose other end "
			    "is closed";
		break;
	}
	if (e.action == Event::Action::orphaned)
		return " is sent " + s + ": its process group is orphaned, so "
		    "the kernel throws it away";
	return " gets " + s;
}

std::string
handler_words(const Event::Handler &e)
{
	std::string sig = signal_name(e.sig);

	if (!e.also.empty()) {
		std::vector<std::string> all{sig};
		for (int s : e.also)
			all.push_back(signal_name(s));
		std::string n = std::to_string(all.size()) + " signals";
		std::string which = signal_set(all, "and", "");
		switch (e.action) {
		case Event::Action::handler:
			return " catches " + n + " with a handler: " + which;
		case Event::Action::ignore:
			return " ignores " + n + ": " + which;
		case Event::Action::by_default:
		case Event::Action::discarded:
		case Event::Action::orphaned:
			break;
		}
		return " sets " + n + " back to their default actions: " +
		    which;
	}

	switch (e.action) {
	case Event::Action::handler:
		return " catches " + sig + " with a handler";
	case Event::Action::ignore:
		return " ignores " + sig;
	case Event::Action::by_default:
	case Event::Action::discarded:
	case Event::Action::orphaned:
		break;
	}
	return " sets " + sig + " back to its default action";
}

// Woken from a read or write: told by what it read or wrote, which
// follows, unless it failed.
std::string
woken_words(const Event::Woken &e)
{
	std::string s = " woken from " + e.call;

	if (moves_bytes(e.call) && !e.sig && !e.error)
		return "";

	if (e.sig)
		return s + " by " + signal_name(e.sig);
	if (e.child.pid)
		return s + ": " + who(e.child.pid, e.child.role) + " " +
		    change_name(e.change);
	if (e.error) {
		const char *name = strerrorname_np(e.error);
		return s + ": " + std::strerror(e.error) + " (" +
		    (name ? name : "?") + ")";
	}
	return s;
}

// What the signal broke into, once its handler has returned.
std::string
returned_words(const Event::Returned &e)
{
	std::string s = " returns from its " + signal_name(e.sig) +
	    " handler: ";

	if (e.cut.empty())
		return s + "the instruction that faulted runs again";
	s += e.cut + ", which it cut short, ";
	if (e.error)
		return s + "fails with " + (e.error == EINTR ? "EINTR" :
		    std::strerror(e.error));
	return s + "starts again";
}

// Why every try of a search failed: the one error, or how many each.
std::string
search_failed(const Event::Exec &e)
{
	std::map<int, std::size_t> by_error{{e.error, 1}};
	for (const auto &t : e.tried)
		by_error[t.error]++;
	if (by_error.size() == 1)
		return std::strerror(e.error);
	std::string s;
	for (const auto &[error, n] : by_error)
		s += (s.empty() ? "" : ", ") + std::string(std::strerror(error)) +
		    " in " + std::to_string(n);
	return s;
}

// Programs by name: their paths are in the JSON lines. A search of
// folders is told by the file it looks for.
std::string
exec_words(const Event::Exec &e)
{
	if (e.error && e.tried.empty())
		return " cannot exec " + escaped(e.path) + ": " +
		    std::strerror(e.error);
	if (e.error)
		return " cannot exec " + escaped(base_name(e.path)) +
		    ", tried in " + std::to_string(e.tried.size() + 1) +
		    " folders: " + search_failed(e);
	std::vector<std::string> argv = e.argv;
	if (!argv.empty())
		argv[0] = base_name(argv[0]);
	std::string s = " execs " + escaped(base_name(e.path)) + " as " +
	    joined(argv, "nothing");
	if (!e.tried.empty())
		s += ", found at " + escaped(e.path) + " after " +
		    std::to_string(e.tried.size()) + " other " +
		    (e.tried.size() == 1 ? "folder" : "folders");
	return s;
}

// Words after a space.
std::string
spaced(const std::string &words)
{
	return " " + words;
}

// Bytes that are not the run's output: how many, where, and how they
// begin.
std::string
io_words(const char *verb, std::uint64_t size, const std::string &where,
    int fd, const std::string &text)
{
	std::string s = verb;

	s += std::to_string(size);
	s += size == 1 ? " byte" : " bytes";
	s += where;
	s += " (fd " + std::to_string(fd) + ")";
	if (!text.empty())
		s += ": \"" + shortened(escaped(text), 32) + "\"";
	return s;
}

std::string
received_words(const Event::Received &e)
{
	std::string from = e.sender.pid ? " from " + who(e.sender.pid,
	    e.sender.role) + " through " + through_words(e.through, e.id) :
	    " from " + through_words(e.through, e.id);
	return io_words(" receives ", e.size, from, e.fd, e.text);
}

std::string
alarm_words(const Event::Alarm &e)
{
	if (e.seconds <= 0)
		return " cancels its alarm";
	return " sets an alarm for " + fixed(e.seconds,
	    e.seconds == std::floor(e.seconds) ? 0 : 3) + " s";
}

std::string
mask_words(const Event::Mask &e)
{
	if (e.how == Event::Mask::How::set)
		return " sets its blocked signals to " +
		    signal_set(e.signals, "and", "none");
	return spaced(how_name(e.how) + std::string("s ") +
	    signal_set(e.signals, "and", "nothing"));
}

std::string
ended_sentence(const Event::Ended &e)
{
	if (e.by_trace && !e.why.empty())
		return spaced(ended_words(e.end, true) + ": " + e.why);
	return spaced(ended_words(e.end, e.by_trace));
}

std::string
pending_words(const Event::Pending &e, const std::string &role)
{
	if (e.arrives == Event::Pending::Arrives::now)
		return " has " + signal_name(e.sig) + " pending, sent "
		    "while it was blocked: it arrives now";
	return " has " + signal_name(e.sig) + " pending: " + role +
	    " blocks it, and it arrives when " + role + " unblocks it";
}

} // namespace

std::string
sentence(const Event &e)
{
	using E = Event;
	return std::visit(Each{
	    [](const E::Line &) { return std::string(); },
	    [&e](const E::Fork &f) {
		    std::string s = " forks " + f.child.role + " (" +
			std::to_string(f.child.pid) + ")";
		    // Only the thread that forks goes on in the child.
		    if (!e.thread.empty())
			    s += ": only thread " + e.thread + " is copied "
				"into it";
		    return s;
	    },
	    [](const E::Thread &t) {
		    return " starts thread " + t.thread + " (" +
			std::to_string(t.tid) + ")";
	    },
	    [&e](const E::Exec &x) {
		    // The kernel ends every other thread as one execs.
		    return exec_words(x) + (e.thread.empty() || x.error ? "" :
			": the process's other threads end");
	    },
	    [](const E::Signal &x) { return signal_words(x); },
	    [](const E::Kill &k) {
		    return " sends " + signal_name(k.sig) + " to " +
			kill_target(k);
	    },
	    [](const E::Alarm &x) { return alarm_words(x); },
	    [](const E::Handler &x) { return handler_words(x); },
	    [](const E::Mask &x) { return mask_words(x); },
	    [](const E::Blocked &b) { return spaced(waiting_words(b)); },
	    [](const E::Woken &x) { return woken_words(x); },
	    [](const E::Ended &x) { return ended_sentence(x); },
	    [](const E::Reaped &r) {
		    return " reaped by " + who(r.reaper.pid, r.reaper.role) +
			(r.zombie_us > 0 ? ": it was a zombie for " +
			duration(r.zombie_us) : " at once");
	    },
	    [](const E::Reparented &r) {
		    const E::Peer &to = r.new_parent;
		    return " orphaned: " + who(to.pid, to.role) +
			(to.role == subreaper_role ? " (" +
			std::to_string(to.pid) + ")" : "") +
			" is its parent now";
	    },
	    [](const E::Stuck &) { return std::string(); },
	    [](const E::Zombie &z) {
		    return " is a zombie: it has ended and " +
			who(z.parent.pid, z.parent.role) +
			" has not waited for it";
	    },
	    [](const E::Sent &x) {
		    return io_words(" sends ", x.size, " into " +
			through_words(x.through, x.id), x.fd, x.text);
	    },
	    [](const E::Received &x) { return received_words(x); },
	    [](const E::Wrote &x) {
		    return io_words(" writes ", x.size, " to " +
			escaped(x.file), x.fd, x.text);
	    },
	    [&e](const E::Pending &x) { return pending_words(x, e.role); },
	    [](const E::Returned &x) { return returned_words(x); },
	    [](const E::Pipe &x) { return pipe_words(x); },
	    [](const E::Dup &x) { return dup_words(x); },
	    [&e](const E::Close &x) { return close_words(x, e.pid); },
	    [](const E::Eof &x) { return eof_words(x); },
	    // Told together, as the run's last section.
	    [](const E::Snapshot &) { return std::string(); },
	}, e.what);
}

std::string
ended_words(const End &end, bool by_trace)
{
	if (by_trace && end.how == End::How::killed)
		return "killed by trace (" + signal_name(end.value) + ")";
	return describe(end);
}
