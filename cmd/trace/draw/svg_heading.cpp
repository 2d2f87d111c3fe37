// The heading of the timeline picture: the command, and what the run was
// in a line, each shortened to fit. See svg.h.
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

// The texts left out for room, and which were kept.
std::string
left_out_words(const LeftOut &left)
{
	std::string w = "; " + counted(left.texts, "text", "texts") + " left out";

	if (!left.whole)
		return w + ", first and last lines first";
	switch (left.kept) {
	case Kept::first_and_last:
		return w + ", first and last lines kept";
	case Kept::lines:
		return w + ", the lines kept";
	case Kept::ends:
		return w + ", the lines and ends kept";
	case Kept::all:
		break;
	}
	return w;
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
	if (left.texts > 0)
		about += left_out_words(left);
	o << text_at(14, look.title_y, "title") << fitted(command, look,
	    title_size * bold_em) << "</text>\n" << text_at(14, look.about_y) <<
	    fitted(about, look, look.sans_px) << "</text>\n";
	if (!t.cut.empty())
		o << text_at(14, look.about_y + cut_line) << fitted("Ended by "
		    "trace: " + t.cut, look, look.sans_px) << "</text>\n";
}
