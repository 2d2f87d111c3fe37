// A command's options, one row each in the order its help shows them:
// what getopt_long is given, the help's lines of options, and the
// options the bash completion offers (completion/CMakeLists.txt reads the
// same rows) are all made from the one table.
#ifndef OPTIONS_H
#define OPTIONS_H

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <getopt.h>

// Whether an option's key is also its one-letter form (-n), and if so,
// whether the help and the completion show it.
enum class Letter { none, shown, unshown };

struct Opt {
	int key;		// what getopt_long returns for it
	Letter letter;
	const char *name;	// the long form, without its dashes
	int arg;		// no_argument, required_ or optional_argument
	// The value's name in the help: "RUNS"; for an optional value, what
	// follows the name ("[=code]"); "" for none.
	const char *value;
	const char *help;	// its words in the help, "\n" between lines
};

struct OptionTable {
	std::span<const Opt> rows;
	std::size_t column;	// where the help's words of each option start
	// An option without a letter is set in as far as one with a letter
	// ("      --demos"), not flush with it ("  --lines").
	bool letter_column;
	// What getopt's string of letters starts with: "+:" stops at the
	// first operand and tells a missing value from an unknown option.
	const char *flags;
};

// The help's lines of every option, each ending in '\n'.
std::string options_help(const OptionTable &t);

// getopt_long's arguments: the letters, and the long options ending in
// an empty one. A letter takes a value only if its option requires one.
struct Getopt {
	explicit Getopt(const OptionTable &t);

	std::string letters;
	std::vector<option> longs;
};

// The option arg spells out whole, "-h" or "--help", with no value;
// nullptr if none. For a command that takes no abbreviations.
const Opt *spelled_out(const OptionTable &t, std::string_view arg);

#endif
