// The lanes of the timeline picture: where each goes and how high it is,
// then its bar, waits, zombie span, markers and labels, and the arrows
// between lanes. See svg.h.
#include <algorithm>
#include <cstring>
#include <ostream>

#include "svg.h"

namespace {

constexpr double row_height = 15;
constexpr double least_below = 20;	// for the name beside the bar
constexpr double sans_px = 6.4;		// a character's width, 11 px sans
constexpr double mono_px = 7.25;	// and 12 px monospace
constexpr std::size_t longest_line = 56;
// A lane with more lines than this shows their density, not each.
constexpr std::size_t most_named_lines = 40;
constexpr double density_height = 22;

// Puts each label, in order across, in the first row from the bar where
// it clears the labels before it: a run of lines close together reads
// down in the order they were written.
int
pack(std::vector<Label> &labels)
{
	std::vector<double> rows;	// where each row's text ends

	std::stable_sort(labels.begin(), labels.end(),
	    [](const Label &a, const Label &b) { return a.x < b.x; });
	for (Label &l : labels) {
		double from = l.x - 3;
		if (from + l.width > picture_width - 6) {
			l.end = true;
			from = l.x + 3 - l.width;
			l.x += 3;
		} else {
			l.x = from;
		}
		auto r = std::find_if(rows.begin(), rows.end(),
		    [from](double end) { return end + 8 <= from; });
		l.row = static_cast<int>(r - rows.begin());
		if (r == rows.end())
			rows.push_back(0);
		rows[static_cast<std::size_t>(l.row)] = from + l.width;
	}
	return static_cast<int>(rows.size());
}

// Led by the number of the source line that made it, if known.
void
lead_with_line(Label &l, const Source &at, double px)
{
	if (at.line <= 0)
		return;
	std::string n = std::to_string(at.line);
	l.text = R"(<tspan class="at">)" + n + "</tspan> " + l.text;
	l.width += static_cast<double>(n.size() + 1) * px;
}

Label
label(double x, const std::string &text, double px, const Source &at = {})
{
	Label l;
	l.x = x;
	l.text = xml_text(text);
	l.width = static_cast<double>(characters(text)) * px;
	lead_with_line(l, at, px);
	return l;
}

Label
line_label(const Scale &s, const Lane::Line &line)
{
	Label l = label(s.x(line.us), "", mono_px);
	std::string shown = shortened(escaped_line(line.text), longest_line);
	l.text = xml_shown(shown);
	l.width = static_cast<double>(characters(shown)) * mono_px;
	lead_with_line(l, line.source, mono_px);
	l.line = &line;
	return l;
}

// What happened on the lane, named above it; a wait or a signal like the
// one before it on the lane is left for its mark to show.
void
label_events(Laid &d, const Timeline &t, const Scale &s)
{
	const Lane &l = *d.lane;
	std::string said;

	auto add = [&d, &said](double x, const std::string &text, bool again,
	    const Source &at) {
		if (again || text != said)
			d.above.push_back(label(x, text, sans_px, at));
		said = again ? said : text;
	};
	for (const auto &e : l.execs)
		add(s.x(e.us), exec_words(e), true, e.source);
	for (const auto &sig : l.signals)
		add(s.x(sig.us), signal_words(t, sig), false, sig.source);
	said.clear();
	for (const auto &b : l.blocked)
		add(s.x(b.from_us), b.call, false, b.source);
	if (l.ended)
		add(s.x(l.end_us), end_words(l), true, l.ended_at);
	if (l.unwaited_us >= 0)
		add(s.x(l.unwaited_us), "zombie, not waited for", true, {});
	label_bytes(d, t, s);
}

} // namespace

Label
event_label(double x, const std::string &text)
{
	return label(x, text, sans_px);
}

const char *
ink(std::size_t index)
{
	static const char *const inks[] = {"#0b6e78", "#9a6a00", "#8e3488",
	    "#2e7031", "#1f4e9c", "#b03a2e"};
	return inks[index % (sizeof inks / sizeof inks[0])];
}

std::string
num(double v)
{
	return fixed(v, 1);
}

double
fitting_width(const Timeline &t, const Scale &s, double width)
{
	double fits = width;

	for (const auto &l : t.lanes) {
		if (l.lines.size() > most_named_lines)
			continue;
		for (const auto &line : l.lines) {
			Label b = line_label(s, line);
			if (b.x - 3 + b.width > picture_width - 6 && b.x > time_from)
				fits = std::min(fits, width * (picture_width - 3 -
				    b.width - time_from) / (b.x - time_from));
		}
	}
	return fits;
}

std::vector<Laid>
lay_out(const Timeline &t, const Scale &s, double top)
{
	std::vector<Laid> laid;

	for (std::size_t i = 0; i < t.lanes.size(); i++) {
		Laid d;
		d.lane = &t.lanes[i];
		d.index = i;
		d.dense = d.lane->lines.size() > most_named_lines;
		label_events(d, t, s);
		if (!d.dense)
			for (const auto &line : d.lane->lines)
				d.below.push_back(line_label(s, line));
		else if (!d.lane->lines.empty())
			d.below = {line_label(s, d.lane->lines.front()),
			    line_label(s, d.lane->lines.back())};
		double above = pack(d.above) * row_height + 6;
		double below = pack(d.below) * row_height + 6 +
		    (d.dense ? density_height + 6 : 0);
		d.top = top;
		d.bar = top + above + 16;
		d.bottom = d.bar + std::max(12 + below, least_below);
		top = d.bottom;
		laid.push_back(std::move(d));
	}
	return laid;
}

std::string
signal_words(const Timeline &t, const Lane::Signal &s)
{
	std::string w = signal_name(s.sig);

	switch (s.origin) {
	case Event::Origin::alarm:
		return w + ": its alarm";
	case Event::Origin::fault:
		return w + " at " + address(s.addr);
	case Event::Origin::kill: {
		const Lane *from = t.find(s.from);
		return w + " from " + (s.from == t.subreaper ? "trace" :
		    from ? from->role : "process " + std::to_string(s.from));
	}
	case Event::Origin::terminal:
		return w + " from the terminal";
	case Event::Origin::kernel:
		break;
	}
	return w;
}

std::string
exec_words(const Lane::Exec &e)
{
	std::string w = "exec " + base_name(e.program);
	if (e.error)
		w.append(" failed: ").append(strerrorname_np(e.error));
	return w;
}

std::string
end_words(const Lane &l)
{
	if (l.end.how == End::How::exited)
		return "exit " + std::to_string(l.end.value);
	return (l.by_trace ? "killed by trace: " : "killed: ") +
	    signal_name(l.end.value);
}
