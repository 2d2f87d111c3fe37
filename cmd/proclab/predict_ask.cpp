// proclab predict on a terminal: the demo's source and lettered lines,
// then round after round a prediction answered by the rules and by real
// runs (made once, at the first answer), hints on asking, and the score
// at the end. See predict.h.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "predict.h"
#include "source.h"

namespace fs = std::filesystem;

namespace {

struct Session {
	Session(const Lettered &lettered, int n, fs::path from, bool c)
	    : l(lettered), runs(n), tools(std::move(from)), color(c) {}

	const Lettered &l;
	int runs;
	fs::path tools;
	bool color;
	Real real;
	bool made = false;
	int rounds = 0, right = 0;
	std::size_t hints = 0;

	const Real &real_once()
	{
		if (!made && runs > 0) {
			std::cout << "(running " << l.demo->name << " " << runs <<
			    " times...)" << std::endl;
			real = real_runs(l, tools, runs);
		}
		made = true;
		return real;
	}

	// One rule of the demo in words, another at each asking.
	std::string hint()
	{
		std::vector<Link> rules;
		for (const Rules::Before &b : l.rules.order)
			rules.push_back({{b.a, b.i}, {b.b, b.j},
			    l.rules.causes[b.cause]});
		for (std::size_t p = 0; p < l.rules.procs.size(); p++)
			if (l.rules.procs[p].lines.size() > 1)
				rules.push_back({{p, 0}, {p, 1},
				    program_order_cause});
		return chain_words(l, {rules[hints++ % rules.size()]});
	}
};

std::string
read_answer(const std::string &prompt, bool &end)
{
	std::string line;
	std::cout << prompt << std::flush;
	end = !std::getline(std::cin, line);
	auto from = line.find_first_not_of(" \t");
	auto to = line.find_last_not_of(" \t");
	return from == std::string::npos ? "" : line.substr(from, to - from + 1);
}

// An allowed order the student has not given, if there is one.
std::string
untried(const Lettered &l, const std::set<std::string> &given)
{
	std::string found;
	each_order(l.rules, [&](const std::vector<Step> &steps) {
		std::string o = letters(l, indexes(l, steps));
		if (!given.contains(o))
			found = o;
		return found.empty();
	});
	return found.empty() ? "You have given every order the rules allow." :
	    "An order you have not given: " + found + ".";
}

void
whole_rounds(Session &s)
{
	std::set<std::string> given;
	std::vector<std::size_t> written;
	for (std::size_t k = 0; k < s.l.lines.size(); k++)
		written.push_back(k);
	std::string prompt = "\nYour order (e.g. " + letters(s.l, written) +
	    "; ? a hint, o an order not yet given, q to quit): ";
	for (bool end = false; !end;) {
		std::string in = read_answer(prompt, end);
		if (end || in == "q" || in == "Q")
			break;
		if (in == "?") {
			std::cout << wrapped(s.hint());
			continue;
		}
		if (in == "o" || in == "O") {
			std::cout << untried(s.l, given) << "\n";
			continue;
		}
		std::string error;
		std::vector<std::size_t> order = read_order(s.l, in, true, error);
		if (!error.empty()) {
			std::cout << error << "\n";
			continue;
		}
		given.insert(letters(s.l, order));
		s.rounds++;
		s.right += answer(s.l, order, s.real_once(), s.color, std::cout);
	}
}

void
pair_rounds(Session &s)
{
	auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now()
	    .time_since_epoch().count());
	bool end = false;
	for (const Question &q : questions(s.l, 50, seed)) {
		std::cout << "\nWhich comes first?\n  1  " << s.l.lines[q.a] <<
		    "\n  2  " << s.l.lines[q.b] << "\n";
		std::string in;
		while (!end && (in = read_answer("1 or 2 if that one always comes "
		    "first, e if either can\n(? a hint, q to quit): ", end))
		    == "?")
			std::cout << wrapped(s.hint());
		if (end || in == "q" || in == "Q")
			break;
		char key = q.key == Question::Key::a ? '1' :
		    q.key == Question::Key::b ? '2' : 'e';
		bool ok = in.size() == 1 && (in[0] | 0x20) == (key | 0x20);
		std::string why = q.chain.empty() ? "No rule orders them: "
		    "either can come first." : chain_words(s.l, q.chain);
		// The rules allow either; the alarms' timing may not.
		auto [first, all] = pair_counts(s.real_once(), q.a, q.b);
		if (!ok && key == 'e' && s.l.demo->asleep && all > 0 &&
		    (in == "1" ? first == all : in == "2" && first == 0)) {
			ok = true;
			why = "The rules allow either, but the alarms' timing "
			    "makes that one come first in practice.";
		}
		s.rounds++;
		s.right += ok;
		std::cout << wrapped((ok ? "Right. " : "Not so. ") + why) <<
		    real_pair_words(s.real_once(), q.a, q.b);
	}
}

} // namespace

void
put_lines(const Lettered &l, std::ostream &out)
{
	for (std::size_t k = 0; k < l.lines.size(); k++)
		out << (l.lettered ? std::string(1, l.names[k]) :
		    std::to_string(k + 1)) << "  " << l.lines[k] << "\n";
}

bool
answer(const Lettered &l, const std::vector<std::size_t> &order,
    const Real &real, bool bold, std::ostream &out)
{
	std::optional<Broken> b = judge(l, order);
	std::string many = l.allowed ? std::to_string(*l.allowed) :
	    "more than 18446744073709551615";
	out << letters(l, order) << ": ";
	if (b)
		out << "not allowed by the rules.\n" << why_not(l, order, *b, bold)
		    << "The rules allow " << many << " orders of these " <<
		    l.lines.size() << " lines.\n";
	else
		out << "allowed by the rules, one of the " << many <<
		    " orders they allow.\n";
	out << real_words(l, real, order, !b);
	return !b;
}

void
ask(const Lettered &l, int runs, const fs::path &tools, const fs::path &source)
{
	const char *no_color = std::getenv("NO_COLOR");
	Session s(l, l.lettered ? runs : 0, tools, !(no_color && *no_color));
	std::ifstream in(source, std::ios::binary);
	std::string text{std::istreambuf_iterator<char>(in),
	    std::istreambuf_iterator<char>()};

	if (!text.empty())
		std::cout << numbered(text, View{true, s.color}) << "\n";
	std::cout << l.demo->name << " writes these lines; P is the process "
	    "started, C1, C2, ... its\nchildren in the order they are made.\n";
	put_lines(l, std::cout);
	if (l.whole)
		whole_rounds(s);
	else
		pair_rounds(s);
	if (l.whole)
		std::cout << "\nOrders you gave: " << s.rounds << "; allowed by "
		    "the rules: " << s.right << ".\n";
	else
		std::cout << "\nQuestions answered: " << s.rounds << "; right: " <<
		    s.right << ".\n";
}
