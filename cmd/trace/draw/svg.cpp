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

// The styles that change with the size of the text.
std::string
sizes(const Look &look)
{
	std::string font = num(look.font) + "px";
	std::string small = num(look.small) + "px";

	return "text{font-family:'DejaVu Sans',Verdana,sans-serif;font-size:" +
	    font + ";fill:#222}\n.title{font-size:" + num(title_size) +
	    "px;font-weight:bold}\n.skipped{font-size:" + small +
	    ";text-anchor:middle}\n.at{fill:#888;font-size:" + small + "}\n" +
	    ".tick{font-size:" + small + ";text-anchor:middle}\n";
}

const char style[] =
    ".role{font-size:14px;font-weight:bold}\n"
    ".program{font-style:italic}\n"
    ".said{font-family:'DejaVu Sans Mono',Menlo,Consolas,monospace;"
    "font-size:12px}\n"
    ".box{fill:#fff;fill-opacity:0.85}\n"
    ".lead{fill:#bbb}\n"
    ".trace-lane{stroke:#888;stroke-width:2;stroke-dasharray:8,4}\n"
    ".orphaned{fill:#fff;stroke:#222;stroke-width:1.5}\n"
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
view_box(double width, double height)
{
	std::string v = "0 0 ";

	v += num(width);
	v += ' ';
	v += num(height);
	return v;
}

// The time axis: its line, its ticks and their labels.
void
axis(std::ostream &o, const Timeline &t, const Scale &s)
{
	Path line;
	double axis_y = s.look().axis_y;

	line.to('M', s.look().time_from(), axis_y).by('H', s.x(t.end_us));
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
		return in_unit(us, Unit::ms, ms < 10 ? 2 : ms < 100 ? 1 : 0);
	return in_unit(us, Unit::s, ms < 1e4 ? 2 : ms < 1e5 ? 1 : 0);
}

// Each break: the lanes cut across, and the time left out; the lead-in
// only down to lead_bottom, through trace's lane and the first
// process's bar, the other processes being made later.
void
breaks(std::ostream &o, const Scale &s, double bottom, double lead_bottom)
{
	double axis_y = s.look().axis_y;
	double small = s.look().small;

	for (const auto &b : s.breaks()) {
		double to = b.lead_in ? lead_bottom : bottom;
		double x0 = b.x + 7;
		double x1 = b.x + b.width - 7;
		Path zigzag;
		for (double x : {x0, x1}) {
			zigzag.to('M', x, axis_y - 2);
			for (int k = 0; axis_y + 4 + k * 12 < to; k++) {
				double y = axis_y + 4 + k * 12;
				zigzag.to('L', x + 3, y).to('L', x, y + 6);
			}
		}
		o << start("g", {{"class", b.lead_in ? "lead-in" : "break"}}) <<
		    element("rect",
		    {{"class", "gap"}, {"x", num(x0)}, {"y", num(axis_y - 2)},
		    {"width", num(x1 - x0)}, {"height", num(to - axis_y + 2)}}) <<
		    element("path", {{"class", "zigzag"}, {"d", zigzag.str()}}) <<
		    element("rect", {{"class", "box"}, {"x", num(b.x + 2)},
		    {"y", num(axis_y + 4)}, {"width", num(b.width - 4)},
		    {"height", num(small + 2)}}) << text_at(b.x + b.width / 2,
		    axis_y + 3 + small, "skipped") << briefly(b.to_us - b.from_us) << "</text></g>\n";
	}
}

// The subreaper, trace itself, which started the program and collects
// it, and the orphans if there are any.
double
subreaper_lane(std::ostream &o, const Timeline &t, const Scale &s, double y)
{
	const Look &look = s.look();
	double bar = y + 14;
	bool orphans = std::ranges::any_of(t.lanes, [&t](const Lane &l) {
		return l.orphaned_us >= 0 && l.reaper == t.subreaper;
	});

	o << start("g", {{"class", "subreaper"}});
	if (look.name_below)
		o << text_at(14, y + 16, "role") << "trace</text>" << text_at(14,
		    y + 30) << (orphans ? "subreaper: reaps orphans" : "subreaper") <<
		    "</text>";
	else
		o << text_at(14, bar + 4) << R"(<tspan class="role">trace</tspan>)" <<
		    (orphans ? " reaps orphans" : "") << "</text>";
	o << element("path", {{"class", "trace-lane"}, {"d", Path().to('M',
	    look.time_from(), bar).by('H', s.x(t.end_us)).str()}}) << "</g>\n";
	return bar;
}

// Whether trace's own lane is drawn: on a page, whenever it reaps; on a
// slide, only for more than the process it started: an orphan, or a
// signal it sent.
bool
subreaper_drawn(const Timeline &t, const Look &look)
{
	for (std::size_t i = 0; i < t.lanes.size(); i++) {
		const Lane &l = t.lanes[i];
		if (l.orphaned_us >= 0 || (l.reaper == t.subreaper &&
		    (i > 0 || !look.slide)))
			return true;
		for (const auto &sig : l.signals)
			if (sig.origin == Event::Origin::kill &&
			    sig.from == t.subreaper)
				return true;
	}
	return false;
}

std::size_t
hidden(const std::vector<Laid> &laid)
{
	std::size_t n = 0;
	for (const auto &d : laid)
		for (const auto *side : {&d.above, &d.below})
			n += static_cast<std::size_t>(std::ranges::count_if(*side,
			    [](const Label &l) { return l.hidden; }));
	return n;
}

} // namespace

Look
page_look()
{
	return {};
}

Look
slide_look()
{
	Look l;
	l.slide = true;
	l.width = 960;
	l.height = 540;
	l.scale = 2;
	l.font = 12;
	l.small = 12;
	l.sans_px = 7;
	l.gutter = 190;
	l.bar_at = 16;
	l.below_at = 22;
	l.least_below = 12;
	l.name_below = false;
	l.title_y = 22;
	l.about_y = 40;
	l.axis_y = 62;
	l.lanes_from = 82;
	l.trace_lane = 28;
	return l;
}

namespace {

// Where time goes across: as wide as the texts of the lines let it be.
// On a slide, trace's start before the program's is left out.
Scale
scale_for(const Timeline &t, const Look &look)
{
	std::vector<long long> instants = t.instants();
	double from = look.time_from();
	double width = look.time_to() - from;
	// Until its program starts, the run's first process is trace's.
	long long lead = t.lanes.empty() || t.lanes[0].execs.empty() ? 0 :
	    t.lanes[0].execs[0].us;

	if (look.slide && lead > 0 && instants.size() > 2 &&
	    instants[1] == lead) {
		instants.erase(instants.begin());
		lead = 0;
	}
	Needs n = needs(t, look);
	Scale s(instants, lead, {from, width}, look, n);
	// Time is not quite drawn in proportion: a second look, rarely more;
	// none that costs a break, which leaves room where it is needed.
	for (int i = 0; i < 4 && width > look.least_time_width(); i++) {
		double fits = fitting_width(t, s, width);
		if (fits >= width)
			break;
		width = std::max(look.least_time_width(), fits);
		Scale narrower(instants, lead, {from, width}, look, n);
		if (narrower.breaks().size() < s.breaks().size())
			break;
		s = std::move(narrower);
	}
	return s;
}

// The picture below its heading; how far down it goes.
double
body(std::ostream &o, const Timeline &t, const Scale &s, double shift,
    LeftOut &left)
{
	const Look &look = s.look();
	double top = look.lanes_from;
	double subreaper = -1;
	Drawn drawn;

	drawn.subreaper = subreaper_drawn(t, look);
	drawn.breaks = !s.breaks().empty();
	drawn.lead_in = std::ranges::any_of(s.breaks(),
	    [](const auto &b) { return b.lead_in; });
	for (const auto &l : t.lanes)
		drawn.reaps = drawn.reaps || (l.reaped_us >= 0 &&
		    (l.reaper != t.subreaper || drawn.subreaper));
	axis(o, t, s);
	if (drawn.subreaper) {
		subreaper = subreaper_lane(o, t, s, top);
		top += look.trace_lane;
	}
	std::size_t rows = legend_rows(t, drawn, look);
	double below = 30 + legend_height(rows) + 12;
	Lanes lanes = lay_out(t, s, top, walls(t, s, drawn.subreaper),
	    look.height > 0 ? look.height - shift - top - below : 0);
	const std::vector<Laid> &laid = lanes.laid;
	double peak = density_peak(s, laid);
	for (const auto &d : laid)
		draw_lane(o, t, s, d, peak);
	double bottom = laid.empty() ? top : laid.back().bottom;
	breaks(o, s, bottom, laid.empty() ? top : laid.front().bar + 8);
	draw_links(o, t, s, laid, subreaper);
	draw_messages(o, t, s, laid);
	for (const auto &d : laid)
		draw_labels(o, d, look);
	// On a slide, the legend at the foot.
	double foot = look.height > 0 ? std::max(bottom, look.height - shift -
	    below) : bottom;
	legend(o, t, drawn, look, foot + 30);
	left = {hidden(laid), lanes.kept, lanes.whole};
	return shift + foot + below;
}

} // namespace

bool
write_svg(const Timeline &t, std::ostream &out, bool slide)
{
	Look look = slide ? slide_look() : page_look();
	Scale s = scale_for(t, look);
	std::ostringstream head;
	std::ostringstream o;
	double shift = t.cut.empty() ? 0 : cut_line;
	LeftOut left;

	o << start("g", {{"transform", translate(0, shift)}}) << "\n";
	double height = std::max(look.height, body(o, t, s, shift, left));
	o << "</g>\n";
	heading(head, t, look, left);
	out << R"(<?xml version="1.0" encoding="UTF-8"?>)" "\n" <<
	    start("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
	    {"version", "1.1"}, {"width", num(look.width * look.scale)},
	    {"height", num((look.height > 0 ? look.height : height) *
	    look.scale)}, {"viewBox", view_box(look.width, height)}}) <<
	    "\n<title>" << xml_text("trace of " + (t.argv.empty() ? "" :
	    t.argv.front())) << "</title>\n" << start("style",
	    {{"type", "text/css"}}) << "\n" << sizes(look) << style <<
	    "</style>\n" << defs << element("rect", {{"width", "100%"},
	    {"height", "100%"}, {"fill", "#fff"}}) << "\n" << head.str() <<
	    o.str() << "</svg>\n";
	return static_cast<bool>(out);
}
