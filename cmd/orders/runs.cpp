// orders: the runs, each made by a helper process of ours that is a
// child subreaper: it starts the demo through the runner, reads its output
// to the end, collects the demo and every process left behind, judges the
// run and writes back what is kept of it; we read the helpers' pipes and
// count each run in as it comes.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "orders.h"
#include "tracer.h"

namespace {

// The group of the run a helper is making, for end_run.
volatile sig_atomic_t run_group = 0;

// A helper interrupted, or left by us, takes its run along: nothing of it
// may go on by itself (a timer demo's parent can wait for ever).
void
end_run(int sig)
{
	if (run_group > 0)
		kill(-run_group, SIGKILL);
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
	Launch l;
	l.file = plan.argv[0];
	l.argv = plan.argv;
	l.cwd = plan.cwd;
	l.timeout_ms = (demo.seconds * 2 + 30) * 1000;
	try {
		std::optional<Tracer> tracer;
		if (plan.time_lapse || plan.writers) {
			tracer.emplace([&m](const Event &e) {
				if (e.kind == Event::Kind::line && e.fd == 1)
					m.written.emplace_back(e.pid, e.text);
			}, plan.time_lapse);
			l.tracer = &*tracer;
		}
		Run run(l);
		run_group = run.pid();
		bool nudged = false;
		while (run.reading()) {
			if (demo.nudge && !nudged && children_ended(run.pid())) {
				run.signal(demo.nudge);
				nudged = true;
			}
			run.pump(demo.nudge && !nudged ? 50 : 200);
		}
		m.outcome = run.finish();
		if (!plan.writers)
			m.written.clear();
	} catch (const std::system_error &e) {
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
	for (int sig : {SIGINT, SIGTERM, SIGHUP})
		(void)signal(sig, end_run);
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

// Reads what a helper has written; once it has all, counts its run in.
// False while there is more to come.
bool
take(Tally &t, Helper &h)
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
		Made failed;
		failed.outcome.err = "orders: the helper that made this run "
		    "failed\n";
		j = judge(t.demo, t.rules, failed);
	}
	tally(t, j);
	return true;
}

} // namespace

void
run_all(Tally &t, const Plan &plan)
{
	std::vector<Helper> live;
	int started = 0;
	Progress progress(plan.progress, plan.runs);

	while (started < plan.runs || !live.empty()) {
		for (; started < plan.runs && live.size() <
		    static_cast<std::size_t>(plan.jobs); started++)
			live.push_back(start_helper(t, plan));
		std::vector<pollfd> p;
		p.reserve(live.size());
		for (const auto &h : live)
			p.push_back({h.fd, POLLIN, 0});
		if (poll(p.data(), p.size(), progress.wait_ms()) < 0) {
			if (errno == EINTR)
				continue;
			fail(status_failed, std::string("cannot wait for the runs: ") +
			    std::strerror(errno));
		}
		for (std::size_t i = p.size(); i-- > 0;)
			if (p[i].revents && take(t, live[i]))
				live.erase(live.begin() + static_cast<long>(i));
		progress.update(t.runs);
	}
	progress.clear();
}
