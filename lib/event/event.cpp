// The words for the events' kinds, origins and signals: see event.h.
#include <cstring>
#include <iterator>

#include "event.h"

const char *
kind_name(Event::Kind kind)
{
	static const char *const names[] = {"line", "fork", "exec", "signal",
	    "kill", "alarm", "handler", "mask", "blocked", "woken", "ended",
	    "reaped", "reparented", "stuck", "zombie", "sent", "received",
	    "wrote", "pending", "returned"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Kind::returned) + 1);
	return names[static_cast<int>(kind)];
}

const char *
origin_name(Event::Origin origin)
{
	static const char *const names[] = {"alarm", "kill", "fault",
	    "kernel", "terminal"};
	static_assert(std::size(names) ==
	    static_cast<std::size_t>(Event::Origin::terminal) + 1);
	return names[static_cast<int>(origin)];
}

std::string
signal_name(int sig)
{
	const char *abbrev = sigabbrev_np(sig);

	return abbrev ? std::string("SIG") + abbrev :
	    "signal " + std::to_string(sig);
}
