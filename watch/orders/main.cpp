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
#include <string>

#include <getopt.h>
#include <unistd.h>

#include "orders.h"

namespace fs = std::filesystem;

namespace {

// Runs made unless -n says otherwise; fewer of a demo whose every run
// writes 200000 lines.
constexpr int default_runs = 200, default_mixing_runs = 20;

[[noreturn]] void
usage(const std::string &why)
{
	if (!why.empty())
		std::cerr << "orders: " << why << "\n";
	std::cerr << "usage: orders [-n RUNS] [-j JOBS] [-t|--time-lapse] "
	    "[-w|--writers] PROGRAM [ARGS...]\n";
	std::exit(2);
}

int
number(const char *s, const char *what)
{
	char *end;
	errno = 0;
	long n = std::strtol(s, &end, 10);
	if (*s == '\0' || *end != '\0' || errno || n < 1 || n > 1000000)
		usage(std::string(what) + " must be a number from 1 to 1000000");
	return static_cast<int>(n);
}

} // namespace

int
main(int argc, char **argv)
{
	static const option longs[] = {{"time-lapse", no_argument, nullptr, 't'},
	    {"writers", no_argument, nullptr, 'w'}, {nullptr, 0, nullptr, 0}};
	int runs = 0, jobs = 0, c;
	bool time_lapse = false, by_writer = false;

	while ((c = getopt_long(argc, argv, "+n:j:tw", longs, nullptr)) != -1) {
		if (c == 'n')
			runs = number(optarg, "RUNS");
		else if (c == 'j')
			jobs = number(optarg, "JOBS");
		else if (c == 't')
			time_lapse = true;
		else if (c == 'w')
			by_writer = true;
		else
			usage("");
	}
	if (optind >= argc)
		usage("no program given");
	std::string program = argv[optind];
	fs::path path = program;
	if (program.find('/') == std::string::npos)
		path = fs::read_symlink("/proc/self/exe").parent_path() / program;
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
	if (demo->seconds >= 10 && runs == 0 && !time_lapse)
		usage(name + " takes about " + std::to_string(demo->seconds) +
		    " s a run: give the number of runs with -n, or fast-forward "
		    "its alarms with --time-lapse");
	if (runs == 0)
		runs = demo->mixes ? default_mixing_runs : default_runs;
	if (jobs == 0) {
		long cpus = sysconf(_SC_NPROCESSORS_ONLN);
		jobs = demo->asleep && !time_lapse ? 32 :
		    static_cast<int>(std::max(1L, cpus));
	}

	// A helper that cannot hand its run back must not take us along.
	(void)signal(SIGPIPE, SIG_IGN);
	(void)signal(SIGCHLD, SIG_DFL);
	Plan plan{{fs::absolute(path)}, "", runs, jobs, time_lapse, by_writer};
	plan.argv.insert(plan.argv.end(), argv + optind + 1, argv + argc);
	if (demo->in_own_folder)
		plan.cwd = fs::absolute(path).parent_path();
	Tally t{*demo, demo->rules(), by_writer, 0, 0, {}, {}, {}, {}, {}};
	run_all(t, plan);
	return report(t);
}
