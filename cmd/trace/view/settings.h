// How trace is asked to show a run, from its command line: what the
// views show, and how.
#ifndef SETTINGS_H
#define SETTINGS_H

#include <cstddef>
#include <string>

struct Settings {
	bool lines_only = false;
	bool jsonl = false;
	bool time_lapse = false;	// times are on the virtual clock
	bool stepped = false;	// --step or --pace: times hold the waits
	bool colour = false;
	// Where in the program's source each event was made: not told, told
	// as file:line, or with the text of that line as well.
	enum class Sources { none, lines, code } source = Sources::none;
	std::string sources_dir;	// the demos' copies of their sources
	// States and causes in the words of a lecture: the state each
	// process is in as ps names it, and notes on what each event means.
	bool explain = false;
	std::size_t width = 80;	// the text's, in columns
};

#endif
