// Signal handlers as they run: from the signal's delivery to the
// handler's return (rt_sigreturn, which the filter stops on), what the
// process does is its handler's; then what the signal broke into goes
// on, and the tracer tells how: a call cut short fails with EINTR or
// starts again, a fault's instruction runs again. A process may also
// never come back from its handler: it ends there, or jumps out. See
// tracer.h.
#include <cerrno>
#include <csignal>
#include <utility>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

// Handlers within handlers deeper than this are not a story to tell; the
// oldest, which a jump out of a handler may have left, go first.
constexpr std::size_t deepest = 64;

} // namespace

// p's handler for sig is about to run: what it broke into, to tell once
// the handler returns.
void
Tracer::enter_handler(Proc &p, int sig, bool fault)
{
	Proc::Handling h;
	std::uint64_t nr = 0;

	h.sig = sig;
	h.site = p.site;
	h.fault = fault;
	// A wait of ours, cut short: the kernel restarts it after the
	// handler (SA_RESTART, or a call that always restarts), or it fails.
	bool restarts = p.interrupted_by == -513 || (p.interrupted_by == -512 &&
	    (owner(p).restarts >> (sig - 1) & 1));
	if (p.interrupted) {
		h.cut = call_name(p.entry.call);
		h.woken = !restarts;
		p.in_call = false;
		p.interrupted = restarts;
	} else if (cut_call(p.pid, nr) != 0) {
		const char *name = waiting_call_name(nr);
		h.cut = name ? name : "a system call";
	}
	if (p.handling.size() == deepest)
		p.handling.erase(p.handling.begin());
	p.handling.push_back(std::move(h));
}

// p's innermost handler returned, and rt_sigreturn with ret: the
// registers as they were when the signal came, but for a call cut short,
// whose result is now -EINTR, or its number again as it restarts.
void
Tracer::on_handler_return(Proc &p, std::int64_t ret)
{
	if (p.handling.empty())
		return;
	Proc::Handling h = std::move(p.handling.back());
	p.handling.pop_back();
	// Back where the signal found it.
	if (h.woken && ret == -EINTR) {
		p.site = h.site;
		emit(Event::Woken{.call = h.cut, .sig = h.sig, .error = EINTR},
		    p);
	} else if (!h.cut.empty() || h.fault) {
		p.site = h.site;
		emit(Event::Returned{h.sig, h.cut, ret == -EINTR ? EINTR : 0},
		    p);
	}
	// The mask it had before is back: a signal blocked in the handler,
	// and not now, that came meanwhile arrives.
	Signals s;
	if (signals_of(p.pid, s))
		arrive(p, s, s.pending & p.handler_mask & ~s.blocked);
}
