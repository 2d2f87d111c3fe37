// orders: what it writes besides the report's text: the report whole on
// descriptor 1, its own failures, how far the runs have got, and how it
// ends when that is by a signal.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "orders.h"

namespace {

// Shown once the runs take longer than this, rewritten at most this often.
constexpr auto quiet_for = std::chrono::seconds(2);
constexpr auto redraw_every = std::chrono::milliseconds(100);

std::string
time_left(std::chrono::steady_clock::duration d)
{
	auto s = std::chrono::ceil<std::chrono::seconds>(d).count();
	if (s < 100)
		return "about " + std::to_string(s) + " s left";
	return "about " + std::to_string((s + 59) / 60) + " min left";
}

} // namespace

bool
put(const std::string &text)
{
	if (write_all(1, text))
		return true;
	// The reader is gone, as when head has had its lines: end as any
	// writer to a closed pipe does, with nothing to say.
	if (errno == EPIPE)
		die_of(SIGPIPE);
	cannot_write(errno);
	return false;
}

void
die_of(int sig)
{
	sigset_t set;

	sigemptyset(&set);
	sigaddset(&set, sig);
	(void)signal(sig, SIG_DFL);
	(void)sigprocmask(SIG_UNBLOCK, &set, nullptr);
	(void)raise(sig);
	// cppcheck-suppress unreachableCode ; only if raise should return
	_exit(128 + sig);
}

int
cannot_write(int err)
{
	std::cerr << "orders: cannot write the output: " << std::strerror(err)
	    << "\n";
	return status_failed;
}

Progress::Progress(bool on, int runs)
    : on_(on), runs_(runs), start_(std::chrono::steady_clock::now())
{
}

int
Progress::wait_ms() const
{
	return on_ ? static_cast<int>(redraw_every.count()) : -1;
}

void
Progress::update(int done)
{
	auto now = std::chrono::steady_clock::now();
	if (!on_ || now - start_ < quiet_for || now - drawn_ < redraw_every)
		return;
	std::string line = "\rorders: " + std::to_string(done) + "/" +
	    std::to_string(runs_) + " runs";
	if (done > 0)
		line += ", " + time_left((now - start_) * (runs_ - done) / done);
	drawn_ = now;
	if (line == shown_)
		return;
	// Whatever a longer line before it left is cleared.
	(void)write_all(2, line + "\033[K");
	shown_ = line;
}

void
Progress::clear()
{
	if (!shown_.empty())
		(void)write_all(2, "\r\033[K");
	shown_.clear();
}
