// Starting a program and watching its run to the end: see runner.h.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "clock.h"
#include "runner.h"
#include "tracer.h"

namespace {

// What is read at most at once; once a run has written this much, the
// pipes get a moment to fill before each read, so that a long run is
// read in long pieces, not a line at a time as it comes.
constexpr std::size_t piece = 65536;
// Room in the output pipe for what a demo writes between two reads.
constexpr int pipe_room = 1 << 20;
constexpr int grace_ms = 2000;

void
nap()
{
	std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void
sever(int &fd)
{
	if (fd >= 0)
		close(fd);
	fd = -1;
}

std::vector<char *>
pointers(std::vector<std::string> &strings)
{
	std::vector<char *> v;

	v.reserve(strings.size() + 1);
	for (auto &s : strings)
		v.push_back(s.data());
	v.push_back(nullptr);
	return v;
}

// Our environment with the launch's changes.
std::vector<std::string>
environment(const Launch &l)
{
	std::vector<std::string> env;

	for (char **e = environ; *e; e++) {
		std::string kv(*e);
		if (!l.env.contains(kv.substr(0, kv.find('='))))
			env.push_back(kv);
	}
	for (const auto &[key, value] : l.env)
		if (value)
			env.push_back(key + "=" + *value);
	return env;
}

// In the child, from fork to exec: async-signal-safe calls only. The
// program starts as from a fresh shell, whatever we inherited.
// Under a tracer it waits on go until it is seized.
[[noreturn]] void
become(const Launch &l, const int fds[8], int file, char *const argv[],
    char *const envp[])
{
	struct sigaction dfl {};
	sigset_t none;

	dfl.sa_handler = SIG_DFL;
	sigemptyset(&none);
	if (l.own_group && setpgid(0, 0) != 0)
		_exit(126);
	// SIGKILL, SIGSTOP and the C library's own cannot be set: EINVAL.
	for (int sig = 1; sig < NSIG; sig++)
		if (sigaction(sig, &dfl, nullptr) != 0 && errno != EINVAL)
			_exit(126);
	if (sigprocmask(SIG_SETMASK, &none, nullptr) != 0 ||
	    (!l.keep_input && dup2(fds[0], 0) < 0))
		_exit(126);
	if (l.out != Launch::Output::ours &&
	    (dup2(file >= 0 ? file : fds[3], 1) < 0 ||
	    dup2(l.out == Launch::Output::null ? file : fds[5], 2) < 0))
		_exit(126);
	if (l.out == Launch::Output::closed)
		close(1);
	if (!l.cwd.empty() && chdir(l.cwd.c_str()) != 0)
		_exit(126);
	// The go's write end is the runner's alone: a runner gone before
	// the go ends the wait.
	if (l.tracer && (close(fds[7]) != 0 || Tracer::prepare(fds[6]) != 0))
		_exit(126);
	execve(l.file.c_str(), argv, envp);
	_exit(127);
}

} // namespace

Run::Run(const Launch &l)
    : tracer_(l.tracer), most_kept_(l.most_kept), input_(l.input),
      more_input_(l.more_input),
      deadline_ms_(mono_ms() + l.timeout_ms)
{
	start(l);
}

Run::~Run()
{
	if (finished_)
		return;
	signal_group(SIGKILL);
	// Left as an exception goes by, maybe the tracer's: whatever it
	// throws again is that one's echo.
	try {
		finish();
	} catch (const std::exception &) {
	}
}

void
Run::start(const Launch &l)
{
	std::vector<std::string> argv = l.argv, env = environment(l);
	if (argv.empty())
		argv.push_back(l.file);
	std::vector<char *> argvp = pointers(argv), envp = pointers(env);
	// in, out, err, and the tracer's go: read, write
	int fds[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
	auto fail = [&](const char *what) {
		int e = errno;
		if (o_.pid > 0) {
			kill(o_.pid, SIGKILL);
			waitpid(o_.pid, nullptr, __WALL);
			o_.pid = -1;
		}
		for (int fd : fds)
			if (fd >= 0)
				close(fd);
		sever(file_);
		throw std::system_error(e, std::generic_category(), what);
	};
	if (pipe2(fds, O_CLOEXEC) || pipe2(fds + 2, O_CLOEXEC) ||
	    pipe2(fds + 4, O_CLOEXEC) ||
	    (tracer_ && pipe2(fds + 6, O_CLOEXEC)))
		fail("pipe2");
	if (l.out == Launch::Output::file &&
	    (file_ = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600)) < 0)
		fail("open O_TMPFILE");
	if (l.out == Launch::Output::null &&
	    (file_ = open("/dev/null", O_WRONLY | O_CLOEXEC)) < 0)
		fail("open /dev/null");
	(void)fcntl(fds[2], F_SETPIPE_SZ, pipe_room);
	if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
		fail("prctl(PR_SET_CHILD_SUBREAPER)");
	o_.pid = fork();
	if (o_.pid < 0)
		fail("fork");
	if (o_.pid == 0)
		become(l, fds, file_, argvp.data(), envp.data());
	// The child does the same, so either may come first: the later
	// one's failure (it has run its program, or died) is no error.
	if (l.own_group)
		(void)setpgid(o_.pid, o_.pid);
	if (tracer_ && !traced(fds[7]))
		fail("ptrace(PTRACE_SEIZE)");
	if (fcntl(fds[1], F_SETFL, O_NONBLOCK) != 0)
		fail("fcntl(F_SETFL)");
	sever(fds[6]);
	sever(fds[7]);
	close(fds[0]);
	close(fds[3]);
	close(fds[5]);
	in_ = fds[1];
	out_ = fds[2];
	err_ = fds[4];
	if (l.keep_input || (input_.empty() && !more_input_))
		sever(in_);
	if (l.out == Launch::Output::null || l.out == Launch::Output::ours) {
		sever(out_);
		sever(err_);
		sever(file_);
	}
}

// Takes the child, waiting on go, under the tracer, then lets it go on
// to exec. False and errno if it cannot be traced.
bool
Run::traced(int go)
{
	try {
		tracer_->seize(o_.pid);
	} catch (const std::system_error &e) {
		errno = e.code().value();
		return false;
	}
	return write(go, "g", 1) == 1;
}

int
Run::time_left() const
{
	return static_cast<int>(std::max(0LL, deadline_ms_ - mono_ms()));
}

bool
Run::overdue()
{
	if (mono_ms() < deadline_ms_)
		return false;
	if (o_.timed_out)
		return true;
	o_.timed_out = true;
	signal_group(SIGKILL);
	deadline_ms_ = mono_ms() + grace_ms;
	return false;
}

void
Run::pump(int timeout_ms, const sigset_t *mask)
{
	if (overdue()) {
		sever(out_);
		sever(err_);
		return;
	}
	// Traced, the processes wait for us at every stop: no nap then.
	if (!tracer_ && o_.out.size() + o_.err.size() >= piece)
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	bool pending = in_ >= 0 && input_done_ < input_.size();
	pollfd fds[4] = {{out_, POLLIN, 0}, {err_, POLLIN, 0},
	    {pending ? in_ : -1, POLLOUT, 0},
	    {tracer_ ? tracer_->fd() : -1, POLLIN, 0}};
	int wait_ms = std::min(timeout_ms, std::max(1, time_left()));
	if (tracer_ && tracer_->wake_in_ms() >= 0)
		wait_ms = std::min(wait_ms, tracer_->wake_in_ms());
	timespec wait{wait_ms / 1000, wait_ms % 1000 * 1000000L};
	int ready = ppoll(fds, 4, &wait, mask);
	if (tracer_)
		tracer_->service();
	if (ready <= 0)
		return;
	char buf[piece];
	std::string *dest[2] = {&o_.out, &o_.err};
	int *source[2] = {&out_, &err_};
	for (int i = 0; i < 2; i++) {
		if (!fds[i].revents)
			continue;
		int &fd = *source[i];
		ssize_t n = read(fd, buf, sizeof buf);
		if (n > 0 && !o_.too_much)
			dest[i]->append(buf, static_cast<std::size_t>(n));
		else if (n <= 0 && (n == 0 || errno != EINTR))
			sever(fd);
	}
	if (most_kept_ && !o_.too_much &&
	    o_.out.size() + o_.err.size() > most_kept_) {
		o_.too_much = true;
		signal_group(SIGKILL);
	}
	if (fds[2].revents) {
		ssize_t n = write(in_, input_.data() + input_done_,
		    input_.size() - input_done_);
		if (n > 0)
			input_done_ += static_cast<std::size_t>(n);
		if ((n < 0 && errno != EAGAIN) ||
		    (input_done_ == input_.size() && !more_input_))
			sever(in_);
	}
}

bool
Run::feed(const std::string &bytes, bool last)
{
	int queued = 0;

	input_ += bytes;
	more_input_ = !last;
	while (in_ >= 0 && (input_done_ < input_.size() ||
	    (ioctl(in_, FIONREAD, &queued) == 0 && queued > 0))) {
		if (time_left() == 0)
			return false;
		pump(1);
	}
	if (last)
		sever(in_);
	return true;
}

// Never to a number of 0 or below: that would be our own group, or
// every process we may signal. A process gone is no error.
void
Run::signal(int sig) const
{
	if (o_.pid > 0)
		(void)kill(o_.pid, sig);
}

void
Run::signal_group(int sig) const
{
	if (tracer_)
		tracer_->signal_all(sig);
	else if (o_.pid > 0)
		(void)kill(-o_.pid, sig);
}

// Every process of the run is our child by now, the started one or an
// orphan handed to us, and in the group the started one leads: wait for
// the group until none of it is left. A child of ours from another run
// is not this run's.
void
Run::collect()
{
	for (;;) {
		int status;
		pid_t p = waitpid(-o_.pid, &status, WNOHANG);
		if (p < 0 && errno == EINTR)
			continue;
		if (p < 0)
			break;
		if (p == 0) {
			if (overdue())
				break;
			nap();
			continue;
		}
		if (p == o_.pid) {
			o_.end = End::from_wait_status(status);
			o_.collected = true;
		} else {
			o_.orphans.push_back({p, End::from_wait_status(status)});
		}
	}
}

// Traced, the tracer waits for every process of the run, and knows
// which came back to us.
void
Run::collect_traced()
{
	while (!tracer_->done() && !overdue()) {
		int wait_ms = tracer_->wake_in_ms();
		pollfd fd{tracer_->fd(), POLLIN, 0};
		poll(&fd, 1, wait_ms >= 0 ? std::min(wait_ms, time_left()) :
		    std::max(1, time_left()));
		tracer_->service();
	}
	if (const Traced *t = tracer_->find(o_.pid); t && t->ended) {
		o_.end = t->end;
		o_.collected = true;
	}
	// A process the tracer cannot tell of (its parent died making it,
	// before the tracer heard of it) is left out, not guessed at.
	for (pid_t orphan : tracer_->orphans())
		if (const Traced *t = tracer_->find(orphan))
			o_.orphans.push_back({orphan, t->end});
}

const Outcome &
Run::finish()
{
	if (finished_)
		return o_;
	finished_ = true;
	while (reading())
		pump(std::max(1, time_left()));
	sever(in_);
	if (tracer_)
		collect_traced();
	else
		collect();
	if (file_ >= 0) {
		char buf[piece];
		ssize_t n;
		for (off_t at = 0; (n = pread(file_, buf, sizeof buf, at)) > 0;
		    at += n)
			o_.out.append(buf, static_cast<std::size_t>(n));
		sever(file_);
	}
	return o_;
}
