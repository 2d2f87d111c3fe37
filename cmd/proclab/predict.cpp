// proclab predict: a demo's lines, each with a letter, and an order of
// them judged by the demo's rules. See predict.h.
#include <algorithm>
#include <cctype>

#include "predict.h"
#include "tool.h"

namespace {

// Past these, orders are not counted nor asked for whole: counting
// recurses once per line, and no student writes out 20 letters twice.
constexpr std::size_t most_counted_lines = 1000;
constexpr std::size_t most_whole_lines = 26;
constexpr std::uint64_t most_whole_orders = 10000;

std::string
role_of(const std::string &role)
{
	return role;
}

// Where each process's lines start among all of them.
std::size_t
index_of(const Lettered &l, Step s)
{
	std::size_t k = 0;
	for (std::size_t p = 0; p < s.proc; p++)
		k += l.rules.procs[p].lines.size();
	return k + s.line;
}

// A line as a student finds it: its letter in a whole order, else its
// text.
std::string
name_of(const Lettered &l, Step s)
{
	std::size_t k = index_of(l, s);
	if (l.whole)
		return {l.names[k]};
	return "\"" + l.lines[k] + "\"";
}

// The k-th letter: A to Z, then a to z.
char
letter_name(std::size_t k)
{
	return static_cast<char>(k < 26 ? 'A' + k : 'a' + (k - 26));
}

} // namespace

Lettered
letter(const DemoRules &d)
{
	Lettered l;
	l.demo = &d;
	l.rules = d.rules();
	for (std::size_t p = 0; p < l.rules.procs.size(); p++) {
		const Rules::Proc &proc = l.rules.procs[p];
		if (!proc.rest.empty())
			usage(d.name + " ends with " + proc.rest + ", which no "
			    "rule foretells: nothing to predict");
		for (std::size_t i = 0; i < proc.lines.size(); i++) {
			l.steps.push_back({p, i});
			l.lines.push_back(shown_line(fill(proc.templates[i],
			    role_of, "<addr>")));
		}
	}
	// Lines that read alike are told apart by their writer.
	std::vector<std::string> as_written = l.lines;
	for (std::size_t k = 0; k < l.lines.size() && l.lines.size() <= 52; k++)
		if (std::count(as_written.begin(), as_written.end(),
		    as_written[k]) > 1)
			l.lines[k] += "   (" + l.rules.procs[l.steps[k].proc].role +
			    ")";
	if (l.lines.size() < 2)
		usage(d.name + " writes " + (l.lines.empty() ? "no lines" :
		    "one line") + ": nothing to predict");
	if (l.lines.size() <= most_counted_lines)
		l.allowed = count_orders(l.rules);
	l.lettered = l.lines.size() <= 52;
	for (std::size_t k = 0; l.lettered && k < l.lines.size(); k++)
		l.names += letter_name(k);
	l.whole = l.lines.size() <= most_whole_lines && l.allowed &&
	    *l.allowed <= most_whole_orders;
	return l;
}

std::vector<std::size_t>
read_order(const Lettered &l, std::string_view text, bool whole,
    std::string &error)
{
	std::vector<std::size_t> order;
	std::vector<bool> named(l.lines.size(), false);
	bool one_case = l.lines.size() <= 26;

	for (char c : text) {
		if (std::isspace(static_cast<unsigned char>(c)))
			continue;
		if (one_case)
			c = static_cast<char>(std::toupper(
			    static_cast<unsigned char>(c)));
		std::size_t k = std::isalpha(static_cast<unsigned char>(c)) ?
		    l.names.find(c) : std::string::npos;
		if (k == std::string::npos) {
			error = "'" + std::string(1, c) + "' is not one of the "
			    "letters A to " + letter_name(l.lines.size() - 1);
			return {};
		}
		if (named[k]) {
			error = std::string(1, c) + " is there twice";
			return {};
		}
		named[k] = true;
		order.push_back(k);
	}
	std::string left;
	for (std::size_t k = 0; k < named.size(); k++)
		if (!named[k])
			left += l.names[k];
	if (whole && !left.empty())
		error = "a whole order names every line; missing: " + left;
	else if (order.size() < 2)
		error = "name two lines at least";
	return error.empty() ? order : std::vector<std::size_t>{};
}

std::optional<Broken>
judge(const Lettered &l, const std::vector<std::size_t> &order)
{
	std::vector<Step> steps;
	steps.reserve(order.size());
	for (std::size_t k : order)
		steps.push_back(l.steps[k]);
	return first_broken(l.rules, steps);
}

std::vector<std::size_t>
indexes(const Lettered &l, const std::vector<Step> &steps)
{
	std::vector<std::size_t> order;
	order.reserve(steps.size());
	for (const Step &s : steps)
		order.push_back(index_of(l, s));
	return order;
}

std::string
chain_words(const Lettered &l, const std::vector<Link> &rules)
{
	// Neighbouring rules of one cause are one: G comes before J, not
	// G before H, H before I and I before J.
	std::vector<Link> chain;
	for (const Link &x : rules)
		if (!chain.empty() && chain.back().cause == x.cause)
			chain.back().after = x.after;
		else
			chain.push_back(x);
	std::string s;
	// A long chain (of thousands of lines) is told by its ends.
	for (std::size_t k = 0; k < chain.size(); k++) {
		if (chain.size() > 4 && k == 2) {
			s += "; and so on, " + std::to_string(chain.size() - 3) +
			    " rules further";
			k = chain.size() - 2;
			continue;
		}
		const Link &x = chain[k];
		s += (k == 0 ? "" : "; and ") + name_of(l, x.before) +
		    " comes before " + name_of(l, x.after) + ": " +
		    fill_roles(x.cause, role_of);
	}
	return s + ".";
}

std::string
why_not(const Lettered &l, const std::vector<std::size_t> &order,
    const Broken &b, bool bold)
{
	std::string s;
	std::size_t early = order[b.early], due = order[b.due];

	for (std::size_t k : order) {
		bool marked = k == early || k == due;
		std::string line = std::string(marked ? " >" : "  ") + "  " +
		    l.names[k] + "  " + l.lines[k];
		if (k == early)
			line += "   <- too soon";
		else if (k == due)
			line += "   <- must come before " +
			    std::string(1, l.names[early]);
		s += (marked && bold ? "\033[1m" + line + "\033[0m" : line) +
		    "\n";
	}
	return s + wrapped(broken_words(l, order, b));
}

std::string
broken_words(const Lettered &l, const std::vector<std::size_t> &order,
    const Broken &b)
{
	std::string why = std::string(1, l.names[order[b.early]]) +
	    " cannot come before " + l.names[order[b.due]];
	std::string because = chain_words(l, b.chain);
	std::string direct = name_of(l, b.chain.front().before) +
	    " comes before " + name_of(l, b.chain.back().after) + ": ";
	if (because.starts_with(direct) && because.find("; and ") ==
	    std::string::npos)
		return why + ": " + because.substr(direct.size());
	return why + ", because " + because;
}

std::string
wrapped(const std::string &text, std::size_t hang)
{
	constexpr std::size_t width = 78;
	std::string s;
	std::size_t column = 0;
	bool fresh = true;	// the line holds no word yet

	for (std::size_t at = 0; at < text.size();) {
		std::size_t end = std::min(text.find(' ', at), text.size());
		std::size_t n = end - at;
		if (!fresh && column + 1 + n > width) {
			s.append(1, '\n').append(hang, ' ');
			column = hang;
			fresh = true;
		}
		if (!fresh) {
			s += " ";
			column++;
		}
		s.append(text, at, n);
		column += n;
		fresh = false;
		at = end + 1;
	}
	return s + "\n";
}

std::string
letters(const Lettered &l, const std::vector<std::size_t> &order)
{
	std::string s;
	for (std::size_t k : order)
		s += l.names[k];
	return s;
}
