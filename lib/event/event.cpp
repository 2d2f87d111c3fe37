// The words for the events' kinds, origins, actions and signals: see
// event.h. Each word is in one table here; the tables indexed by an
// enum are as long as it.
#include <csignal>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "event.h"

namespace {

// value's word in names, which has one for each of E's values.
template <class E, std::size_t N>
const char *
word(const char *const (&names)[N], E value)
{
	return names[static_cast<std::size_t>(value)];
}

} // namespace

const char *
kind_name(const Event &e)
{
	return std::visit([](const auto &k) { return k.name; }, e.what);
}

bool
Event::sited() const
{
	return std::visit([](const auto &k) {
		return !requires { std::remove_cvref_t<decltype(k)>::befell; };
	}, what);
}

const char *
origin_name(Event::Origin origin)
{
	static const char *const names[] = {"alarm", "kill", "fault",
	    "kernel", "terminal"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Origin::terminal) + 1);
	return word(names, origin);
}

const char *
action_name(Event::Action action)
{
	static const char *const names[] = {"default", "ignore", "handler",
	    "discarded", "orphaned"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Action::orphaned) + 1);
	return word(names, action);
}

const char *
how_name(Event::Mask::How how)
{
	static const char *const names[] = {"block", "unblock", "set"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Mask::How::set) + 1);
	return word(names, how);
}

const char *
change_name(Event::Woken::Change change)
{
	static const char *const names[] = {"ended", "stopped", "continued"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Woken::Change::continued) + 1);
	return word(names, change);
}

const char *
status_name(Event::Reaped::Status status)
{
	static const char *const names[] = {"", "kept", "discarded"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Reaped::Status::discarded) + 1);
	return word(names, status);
}

const char *
arrival_name(Event::Pending::Arrives arrives)
{
	static const char *const names[] = {"later", "now"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Pending::Arrives::now) + 1);
	return word(names, arrives);
}

const char *
target_kind_name(Event::Target::Kind kind)
{
	static const char *const names[] = {"", "pipe", "socket",
	    "terminal", "file"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Target::Kind::file) + 1);
	return word(names, kind);
}

const char *
state_name(Event::Snapshot::State state)
{
	static const char *const names[] = {"running", "blocked", "stopped",
	    "zombie"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Snapshot::State::zombie) + 1);
	return word(names, state);
}

const char *
terminal_key(int sig)
{
	return sig == SIGINT ? "Ctrl-C" : sig == SIGQUIT ? "Ctrl-\\" :
	    "Ctrl-Z";
}
