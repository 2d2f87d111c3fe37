// trace's command line: its help, its options, the program and its
// arguments.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <utility>

#include <getopt.h>

#include "command.h"
#include "options.h"
#include "tool.h"

namespace {

// Long enough for any run someone waits for; --timeout says otherwise.
constexpr int default_timeout_ms = 24 * 3600 * 1000;
constexpr double most_seconds = 2000000;
constexpr double most_pace = 3600;

const char help_top[] =
    "usage: trace [OPTIONS] DEMO|PROGRAM|PATH [ARGS...]\n"
    "Runs a program and shows every line it writes, tagged with the role\n"
    "and number of the process that wrote it and the time since the start,\n"
    "and between the lines what its processes did: forks, execs, signals,\n"
    "waits, ends and reaps; then how each process ended and who reaped it.\n"
    "P is the process started, C1, C2, ... the others as they appear.\n"
    "\n"
    "A name without '/' is a DEMO if the folder trace is in has one of that\n"
    "name (run as its rules say: becometwin from that folder), else a\n"
    "PROGRAM found on PATH as a shell finds it; a PATH runs as given from\n"
    "here. ARGS go to the program. It runs on trace's own standard input,\n"
    "output and error, as it would untraced; the report goes to standard\n"
    "error.\n"
    "\n"
    "Options:\n";

const Opt option_rows[] = {
#include "options.inc"
};
const OptionTable options{option_rows, 25, true, "+:"};

const char help_end[] =
    "\n"
    "Stepped or paced, a process waits at each event while the others\n"
    "wait at their next, so the order shown is the one the kernel chose;\n"
    "a line appears as it is written, its event just after it.\n"
    "\n"
    "The pictures are written once the run is over. With FILE -, the\n"
    "picture goes to standard output and the program is muted as by\n"
    "--mute; the report is then written only to the file -o names.\n"
    "\n"
    "On a terminal each process has a colour of its own; none with NO_COLOR\n"
    "set or when the report does not go to a terminal. Ctrl-C reaches the\n"
    "program as it would untraced. The text fits the terminal's width (80\n"
    "columns elsewhere): a longer line is cut, its end marked, and kept\n"
    "whole in the JSON lines.\n"
    "\n"
    "Exit status: the program's, as a shell reports it (128 + the signal\n"
    "that killed it), or trace's own:\n"
    "  2    the command line was wrong\n"
    "  124  trace ended the run: past --timeout, or nothing in the run\n"
    "       could wake it\n"
    "  125  trace itself failed: ptrace not permitted, report not written\n"
    "  126  the program cannot be run\n"
    "  127  the program was not found\n"
    "SIGTERM or SIGHUP sent to trace ends the run too, the report written\n"
    "whole; then trace ends by that signal.\n"
    "A program that exits with 124 to 127 itself is told apart on standard\n"
    "error: \"trace: the program itself exited with 124, not trace\".\n";

// Seconds given to option, from 0.001 to most, in milliseconds.
int
seconds_ms(const char *option, const char *s, double most)
{
	char *end;
	errno = 0;
	double secs = std::strtod(s, &end);
	if (*s == '\0' || *end != '\0' || errno || !(secs >= 0.001) ||
	    secs > most)
		usage(std::string(option) + " wants a number of seconds from "
		    "0.001 to " + fixed(most, 0) + ", not '" + s + "'");
	return static_cast<int>(secs * 1000);
}

// An option that is not known, as the user wrote it.
[[noreturn]] void
unknown(const std::string &given)
{
	usage("no option " + (optopt ? std::string{'-',
	    static_cast<char>(optopt)} : given));
}

void
take(Command &c, int opt, const std::string &given)
{
	if (opt == 'h') {
		std::cout << help_top << options_help(options) << help_end;
		std::exit(std::cout.flush() ? 0 : status_failed);
	} else if (opt == 'l') {
		c.settings.lines_only = true;
	} else if (opt == 'm') {
		c.mute = true;
	} else if (opt == 'f' && (std::strcmp(optarg, "text") == 0 ||
	    std::strcmp(optarg, "jsonl") == 0)) {
		c.settings.jsonl = optarg[0] == 'j';
	} else if (opt == 'f') {
		usage("--format is text or jsonl, not '" + std::string(optarg) +
		    "'");
	} else if (opt == 't') {
		c.settings.time_lapse = true;
	} else if (opt == 'E') {
		c.settings.explain = true;
	} else if (opt == 's' && (!optarg || std::strcmp(optarg, "line") == 0 ||
	    std::strcmp(optarg, "code") == 0)) {
		c.settings.source = optarg && optarg[0] == 'c' ?
		    Settings::Sources::code : Settings::Sources::lines;
	} else if (opt == 's') {
		usage("--source is --source or --source=code, not '" +
		    std::string(optarg) + "'");
	} else if (opt == 'T') {
		c.timeout_ms = seconds_ms("--timeout", optarg, most_seconds);
	} else if (opt == 'W') {
		c.step = true;
	} else if (opt == 'p') {
		c.pace_ms = seconds_ms("--pace", optarg, most_pace);
	} else if (opt == 'D') {
		c.slide = true;
	} else if (opt == 'S' || opt == 'P' || opt == 'G' || opt == 'o') {
		static const std::map<int, std::pair<const char *, std::string
		    Command::*>> files{{'S', {"--svg", &Command::svg}},
		    {'P', {"--perfetto", &Command::perfetto}},
		    {'G', {"--png", &Command::png}},
		    {'o', {"--output", &Command::report_file}}};
		const auto &[name, file] = files.at(opt);
		if (*optarg == '\0')
			usage(std::string(name) + " wants a file name");
		c.*file = optarg;
	} else if (opt == ':') {
		usage(given + " wants a value");
	} else {
		unknown(given);
	}
}

// Where the report goes. A picture on standard output leaves no room
// there for the program's own output, which is muted then, and takes
// the report's place unless -o gives it another.
void
settle_report(Command &c)
{
	// --svg FILE.png is a PNG.
	if (c.svg.ends_with(".png") && c.png.empty())
		c.png = std::exchange(c.svg, "");
	else if (c.svg.ends_with(".png"))
		usage("--svg " + c.svg + " is a PNG, and so is --png " + c.png +
		    ": give one of them");
	bool picture = c.svg == "-" || c.perfetto == "-" || c.png == "-";
	int on_out = 0;

	for (const std::string *file : {&c.svg, &c.perfetto, &c.png,
	    &c.report_file})
		on_out += *file == "-" ? 1 : 0;
	if (on_out > 1)
		usage("only one of --svg, --png, --perfetto and --output can go "
		    "to standard output");
	c.mute = c.mute || picture;
	if (c.report_file == "-")
		c.report = Command::To::out;
	else if (!c.report_file.empty())
		c.report = Command::To::file;
	else if (picture)
		c.report = Command::To::nowhere;
	else
		c.report = c.mute ? Command::To::out : Command::To::err;
}

} // namespace

Command
parse(int argc, char **argv)
{
	static const Getopt opts(options);
	Command c;
	c.timeout_ms = default_timeout_ms;
	int opt;

	opterr = 0;
	while ((opt = getopt_long(argc, argv, opts.letters.c_str(),
	    opts.longs.data(), nullptr)) != -1)
		take(c, opt, argv[optind - 1]);
	settle_report(c);
	if (c.slide && c.svg.empty() && c.png.empty())
		usage("--slide draws the picture --svg or --png makes: give one "
		    "of them");
	if (c.step && c.pace_ms)
		usage("--step and --pace cannot both be given: one waits for "
		    "keys, the other for the time");
	if (optind >= argc)
		usage("no program given");
	c.program = argv[optind];
	c.args.assign(argv + optind + 1, argv + argc);
	return c;
}
