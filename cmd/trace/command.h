// trace, the command: how its parts meet. cli.cpp reads the command
// line, launch.cpp finds the program and how to start it, watch.cpp
// follows the run's events for what trace must do itself, loop.cpp makes
// the run and drives it; view/ shows it, draw/ pictures it.
#ifndef COMMAND_H
#define COMMAND_H

#include <map>
#include <string>
#include <vector>

#include "runner.h"
#include "trace.h"

class Tracer;

struct Command {
	Settings settings;
	int timeout_ms = 0;
	std::string svg;
	std::string perfetto;
	// The program's descriptors 1 and 2 go to /dev/null, not to ours.
	bool mute = false;
	// Where the report goes: our standard output or error, a file, or
	// nowhere, when a picture takes the standard output.
	enum class To { out, err, file, nowhere };
	To report = To::err;
	std::string report_file;
	std::string program;
	std::vector<std::string> args;
};

// The command line; exits with the help, or with status_usage.
Command parse(int argc, char **argv);
// The program to start and the folder to start it in; exits with
// status_cannot_run or status_not_found if it cannot be.
Launch launch_for(const Command &c);

// What the run's events tell trace, besides what the views show: whether
// P's program started, and why trace ends the run if it does.
struct Watch {
	Watch(View &v, bool lapse) : view(v), time_lapse(lapse) {}

	View &view;
	bool time_lapse = false;
	bool sources = false;	// where in the source each event was made
	Tracer *tracer = nullptr;
	bool ran = false;	// P's program was started
	int exec_error = 0;	// why it was not, if it was not
	bool exited = false;	// trace's status is the exit status of P's
	std::string cut;	// why trace ended the run
	std::map<pid_t, std::string> waiting;	// the blocked, and in what

	void event(const Event &e);
};

// Makes the run, shows it as it goes and sums it up; trace's exit status.
int trace_run(const Launch &base, Watch &w, Out &out);

#endif
