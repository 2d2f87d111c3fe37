// orders: runs a demo, or any program, many times and shows which orders
// of its lines occurred, how often, which of them its rules allow, which
// allowed ones never showed up, and how its processes ended. This file
// reads the command line; orders.h says where the rest is.
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

#include "catalogue.h"
#include "lookup.h"
#include "options.h"
#include "orders.h"
#include "tracer.h"

namespace fs = std::filesystem;

const char tool_name[] = "orders";

namespace {

// Runs made unless -n says otherwise; fewer of a demo whose every run
// writes 200000 lines.
constexpr int default_runs = 200, default_mixing_runs = 20;

const char help_top[] =
    "usage: orders [OPTIONS] PROGRAM [ARGS...]\n"
    "       orders --allowed DEMO [--limit K] [-w] [--format FORMAT]\n"
    "Runs a program many times and shows which orders of its lines\n"
    "occurred and how often, and how its processes ended and who reaped\n"
    "them. Of a demo with rules it also shows how many orders the rules\n"
    "allow and which of those never showed up, and every run that broke\n"
    "the rules, with why.\n"
    "P is the process started, C1, C2, ... the others as their numbers\n"
    "first appear.\n"
    "\n"
    "PROGRAM, a name without '/', is a demo in the folder orders is in,\n"
    "or else the program of that name on PATH; a name with '/' is run as\n"
    "given. It is judged by the rules of the demo its file is named after.\n"
    "Of a program without rules the orders are only counted: each line as\n"
    "written, but that the numbers of the run's processes show as their\n"
    "roles. Untraced, orders knows no numbers but those of P, of its\n"
    "parent (shown as subreaper) and of the processes that came back to\n"
    "orders; traced (-t, -w), it knows every process's. ARGS go to the\n"
    "program.\n"
    "\n"
    "Options:\n";

const Opt option_rows[] = {
#include "options.inc"
};
const OptionTable options{option_rows, 21, true, "+:"};

const char help_end[] =
    "\n"
    "On a terminal, a line on standard error tells how far the runs have\n"
    "got once they take more than a moment.\n"
    "\n"
    "Exit status:\n"
    "  0    every run was sound\n"
    "  1    a run broke the rules: its order, how a process ended, or\n"
    "       anything on descriptor 2; without rules, a run wrote on\n"
    "       descriptor 2 or did not end by itself\n"
    "  2    the command line was wrong, or names no program that can be run\n"
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
number(const char *s, const std::string &option, long least = 1)
{
	char *end;
	errno = 0;
	long n = std::strtol(s, &end, 10);
	if (*s == '\0' || *end != '\0' || errno || n < least || n > 1000000)
		usage(option + " wants a number from " + std::to_string(least) +
		    " to 1000000, not '" + std::string(s) + "'");
	return static_cast<int>(n);
}

struct Command {
	int runs = 0, jobs = 0;
	bool time_lapse = false, writers = false, demos = false;
	std::string allowed;	// the demo whose allowed orders to show
	long limit = -1;
	bool json = false;
	std::string runs_option;	// the first option given for the runs
	int program = 0;	// its index in argv
};

// What goes with what: --allowed makes no runs, and takes its demo as
// its value.
void
check_together(const Command &c, bool program)
{
	if (c.demos && program)
		usage("--demos takes no program");
	if (c.limit >= 0 && c.allowed.empty())
		usage("--limit goes with --allowed");
	if (c.allowed.empty() && !c.demos && !program)
		usage("no program given");
	if (c.allowed.empty())
		return;
	if (c.demos)
		usage("--allowed and --demos do not go together");
	if (program)
		usage("--allowed takes no program but its demo");
	if (!c.runs_option.empty())
		usage("--allowed makes no runs: " + c.runs_option + " does not "
		    "go with it");
}

Command
parse(int argc, char **argv)
{
	static const Getopt opts(options);
	Command c;
	int opt;

	opterr = 0;
	// at: the word the option is in, its value after it or not.
	for (int at = optind; (opt = getopt_long(argc, argv,
	    opts.letters.c_str(), opts.longs.data(), nullptr)) != -1;
	    at = optind) {
		std::string given = argv[at];
		if (opt == 'h') {
			std::exit(put(help_top + options_help(options) +
			    help_end) ? 0 : status_failed);
		} else if (opt == 'n' || opt == 'j') {
			(opt == 'n' ? c.runs : c.jobs) = number(optarg,
			    spelled(given, opt));
		} else if (opt == 't') {
			c.time_lapse = true;
		} else if (opt == 'w') {
			c.writers = true;
		} else if (opt == 'd') {
			c.demos = true;
		} else if (opt == 'a') {
			c.allowed = optarg;
		} else if (opt == 'l') {
			c.limit = number(optarg, spelled(given, opt), 0);
		} else if (opt == 'f') {
			c.json = std::string(optarg) == "json";
			if (!c.json && std::string(optarg) != "text")
				usage("--format is text or json, not '" +
				    std::string(optarg) + "'");
		} else if (opt == ':') {
			usage(spelled(given, optopt) + " wants a value");
		} else if (optopt && given.starts_with("--")) {
			usage(spelled(given, optopt) + " takes no value");
		} else {
			usage("no option " + spelled(given, optopt));
		}
		if ((opt == 'n' || opt == 'j' || opt == 't') &&
		    c.runs_option.empty())
			c.runs_option = spelled(given, opt);
	}
	check_together(c, optind < argc);
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

// "; the demos with rules: twinspeak tworoles ...", for a usage error.
std::string
demos_with_rules()
{
	std::string names = "; the demos with rules:";
	for (const auto &d : demo_rules)
		names += " " + d.name;
	return names;
}

// Where the program named is; exits if it is nowhere, or cannot be run.
fs::path
program_path(const std::string &name)
{
	Found f = find_program(name);
	if (f.error == ENOENT && name.find('/') == std::string::npos)
		usage("no demo and no program on PATH called '" + name + "'" +
		    demos_with_rules());
	if (f.error == EISDIR)
		usage("cannot run " + name + ": it is a folder");
	if (f.error)
		usage("cannot run " + name + ": " + std::strerror(f.error));
	return fs::absolute(f.path);
}

// The orders the rules of the demo named allow, as --allowed shows them.
// Its file's name picks the rules, as for a run; nothing is run.
[[noreturn]] void
show_allowed(const Command &c)
{
	const DemoRules *demo = find_demo(fs::path(c.allowed).filename()
	    .string());
	if (!demo && find_program(c.allowed).error)
		usage("no demo called '" + c.allowed + "'" + demos_with_rules());
	if (!demo)
		usage(c.allowed + " has no rules" + demos_with_rules());
	std::exit(list_allowed(*demo, {c.limit, c.writers, c.json}));
}

} // namespace

int
main(int argc, char **argv)
{
	Command c = parse(argc, argv);
	if (c.demos)
		list_demos(c);
	if (!c.allowed.empty())
		show_allowed(c);
	std::string program = argv[c.program];
	fs::path path = program_path(program);
	// Judged by the rules of the demo its file is named after; without,
	// by an entry of its own that has none.
	const DemoRules *rules = find_demo(path.filename().string());
	DemoRules own{program, nullptr, {}, {}, 0, false, 0, false};
	const DemoRules &demo = rules ? *rules : own;
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

	if ((c.time_lapse || c.writers) && !Tracer::kernel_fits())
		fail(status_failed, Tracer::kernel_needed);
	// A helper that cannot hand its run back must not take us along.
	(void)signal(SIGPIPE, SIG_IGN);
	(void)signal(SIGCHLD, SIG_DFL);
	// A demo is started by its whole path, as ever; any other program
	// gets its name as given, as from a shell.
	Plan plan{path, {unruled(demo) ? program : path.string()}, "", c.runs,
	    c.jobs, c.time_lapse, c.writers, isatty(2) == 1};
	plan.argv.insert(plan.argv.end(), argv + c.program + 1, argv + argc);
	if (runs_in_own_folder(path.filename().string()))
		plan.cwd = path.parent_path();
	Tally t{demo, unruled(demo) ? Rules{} : demo.rules(), c.writers,
	    c.writers || c.time_lapse, 0, 0, {}, {}, {}, {}, {}};
	bool whole = run_all(t, plan);
	std::ostringstream out;
	int status = c.json ? report_json(t, out, plan, whole) :
	    report(t, out, whole ? 0 : c.runs);
	if (!put(out.str()))
		return status_failed;
	// Interrupted, we end as Ctrl-C ends a program, once the runs made
	// are told: a script that ran us stops too.
	if (!whole)
		die_of(SIGINT);
	return status;
}
