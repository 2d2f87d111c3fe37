// The run itself: started under the tracer, driven until every process
// is collected, past --timeout, on SIGTERM or SIGHUP to trace, or until
// the output fails; then summed up.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

#include "command.h"
#include "locate.h"
#include "tool.h"
#include "tracer.h"

namespace {

// SIGTERM or SIGHUP sent to trace, and by whom: trace kills the run and
// writes its report whole, as after Ctrl-C.
volatile sig_atomic_t asked_sig = 0;
volatile sig_atomic_t asked_by = 0;	// the sender's pid, 0: the kernel

void
on_asked_to_end(int sig, siginfo_t *si, void *)
{
	asked_sig = sig;
	asked_by = si->si_code == SI_KERNEL ? 0 : si->si_pid;
}

// Caught, and blocked but while the run's loop waits for it: one sent as
// the loop is busy cuts its next wait short. mask: the mask to wait with.
void
end_when_asked(sigset_t &mask)
{
	struct sigaction sa {};
	sigset_t asking;

	sa.sa_sigaction = on_asked_to_end;
	sa.sa_flags = SA_SIGINFO;
	sigemptyset(&sa.sa_mask);
	sigemptyset(&asking);
	for (int sig : {SIGTERM, SIGHUP}) {
		(void)sigaction(sig, &sa, nullptr);
		(void)sigaddset(&asking, sig);
	}
	(void)sigprocmask(SIG_BLOCK, &asking, &mask);
	for (int sig : {SIGTERM, SIGHUP})
		(void)sigdelset(&mask, sig);
}

// "trace was sent SIGTERM by process 4242 (timeout)".
std::string
asked_words(int sig, pid_t by)
{
	std::string s = "trace was sent " + signal_name(sig) + " by ";
	if (by <= 0)
		return s + "the kernel";
	s += "process " + std::to_string(by);
	std::ifstream comm("/proc/" + std::to_string(by) + "/comm");
	if (std::string name; std::getline(comm, name) && !name.empty())
		s += " (" + name + ")";
	return s;
}

int
shell_status(const End &end)
{
	return end.how == End::How::exited ? end.value : 128 + end.value;
}

[[noreturn]] void
cannot_trace(const std::system_error &e)
{
	if (e.code().value() != EPERM)
		fail(status_failed, std::string("cannot start the run: ") +
		    e.what());
	fail(status_failed, std::string(e.what()) + ": this system does not "
	    "let trace follow the program. Tracing one's own children is "
	    "refused when kernel.yama.ptrace_scope is 3 (see sysctl "
	    "kernel.yama.ptrace_scope; 0 or 1 allow it), in a container "
	    "started without CAP_SYS_PTRACE (docker run --cap-add=SYS_PTRACE), "
	    "where a seccomp profile refuses ptrace (docker run "
	    "--security-opt seccomp=unconfined), or when trace is traced "
	    "already (under strace or a debugger)");
}

// trace ends the run, and says why before its processes are killed for
// it.
void
cut(Watch &w, std::string why, long long us)
{
	w.cut = std::move(why);
	w.view.cut(w.cut, us);
}

std::string
timeout_words(int timeout_ms)
{
	std::ostringstream secs;

	secs << timeout_ms / 1000.0;
	return "the run went past --timeout " + secs.str() + " s";
}

// trace's exit status for a run: the program's as a shell tells it, or
// trace's own.
int
run_status(const Watch &w, const Outcome &o)
{
	if (w.asked)
		return 128 + w.asked;
	if (!w.cut.empty())
		return status_ended;
	if (!w.ran && w.exec_error)
		return w.exec_error == ENOENT ? status_not_found :
		    status_cannot_run;
	if (o.collected)
		return shell_status(o.end);
	return status_failed;
}

} // namespace

int
trace_run(const Launch &base, Watch &w, Out &out)
{
	Tracer tracer([&w, &out](const Event &e) {
		w.event(e);
		if (w.step)
			w.step->after(e, out, *w.tracer);
	}, w.time_lapse);
	Launch l = base;
	std::optional<Run> run;
	std::optional<Locator> sites;

	if (w.sources) {
		if (std::string why = Locator::unavailable(); !why.empty())
			fail(status_failed, why);
		sites.emplace();
		tracer.find_sites({[&sites](pid_t pid, pid_t tid, bool ending,
		    bool handler) {
			return sites->at(pid, tid, ending, handler);
		}, [&sites](pid_t pid) { sites->forget(pid); }});
	}
	if (w.step)
		tracer.one_write_at_a_time();
	if (w.every_signal)
		tracer.tell_every_signal();
	w.tracer = &tracer;
	l.tracer = &tracer;
	// --step's own handlers put the terminal back and end trace at once.
	sigset_t waiting;
	sigemptyset(&waiting);
	if (!w.step)
		end_when_asked(waiting);
	try {
		run.emplace(l);
	} catch (const std::system_error &e) {
		cannot_trace(e);
	}
	while (!tracer.done() && !run->outcome().timed_out && !out.failed()) {
		// Killed by the tracer, whose kills are told as trace's.
		if (w.cut.empty() && (asked_sig || run->time_left() == 0)) {
			w.asked = asked_sig;
			cut(w, w.asked ? asked_words(w.asked, asked_by) :
			    timeout_words(base.timeout_ms), tracer.now_us());
			tracer.snapshot();
			tracer.kill_all(w.cut);
		}
		run->pump(out.due_in_ms() >= 0 ? std::max(1, out.due_in_ms()) :
		    1000, w.step ? nullptr : &waiting);
		if (out.due())
			out.flush();
	}
	if (!w.step)
		(void)sigprocmask(SIG_SETMASK, &waiting, nullptr);
	if (out.failed())
		run->signal_group(SIGKILL);
	if (run->outcome().timed_out && w.cut.empty())
		cut(w, timeout_words(base.timeout_ms), tracer.now_us());
	const Outcome &o = run->finish();
	Ending end;
	end.why = w.cut;
	end.pid = o.pid;
	end.us = tracer.now_us();
	end.status = run_status(w, o);
	w.exited = w.cut.empty() && w.ran && o.collected &&
	    o.end.how == End::How::exited;
	w.view.summary(tracer.processes(), end);
	out.flush();
	if (sites && sites->lacked_lines())
		note("the program has code without line tables, where no line "
		    "can be told: build it with -g (gcc -g prog.c) to see them");
	return end.status;
}

