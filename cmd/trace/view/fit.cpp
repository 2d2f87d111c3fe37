// The text within the terminal's width: a line of the program's cut,
// with a mark, where a character ends; trace's own words broken at
// spaces onto lines of their own. A character is taken as one column,
// a tab as up to the next stop of eight.
#include <utility>

#include "shown.h"

namespace {

bool
starts_character(char c)
{
	return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
}

// The column after s's first byte at i, from column at.
std::size_t
next_column(const std::string &s, std::size_t i, std::size_t at)
{
	if (s[i] == '\t')
		return (at / 8 + 1) * 8;
	return starts_character(s[i]) ? at + 1 : at;
}

} // namespace

std::size_t
columns(const std::string &s)
{
	std::size_t at = 0;

	for (std::size_t i = 0; i < s.size(); i++)
		at = next_column(s, i, at);
	return at;
}

std::string
fitted(const std::string &line, std::size_t width)
{
	if (columns(line) <= width)
		return line;
	// The mark takes a column: what is kept ends where a character
	// that would pass width - 1 begins.
	std::size_t at = 0, i = 0;
	for (; i < line.size(); i++) {
		std::size_t next = next_column(line, i, at);
		if (starts_character(line[i]) && next + 1 > width)
			break;
		at = next;
	}
	return line.substr(0, i) + "\xe2\x80\xa6";
}

std::vector<std::string>
wrapped(const std::string &text, std::size_t first, std::size_t rest)
{
	std::vector<std::string> lines(1);

	for (std::size_t from = 0; from < text.size();) {
		std::size_t space = text.find(' ', from);
		if (space == std::string::npos)
			space = text.size();
		std::string word = text.substr(from, space - from);
		from = space + 1;
		std::string &last = lines.back();
		std::size_t room = lines.size() == 1 ? first : rest;
		bool fits = last.empty() ||
		    columns(last) + 1 + columns(word) <= room;
		// A unit goes with its number: "10.000 s".
		std::size_t number = last.rfind(' ');
		if (!fits && (word == "s" || word == "ms") &&
		    number != std::string::npos) {
			std::string moved = last.substr(number + 1);
			moved += ' ';
			moved += word;
			word = std::move(moved);
			last.resize(number);
		}
		if (!fits) {
			lines.push_back(word);
			continue;
		}
		if (!last.empty())
			last += ' ';
		last += word;
	}
	return lines;
}
