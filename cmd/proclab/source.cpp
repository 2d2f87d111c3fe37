// A source file numbered and, on a terminal, highlighted: see source.h.
#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

#include "source.h"

namespace {

// Sorted, for the binary search.
constexpr std::array<std::string_view, 39> keywords = {"auto", "bool",
    "break", "case", "char", "class", "concept", "const", "consteval",
    "constexpr", "continue", "default", "do", "else", "enum", "extern",
    "false", "for", "if", "int", "long", "namespace", "nullptr",
    "requires", "return", "signed", "sizeof", "static", "static_cast",
    "struct", "switch", "template", "true", "typename", "unsigned", "using",
    "void", "volatile", "while"};
static_assert(std::ranges::is_sorted(keywords));

const char reset[] = "\033[0m";
const char faint[] = "\033[2m";		// the line numbers and the note
const char comment[] = "\033[36m";
const char literal[] = "\033[32m";
const char keyword[] = "\033[1m";
const char directive[] = "\033[35m";

// Said under a file that calls it, which looks like printf and is not.
const char report_note[] =
    "report() is not printf: it forms each line whole in the buffer it is "
    "given\nand writes it with one write(2), so no line waits in a buffer "
    "that a fork\nwould copy or an early end would lose. proclab source "
    "report.cpp shows it.";

bool
word_char(char c)
{
	return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Past the quote that closes the literal opening at from, escapes
// skipped; the line's end if none does.
std::size_t
literal_end(std::string_view line, std::size_t from)
{
	for (std::size_t i = from + 1; i < line.size(); i++) {
		if (line[i] == '\\')
			i++;
		else if (line[i] == line[from])
			return i + 1;
	}
	return line.size();
}

std::size_t
word_end(std::string_view line, std::size_t from)
{
	while (from < line.size() && word_char(line[from]))
		from++;
	return from;
}

// The line with its comments, literals, keywords and preprocessor
// directives marked; in_comment carries a block comment from one line
// to the next.
std::string
paint(std::string_view line, bool &in_comment)
{
	std::string out;
	std::size_t i = 0;
	auto span = [&](std::size_t end, const char *sgr) {
		out.append(sgr).append(line.substr(i, end - i)).append(reset);
		i = end;
	};

	while (i < line.size()) {
		std::string_view rest = line.substr(i);
		if (in_comment || rest.starts_with("/*")) {
			std::size_t from = in_comment ? i : i + 2;
			std::size_t end = line.find("*/", from);
			in_comment = end == std::string_view::npos;
			span(in_comment ? line.size() : end + 2, comment);
		} else if (rest.starts_with("//")) {
			span(line.size(), comment);
		} else if (rest[0] == '"' || rest[0] == '\'') {
			span(literal_end(line, i), literal);
		} else if (rest[0] == '#' &&
		    line.find_first_not_of(" \t") == i) {
			span(word_end(line, i + 1), directive);
		} else if (word_char(rest[0])) {
			std::size_t end = word_end(line, i);
			if (std::ranges::binary_search(keywords, line.substr(i,
			    end - i)))
				span(end, keyword);
			else
				out.append(line.substr(i, end - i));
			i = end;
		} else {
			out += line[i++];
		}
	}
	return out;
}

// A tab as four columns, not eight: the demos' longest lines then fit 80
// columns beside their numbers.
std::string
expand_tabs(std::string_view line)
{
	std::string out;

	for (char c : line) {
		if (c == '\t')
			out.append(4 - out.size() % 4, ' ');
		else
			out += c;
	}
	return out;
}

} // namespace

std::string
numbered(std::string_view text, View view)
{
	std::size_t lines = static_cast<std::size_t>(std::ranges::count(text,
	    '\n')) + (text.ends_with('\n') || text.empty() ? 0 : 1);
	std::size_t width = std::to_string(lines).size();
	std::string out;
	bool in_comment = false;
	bool calls_report = text.find("report(") != std::string_view::npos;

	for (std::size_t n = 1; !text.empty(); n++) {
		std::size_t eol = std::min(text.find('\n'), text.size());
		std::string_view line = text.substr(0, eol);
		text.remove_prefix(std::min(eol + 1, text.size()));
		std::string number = std::to_string(n);
		number.insert(0, width - number.size(), ' ');
		if (!view.terminal) {
			out.append(number).append("\t").append(line) += '\n';
			continue;
		}
		std::string shown = expand_tabs(line);
		if (view.color)
			out.append(faint).append(number).append(reset)
			    .append(" ").append(paint(shown, in_comment));
		else
			out.append(number).append(" ").append(shown);
		out += '\n';
	}
	if (view.terminal && calls_report)
		out.append("\n").append(view.color ? faint : "")
		    .append(report_note).append(view.color ? reset : "")
		    .append("\n");
	return out;
}
