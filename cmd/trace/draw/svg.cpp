// trace --svg: the run as a timeline picture, one lane per process and
// time across, for slides and print. This file writes the document: its
// styles, heading, axis and breaks; svg_lanes.cpp and svg_draw.cpp the
// lanes, svg_bytes.cpp the messages and writes to files, svg_legend.cpp
// the legend, svg_scale.cpp where time goes.
#include <algorithm>
#include <ostream>
#include <sstream>

#include "svg.h"
#include "words.h"

namespace {

constexpr double axis_y = 80;
constexpr double lanes_from = 100;
// The heading's line for why trace ended the run, when it did.
constexpr double cut_line = 16;

const char style[] =
    "text{font-family:'DejaVu Sans',Verdana,sans-serif;font-size:11px;"
    "fill:#222}\n"
    ".title{font-size:18px;font-weight:bold}\n"
    ".role{font-size:14px;font-weight:bold}\n"
    ".program{font-style:italic}\n"
    ".said{font-family:'DejaVu Sans Mono',Menlo,Consolas,monospace;"
    "font-size:12px}\n"
    ".tick{text-anchor:middle}\n"
    ".box{fill:#fff;fill-opacity:0.85}\n"
    ".skipped{font-size:10px;text-anchor:middle}\n"
    ".at{fill:#888;font-size:10px}\n"
    ".shade{fill:#f2f2f2}\n"
    ".blocked{fill:#fff;stroke-width:1.5}\n"
    ".zombie{fill:url(#hatch);stroke:#333;stroke-width:1}\n"
    ".leader{stroke:#999;stroke-width:0.7;fill:none}\n"
    ".mark{fill:#fff;stroke-width:1.6}\n"
    ".exec{fill:#fff;stroke:#222;stroke-width:1.8}\n"
    ".signal,.exit{fill:#222}\n"
    ".killed{stroke:#222;stroke-width:2.6;fill:none}\n"
    ".fork,.reap,.kill{stroke:#222;stroke-width:1.5;fill:none}\n"
    ".fork{marker-end:url(#head)}\n"
    ".reap{stroke-dasharray:5,3;marker-end:url(#open)}\n"
    ".kill{stroke-dasharray:1.5,3;marker-end:url(#head)}\n"
    ".pipe{stroke:#222;stroke-width:4.5;fill:none;"
    "marker-end:url(#hollow)}\n"
    ".pipe-core{stroke:#fff;stroke-width:1.8;fill:none}\n"
    ".thin{stroke:#222;stroke-width:0.8;stroke-opacity:0.6;fill:none}\n"
    ".ticks{stroke-width:1.2;fill:none}\n"
    ".bytes{fill:#fff;stroke-width:1.6}\n"
    ".file{fill:#fff;stroke:#222;stroke-width:1.3}\n"
    ".axis{stroke:#444;fill:none}\n"
    ".gap{fill:#fff}\n"
    ".zigzag{stroke:#555;fill:none}\n";

const char defs[] = R"svg(<defs>
<pattern id="hatch" width="5" height="5" patternUnits="userSpaceOnUse" patternTransform="rotate(45)"><rect width="5" height="5" fill="#fff"/><path d="M0,0V5" stroke="#333" stroke-width="1.6"/></pattern>
<marker id="head" markerWidth="8" markerHeight="8" refX="7" refY="4" orient="auto" markerUnits="userSpaceOnUse"><path d="M0,0L8,4L0,8z" fill="#222"/></marker>
<marker id="hollow" markerWidth="13" markerHeight="12" refX="12" refY="6" orient="auto" markerUnits="userSpaceOnUse"><path d="M1,1L12,6L1,11z" fill="#fff" stroke="#222" stroke-width="1.5"/></marker>
<marker id="open" markerWidth="9" markerHeight="10" refX="8" refY="5" orient="auto" markerUnits="userSpaceOnUse"><path d="M1,1L8,5L1,9" fill="none" stroke="#222" stroke-width="1.5"/></marker>
</defs>
)svg";

std::string
view_box(double height)
{
	std::string v = "0 0 ";

	v += num(picture_width);
	v += ' ';
	v += num(height);
	return v;
}

std::string
text_at(double x, double y, const char *cls = nullptr)
{
	Attrs a{{"x", num(x)}, {"y", num(y)}};

	if (cls)
		a.emplace_back("class", cls);
	return start("text", a);
}

// "1 line written", and ", 3 messages sent" if any were.
std::string
written(const Timeline &t)
{
	std::size_t lines = 0;
	std::size_t sent = 0;

	for (const auto &l : t.lanes) {
		lines += l.lines.size();
		sent += l.sent.size();
	}
	std::string w = counted(lines, "line", "lines");
	w += " written";
	if (sent > 0) {
		w += ", ";
		w += counted(sent, "message", "messages");
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

void
heading(std::ostream &o, const Timeline &t)
{
	std::string command = "trace";
	std::size_t changes = switches(t);
	std::string about = counted(t.lanes.size(), "process", "processes") +
	    ", " + written(t) + " in " + duration(t.end_us) + (t.time_lapse ? " of virtual time "
	    "(--time-lapse: alarms fired as soon as every process waited)" :
	    "");

	for (const auto &a : t.argv)
		command += " " + a;
	if (changes > 0)
		about += "; the writer changed " + counted(changes, "time",
		    "times");
	about += "; exit status " + std::to_string(t.status);
	if (!t.stepping.empty())
		about += "; " + t.stepping + ": its times hold the waits";
	o << text_at(14, 28, "title") << xml_text(command) << "</text>\n" <<
	    text_at(14, 48) << xml_text(about) << "</text>\n";
	if (!t.cut.empty())
		o << text_at(14, 48 + cut_line) << xml_text("Ended by trace: " +
		    t.cut) << "</text>\n";
}

void
axis(std::ostream &o, const Timeline &t, const Scale &s)
{
	Path line;

	line.to('M', time_from, axis_y).by('H', s.x(t.end_us));
	for (const auto &tick : s.ticks())
		line.to('M', tick.x, axis_y).by('v', 6);
	o << text_at(14, axis_y + 4) << "time" << (t.time_lapse ?
	    " (virtual)" : "") << "</text>\n" << element("path",
	    {{"class", "axis"}, {"d", line.str()}}) << "\n";
	for (const auto &tick : s.ticks())
		o << text_at(tick.x, axis_y - 6, "tick") << tick.label <<
		    "</text>\n";
}

// A length of time in three figures: "974 ms", "10.0 s".
std::string
briefly(long long us)
{
	double ms = static_cast<double>(us) / 1e3;

	if (ms < 1000)
		return fixed(ms, ms < 10 ? 2 : ms < 100 ? 1 : 0) + " ms";
	return fixed(ms / 1e3, ms < 1e4 ? 2 : ms < 1e5 ? 1 : 0) + " s";
}

// Each break: the lanes cut across, and the time left out.
void
breaks(std::ostream &o, const Scale &s, double bottom)
{
	for (const auto &b : s.breaks()) {
		double x0 = b.x + 7;
		double x1 = b.x + b.width - 7;
		Path zigzag;
		for (double x : {x0, x1}) {
			zigzag.to('M', x, axis_y - 2);
			for (int k = 0; axis_y + 4 + k * 12 < bottom; k++) {
				double y = axis_y + 4 + k * 12;
				zigzag.to('L', x + 3, y).to('L', x, y + 6);
			}
		}
		o << start("g", {{"class", b.lead_in ? "lead-in" : "break"}}) <<
		    element("rect",
		    {{"class", "gap"}, {"x", num(x0)}, {"y", num(axis_y - 2)},
		    {"width", num(x1 - x0)}, {"height", num(bottom - axis_y + 2)}}) <<
		    element("path", {{"class", "zigzag"}, {"d", zigzag.str()}}) <<
		    element("rect", {{"class", "box"}, {"x", num(b.x + 2)},
		    {"y", num(axis_y + 4)}, {"width", num(b.width - 4)},
		    {"height", "12"}}) << text_at(b.x + b.width / 2, axis_y + 13,
		    "skipped") << briefly(b.to_us - b.from_us) << "</text></g>\n";
	}
}

// The subreaper, trace itself, which collects the orphans and the
// process it started.
double
subreaper_lane(std::ostream &o, const Timeline &t, const Scale &s, double y)
{
	o << start("g", {{"class", "subreaper"}}) << text_at(14, y + 16, "role") <<
	    "trace</text>" << text_at(14, y + 30) << "subreaper: reaps orphans"
	    "</text>" << element("path", {{"d", Path().to('M', time_from, y + 14)
	    .by('H', s.x(t.end_us)).str()}, {"stroke", "#888"},
	    {"stroke-width", "2"}, {"stroke-dasharray", "8,4"}}) << "</g>\n";
	return y + 14;
}

} // namespace

bool
write_svg(const Timeline &t, std::ostream &out)
{
	std::vector<long long> instants = t.instants();
	double width = time_to - time_from;
	// Until its program starts, the run's first process is trace's.
	long long lead = t.lanes.empty() || t.lanes[0].execs.empty() ? 0 :
	    t.lanes[0].execs[0].us;
	Scale s(instants, lead, {time_from, width});
	std::ostringstream o;
	double top = lanes_from;
	double subreaper = -1;
	bool orphans = false;

	// Time is not quite drawn in proportion: a second look, rarely more.
	for (int i = 0; i < 4 && width > least_time_width; i++) {
		double fits = fitting_width(t, s, width);
		if (fits >= width)
			break;
		width = std::max(least_time_width, fits);
		s = Scale(instants, lead, {time_from, width});
	}
	heading(o, t);
	double shift = t.cut.empty() ? 0 : cut_line;
	o << start("g", {{"transform", translate(0, shift)}}) << "\n";
	axis(o, t, s);
	for (const auto &l : t.lanes)
		orphans = orphans || l.reaper == t.subreaper;
	if (orphans) {
		subreaper = subreaper_lane(o, t, s, top);
		top += 40;
	}
	std::vector<Laid> laid = lay_out(t, s, top);
	double peak = density_peak(s, laid);
	for (const auto &d : laid)
		draw_lane(o, t, s, d, peak);
	double bottom = laid.empty() ? top : laid.back().bottom;
	breaks(o, s, bottom);
	draw_links(o, t, s, laid, subreaper);
	draw_messages(o, t, s, laid);
	for (const auto &d : laid)
		draw_labels(o, d);
	auto rows = static_cast<double>(legend(o, t, bottom + 30));
	o << "</g>\n";
	double height = shift + bottom + 30 + (rows - 1) * 26 + 24;
	out << R"(<?xml version="1.0" encoding="UTF-8"?>)" "\n" <<
	    start("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
	    {"version", "1.1"}, {"width", num(picture_width)},
	    {"height", num(height)}, {"viewBox", view_box(height)}}) << "\n<title>" << xml_text("trace of " +
	    (t.argv.empty() ? "" : t.argv.front())) << "</title>\n" <<
	    start("style", {{"type", "text/css"}}) << "\n" << style <<
	    "</style>\n" << defs << element("rect", {{"width", "100%"},
	    {"height", "100%"}, {"fill", "#fff"}}) << "\n" << o.str() <<
	    "</svg>\n";
	return static_cast<bool>(out);
}

std::string
xml_shown(std::string_view shown)
{
	std::string x;

	for (char c : shown) {
		switch (c) {
		case '&': x += "&amp;"; break;
		case '<': x += "&lt;"; break;
		case '>': x += "&gt;"; break;
		case '"': x += "&quot;"; break;
		default: x += c;
		}
	}
	return x;
}

std::string
xml_text(std::string_view s)
{
	return xml_shown(escaped(s));
}

std::string
start(const char *name, const Attrs &attrs)
{
	std::string e = "<";

	e += name;
	for (const auto &[key, value] : attrs) {
		e += ' ';
		e += key;
		e += '=';
		e += '"' + xml_text(value) + '"';
	}
	return e + ">";
}

std::string
element(const char *name, const Attrs &attrs)
{
	std::string e = start(name, attrs);

	e.back() = '/';
	e += '>';
	return e;
}

Path &
Path::to(char command, double x, double y)
{
	d_ += command;
	d_ += num(x);
	d_ += ',';
	d_ += num(y);
	return *this;
}

Path &
Path::by(char command, double v)
{
	d_ += command;
	d_ += num(v);
	return *this;
}

Path &
Path::then(std::string_view fixed)
{
	d_ += fixed;
	return *this;
}

std::string
translate(double x, double y)
{
	std::string t = "translate(";

	t += num(x);
	t += ',';
	t += num(y);
	t += ')';
	return t;
}
