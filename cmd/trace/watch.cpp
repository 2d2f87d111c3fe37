// The run's events as trace itself follows them: the views are handed
// each, and a run in which nothing can wake any process is ended.
#include "command.h"
#include "tracer.h"

namespace {

// How long a run that nothing can wake is left as it stands, on the
// virtual clock, before it is ended: long enough for what it would stay
// as, a zombie its parent never waits for, to show as one.
constexpr long long stuck_hold_us = 10000000;

} // namespace

void
Watch::event(const Event &e)
{
	view.event(e);
	if (const auto *x = e.as<Event::Exec>(); x && e.role == "P" && !ran) {
		ran = x->error == 0;
		exec_error = x->error;
	} else if (const auto *b = e.as<Event::Blocked>()) {
		waiting[e.pid] = e.role + " is " + waiting_words(*b);
	} else if (e.is<Event::Woken>() || e.is<Event::Ended>()) {
		waiting.erase(e.pid);
	} else if (const auto *s = e.as<Event::Stuck>(); s && cut.empty()) {
		cut = "nothing in the run can wake any process, only a "
		    "signal from outside would: ";
		for (const auto &[pid, words] : waiting)
			cut += words + "; ";
		if (waiting.empty())
			for (const auto &w : s->waiting)
				cut += w.who.role + " in " + (w.in == "stop" ?
				    "a stop" : w.in) + "; ";
		cut += "no alarm is armed";
		tracer->hold(stuck_hold_us);
		view.cut(cut, tracer->now_us());
		tracer->kill_all("nothing in the run could wake it");
	}
}
