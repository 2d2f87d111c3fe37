// The order checker: a depth-first search for an order of the rules that
// a run's lines follow, line by line, binding each role to the number it
// first finds. Most runs never step back, so the way forward allocates
// nothing per line; a state found to lead nowhere is not tried twice.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <set>

#include "internal/frontier.h"

namespace {

using Bindings = std::map<std::string, long>;

// How long an address may be: "0x" and 16 hexadecimal digits.
constexpr std::size_t max_address = 18;

// The length of the address at the start of s, or 0 if there is none.
std::size_t
address_at(std::string_view s, std::size_t at)
{
	if (s.compare(at, 5, "(nil)") == 0)
		return 5;
	if (s.compare(at, 2, "0x") != 0)
		return 0;
	std::size_t end = at + 2;
	while (end < s.size() && end - at < max_address && std::isxdigit(
	    static_cast<unsigned char>(s[end])) && !std::isupper(
	    static_cast<unsigned char>(s[end])))
		end++;
	return end > at + 2 ? end - at : 0;
}

// The length of the process number at the start of s, or 0 if there is
// none: positive, with no leading zero, and not already another role's.
std::size_t
number_at(std::string_view s, std::size_t at, const Bindings &b, long &n)
{
	std::size_t end = at;
	while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])))
		end++;
	if (end == at || end - at >= 12 || s[at] == '0')
		return 0;
	std::from_chars(s.data() + at, s.data() + end, n);
	bool taken = std::any_of(b.begin(), b.end(),
	    [n](const auto &kv) { return kv.second == n; });
	return taken ? 0 : end - at;
}

// Whether line holds the text of one token at l, moving l past it;
// binds a role seen for the first time, noting it in bound.
bool
match_token(const Token &k, std::string_view line, std::size_t &l,
    Bindings &b, std::vector<std::string> &bound)
{
	std::size_t n = 0;
	if (k.kind == Token::Kind::text) {
		n = line.substr(l).starts_with(k.text) ? k.text.size() : 0;
	} else if (k.kind == Token::Kind::addr) {
		n = address_at(line, l);
	} else if (auto it = b.find(k.text); it != b.end()) {
		std::string id = std::to_string(it->second);
		n = line.compare(l, id.size(), id) == 0 ? id.size() : 0;
	} else {
		long id = 0;
		if ((n = number_at(line, l, b, id)) > 0) {
			b[k.text] = id;
			bound.push_back(k.text);
		}
	}
	l += n;
	return n > 0;
}

// Matches line against a template; on a mismatch nothing stays bound.
bool
match(const Template &t, std::string_view line, Bindings &b,
    std::vector<std::string> &bound)
{
	std::size_t l = 0;
	bool ok = std::all_of(t.begin(), t.end(), [&](const Token &k) {
		return match_token(k, line, l, b, bound);
	});
	if (!ok || l != line.size()) {
		for (const auto &role : bound)
			b.erase(role);
		bound.clear();
		return false;
	}
	return true;
}

// Whether line reads as template t, whatever numbers stand for its
// roles; if so, roles holds them.
bool
reads_as(const Template &t, std::string_view line, Bindings &roles)
{
	std::vector<std::string> bound;
	roles.clear();
	return match(t, line, roles, bound);
}

class Search {
public:
	Search(const Rules &rules, std::span<const std::string_view> lines,
	    const Bindings &known)
	    : rules_(rules), lines_(lines), at_(rules, false), b_(known),
	      furthest_b_(known)
	{
		path_.reserve(lines.size());
	}

	Verdict run()
	{
		Verdict v;
		Step s{};
		bool untried = at_.first(s);
		for (;;) {
			if (path_.size() == lines_.size() && at_.finished()) {
				v.ok = true;
				v.pids = b_;
				v.steps = std::move(path_);
				return v;
			}
			if (path_.size() < lines_.size() && fit(s, untried)) {
				advance(s);
				untried = (dead_.empty() ||
				    !dead_.contains(state())) && at_.first(s);
				continue;
			}
			dead_.insert(state());
			if (path_.empty())
				break;
			untried = retreat(s);
		}
		v.pids = furthest_b_;
		v.furthest = furthest_;
		v.steps = std::move(furthest_path_);
		// The numbers bound then, and the roles not yet bound as such.
		v.why = explain_rejection(rules_, lines_, v, {[this](
		    const std::string &role) {
			auto it = furthest_b_.find(role);
			return it == furthest_b_.end() ? "{" + role + "}" :
			    std::to_string(it->second);
		    }, "{addr}", {}});
		return v;
	}

private:
	[[nodiscard]] std::string state() const
	{
		std::string k = at_.key();
		for (const auto &[role, n] : b_)
			k += role + "=" + std::to_string(n) + ",";
		return k;
	}

	// From s on, the first step that may come next and matches the
	// next line; false if none does.
	bool fit(Step &s, bool untried)
	{
		std::string_view line = lines_[path_.size()];
		for (; untried; untried = at_.next(s)) {
			const Rules::Proc &proc = rules_.procs[s.proc];
			if (s.line >= proc.lines.size() ||
			    match(proc.templates[s.line], line, b_, fresh_))
				return true;
		}
		return false;
	}

	void advance(const Step &s)
	{
		std::size_t pos = path_.size();
		at_.take(s);
		path_.push_back(s);
		rebound_ = rebound_ || !fresh_.empty();
		for (auto &role : fresh_)
			bound_.emplace_back(pos, std::move(role));
		fresh_.clear();
		if (pos + 1 > furthest_) {
			furthest_ = pos + 1;
			if (rebound_)
				furthest_b_ = b_;
			rebound_ = false;
			furthest_path_.resize(same_);
			furthest_path_.insert(furthest_path_.end(),
			    path_.begin() + static_cast<long>(same_), path_.end());
			same_ = path_.size();
		}
	}

	// Takes back the last step into s; whether a step after it is left.
	bool retreat(Step &s)
	{
		std::size_t pos = path_.size();
		s = path_.back();
		path_.pop_back();
		same_ = std::min(same_, path_.size());
		at_.undo(s);
		for (; !bound_.empty() && bound_.back().first == pos - 1;
		    bound_.pop_back()) {
			b_.erase(bound_.back().second);
			rebound_ = true;
		}
		return at_.next(s);
	}

	const Rules &rules_;
	std::span<const std::string_view> lines_;
	Frontier at_;
	Bindings b_;
	std::set<std::string> dead_;	// states from which no order fits
	// The step taken for each line so far, and the roles each bound.
	std::vector<Step> path_;
	std::vector<std::pair<std::size_t, std::string>> bound_;
	std::vector<std::string> fresh_;
	std::size_t furthest_ = 0;
	Bindings furthest_b_;
	bool rebound_ = false;	// b_ changed since furthest_b_ was taken
	// The path when furthest_ was reached, and how much of path_ it
	// still shares: kept up at a cost of the steps taken back alone.
	std::vector<Step> furthest_path_;
	std::size_t same_ = 0;
};

} // namespace

Verdict
check_order(const Rules &rules, std::span<const std::string_view> lines,
    const std::map<std::string, long> &known)
{
	return Search(rules, lines, known).run();
}

Verdict
check_order(const Rules &rules, const std::vector<std::string> &lines,
    const std::map<std::string, long> &known)
{
	std::vector<std::string_view> views(lines.begin(), lines.end());
	return check_order(rules, views, known);
}

std::vector<std::string>
writers(const Rules &rules, const Verdict &v)
{
	std::vector<std::string> w;

	for (const Step &s : v.steps)
		w.push_back(rules.procs[s.proc].role);
	return w;
}

std::vector<Reading>
readings(const Rules &rules, std::string_view line)
{
	std::vector<Reading> out;
	Bindings roles;

	for (std::size_t p = 0; p < rules.procs.size(); p++)
		for (std::size_t i = 0; i < rules.procs[p].lines.size(); i++)
			if (reads_as(rules.procs[p].templates[i], line, roles))
				out.push_back({{p, i}, roles});
	return out;
}

bool
fits(const Reading &r, const std::map<std::string, long> &bound)
{
	return std::all_of(r.roles.begin(), r.roles.end(), [&](const auto &rn) {
		auto it = bound.find(rn.first);
		if (it != bound.end())
			return it->second == rn.second;
		return std::none_of(bound.begin(), bound.end(),
		    [&](const auto &b) { return b.second == rn.second; });
	});
}

std::map<std::string, long>
bind_by_text(const Rules &rules, std::span<const std::string_view> lines,
    std::map<std::string, long> bound)
{
	// Only the lines of the rules that carry a number can bind one.
	std::vector<Step> numbered;
	for (std::size_t p = 0; p < rules.procs.size(); p++)
		for (std::size_t i = 0; i < rules.procs[p].lines.size(); i++) {
			const Template &t = rules.procs[p].templates[i];
			if (std::any_of(t.begin(), t.end(), [](const Token &k) {
				return k.kind == Token::Kind::role;
			    }))
				numbered.push_back({p, i});
		}
	Bindings roles;
	for (std::string_view line : lines) {
		std::optional<Bindings> fresh;	// what every reading binds
		bool agree = true;
		for (const Step &s : numbered) {
			if (!reads_as(rules.procs[s.proc].templates[s.line], line,
			    roles) || !fits({s, roles}, bound))
				continue;
			std::erase_if(roles, [&](const auto &rn) {
				return bound.contains(rn.first);
			});
			agree = agree && (!fresh || *fresh == roles);
			fresh = roles;
		}
		if (fresh && agree)
			bound.insert(fresh->begin(), fresh->end());
	}
	return bound;
}
