// Building the rules of a run, and the lines they hold.
#include <algorithm>
#include <stdexcept>

#include "rules.h"

const char program_order_cause[] =
    "one process writes its lines in the order of its program";
const char fork_cause[] =
    "a child cannot write before the fork that made it";
const char wait_cause[] =
    "{P} waits for {C1} in waitpid before writing it";

std::string
fill_roles(const std::string &text,
    const std::function<std::string(const std::string &)> &role)
{
	std::string s;

	for (std::size_t at = 0; at < text.size();) {
		std::size_t open = text.find('{', at);
		std::size_t close = open == std::string::npos ? open :
		    text.find('}', open);
		if (close == std::string::npos) {
			s.append(text, at);
			break;
		}
		s.append(text, at, open - at);
		s += role(text.substr(open + 1, close - open - 1));
		at = close + 1;
	}
	return s;
}

Template
parse_template(const std::string &line)
{
	Template t;

	for (std::size_t at = 0; at < line.size();) {
		if (line[at] != '{') {
			std::size_t to = std::min(line.find('{', at), line.size());
			t.push_back({Token::Kind::text, line.substr(at, to - at)});
			at = to;
			continue;
		}
		std::size_t close = line.find_first_of("{}", at + 1);
		if (close == std::string::npos || line[close] != '}' ||
		    close == at + 1)
			throw std::invalid_argument("the line \"" + line + "\" has a "
			    "\"{\" at " + std::to_string(at) + " without a role "
			    "and its \"}\"");
		std::string name = line.substr(at + 1, close - at - 1);
		t.push_back({name == "addr" ? Token::Kind::addr :
		    Token::Kind::role, name});
		at = close + 1;
	}
	return t;
}

std::string
fill(const Template &t,
    const std::function<std::string(const std::string &)> &role,
    std::string_view addr)
{
	std::string s;

	for (const Token &k : t) {
		if (k.kind == Token::Kind::text)
			s += k.text;
		else if (k.kind == Token::Kind::addr)
			s += addr;
		else
			s += role(k.text);
	}
	return s;
}

std::size_t
Rules::at(const std::string &role, std::size_t line) const
{
	for (std::size_t i = 0; i < procs.size(); i++) {
		if (procs[i].role != role)
			continue;
		if (line != npos && line >= procs[i].lines.size())
			throw std::invalid_argument(role + " has no line " +
			    std::to_string(line));
		return i;
	}
	throw std::invalid_argument("no process with role " + role);
}

std::pair<std::size_t, std::size_t>
Rules::group_of(std::size_t p, std::size_t i) const
{
	const Proc &owner = procs[p];
	std::size_t from = owner.group[i], to = from;
	while (to < owner.lines.size() && owner.group[to] == from)
		to++;
	return {from, to};
}

bool
Rules::has_groups() const
{
	for (const Proc &p : procs)
		for (std::size_t i = 0; i < p.group.size(); i++)
			if (p.group[i] != i)
				return true;
	return false;
}

Rules &
Rules::proc(const std::string &role, std::vector<std::string> lines)
{
	Proc p{role, std::move(lines), {}, {}, {}};
	for (std::size_t i = 0; i < p.lines.size(); i++) {
		p.templates.push_back(parse_template(p.lines[i]));
		p.group.push_back(i);
	}
	procs.push_back(std::move(p));
	return *this;
}

Rules &
Rules::any_order(const std::string &role, std::size_t from, std::size_t to)
{
	std::size_t p = at(role, to - 1);
	if (!order.empty() || to <= from || to - from > 64 ||
	    procs[p].group[from] != from || group_of(p, to - 1).second != to)
		throw std::invalid_argument("group of " + role + " out of place");
	for (std::size_t i = from; i < to; i++)
		procs[p].group[i] = from;
	return *this;
}

Rules &
Rules::then_anything(const std::string &role, const std::string &what)
{
	procs[at(role, npos)].rest = what;
	return *this;
}

// The roles of a cause are the rule's own: "{P}" is the parent's.
std::size_t
Rules::cause_of(const std::string &cause, const std::string &parent,
    const std::string &child)
{
	std::string c = fill_roles(cause, [&](const std::string &r) {
		return "{" + (r == "P" ? parent : r == "C1" ? child : r) + "}";
	});
	auto it = std::find(causes.begin(), causes.end(), c);
	if (it != causes.end())
		return static_cast<std::size_t>(it - causes.begin());
	causes.push_back(c);
	return causes.size() - 1;
}

Rules &
Rules::forks(const std::string &parent, std::size_t i, const std::string &child,
    const std::string &cause)
{
	std::size_t p = at(parent, i), c = at(child, npos);
	if (procs[c].lines.empty())
		return *this;
	std::size_t why = cause_of(cause.empty() ? fork_cause : cause, parent,
	    child);
	auto [from, to] = group_of(c, 0);
	for (std::size_t j = from; j < to; j++)
		order.push_back({p, i, c, j, why});
	return *this;
}

Rules &
Rules::waits(const std::string &parent, std::size_t i, const std::string &child,
    const std::string &cause)
{
	std::size_t p = at(parent, i), c = at(child, npos);
	if (procs[c].lines.empty())
		return *this;
	std::size_t why = cause_of(cause.empty() ? wait_cause : cause, parent,
	    child);
	auto [from, to] = group_of(c, procs[c].lines.size() - 1);
	for (std::size_t j = from; j < to; j++)
		order.push_back({c, j, p, i, why});
	return *this;
}

