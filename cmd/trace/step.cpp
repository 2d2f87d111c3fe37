// Stepping through a run, --step and --pace: after each event shown the
// run waits, for a key read from the terminal or for the pace's time.
// The tracer hands each event over while the process it tells of is
// stopped, and lets no other on meanwhile: the wait keeps that process
// where it is, and every other stops at its own next stop.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "command.h"
#include "tool.h"
#include "tracer.h"

namespace {

const char prompt[] = "-- Enter: next event   c: run to the end   "
    "q: end the run --";
// Takes the prompt off its line, for what comes next to take its place.
const char unprompt[] = "\r\033[K";
constexpr char ctrl_c = 3, ctrl_backslash = 28;

// The terminal's settings while a key is read, for a signal that ends
// trace then to put back; -1 when none are changed.
volatile sig_atomic_t raw_fd = -1;
termios raw_was;

extern "C" void
put_back_and_end(int sig)
{
	if (raw_fd >= 0)
		(void)tcsetattr(raw_fd, TCSANOW, &raw_was);
	(void)signal(sig, SIG_DFL);
	(void)raise(sig);
}

// Signals that end trace, and would leave the terminal without echo.
void
put_back_on_signals()
{
	struct sigaction sa {};

	sa.sa_handler = put_back_and_end;
	sigemptyset(&sa.sa_mask);
	for (int sig : {SIGHUP, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGABRT})
		(void)sigaction(sig, &sa, nullptr);
}

// Waits ms, however often a signal cuts the sleep short.
void
pause_ms(int ms)
{
	timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000};

	while (nanosleep(&left, &left) != 0 && errno == EINTR)
		;
}

} // namespace

Stepper::Stepper(bool keys, int pace_ms, bool lines_only)
    : pace_ms_(pace_ms), lines_only_(lines_only)
{
	if (!keys)
		return;
	tty_ = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
	if (tty_ < 0 || !isatty(tty_))
		usage(std::string("--step reads its keys from a terminal, and "
		    "there is none here (/dev/tty: ") + std::strerror(errno) +
		    "); --pace SECONDS steps without one");
	put_back_on_signals();
}

Stepper::~Stepper()
{
	if (tty_ >= 0)
		close(tty_);
}

// One key, read after the prompt with the terminal's echo and line
// editing off for it alone: between keys the terminal is the program's,
// as it set it. c, to run to the end, if none can be read.
char
Stepper::key() const
{
	termios was {}, raw {};
	char c = 'c';

	if (tcgetattr(tty_, &was) != 0)
		return c;
	raw = was;
	raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
	raw.c_cc[VMIN] = 1;
	raw.c_cc[VTIME] = 0;
	raw_was = was;
	std::atomic_signal_fence(std::memory_order_seq_cst);
	raw_fd = tty_;
	// The prompt once keys are raw: one pressed as it shows is not
	// echoed or taken as a signal.
	if (tcsetattr(tty_, TCSANOW, &raw) == 0 && write_all(tty_, prompt))
		while (read(tty_, &c, 1) < 0 && errno == EINTR)
			;
	(void)tcsetattr(tty_, TCSANOW, &was);
	raw_fd = -1;
	(void)write_all(tty_, unprompt);
	return c;
}

// Waits for Enter (or space), c, or q; Ctrl-C and Ctrl-\ end the run as
// they would untraced, which the terminal cannot do while it is raw.
void
Stepper::ask(const Tracer &tracer)
{
	for (;;) {
		char c = key();
		if (c == '\n' || c == '\r' || c == ' ')
			return;
		bool quit = c == 'q' || c == ctrl_c || c == ctrl_backslash;
		if (quit)
			tracer.signal_all(c == ctrl_backslash ? SIGQUIT :
			    SIGINT);
		if (quit || c == 'c') {
			on_ = false;
			return;
		}
	}
}

void
Stepper::after(const Event &e, Out &out, const Tracer &tracer)
{
	// Only after what the report shows: a key per line of it.
	if (!on_ || e.is<Event::Stuck>() ||
	    (lines_only_ && !e.is<Event::Line>()))
		return;
	out.flush();
	if (tty_ >= 0)
		ask(tracer);
	else
		pause_ms(pace_ms_);
}
