// trace: runs a demo, or any program, under the tracer and shows who
// wrote each line and what happened between the lines. command.h says
// where each part is.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "command.h"
#include "pictures.h"
#include "tool.h"

const char tool_name[] = "trace";

namespace {

// A reader that went away (trace ... | head) ends trace as it ends any
// Unix tool: by SIGPIPE, and without a word.
void
quiet_if_reader_gone(int err)
{
	if (err != EPIPE)
		return;
	(void)signal(SIGPIPE, SIG_DFL);
	(void)raise(SIGPIPE);
}

// The descriptor the report goes to, a file opened before the run so
// that one that cannot be written is said before the program starts;
// -1 for none. A file is kept clear of 0, 1 and 2 should one of them be
// closed, and away from the program.
int
report_fd(const Command &c)
{
	if ((c.report == Command::To::out || c.svg == "-" || c.png == "-" ||
	    c.perfetto == "-") && fcntl(1, F_GETFD) < 0)
		fail(status_failed, "standard output is closed");
	if (c.report == Command::To::nowhere)
		return -1;
	if (c.report == Command::To::out)
		return 1;
	if (c.report == Command::To::err && fcntl(2, F_GETFD) < 0)
		fail(status_failed, "standard error is closed");
	if (c.report == Command::To::err)
		return 2;
	int fd = open(c.report_file.c_str(),
	    O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
	if (fd < 0)
		fail(status_failed, "cannot write " + c.report_file + ": " +
		    std::strerror(errno));
	if (fd > 2)
		return fd;
	int high = fcntl(fd, F_DUPFD_CLOEXEC, 3);
	int err = errno;
	close(fd);
	if (high < 0)
		fail(status_failed, "cannot write " + c.report_file + ": " +
		    std::strerror(err));
	return high;
}

// The report's width in columns: COLUMNS when it holds a number, else
// its terminal's, else 80; from 40, where the times and tags leave
// room for a few words, to 1000.
std::size_t
report_width(int fd)
{
	constexpr std::size_t least = 40, most = 1000;
	winsize ws{};
	std::size_t n = 0;
	const char *env = std::getenv("COLUMNS");
	std::string_view s = env ? env : "";

	if (std::from_chars(s.data(), s.data() + s.size(), n).ptr ==
	    s.data() + s.size() && n > 0)
		return std::clamp(n, least, most);
	if (fd >= 0 && isatty(fd) && ioctl(fd, TIOCGWINSZ, &ws) == 0 &&
	    ws.ws_col > 0)
		return std::clamp<std::size_t>(ws.ws_col, least, most);
	return 80;
}

std::string
report_name(const Command &c)
{
	if (c.report == Command::To::file)
		return c.report_file;
	return c.report == Command::To::out ? "the standard output" :
	    "the standard error";
}

// What trace says on standard error once the report is written: why it
// ended the run or could not start the program, or that a status it
// might have given for its own reasons is the program's.
void
last_words(const Command &c, const Watch &w, int status)
{
	if (!w.cut.empty())
		std::cerr << "trace: ended the run: " << w.cut << "\n";
	else if (!w.ran && w.exec_error)
		std::cerr << "trace: cannot run " << c.program << ": " <<
		    std::strerror(w.exec_error) << "\n";
	else if (w.exited && status >= status_ended &&
	    status <= status_not_found)
		std::cerr << "trace: the program itself exited with " <<
		    status << ", not trace\n";
}

// How the run was stepped, for the pictures to say; empty if it was not.
std::string
stepping(const Command &c)
{
	if (c.step)
		return "stepped one event at a time (--step)";
	if (c.pace_ms)
		return "paced at one event every " +
		    duration(c.pace_ms * 1000LL) + " (--pace)";
	return "";
}

} // namespace

int
main(int argc, char **argv)
{
	Command c = parse(argc, argv);
	std::optional<Stepper> step;
	c.settings.stepped = c.step || c.pace_ms;
	if (c.settings.stepped)
		step.emplace(c.step, c.pace_ms, c.settings.lines_only);
	Launch l = launch_for(c);
	if (c.settings.source == Settings::Sources::code)
		c.settings.sources_dir = demo_sources(c);
	int fd = report_fd(c);
	const char *no_colour = std::getenv("NO_COLOR");
	c.settings.colour = fd >= 0 && isatty(fd) &&
	    !(no_colour && *no_colour) && !c.settings.jsonl;
	c.settings.width = report_width(fd);

	// Ctrl-C and Ctrl-\ are the program's: it ends as it would, and we
	// tell how. A reader gone is seen as a write that fails, so that
	// the run is ended before trace is.
	(void)signal(SIGINT, SIG_IGN);
	(void)signal(SIGQUIT, SIG_IGN);
	(void)signal(SIGPIPE, SIG_IGN);
	(void)signal(SIGCHLD, SIG_DFL);
	Out out(fd);
	std::unique_ptr<View> view;
	if (fd >= 0)
		view = c.settings.jsonl ? jsonl_view(out, c.settings) :
		    text_view(out, c.settings);
	// Files that cannot be written, for the pictures, are said before
	// the run if they can be.
	try {
		Pictures pictures({c.svg, c.png, c.perfetto, c.slide}, l.argv,
		    c.settings.time_lapse);
		Views views;
		views.add(view.get());
		views.add(pictures.view());
		pictures.stepped(stepping(c));
		Watch w(views, c.settings.time_lapse);
		w.sources = c.settings.source != Settings::Sources::none;
		w.every_signal = c.settings.explain;
		w.step = step ? &*step : nullptr;
		int status = trace_run(l, w, out);
		quiet_if_reader_gone(out.error());
		if (out.failed())
			fail(status_failed, "cannot write " + report_name(c) +
			    ": " + std::strerror(out.error()));
		pictures.write();
		last_words(c, w, status);
		// Ended as the signal would have ended it, once the report
		// is out.
		if (w.asked) {
			(void)signal(w.asked, SIG_DFL);
			(void)raise(w.asked);
		}
		return status;
	} catch (const std::exception &e) {
		quiet_if_reader_gone(errno);
		fail(status_failed, e.what());
	}
}
