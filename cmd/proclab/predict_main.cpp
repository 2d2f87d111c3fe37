// proclab predict DEMO: on a terminal, asks for an order (or which of two
// lines comes first), answers with the rules and real runs, round after
// round, and keeps score; --lines, --order and --quiz do one thing each
// for scripts and handouts. See predict.h.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include <getopt.h>
#include <unistd.h>

#include "options.h"
#include "predict.h"
#include "tool.h"

namespace fs = std::filesystem;

namespace {

const char help_top[] =
    "usage: proclab predict DEMO [OPTIONS]\n"
    "Write down the order of a demo's lines before you run it: its rules\n"
    "say whether that order can come, and if not which rule it breaks;\n"
    "real runs say how often it comes. On a terminal it asks round after\n"
    "round and keeps score. Each line has a letter: A, B, ... in the order\n"
    "of the processes and of their lines, as --lines shows them. P is the\n"
    "process started, C1, C2, ... its children in the order they are made.\n"
    "Of a demo with too many orders to write out, it asks which of two\n"
    "lines comes first.\n"
    "\n"
    "Options:\n";

const Opt option_rows[] = {
#include "predict_options.inc"
};
const OptionTable options{option_rows, 21, false, ""};

} // namespace

std::string
predict_help()
{
	return help_top + options_help(options);
}

namespace {

struct Options {
	std::string demo, order;
	bool lines = false, answers = false;
	int runs = 200;
	long quiz = 0;
	std::uint64_t seed = 1;
};

long
number(const char *arg, const char *what, long least)
{
	char *end = nullptr;
	errno = 0;
	long n = std::strtol(arg, &end, 10);
	if (errno || end == arg || *end || n < least || n > 100000)
		usage(std::string("predict: ") + what + " is a number from " +
		    std::to_string(least) + " to 100000, not '" + arg + "'");
	return n;
}

Options
parse(char **args)
{
	static const Getopt opts(options);
	std::vector<char *> argv = {const_cast<char *>("proclab predict")};
	for (; *args; args++)
		argv.push_back(*args);
	argv.push_back(nullptr);
	Options o;
	opterr = 0;
	optind = 1;
	for (int c; (c = getopt_long(static_cast<int>(argv.size() - 1),
	    argv.data(), opts.letters.c_str(), opts.longs.data(), nullptr)) !=
	    -1;) {
		switch (c) {
		case 'h':
			std::cout << predict_help();
			std::exit(std::cout.flush() ? 0 : status_failed);
		case 'l': o.lines = true; break;
		case 'o': o.order = optarg; break;
		case 'n': o.runs = static_cast<int>(number(optarg, "--runs",
		    0)); break;
		case 'q': o.quiz = number(optarg, "--quiz", 1); break;
		case 's': o.seed = static_cast<std::uint64_t>(number(optarg,
		    "--seed", 0)); break;
		case 'a': o.answers = true; break;
		default:
			usage("predict: no option " + std::string(
			    argv[static_cast<std::size_t>(optind) - 1]));
		}
	}
	if (optind + 1 != static_cast<int>(argv.size() - 1))
		usage("predict takes one demo: proclab predict DEMO [OPTIONS]");
	o.demo = argv[static_cast<std::size_t>(optind)];
	return o;
}

[[noreturn]] void
one_order(const Lettered &l, const Options &o, const fs::path &tools)
{
	if (!l.lettered)
		usage("predict: " + l.demo->name + " writes " +
		    std::to_string(l.lines.size()) + " lines, too many to "
		    "letter; --quiz asks which of two comes first");
	std::string error;
	std::vector<std::size_t> order = read_order(l, o.order, true, error);
	if (!error.empty())
		usage("predict: " + error);
	Real real = o.runs ? real_runs(l, tools, o.runs) : Real{};
	bool ok = answer(l, order, real, false, std::cout);
	std::cout.flush();
	std::exit(ok ? 0 : 1);
}

// The sheet, and a word on standard error if it holds fewer items than
// asked: each item comes once, and the demo has no more.
void
put_quiz(const Lettered &l, const Options &o)
{
	auto n = static_cast<std::size_t>(o.quiz);
	Sheet s = quiz(l, n, o.seed, o.answers);
	std::cout << s.text;
	if (s.items < n)
		note("predict: " + l.demo->name + " has " + std::to_string(
		    s.items) + (l.whole ? " outputs" : " pairs of lines") +
		    " to ask about, not " + std::to_string(n) + ": the sheet "
		    "has them all");
}

} // namespace

[[noreturn]] void
predict(const fs::path &tools, const fs::path &source, char **args)
{
	Options o = parse(args);
	const DemoRules *d = find_demo(o.demo);
	if (!d || !d->rules)
		usage("predict: no demo '" + o.demo + "'");
	Lettered l = letter(*d);

	if (o.lines)
		put_lines(l, std::cout);
	else if (!o.order.empty())
		one_order(l, o, tools);
	else if (o.quiz)
		put_quiz(l, o);
	else if (isatty(0) && isatty(1))
		ask(l, o.runs, tools, source / (o.demo + ".cpp"));
	else
		usage("predict asks on a terminal; else give --lines, "
		    "--order or --quiz");
	if (!std::cout.flush())
		fail(status_failed, std::string("cannot write the output: ") +
		    std::strerror(errno ? errno : EIO));
	std::exit(0);
}
