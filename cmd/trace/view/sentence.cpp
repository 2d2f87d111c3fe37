// What each event says in trace's text: one short sentence after its
// process's role, in plain words.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "trace.h"

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
kill_target(const Event &e)
{
	if (e.other > 0)
		return who(e.other, e.other_role);
	if (e.other == 0)
		return "its own process group";
	if (e.other == -1)
		return "every process it may signal";
	return "process group " + std::to_string(-e.other);
}

std::string
signal_words(const Event &e)
{
	if (e.text == "discarded")
		return " is sent " + signal_name(e.sig) + " as " +
		    who(e.other, e.other_role) + " ends: at its default "
		    "action, it is discarded, never delivered";
	std::string s = " gets " + signal_name(e.sig);

	switch (e.origin) {
	case Event::Origin::alarm:
		return s + " from its alarm";
	case Event::Origin::kill:
		return s + " from " + (e.other == getpid() ? "trace" :
		    who(e.other, e.other_role));
	case Event::Origin::fault:
		return s + ": a fault at " + address(e.addr);
	case Event::Origin::terminal:
		return s + " from the terminal (" + (e.sig == SIGINT ?
		    "Ctrl-C" : e.sig == SIGQUIT ? "Ctrl-\\" : "Ctrl-Z") + ")";
	case Event::Origin::kernel:
		break;
	}
	return s;
}

std::string
handler_words(const Event &e)
{
	std::string sig = signal_name(e.sig);

	if (e.text == "handler")
		return " catches " + sig + " with a handler";
	if (e.text == "ignore")
		return " ignores " + sig;
	return " sets " + sig + " back to its default action";
}

std::string
woken_words(const Event &e)
{
	std::string s = " woken from " + e.call;

	if (e.sig)
		return s + " by " + signal_name(e.sig);
	if (e.other)
		return s + ": " + who(e.other, e.other_role) + " " +
		    (e.change.empty() ? "ended" : e.change);
	if (e.error) {
		const char *name = strerrorname_np(e.error);
		return s + ": " + std::strerror(e.error) + " (" +
		    (name ? name : "?") + ")";
	}
	return s;
}

// What the signal broke into, once its handler has returned.
std::string
returned_words(const Event &e)
{
	std::string s = " returns from its " + signal_name(e.sig) +
	    " handler: ";

	if (e.call.empty())
		return s + "the instruction that faulted runs again";
	s += e.call + ", which it cut short, ";
	if (e.error)
		return s + "fails with " + (e.error == EINTR ? "EINTR" :
		    std::strerror(e.error));
	return s + "starts again";
}

// Programs by name: their paths are in the JSON lines.
std::string
exec_words(const Event &e)
{
	if (e.error)
		return " cannot exec " + escaped(e.path) + ": " +
		    std::strerror(e.error);
	std::vector<std::string> argv = e.argv;
	if (!argv.empty())
		argv[0] = base_name(argv[0]);
	return " execs " + escaped(base_name(e.path)) + " as " +
	    joined(argv, "nothing");
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
io_words(const Event &e)
{
	std::string s = e.kind == Event::Kind::sent ? " sends " :
	    e.kind == Event::Kind::received ? " receives " : " writes ";
	s += std::to_string(e.size);
	s += e.size == 1 ? " byte" : " bytes";
	if (e.kind == Event::Kind::wrote)
		s += " to " + escaped(e.path);
	else if (e.kind == Event::Kind::sent)
		s += " into a " + e.path;
	else if (e.other)
		s += " from " + who(e.other, e.other_role) + " through a " + e.path;
	else
		s += " from a " + e.path;
	s += " (fd " + std::to_string(e.fd) + ")";
	if (!e.text.empty())
		s += ": \"" + shortened(escaped(e.text), 32) + "\"";
	return s;
}

} // namespace

std::string
sentence(const Event &e)
{
	switch (e.kind) {
	case Event::Kind::fork:
		return " forks " + e.other_role + " (" + std::to_string(e.other) +
		    ")";
	case Event::Kind::exec:
		return exec_words(e);
	case Event::Kind::signal:
		return signal_words(e);
	case Event::Kind::kill:
		return " sends " + signal_name(e.sig) + " to " + kill_target(e);
	case Event::Kind::alarm:
		if (e.seconds <= 0)
			return " cancels its alarm";
		return " sets an alarm for " + fixed(e.seconds,
		    e.seconds == std::floor(e.seconds) ? 0 : 3) + " s";
	case Event::Kind::handler:
		return handler_words(e);
	case Event::Kind::mask:
		if (e.text == "set")
			return " sets its blocked signals to " +
			    signal_set(e.signals, "and", "none");
		return spaced(e.text + "s " + signal_set(e.signals, "and",
		    "nothing"));
	case Event::Kind::blocked:
		return spaced(waiting_words(e));
	case Event::Kind::woken:
		return woken_words(e);
	case Event::Kind::ended:
		if (e.by_trace && !e.text.empty())
			return spaced(ended_words(e.end, true) + ": " + e.text);
		return spaced(ended_words(e.end, e.by_trace));
	case Event::Kind::reaped:
		return " reaped by " + who(e.other, e.other_role) +
		    (e.zombie_us > 0 ? ": it was a zombie for " +
		    duration(e.zombie_us) : " at once");
	case Event::Kind::reparented:
		return " orphaned: " + who(e.other, e.other_role) +
		    (e.other_role == subreaper_role ? " (" +
		    std::to_string(e.other) + ")" : "") + " is its parent now";
	case Event::Kind::returned:
		return returned_words(e);
	case Event::Kind::zombie:
		return " is a zombie: it has ended and " +
		    who(e.other, e.other_role) + " has not waited for it";
	case Event::Kind::sent:
	case Event::Kind::received:
	case Event::Kind::wrote:
		return io_words(e);
	case Event::Kind::pending:
		if (e.text == "now")
			return " has " + signal_name(e.sig) + " pending, sent "
			    "while it was blocked: it arrives now";
		return " has " + signal_name(e.sig) + " pending: " + e.role +
		    " blocks it, and it arrives when " + e.role +
		    " unblocks it";
	case Event::Kind::line:
	case Event::Kind::stuck:
		break;
	}
	return "";
}

std::string
ended_words(const End &end, bool by_trace)
{
	if (by_trace && end.how == End::How::killed)
		return "killed by trace (" + signal_name(end.value) + ")";
	return describe(end);
}
