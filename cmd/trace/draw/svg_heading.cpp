// The heading of the timeline picture: the command, and what the run was
// in a line, each shortened to fit; and the kinds of lines by which a
// crowded slide keeps its texts, as the heading names them. See svg.h.
#include <algorithm>
#include <ostream>

#include "svg.h"
#include "words.h"

namespace {

// Characters across, in the title's bold: of its size.
constexpr double bold_em = 0.64;

// "1 line written", and ", 3 messages sent" if any were; on a slide,
// where the heading has less room, "1 line, 3 messages".
std::string
written(const Timeline &t, const Look &look)
{
	std::size_t lines = 0;
	std::size_t sent = 0;

	for (const auto &l : t.lanes) {
		lines += l.lines.size();
		sent += l.sent.size();
	}
	std::string w = counted(lines, "line", "lines");
	if (!look.slide)
		w += " written";
	if (sent > 0) {
		w += ", ";
		w += counted(sent, "message", "messages");
		if (!look.slide)
			w += " sent";
	}
	return w;
}

// How many times the next line came from another process than the one
// before.
std::size_t
switches(const Timeline &t)
{
	std::vector<std::pair<long long, std::size_t>> lines;
	std::size_t n = 0;

	for (std::size_t i = 0; i < t.lanes.size(); i++)
		for (const auto &line : t.lanes[i].lines)
			lines.emplace_back(line.us, i);
	std::stable_sort(lines.begin(), lines.end());
	for (std::size_t k = 1; k < lines.size(); k++)
		n += lines[k].second != lines[k - 1].second;
	return n;
}

// Text cut to fit across the picture at px a character, made safe for
// XML.
std::string
fitted(const std::string &text, const Look &look, double px)
{
	auto most = static_cast<std::size_t>((look.width - 28) / px);
	return xml_shown(shortened(escaped(text), std::max<std::size_t>(most,
	    2)));
}

// A kind of lines is named by its first characters at most.
constexpr std::size_t kind_words = 24;

// The texts left out for room, and which were kept: each kind of lines
// kept whole by its words, "all "Hola, soy …"".
std::string
left_out_words(const LeftOut &left)
{
	std::string w = counted(left.texts, "text", "texts") + " left out";
	std::string kinds;
	std::string where = left.whole ? " kept" : " where they fit";

	for (const auto &k : left.kept.kinds)
		kinds += (kinds.empty() ? "all \"" : " and all \"") +
		    shortened(k, kind_words) + "\"";
	switch (left.kept.rank) {
	case Kept::none:
		return w + ", " + kinds + ", first and last lines where they fit";
	case Kept::first_and_last:
		return w + ", first and last lines" + (kinds.empty() ? "" : " and " +
		    kinds) + where;
	case Kept::lines:
		return w + ", lines" + where;
	case Kept::ends:
		return w + ", lines and ends" + where;
	case Kept::all:
		break;
	}
	return w;
}

// Whether what was left out goes at the end of the title's line: where
// the line of what the run was has no room for it, and the title's has.
bool
aside(const std::string &command, const std::string &about,
    const std::string &words, const Look &look)
{
	double room = look.width - 28;
	auto across = [](const std::string &s, double px) {
		return static_cast<double>(characters(s)) * px;
	};
	return !words.empty() && across(about + "; " + words, look.sans_px) >
	    room && across(command, title_size * bold_em) + 3 * look.font +
	    across(words, look.sans_px) <= room;
}

} // namespace

// The title, and what the run was in a line; on a slide without the
// explanations a reader can ask for, and saying what was left out.
void
heading(std::ostream &o, const Timeline &t, const Look &look,
    const LeftOut &left)
{
	std::string command = "trace";
	std::size_t changes = switches(t);
	std::string about = counted(t.lanes.size(), "process", "processes") +
	    ", " + written(t, look) + " in " + duration(t.end_us);

	if (t.time_lapse)
		about += look.slide ? " of virtual time (--time-lapse)" : " of "
		    "virtual time (--time-lapse: alarms fired as soon as every "
		    "process waited)";
	for (const auto &a : t.argv)
		command += " " + a;
	if (changes > 0 && !look.slide)
		about += "; the writer changed " + counted(changes, "time",
		    "times");
	about += "; exit status " + std::to_string(t.status);
	if (!t.stepping.empty())
		about += "; " + t.stepping + ": its times hold the waits";
	std::string left_out = left.texts > 0 ? left_out_words(left) : "";
	bool beside_title = aside(command, about, left_out, look);
	if (!left_out.empty() && !beside_title)
		about += "; " + left_out;
	o << text_at(14, look.title_y, "title") << fitted(command, look,
	    title_size * bold_em) << "</text>\n" << text_at(14, look.about_y) <<
	    fitted(about, look, look.sans_px) << "</text>\n";
	if (beside_title)
		o << start("text", {{"x", num(look.width - 14)}, {"y",
		    num(look.title_y)}, {"text-anchor", "end"}}) <<
		    xml_text(left_out) << "</text>\n";
	if (!t.cut.empty())
		o << text_at(14, look.about_y + cut_line) << fitted("Ended by "
		    "trace: " + t.cut, look, look.sans_px) << "</text>\n";
}

std::string
line_kind(std::string_view text)
{
	auto digit = [](char c) { return c >= '0' && c <= '9'; };
	auto hex = [&digit](char c) {
		return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
	};
	std::string kind;

	if (text.ends_with('\n'))
		text.remove_suffix(1);
	for (std::size_t i = 0; i < text.size();) {
		if (!digit(text[i])) {
			kind += text[i++];
			continue;
		}
		// An address is a number too: 0x7ffd5e3c.
		bool in_hex = text.substr(i).starts_with("0x");
		i += in_hex ? 2 : 1;
		while (i < text.size() && (in_hex ? hex(text[i]) : digit(text[i])))
			i++;
		kind += "\u2026";
	}
	return kind;
}

bool
Keep::keeps(const Label &l) const
{
	return l.rank <= rank || (!l.kind.empty() &&
	    std::ranges::find(kinds, l.kind) != kinds.end());
}
