// A program run on a pseudo-terminal of the test's own, answered as a
// user at it would.
#include <csignal>
#include <cstdlib>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

OnTerminal
on_terminal(std::vector<std::string> argv, unsigned short cols,
    bool runs_tracer, const Answer &answer)
{
	OnTerminal t;
	std::vector<char *> cargv;
	for (auto &a : argv)
		cargv.push_back(a.data());
	cargv.push_back(nullptr);
	winsize ws{};
	ws.ws_row = 24;
	ws.ws_col = cols;
	int tty = -1;
	pid_t pid = forkpty(&tty, nullptr, nullptr, cols ? &ws : nullptr);
	if (pid == 0) {
		(void)setenv("NO_COLOR", "1", 1);
		if (runs_tracer)
			(void)setenv("ASAN_OPTIONS", traced_sanitizer, 0);
		execv(cargv[0], cargv.data());
		_exit(127);
	}
	if (pid < 0) {
		ADD_FAILURE() << "forkpty failed";
		return t;
	}
	char buf[4096];
	// A run that hangs fails the test instead of stalling it.
	for (pollfd p{tty, POLLIN, 0}; poll(&p, 1, 30000) > 0;) {
		ssize_t n = read(tty, buf, sizeof buf);
		if (n <= 0)
			break;	// EIO: nothing holds the terminal any more
		t.shown.append(buf, static_cast<std::size_t>(n));
		answer(t.shown, tty);
	}
	(void)kill(pid, SIGKILL);
	EXPECT_EQ(waitpid(pid, &t.status, 0), pid);
	close(tty);
	return t;
}
