// trace: runs a demo, or any program, under the tracer and shows who
// wrote each line and what happened between the lines. command.h says
// where each part is.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include <fcntl.h>
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

} // namespace

int
main(int argc, char **argv)
{
	Command c = parse(argc, argv);
	Launch l = launch_for(c);
	if (fcntl(1, F_GETFD) < 0)
		fail(status_failed, "standard output is closed");
	const char *no_colour = std::getenv("NO_COLOR");
	c.settings.colour = isatty(1) && !(no_colour && *no_colour) &&
	    !c.settings.jsonl;

	// Ctrl-C and Ctrl-\ are the program's: it ends as it would, and we
	// tell how. A reader gone is seen as a write that fails, so that
	// the run is ended before trace is.
	(void)signal(SIGINT, SIG_IGN);
	(void)signal(SIGQUIT, SIG_IGN);
	(void)signal(SIGPIPE, SIG_IGN);
	(void)signal(SIGCHLD, SIG_DFL);
	Out out;
	// A picture on standard output takes the text's place, the text's
	// first words included.
	std::unique_ptr<View> view;
	if (c.svg != "-" && c.perfetto != "-")
		view = c.settings.jsonl ? jsonl_view(out, c.settings) :
		    text_view(out, c.settings);
	// Files that cannot be written, for the pictures, are said before
	// the run if they can be.
	try {
		Pictures pictures(c.svg, c.perfetto, l.argv,
		    c.settings.time_lapse);
		Views views;
		views.add(view.get());
		views.add(pictures.view());
		Watch w(views, c.settings.time_lapse);
		int status = trace_run(l, w, out);
		quiet_if_reader_gone(out.error());
		if (out.failed())
			fail(status_failed, std::string("cannot write the "
			    "output: ") + std::strerror(out.error()));
		pictures.write();
		if (!w.cut.empty())
			std::cerr << "trace: ended the run: " << w.cut << "\n";
		else if (!w.ran && w.exec_error)
			std::cerr << "trace: cannot run " << c.program << ": " <<
			    std::strerror(w.exec_error) << "\n";
		return status;
	} catch (const std::runtime_error &e) {
		quiet_if_reader_gone(errno);
		fail(status_failed, e.what());
	}
}
