// trace: runs a demo, or any program, under the tracer and shows who
// wrote each line and what happened between the lines. This file reads
// the command line, finds the program and makes the run; trace.h says
// where the rest is.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include "demo_rules.h"
#include "pictures.h"
#include "runner.h"
#include "tool.h"
#include "trace.h"
#include "tracer.h"

namespace fs = std::filesystem;

const char tool_name[] = "trace";

namespace {

// Long enough for any run someone waits for; --timeout says otherwise.
constexpr int default_timeout_ms = 24 * 3600 * 1000;
constexpr double most_seconds = 2000000;

const char help[] =
    "usage: trace [OPTIONS] DEMO|PATH [ARGS...]\n"
    "Runs a program and shows every line it writes, tagged with the role\n"
    "and number of the process that wrote it and the time since the start,\n"
    "and between the lines what its processes did: forks, execs, signals,\n"
    "waits, ends and reaps; then how each process ended and who reaped it.\n"
    "P is the process started, C1, C2, ... the others as they appear.\n"
    "\n"
    "DEMO, a name without '/', is a demo in the folder trace is in, run as\n"
    "its rules say (becometwin from that folder); PATH runs as given from\n"
    "here. ARGS go to the program, which reads trace's standard input.\n"
    "\n"
    "Options:\n"
    "  -l, --lines            only the lines the program wrote, tagged\n"
    "      --format FORMAT    text (the default), or jsonl: one JSON object\n"
    "                         per event, then one per process and the end\n"
    "      --time-lapse       fire the earliest alarm as soon as every\n"
    "                         process waits, so that timer demos take\n"
    "                         moments; times are then virtual (marked ~).\n"
    "                         A run no process of which can ever be woken\n"
    "                         is ended.\n"
    "      --timeout SECONDS  end the run past this many seconds (default:\n"
    "                         24 hours)\n"
    "      --svg FILE         also draw the run as a timeline picture, one\n"
    "                         lane per process, in FILE (SVG)\n"
    "      --perfetto FILE    also write the run in the trace-event JSON\n"
    "                         format, to explore in ui.perfetto.dev or\n"
    "                         chrome://tracing\n"
    "  -h, --help             this help\n"
    "\n"
    "The pictures are written once the run is over; with FILE -, the\n"
    "picture goes to standard output instead of the text.\n"
    "\n"
    "On a terminal each process has a colour of its own; none with NO_COLOR\n"
    "set or when the output is not a terminal. Ctrl-C reaches the program\n"
    "as it would untraced.\n"
    "\n"
    "Exit status: the program's, as a shell reports it (128 + the signal\n"
    "that killed it), or trace's own:\n"
    "  2    the command line was wrong\n"
    "  124  trace ended the run: past --timeout, or nothing could wake it\n"
    "  125  trace itself failed: ptrace not permitted, output not written\n"
    "  126  the program cannot be run\n"
    "  127  the program was not found\n";

int
seconds_ms(const char *s)
{
	char *end;
	errno = 0;
	double secs = std::strtod(s, &end);
	if (*s == '\0' || *end != '\0' || errno || !(secs >= 0.001) ||
	    secs > most_seconds)
		usage("--timeout wants a number of seconds from 0.001 to 2000000, "
		    "not '" + std::string(s) + "'");
	return static_cast<int>(secs * 1000);
}

struct Command {
	Settings settings;
	int timeout_ms = default_timeout_ms;
	std::string svg;
	std::string perfetto;
	std::string program;
	std::vector<std::string> args;
};

Command
parse(int argc, char **argv)
{
	static const option longs[] = {{"help", no_argument, nullptr, 'h'},
	    {"lines", no_argument, nullptr, 'l'},
	    {"format", required_argument, nullptr, 'f'},
	    {"time-lapse", no_argument, nullptr, 't'},
	    {"timeout", required_argument, nullptr, 'T'},
	    {"svg", required_argument, nullptr, 'S'},
	    {"perfetto", required_argument, nullptr, 'P'},
	    {nullptr, 0, nullptr, 0}};
	Command c;
	int opt;

	opterr = 0;
	while ((opt = getopt_long(argc, argv, "+:hl", longs, nullptr)) != -1) {
		std::string given = argv[optind - 1];
		if (opt == 'h') {
			std::cout << help;
			std::exit(std::cout.flush() ? 0 : status_failed);
		} else if (opt == 'l') {
			c.settings.lines_only = true;
		} else if (opt == 'f' && (std::strcmp(optarg, "text") == 0 ||
		    std::strcmp(optarg, "jsonl") == 0)) {
			c.settings.jsonl = optarg[0] == 'j';
		} else if (opt == 'f') {
			usage("--format is text or jsonl, not '" +
			    std::string(optarg) + "'");
		} else if (opt == 't') {
			c.settings.time_lapse = true;
		} else if (opt == 'T') {
			c.timeout_ms = seconds_ms(optarg);
		} else if (opt == 'S' || opt == 'P') {
			if (*optarg == '\0')
				usage(given + " wants a file name");
			(opt == 'S' ? c.svg : c.perfetto) = optarg;
		} else if (opt == ':') {
			usage(given + " wants a value");
		} else {
			usage("no option " + (optopt ? "-" +
			    std::string(1, static_cast<char>(optopt)) : given));
		}
	}
	if (c.svg == "-" && c.perfetto == "-")
		usage("only one of --svg and --perfetto can go to standard "
		    "output");
	if (optind >= argc)
		usage("no program given");
	c.program = argv[optind];
	c.args.assign(argv + optind + 1, argv + argc);
	return c;
}

std::string
demo_names(const fs::path &dir)
{
	std::vector<std::string> names;
	std::error_code ec;

	for (const auto &f : fs::directory_iterator(dir, ec)) {
		std::string name = f.path().filename();
		// The tools that watch the demos sit beside them.
		if (f.is_regular_file(ec) && name != "trace" && name != "orders" &&
		    name != "proclab" && access(f.path().c_str(), X_OK) == 0)
			names.push_back(name);
	}
	std::sort(names.begin(), names.end());
	std::string s;
	for (const auto &n : names)
		s += " " + n;
	return s.empty() ? " none" : s;
}

// The program to start and the folder to start it in; exits with 126 or
// 127 if it cannot be.
Launch
launch_for(const Command &c)
{
	Launch l;
	fs::path path = c.program;
	bool demo = c.program.find('/') == std::string::npos;
	fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
	struct stat st {};

	if (demo)
		path = dir / c.program;
	if (stat(path.c_str(), &st) != 0 && demo)
		fail(status_not_found, "no demo called '" + c.program + "' in " +
		    dir.string() + "; the demos:" + demo_names(dir));
	if (stat(path.c_str(), &st) != 0)
		fail(errno == ENOENT || errno == ENOTDIR ? status_not_found :
		    status_cannot_run, "cannot run " + c.program + ": " +
		    std::strerror(errno));
	if (S_ISDIR(st.st_mode))
		fail(status_cannot_run, "cannot run " + c.program +
		    ": it is a folder");
	if (access(path.c_str(), X_OK) != 0)
		fail(status_cannot_run, "cannot run " + c.program + ": " +
		    std::strerror(errno));
	l.file = path;
	l.argv.push_back(c.program);
	l.argv.insert(l.argv.end(), c.args.begin(), c.args.end());
	if (const DemoRules *rules = find_demo(c.program);
	    demo && rules && rules->in_own_folder)
		l.cwd = dir;
	l.timeout_ms = c.timeout_ms;
	l.own_group = false;
	l.keep_input = true;
	l.out = Launch::Output::null;
	return l;
}

// What the run's events tell main, besides what the view shows.
struct Watch {
	Watch(View &v, bool lapse) : view(v), time_lapse(lapse) {}

	View &view;
	bool time_lapse = false;
	Tracer *tracer = nullptr;
	bool ran = false;	// P's program was started
	int exec_error = 0;	// why it was not, if it was not
	std::string cut;	// why trace ended the run
	std::map<pid_t, std::string> waiting;	// the blocked, and in what

	void event(const Event &e);
};

void
Watch::event(const Event &e)
{
	view.event(e);
	if (e.kind == Event::Kind::exec && e.role == "P" && !ran) {
		ran = e.error == 0;
		exec_error = e.error;
	} else if (e.kind == Event::Kind::blocked) {
		waiting[e.pid] = e.role + " is " + waiting_words(e);
	} else if (e.kind == Event::Kind::woken ||
	    e.kind == Event::Kind::ended) {
		waiting.erase(e.pid);
	} else if (e.kind == Event::Kind::stuck && cut.empty()) {
		cut = "no process can ever be woken: ";
		for (const auto &[pid, words] : waiting)
			cut += words + "; ";
		if (waiting.empty())
			cut += e.text + "; ";
		cut += "no alarm is armed";
		view.cut(cut, e.us);
		tracer->signal_all(SIGKILL);
	}
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

void
timed_out(Watch &w, int timeout_ms, long long us)
{
	std::ostringstream secs;

	secs << timeout_ms / 1000.0;
	w.cut = "the run went past --timeout " + secs.str() + " s";
	w.view.cut(w.cut, us);
}

// Makes the run and shows it; trace's exit status.
int
trace_run(const Launch &base, Watch &w, Out &out)
{
	Tracer tracer([&w](const Event &e) { w.event(e); },
	    w.time_lapse);
	Launch l = base;
	std::optional<Run> run;

	w.tracer = &tracer;
	l.tracer = &tracer;
	try {
		run.emplace(l);
	} catch (const std::system_error &e) {
		cannot_trace(e);
	}
	while (!tracer.done() && !run->outcome().timed_out && !out.failed()) {
		// Said before the run's processes are killed for it.
		if (run->time_left() == 0 && w.cut.empty())
			timed_out(w, base.timeout_ms, tracer.now_us());
		run->pump(out.due_in_ms() >= 0 ? std::max(1, out.due_in_ms()) :
		    1000);
		if (out.due())
			out.flush();
	}
	if (out.failed())
		run->signal_group(SIGKILL);
	if (run->outcome().timed_out && w.cut.empty())
		timed_out(w, base.timeout_ms, tracer.now_us());
	const Outcome &o = run->finish();
	Ending end;
	end.why = w.cut;
	end.pid = o.pid;
	end.us = tracer.now_us();
	if (!w.cut.empty())
		end.status = status_ended;
	else if (!w.ran && w.exec_error)
		end.status = w.exec_error == ENOENT ? status_not_found :
		    status_cannot_run;
	else if (o.collected)
		end.status = shell_status(o.end);
	else
		end.status = status_failed;
	w.view.summary(tracer.processes(), end);
	out.flush();
	return end.status;
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
	// tell how. A reader gone is an output that fails, not our end.
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
		fail(status_failed, e.what());
	}
}
