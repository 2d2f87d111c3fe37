// orders: a run the rules do not allow, named as far as it can be: each
// process the rules name by its role, as in the orders they allow.
#include <algorithm>
#include <cctype>
#include <set>

#include "orders.h"

namespace {

// The end of the number or address at k of line, and what it is shown
// as; k itself if there is none there.
std::size_t
known_at(std::string_view line, std::size_t k,
    const std::map<long, std::string> &known, Names &names, bool addresses,
    std::string &as)
{
	std::size_t end = k;
	if (addresses && line.compare(k, 2, "0x") == 0) {
		end = k + 2;
		while (end < line.size() && std::isxdigit(
		    static_cast<unsigned char>(line[end])))
			end++;
		as = "<addr>";
		return end;
	}
	if (k > 0 && std::isalnum(static_cast<unsigned char>(line[k - 1])))
		return k;
	while (end < line.size() && std::isdigit(
	    static_cast<unsigned char>(line[end])))
		end++;
	if (end == k)
		return k;
	auto it = known.find(std::stol(std::string(line.substr(k,
	    std::min<std::size_t>(end - k, 12)))));
	as = it == known.end() ? std::string(line.substr(k, end - k)) :
	    names(it->second);
	return end;
}

// What a line reads as whoever wrote it: each number as #, each address
// as @.
std::string
skeleton(std::string_view line)
{
	std::string s;
	for (std::size_t k = 0; k < line.size();) {
		std::size_t end = k;
		if (line.compare(k, 2, "0x") == 0 || line.compare(k, 5,
		    "(nil)") == 0) {
			end = line[k] == '(' ? k + 5 : k + 2;
			while (end < line.size() && std::isxdigit(
			    static_cast<unsigned char>(line[end])))
				end++;
			s += '@';
		} else if (std::isdigit(static_cast<unsigned char>(line[k]))) {
			while (end < line.size() && std::isdigit(
			    static_cast<unsigned char>(line[end])))
				end++;
			s += '#';
		} else if (line[k] == '\n') {
			end++;	// a last line may lack it
		} else {
			s += line[end++];
		}
		k = end;
	}
	return s;
}

} // namespace

std::vector<std::string>
named_lines(const std::vector<std::string_view> &lines,
    const std::map<long, std::string> &known, Names &names, bool addresses)
{
	std::vector<std::string> out;

	for (std::string_view line : lines) {
		std::string s, as;
		for (std::size_t k = 0, end; k < line.size(); k = end) {
			end = known_at(line, k, known, names, addresses,
			    as);
			if (end > k) {
				s += as;
			} else {
				end = k + 1;
				s += line[k];
			}
		}
		out.push_back(std::move(s));
	}
	return out;
}

std::vector<std::string>
missing(const Rules &rules, const std::vector<std::string_view> &lines,
    const std::map<long, std::string> &roles)
{
	std::set<std::string> named, written;
	for (const auto &[pid, role] : roles) {
		if (role.starts_with('?'))
			return {};
		named.insert(role);
	}
	for (std::string_view l : lines)
		written.insert(skeleton(l));
	std::vector<std::string> out;
	auto hash = [](const std::string &) { return std::string("#"); };
	for (const auto &p : rules.procs) {
		bool has_number = false, seen = named.contains(p.role);
		for (const Template &t : p.templates) {
			has_number = has_number || std::any_of(t.begin(), t.end(),
			    [&](const Token &k) { return k.text == p.role &&
			    k.kind == Token::Kind::role; });
			seen = seen || written.contains(skeleton(fill(t, hash,
			    "@")));
		}
		if (has_number && !seen)
			out.push_back(p.role);
	}
	return out;
}

std::string
rejection(const Rules &rules, std::span<const std::string_view> lines,
    const std::vector<std::string> &named, const Verdict &v, Names &names)
{
	std::vector<std::string_view> views(named.begin(), named.end());
	return explain_rejection(rules, lines, v, {[&names](
	    const std::string &role) { return names(role); }, "<addr>", views});
}
