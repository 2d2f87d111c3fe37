// orders: runs a demo many times and shows which orders of its lines
// occurred, how often, which of them its rules allow, which allowed ones
// never showed up, and how its processes ended. This file reads the
// command line; orders.h says where the rest is.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include "orders.h"

namespace fs = std::filesystem;

const char tool_name[] = "orders";

namespace {

// Runs made unless -n says otherwise; fewer of a demo whose every run
// writes 200000 lines.
constexpr int default_runs = 200, default_mixing_runs = 20;

const char help[] =
    "usage: orders [OPTIONS] DEMO|PATH [ARGS...]\n"
    "Runs a demo many times and shows which orders of its lines occurred\n"
    "and how often, how many orders its rules allow and which of those\n"
    "never showed up, how its processes ended, and every run that broke\n"
    "the rules, with why. P is the process started, C1, C2, ... the others\n"
    "as their numbers first appear.\n"
    "\n"
    "DEMO, a name without '/', is a demo in the folder orders is in; a PATH\n"
    "is run as given, judged by the rules of the demo its file is named\n"
    "after. ARGS go to the program.\n"
    "\n"
    "Options:\n"
    "  -n, --runs RUNS    make RUNS runs (default: 200; 20 of interleave);\n"
    "                     a timer demo needs it, or --time-lapse\n"
    "  -j, --jobs JOBS    make JOBS runs at once (default: one per\n"
    "                     processor; 32 of the demos that mostly sleep)\n"
    "  -t, --time-lapse   make each run under the tracer, which fires the\n"
    "                     earliest alarm as soon as every process waits, so\n"
    "                     that timer demos take moments\n"
    "  -w, --writers      make each run under the tracer and show every\n"
    "                     line with the process that wrote it\n"
    "      --demos        list the demos orders would run with the options\n"
    "                     given, one a line\n"
    "  -h, --help         this help\n"
    "\n"
    "On a terminal, a line on standard error tells how far the runs have\n"
    "got once they take more than a moment.\n"
    "\n"
    "Exit status:\n"
    "  0    every run was sound\n"
    "  1    a run broke the rules: its order, how a process ended, or\n"
    "       anything on descriptor 2\n"
    "  2    the command line was wrong, or names no demo with rules\n"
    "  125  orders itself failed: the output could not be written, or a\n"
    "       run could not be made\n"
    "  130  Ctrl-C stopped the runs; orders ends by SIGINT once it has\n"
    "       reported those made\n"
    "  141  the reader of the output had gone; orders stops the runs and\n"
    "       ends by SIGPIPE, saying nothing\n";

// The option as it was given: "-n", or "--runs" without its value.
std::string
spelled(const std::string &given, int opt)
{
	if (given.starts_with("--"))
		return given.substr(0, given.find('='));
	return std::string("-") + static_cast<char>(opt);
}

int
number(const char *s, const std::string &option)
{
	char *end;
	errno = 0;
	long n = std::strtol(s, &end, 10);
	if (*s == '\0' || *end != '\0' || errno || n < 1 || n > 1000000)
		usage(option + " wants a number from 1 to 1000000, not '" +
		    std::string(s) + "'");
	return static_cast<int>(n);
}

struct Command {
	int runs = 0, jobs = 0;
	bool time_lapse = false, writers = false, demos = false;
	int program = 0;	// its index in argv
};

Command
parse(int argc, char **argv)
{
	static const option longs[] = {{"help", no_argument, nullptr, 'h'},
	    {"runs", required_argument, nullptr, 'n'},
	    {"jobs", required_argument, nullptr, 'j'},
	    {"time-lapse", no_argument, nullptr, 't'},
	    {"writers", no_argument, nullptr, 'w'},
	    {"demos", no_argument, nullptr, 'd'},
	    {nullptr, 0, nullptr, 0}};
	Command c;
	int opt;

	opterr = 0;
	while ((opt = getopt_long(argc, argv, "+:hn:j:tw", longs,
	    nullptr)) != -1) {
		std::string given = argv[optind - 1];
		if (opt == 'h') {
			std::exit(put(help) ? 0 : status_failed);
		} else if (opt == 'n' || opt == 'j') {
			(opt == 'n' ? c.runs : c.jobs) = number(optarg,
			    spelled(given, opt));
		} else if (opt == 't') {
			c.time_lapse = true;
		} else if (opt == 'w') {
			c.writers = true;
		} else if (opt == 'd') {
			c.demos = true;
		} else if (opt == ':') {
			usage(spelled(given, optopt) + " wants a value");
		} else if (optopt && given.starts_with("--")) {
			usage(spelled(given, optopt) + " takes no value");
		} else {
			usage("no option " + spelled(given, optopt));
		}
	}
	if (c.demos && optind < argc)
		usage("--demos takes no program");
	if (!c.demos && optind >= argc)
		usage("no program given");
	c.program = optind;
	return c;
}

// Why orders will not run a demo with these options; "" if it will.
std::string
refusal(const DemoRules &demo, const Command &c)
{
	if (demo.seconds >= 10 && c.runs == 0 && !c.time_lapse)
		return demo.name + " takes about " + std::to_string(demo.seconds) +
		    " s a run: give the number of runs with -n, or fast-forward "
		    "its alarms with --time-lapse";
	return "";
}

// The demos beside us that we would run as the options stand, for the
// completion to offer.
[[noreturn]] void
list_demos(const Command &c)
{
	fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
	std::string names;
	for (const auto &d : demo_rules)
		if (refusal(d, c).empty() &&
		    access((dir / d.name).c_str(), X_OK) == 0)
			names += d.name + "\n";
	std::exit(put(names) ? 0 : status_failed);
}

// The demo's rules, by its file's name; exits if it has none, or cannot
// be run.
const DemoRules &
demo_of(const fs::path &path)
{
	std::string name = path.filename();
	const DemoRules *demo = find_demo(name);
	if (!demo) {
		std::string names;
		for (const auto &d : demo_rules)
			names += " " + d.name;
		usage("no rules for " + name + "; the demos with rules:" + names);
	}
	if (access(path.c_str(), X_OK) != 0)
		usage("cannot run " + path.string() + ": " + std::strerror(errno));
	return *demo;
}

} // namespace

int
main(int argc, char **argv)
{
	Command c = parse(argc, argv);
	if (c.demos)
		list_demos(c);
	std::string program = argv[c.program];
	fs::path path = program;
	if (program.find('/') == std::string::npos)
		path = fs::read_symlink("/proc/self/exe").parent_path() / program;
	const DemoRules &demo = demo_of(path);
	if (std::string why = refusal(demo, c); !why.empty())
		usage(why);
	if (c.runs == 0)
		c.runs = demo.mixes ? default_mixing_runs : default_runs;
	if (c.jobs == 0) {
		long cpus = sysconf(_SC_NPROCESSORS_ONLN);
		c.jobs = demo.asleep && !c.time_lapse ? 32 :
		    static_cast<int>(std::max(1L, cpus));
	}
	// Else the first pipe made would take its place.
	if (fcntl(1, F_GETFD) < 0) {
		std::cerr << "orders: cannot write the output: standard output "
		    "is closed\n";
		return status_failed;
	}

	// A helper that cannot hand its run back must not take us along.
	(void)signal(SIGPIPE, SIG_IGN);
	(void)signal(SIGCHLD, SIG_DFL);
	Plan plan{{fs::absolute(path)}, "", c.runs, c.jobs, c.time_lapse,
	    c.writers, isatty(2) == 1};
	plan.argv.insert(plan.argv.end(), argv + c.program + 1, argv + argc);
	if (demo.in_own_folder)
		plan.cwd = fs::absolute(path).parent_path();
	Tally t{demo, demo.rules(), c.writers, 0, 0, {}, {}, {}, {}, {}};
	bool whole = run_all(t, plan);
	std::ostringstream out;
	int status = report(t, out, whole ? 0 : c.runs);
	if (!put(out.str()))
		return status_failed;
	// Interrupted, we end as Ctrl-C ends a program, once the runs made
	// are told: a script that ran us stops too.
	if (!whole)
		die_of(SIGINT);
	return status;
}
