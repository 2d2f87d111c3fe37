// proclab predict: a student writes down an order of a demo's lines
// before running it; the demo's rules answer whether it can come, and why
// not, and real runs how often it does. predict.cpp letters the lines and
// judges an order; predict_runs.cpp makes the real runs, through orders;
// predict_quiz.cpp asks which of two lines comes first, and makes quiz
// sheets; predict_main.cpp reads the command line and asks on a terminal.
#ifndef PREDICT_H
#define PREDICT_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demo_rules.h"

struct Lettered {
	const DemoRules *demo = nullptr;
	Rules rules;
	std::vector<Step> steps;	// each letter's line in the rules
	std::vector<std::string> lines;	// as shown: roles for numbers
	// Each line's letter, if lettered: A, B, ... in the order of the
	// processes and of their lines, which --lines and --order use; a
	// quiz sheet shuffles them, so that their order gives nothing away.
	std::string names;
	std::optional<std::uint64_t> allowed;	// orders; nullopt: too many
	// Few enough lines and orders to ask for a whole order; else which
	// of two lines comes first.
	bool whole = true;
	bool lettered = true;	// at most 52 lines, each with a letter
};

// The demo's lines, lettered; a demo with nothing to predict ends
// proclab with status_usage.
Lettered letter(const DemoRules &d);
// The letters of an order, spaces ignored, as indexes of lines; error
// says what is wrong with them, if anything. A whole order names every
// line once; else each named line once.
std::vector<std::size_t> read_order(const Lettered &l, std::string_view text,
    bool whole, std::string &error);
// The first rule an order breaks, if any.
std::optional<Broken> judge(const Lettered &l,
    const std::vector<std::size_t> &order);
// Why it breaks it: the order's lines, the two that break it marked
// (in bold on a terminal), and the rules that put one before the other.
std::string why_not(const Lettered &l, const std::vector<std::size_t> &order,
    const Broken &b, bool bold);
// "E cannot come before D: ...", why an order breaks the rules.
std::string broken_words(const Lettered &l,
    const std::vector<std::size_t> &order, const Broken &b);
// The rules between two lines in words: "B comes before D: ...".
std::string chain_words(const Lettered &l, const std::vector<Link> &rules);
// Text in lines of at most 78 columns, broken between words; each line
// after the first indented by hang spaces.
std::string wrapped(const std::string &text, std::size_t hang = 0);
// The lines of steps, as indexes of l's.
std::vector<std::size_t> indexes(const Lettered &l,
    const std::vector<Step> &steps);
// An order as its letters.
std::string letters(const Lettered &l, const std::vector<std::size_t> &order);

// What real runs showed: each order that came, as lines, and how often.
struct RealOrder {
	std::vector<std::size_t> order;
	int runs = 0;
};
struct Real {
	int runs = 0;
	int other = 0;	// runs whose order could not be lettered
	std::vector<RealOrder> orders;	// most frequent first
	std::string error;	// why there are none, if so
};
// Makes runs runs of the demo with orders, from the folder tools.
Real real_runs(const Lettered &l, const std::filesystem::path &tools,
    int runs);
// What they say of an order the student gave.
std::string real_words(const Lettered &l, const Real &r,
    const std::vector<std::size_t> &order, bool allowed);

// Which of two lines comes first, as the rules say.
struct Question {
	std::size_t a, b;	// the two lines, as asked
	enum class Key { a, b, either } key;
	std::vector<Link> chain;	// the rules that decide it, if any
};
// n questions about the demo's lines, the same for the same seed, each
// pair of lines once; fewer if there are not n such pairs.
std::vector<Question> questions(const Lettered &l, std::size_t n,
    std::uint64_t seed);
// In how many real runs a came before b, of how many.
std::pair<int, int> pair_counts(const Real &r, std::size_t a, std::size_t b);
// How often a (1) came before b (2) in the real runs.
std::string real_pair_words(const Real &r, std::size_t a, std::size_t b);
// A quiz sheet in Markdown, with its key if asked: n items, each once,
// or all there are if fewer; the same for the same seed.
struct Sheet {
	std::string text;
	std::size_t items = 0;
};
Sheet quiz(const Lettered &l, std::size_t n, std::uint64_t seed,
    bool answers);

// The demo's lines, each after its letter (or number).
void put_lines(const Lettered &l, std::ostream &out);
// The answer to a whole order, as --order and a round give it: whether
// the rules allow it, why not, and what the real runs showed.
bool answer(const Lettered &l, const std::vector<std::size_t> &order,
    const Real &real, bool bold, std::ostream &out);
// Round after round on the terminal, until q or the end of input; the
// score at the end (predict_ask.cpp).
void ask(const Lettered &l, int runs, const std::filesystem::path &tools,
    const std::filesystem::path &source);

// proclab predict --help.
std::string predict_help();
// proclab predict's own command line (predict_main.cpp): tools is the
// folder of orders, source the demos' sources.
[[noreturn]] void predict(const std::filesystem::path &tools,
    const std::filesystem::path &source, char **args);

#endif
