// proclab predict: questions on which of two lines comes first, for the
// demos whose orders are too many to write out, and quiz sheets of whole
// outputs or of such questions, with their key. See predict.h.
#include <algorithm>
#include <random>
#include <set>

#include "predict.h"

namespace {

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

// Every order the rules allow: only for demos asked for whole orders.
std::vector<std::vector<std::size_t>>
all_orders(const Lettered &l)
{
	std::vector<std::vector<std::size_t>> all;
	each_order(l.rules, [&](const std::vector<Step> &steps) {
		all.push_back(indexes(l, steps));
		return true;
	});
	return all;
}

// An allowed order with two neighbouring lines swapped that one rule
// alone orders: the smallest change that breaks exactly one rule.
std::vector<std::size_t>
broken_once(const Lettered &l, std::vector<std::size_t> o, std::uint64_t pick)
{
	Precedence p(l.rules);
	std::vector<std::size_t> at;
	for (std::size_t i = 0; i + 1 < o.size(); i++)
		if (p.chain(l.steps[o[i]], l.steps[o[i + 1]]).size() == 1)
			at.push_back(i);
	if (at.empty())
		return o;
	std::size_t i = at[pick % at.size()];
	std::swap(o[i], o[i + 1]);
	return o;
}

std::string
whole_item(const Lettered &l, const std::vector<std::size_t> &o)
{
	std::string s = "```\n";
	for (std::size_t k : o)
		s += std::string(1, letter_name(k)) + "  " + l.lines[k] + "\n";
	return s + "```\n\n- [ ] possible\n- [ ] impossible\n";
}

std::string
line_named(const Lettered &l, std::size_t k)
{
	return l.lettered ? std::string(1, letter_name(k)) + "  `" +
	    l.lines[k] + "`" : "`" + l.lines[k] + "`";
}

} // namespace

std::vector<Question>
questions(const Lettered &l, std::size_t n, std::uint64_t seed)
{
	std::mt19937_64 rng(seed);
	Precedence p(l.rules);
	std::vector<std::size_t> marks = landmarks(l);
	std::vector<Question> decided, open;
	std::set<std::pair<std::size_t, std::size_t>> asked;

	// Tries enough pairs for a mix of decided and open questions.
	for (std::size_t tries = 0; tries < 200 * n &&
	    (decided.size() < n || open.size() < n); tries++) {
		std::size_t a = marks[rng() % marks.size()];
		std::size_t b = marks[rng() % marks.size()];
		if (a == b || !askable(l, a, b) ||
		    !asked.insert({std::min(a, b), std::max(a, b)}).second)
			continue;
		Question q{a, b, Question::Key::either, p.chain(l.steps[a],
		    l.steps[b])};
		if (!q.chain.empty())
			q.key = Question::Key::a;
		else if (!(q.chain = p.chain(l.steps[b], l.steps[a])).empty())
			q.key = Question::Key::b;
		(q.chain.empty() ? open : decided).push_back(std::move(q));
	}
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

std::string
quiz(const Lettered &l, std::size_t n, std::uint64_t seed, bool answers)
{
	std::mt19937_64 rng(seed);
	std::string sheet = "# " + l.demo->name + ": " + (l.whole ?
	    "which of these outputs can a run give?" :
	    "which line comes first?") + "\n\n";
	std::string key = "## Key\n\n";

	if (l.whole) {
		std::vector<std::vector<std::size_t>> all = all_orders(l);
		sheet += wrapped("Mark each output possible or impossible. "
		    "Each line has its letter; P is the process started, C1, "
		    "C2, ... its children in the order they are made.");
		// Half of them broken, in an order of the seed's.
		std::vector<bool> broken(n);
		for (std::size_t i = 0; i < n / 2; i++)
			broken[i] = true;
		std::shuffle(broken.begin(), broken.end(), rng);
		for (std::size_t i = 0; i < n; i++) {
			std::vector<std::size_t> o = all[rng() % all.size()];
			if (broken[i])
				o = broken_once(l, o, rng());
			std::optional<Broken> b = judge(l, o);
			sheet += "\n## " + std::to_string(i + 1) + "\n\n" +
			    whole_item(l, o);
			key += std::to_string(i + 1) + ". " + letters(o) + ": " +
			    (b ? "impossible. " + broken_words(l, o, *b) :
			    "possible.") + "\n";
		}
	} else {
		sheet += wrapped("For each pair of lines, mark which one a run "
		    "writes first: always the first, always the second, or "
		    "either.");
		std::size_t i = 0;
		for (const Question &q : questions(l, n, seed)) {
			sheet += "\n## " + std::to_string(++i) + "\n\n- " +
			    line_named(l, q.a) + "\n- " + line_named(l, q.b) +
			    "\n\n- [ ] always the first\n- [ ] always the "
			    "second\n- [ ] either\n";
			key += std::to_string(i) + ". " +
			    (q.key == Question::Key::either ? "either: no rule "
			    "orders them." : q.key == Question::Key::a ? "always "
			    "the first. " + chain_words(l, q.chain) : "always the "
			    "second. " + chain_words(l, q.chain)) + "\n";
		}
	}
	return answers ? sheet + "\n" + key : sheet;
}
