// proclab predict: questions on which of two lines comes first, for the
// demos whose orders are too many to write out, and quiz sheets of whole
// outputs or of such questions, with their key. See predict.h.
#include <algorithm>
#include <random>
#include <set>

#include "predict.h"

namespace {

using Order = std::vector<std::size_t>;

// Shuffled as the seed says. Not std::shuffle, whose steps are each
// standard library's own: a seed gives the same sheet wherever proclab
// was built.
template <class Seq>
void
shuffled(Seq &v, std::mt19937_64 &rng)
{
	for (std::size_t i = v.size(); i > 1; i--)
		std::swap(v[i - 1], v[rng() % i]);
}

// The lines worth asking about: each process's first and last, and every
// line a fork or a wait orders. Of a demo with few lines, all.
std::vector<std::size_t>
landmarks(const Lettered &l)
{
	std::set<std::pair<std::size_t, std::size_t>> at;
	for (std::size_t p = 0; p < l.rules.procs.size(); p++) {
		std::size_t n = l.rules.procs[p].lines.size();
		if (n > 0)
			at.insert({p, 0}), at.insert({p, n - 1});
	}
	for (const Rules::Before &b : l.rules.order)
		at.insert({b.a, b.i}), at.insert({b.b, b.j});
	std::vector<std::size_t> k;
	for (std::size_t i = 0; i < l.steps.size(); i++)
		if (l.lettered || at.contains({l.steps[i].proc,
		    l.steps[i].line}))
			k.push_back(i);
	return k;
}

// Whether the rules may say something of a and b's order: lines of two
// processes, or of one that writes them in either order.
bool
askable(const Lettered &l, std::size_t a, std::size_t b)
{
	Step x = l.steps[a], y = l.steps[b];
	const Rules::Proc &p = l.rules.procs[x.proc];
	return x.proc != y.proc || p.group[x.line] == p.group[y.line];
}

// The outputs worth asking about, each once: every order the rules
// allow, and every order one slip away from one of them: two
// neighbouring lines swapped that a rule of their own orders. Only for
// demos asked for whole orders, which have few.
struct Outputs {
	std::vector<Order> possible, impossible;
};

Outputs
outputs(const Lettered &l)
{
	Precedence p(l.rules);
	std::size_t n = l.lines.size();
	std::vector<bool> ruled(n * n);	// a's line put right before b's
	for (std::size_t a = 0; a < n; a++)
		for (std::size_t b = 0; b < n; b++)
			ruled[a * n + b] = p.chain(l.steps[a], l.steps[b])
			    .size() == 1;
	Outputs o;
	std::set<Order> slips;
	each_order(l.rules, [&](const std::vector<Step> &steps) {
		Order order = indexes(l, steps);
		for (std::size_t i = 0; i + 1 < n; i++)
			if (ruled[order[i] * n + order[i + 1]]) {
				Order slip = order;
				std::swap(slip[i], slip[i + 1]);
				slips.insert(std::move(slip));
			}
		o.possible.push_back(std::move(order));
		return true;
	});
	o.impossible.assign(slips.begin(), slips.end());
	return o;
}

// n outputs, half of them impossible as far as there are enough of each
// kind, in an order of the seed's.
std::vector<Order>
chosen(Outputs o, std::size_t n, std::mt19937_64 &rng)
{
	shuffled(o.possible, rng);
	shuffled(o.impossible, rng);
	std::size_t bad = std::min(n / 2, o.impossible.size());
	std::size_t good = std::min(n - bad, o.possible.size());
	bad = std::min(n - good, o.impossible.size());
	std::vector<Order> items;
	for (std::size_t i = 0; i < good + bad; i++)
		items.push_back(i < good ? o.possible[i] :
		    o.impossible[i - good]);
	shuffled(items, rng);
	return items;
}

std::string
whole_item(const Lettered &l, const Order &o)
{
	std::string s = "```\n";
	for (std::size_t k : o)
		s += std::string(1, l.names[k]) + "  " + l.lines[k] + "\n";
	return s + "```\n\n- [ ] possible\n- [ ] impossible\n";
}

// The key's list of which letter is which line, A first.
std::string
letter_list(const Lettered &l)
{
	std::string sorted = l.names, s = "Each letter's line:\n\n```\n";
	std::sort(sorted.begin(), sorted.end());
	for (char c : sorted)
		s += std::string(1, c) + "  " + l.lines[l.names.find(c)] + "\n";
	return s + "```\n\n";
}

// Item i of the key, its lines under its text.
std::string
key_item(std::size_t i, const std::string &text)
{
	std::string number = std::to_string(i) + ". ";
	return wrapped(number + text, number.size());
}

std::size_t
whole_sheet(const Lettered &l, std::size_t n, std::mt19937_64 &rng,
    std::string &sheet, std::string &key)
{
	sheet += wrapped("Mark each output possible or impossible. Each line "
	    "has the same letter all through the sheet, given at random; P "
	    "is the process started, C1, C2, ... its children in the order "
	    "they are made.");
	key += letter_list(l);
	std::vector<Order> items = chosen(outputs(l), n, rng);
	for (std::size_t i = 0; i < items.size(); i++) {
		const Order &o = items[i];
		std::optional<Broken> b = judge(l, o);
		sheet += "\n## " + std::to_string(i + 1) + "\n\n" +
		    whole_item(l, o);
		key += key_item(i + 1, letters(l, o) + ": " + (b ?
		    "impossible. " + broken_words(l, o, *b) : "possible."));
	}
	return items.size();
}

std::string
line_named(const Lettered &l, std::size_t k)
{
	return l.lettered ? std::string(1, l.names[k]) + "  `" +
	    l.lines[k] + "`" : "`" + l.lines[k] + "`";
}

std::size_t
pair_sheet(const Lettered &l, std::size_t n, std::uint64_t seed,
    std::string &sheet, std::string &key)
{
	sheet += wrapped("For each pair of lines, mark which one a run "
	    "writes first: always the first, always the second, or either.");
	std::size_t i = 0;
	for (const Question &q : questions(l, n, seed)) {
		sheet += "\n## " + std::to_string(++i) + "\n\n- " +
		    line_named(l, q.a) + "\n- " + line_named(l, q.b) +
		    "\n\n- [ ] always the first\n- [ ] always the "
		    "second\n- [ ] either\n";
		key += key_item(i, q.key == Question::Key::either ? "either: "
		    "no rule orders them." : (q.key == Question::Key::a ?
		    "always the first. " : "always the second. ") +
		    chain_words(l, q.chain));
	}
	return i;
}

} // namespace

std::vector<Question>
questions(const Lettered &l, std::size_t n, std::uint64_t seed)
{
	std::mt19937_64 rng(seed);
	Precedence p(l.rules);
	std::vector<std::size_t> marks = landmarks(l);
	std::vector<Question> decided, open;

	for (std::size_t i = 0; i < marks.size(); i++)
		for (std::size_t j = i + 1; j < marks.size(); j++) {
			std::size_t a = marks[i], b = marks[j];
			if (!askable(l, a, b))
				continue;
			if (rng() % 2)
				std::swap(a, b);
			Question q{a, b, Question::Key::either,
			    p.chain(l.steps[a], l.steps[b])};
			if (!q.chain.empty())
				q.key = Question::Key::a;
			else if (!(q.chain = p.chain(l.steps[b],
			    l.steps[a])).empty())
				q.key = Question::Key::b;
			(q.chain.empty() ? open : decided).push_back(
			    std::move(q));
		}
	shuffled(decided, rng);
	shuffled(open, rng);
	// A mix of decided and open questions, as long as both last.
	std::vector<Question> qs;
	for (std::size_t i = 0; qs.size() < n &&
	    (i < decided.size() || i < open.size()); i++) {
		if (i < decided.size())
			qs.push_back(decided[i]);
		if (i < open.size() && qs.size() < n)
			qs.push_back(open[i]);
	}
	return qs;
}

Sheet
quiz(const Lettered &l, std::size_t n, std::uint64_t seed, bool answers)
{
	std::mt19937_64 rng(seed);
	Lettered s = l;
	shuffled(s.names, rng);
	Sheet sheet;
	sheet.text = "# " + l.demo->name + ": " + (l.whole ?
	    "which of these outputs can a run give?" :
	    "which line comes first?") + "\n\n";
	std::string key = "## Key\n\n";
	sheet.items = l.whole ? whole_sheet(s, n, rng, sheet.text, key) :
	    pair_sheet(s, n, seed, sheet.text, key);
	if (answers)
		sheet.text += "\n" + key;
	return sheet;
}
