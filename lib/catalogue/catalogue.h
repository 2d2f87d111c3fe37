// The catalogue of the demos: each one's name, the folder of its source,
// how it is run and what it shows, in the order proclab lists them. The
// build makes its list of demos from the same table (demos.inc); the
// rules, proclab and trace look a demo up here.
#ifndef CATALOGUE_H
#define CATALOGUE_H

#include <span>
#include <string_view>

// What a demo needs to show what it shows.
enum class Runs {
	alone,		// nothing: from any folder it runs to its end
	own_folder,	// started from the folder that holds it
	arguments,	// arguments, which are what it shows
	input,		// bytes on its standard input
};

struct Demo {
	const char *folder;	// of its source, in the source tree
	const char *name;	// of its program, and of its source file
	Runs runs;
	const char *about;	// what it shows, in a line of proclab list
};

extern const std::span<const Demo> catalogue;

// The demo of that name; nullptr if there is none.
const Demo *catalogued(std::string_view name);

// Whether the demo of that name is started from the folder that holds
// it; false for a name that is no demo.
bool runs_in_own_folder(std::string_view name);

#endif
