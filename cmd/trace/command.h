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
#include "shown.h"
#include "view.h"

class Tracer;

struct Command {
	Settings settings;
	int timeout_ms = 0;
	std::string svg;
	std::string png;
	std::string perfetto;
	bool slide = false;	// the pictures drawn for a slide
	bool step = false;	// wait for a key after each event
	int pace_ms = 0;	// or this long; 0: neither
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
// Where the demos' sources are installed, for --source=code: the files
// they were built from may be gone. "" but for a demo.
std::string demo_sources(const Command &c);

// --step and --pace: after each event shown the run waits, for a key from
// the terminal or for so long, until the run is let go to its end.
class Stepper {
public:
	// Keys from the terminal, else pace_ms. Exits with status_usage if
	// keys are wanted and there is no terminal.
	Stepper(bool keys, int pace_ms, bool lines_only);
	Stepper(const Stepper &) = delete;
	Stepper &operator=(const Stepper &) = delete;
	~Stepper();

	// After e is shown: the report written out, then the wait.
	void after(const Event &e, Out &out, const Tracer &tracer);

private:
	[[nodiscard]] char key() const;
	void ask(const Tracer &tracer);

	int tty_ = -1;
	int pace_ms_;
	bool lines_only_;
	bool on_ = true;	// not yet let go to its end
};

// What the run's events tell trace, besides what the views show: whether
// P's program started, and why trace ends the run if it does.
struct Watch {
	Watch(View &v, bool lapse) : view(v), time_lapse(lapse) {}

	View &view;
	bool time_lapse = false;
	bool sources = false;	// where in the source each event was made
	bool every_signal = false;	// those that do nothing too
	Tracer *tracer = nullptr;
	Stepper *step = nullptr;	// for --step and --pace
	bool ran = false;	// P's program was started
	int exec_error = 0;	// why it was not, if it was not
	bool exited = false;	// trace's status is the exit status of P's
	std::string cut;	// why trace ended the run
	int asked = 0;	// the signal that asked it to, if one did
	std::map<pid_t, std::string> waiting;	// the blocked, and in what

	void event(const Event &e);
};

// Makes the run, shows it as it goes and sums it up; trace's exit status.
int trace_run(const Launch &base, Watch &w, Out &out);

#endif
