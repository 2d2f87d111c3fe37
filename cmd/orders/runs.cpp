// orders: the runs, each made by a helper process of ours that is a
// child subreaper: it starts the demo through the runner, reads its output
// to the end, collects the demo and every process left behind, judges the
// run and writes back what is kept of it; we read the helpers' pipes and
// count each run in as it comes. Ctrl-C, or the end of the reader of our
// output, stops the runs early: each helper then takes its run along.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "orders.h"
#include "tracer.h"

namespace {

// How many bytes the first lines_kept lines of out take.
std::size_t
first_lines(const std::string &out)
{
	std::size_t at = 0;
	for (std::size_t n = 0; n < lines_kept && at < out.size(); n++) {
		std::size_t nl = out.find('\n', at);
		at = nl == std::string::npos ? out.size() : nl + 1;
	}
	return at;
}

// The last process number the system gave out; 0 if it cannot be read.
pid_t
last_pid()
{
	std::ifstream in("/proc/sys/kernel/ns_last_pid");
	pid_t pid = 0;
	if (!(in >> pid))
		return 0;
	return pid;
}

// The group of the run a helper is making, for end_run.
volatile sig_atomic_t run_group = 0;

// The signals that end a helper: Ctrl-C and a hang-up, which reach it
// with the terminal's group, and our stop, SIGTERM.
sigset_t
ending_signals()
{
	sigset_t set;

	sigemptyset(&set);
	for (int sig : {SIGINT, SIGTERM, SIGHUP})
		sigaddset(&set, sig);
	return set;
}

// A helper interrupted, or left by us, takes its run along: nothing of it
// may go on by itself (a timer demo's parent can wait for ever), nor be
// left for another to collect.
void
end_run(int sig)
{
	if (run_group > 0) {
		kill(-run_group, SIGKILL);
		while (waitpid(-run_group, nullptr, __WALL) > 0 || errno == EINTR)
			;
	}
	(void)signal(sig, SIG_DFL);
	(void)raise(sig);
}

// Whether pid has children and all of them have ended, uncollected.
bool
children_ended(pid_t pid)
{
	std::vector<pid_t> children = children_of(pid);

	return !children.empty() && std::all_of(children.begin(),
	    children.end(), [](pid_t c) { return state_of(c) == 'Z'; });
}

// One run, nothing on its input. A demo whose started process waits for
// ever once its children are done gets its nudge then.
Made
run_once(const Plan &plan, const DemoRules &demo)
{
	Made m;
	m.subreaper = getpid();
	Launch l;
	l.file = plan.file;
	l.argv = plan.argv;
	l.cwd = plan.cwd;
	l.timeout_ms = (demo.seconds * 2 + 30) * 1000;
	l.most_kept = most_output;
	// An end that came before the run's group is known could not take
	// the run along: it waits till then.
	sigset_t ends = ending_signals();
	sigprocmask(SIG_BLOCK, &ends, nullptr);
	try {
		std::optional<Tracer> tracer;
		if (plan.time_lapse || plan.writers) {
			// interleave writes 200,000 lines.
			tracer.emplace([&m](const Event &e) {
				const auto *line = e.as<Event::Line>();
				if (line && line->fd == 1 &&
				    m.written.size() < most_output / 16)
					m.written.emplace_back(e.pid, line->text);
			}, plan.time_lapse);
			l.tracer = &*tracer;
		}
		Run run(l);
		run_group = run.pid();
		sigprocmask(SIG_UNBLOCK, &ends, nullptr);
		bool nudged = false;
		while (run.reading()) {
			if (demo.nudge && !nudged && children_ended(run.pid())) {
				run.signal(demo.nudge);
				nudged = true;
			}
			run.pump(demo.nudge && !nudged ? 50 : 200);
		}
		m.outcome = run.finish();
		run_group = 0;
		if (m.outcome.too_much) {
			m.outcome.out.resize(first_lines(m.outcome.out));
			m.written.resize(std::min(m.written.size(), lines_kept));
		}
		if (!plan.writers)
			m.written.clear();
		if (tracer)
			m.processes = tracer->processes();
		m.last_pid = last_pid();
	} catch (const std::exception &e) {
		sigprocmask(SIG_UNBLOCK, &ends, nullptr);
		m.outcome = Outcome{};
		m.outcome.err = std::string("orders: ") + e.what() + "\n";
	}
	return m;
}

// In the helper: makes the run and writes what is kept of it to fd.
[[noreturn]] void
helper(const Tally &t, const Plan &plan, int fd, pid_t parent)
{
	prctl(PR_SET_CHILD_SUBREAPER, 1);
	// Ctrl-C or a hang-up ignored when orders started, as in a
	// background job, stays so. orders holds Ctrl-C back, to read it
	// from a descriptor; here it must take effect.
	for (int sig : {SIGINT, SIGTERM, SIGHUP})
		if (signal(sig, end_run) == SIG_IGN && sig != SIGTERM)
			(void)signal(sig, SIG_IGN);
	sigset_t ends = ending_signals();
	sigprocmask(SIG_UNBLOCK, &ends, nullptr);
	prctl(PR_SET_PDEATHSIG, SIGTERM);
	if (getppid() != parent)
		_exit(1);
	std::string s = encode(judge(t.demo, t.rules, run_once(plan, t.demo)));
	for (std::size_t at = 0; at < s.size();) {
		ssize_t n = write(fd, s.data() + at, s.size() - at);
		if (n <= 0)
			_exit(1);
		at += static_cast<std::size_t>(n);
	}
	_exit(0);
}

struct Helper {
	pid_t pid;
	int fd;
	std::string text;
};

Helper
start_helper(const Tally &t, const Plan &plan)
{
	int fds[2];
	pid_t parent = getpid();

	if (pipe2(fds, O_CLOEXEC) != 0)
		fail(status_failed, std::string("cannot make a pipe for a run: ") +
		    std::strerror(errno));
	pid_t pid = fork();
	if (pid < 0)
		fail(status_failed, std::string("cannot start a run: ") +
		    std::strerror(errno));
	if (pid == 0) {
		close(fds[0]);
		helper(t, plan, fds[1], parent);
	}
	close(fds[1]);
	return {pid, fds[0], {}};
}

// Reads what a helper has written; once it has all, counts its run in,
// unless our stop cut it short. False while there is more to come.
bool
take(Tally &t, Helper &h, bool stopped)
{
	char buf[65536];
	ssize_t n = read(h.fd, buf, sizeof buf);
	if (n > 0) {
		h.text.append(buf, static_cast<std::size_t>(n));
		return false;
	}
	if (n < 0 && errno == EINTR)
		return false;
	close(h.fd);
	waitpid(h.pid, nullptr, 0);
	Judged j;
	if (!decode(h.text, j)) {
		if (stopped)
			return true;
		Made failed;
		failed.outcome.err = "orders: the helper that made this run "
		    "failed\n";
		j = judge(t.demo, t.rules, failed);
	}
	tally(t, j);
	return true;
}

// What stops the runs early: Ctrl-C, read from a descriptor, and the end
// of the reader of our output, if that is a pipe.
struct Stops {
	int ctrl_c = -1;	// a signalfd; -1 if SIGINT was ignored
	sigset_t mask{};	// ours before
	bool out_is_pipe = false;
	bool interrupted = false, gone = false;

	[[nodiscard]] bool stopped() const { return interrupted || gone; }
};

Stops
watch_stops()
{
	Stops s;
	struct sigaction was {};
	sigset_t set;
	struct stat st {};

	sigemptyset(&set);
	sigaddset(&set, SIGINT);
	// Ignored when we started, as in a background job, it stays so.
	(void)sigaction(SIGINT, nullptr, &was);
	if (was.sa_handler != SIG_IGN) {
		sigprocmask(SIG_BLOCK, &set, &s.mask);
		s.ctrl_c = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
		if (s.ctrl_c < 0)
			sigprocmask(SIG_SETMASK, &s.mask, nullptr);
	}
	s.out_is_pipe = fstat(1, &st) == 0 && S_ISFIFO(st.st_mode);
	return s;
}

void
unwatch(const Stops &s)
{
	if (s.ctrl_c < 0)
		return;
	close(s.ctrl_c);
	sigprocmask(SIG_SETMASK, &s.mask, nullptr);
}

// Waits up to wait_ms for the helpers and for what stops the runs, and
// takes what came. A stop is looked at first: Ctrl-C reaches us as it
// reaches the helpers it ends, and those are runs cut short.
void
await(Tally &t, std::vector<Helper> &live, Stops &s, int wait_ms)
{
	std::vector<pollfd> p;
	p.reserve(live.size() + 2);
	for (const auto &h : live)
		p.push_back({h.fd, POLLIN, 0});
	p.push_back({s.ctrl_c, POLLIN, 0});
	// A pipe's writer is told its reader has gone by POLLERR alone.
	p.push_back({s.out_is_pipe && !s.gone ? 1 : -1, 0, 0});
	if (poll(p.data(), p.size(), wait_ms) < 0) {
		if (errno == EINTR)
			return;
		fail(status_failed, std::string("cannot wait for the runs: ") +
		    std::strerror(errno));
	}
	signalfd_siginfo info;
	if (p[live.size()].revents &&
	    read(s.ctrl_c, &info, sizeof info) == sizeof info)
		s.interrupted = true;
	if (p.back().revents & POLLERR)
		s.gone = true;
	for (std::size_t i = live.size(); i-- > 0;)
		if (p[i].revents && take(t, live[i], s.stopped()))
			live.erase(live.begin() + static_cast<long>(i));
}

} // namespace

bool
run_all(Tally &t, const Plan &plan)
{
	std::vector<Helper> live;
	int started = 0;
	Progress progress(plan.progress, plan.runs);
	Stops s = watch_stops();

	while ((!s.stopped() && started < plan.runs) || !live.empty()) {
		for (; !s.stopped() && started < plan.runs && live.size() <
		    static_cast<std::size_t>(plan.jobs); started++)
			live.push_back(start_helper(t, plan));
		bool was_stopped = s.stopped();
		await(t, live, s, progress.wait_ms());
		if (s.stopped() && !was_stopped)
			for (const auto &h : live)
				kill(h.pid, SIGTERM);
		progress.update(t.runs);
	}
	progress.clear();
	unwatch(s);
	// Nobody will read the report: end as a writer to a closed pipe.
	if (s.gone)
		die_of(SIGPIPE);
	return !s.interrupted;
}
