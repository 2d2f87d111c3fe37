// Drawing the lanes of the timeline picture as svg_lanes.cpp laid them
// out, and the arrows between them. See svg.h.
#include <algorithm>
#include <cmath>
#include <ostream>

#include "svg.h"

namespace {

constexpr double density_height = 22;
constexpr double bin_px = 2;

std::vector<int>
density(const Scale &s, const Lane &l)
{
	const Look &look = s.look();
	double count = std::ceil((look.time_to() - look.time_from()) / bin_px) +
	    1;
	std::vector<int> bins(static_cast<std::size_t>(count), 0);

	for (const auto &line : l.lines) {
		double b = (s.x(line.us) - look.time_from()) / bin_px;
		bins[std::min(bins.size() - 1,
		    static_cast<std::size_t>(std::max(0.0, b)))]++;
	}
	return bins;
}

void
rect(std::ostream &o, double x0, double x1, double y, double h, Attrs more)
{
	Attrs a{{"x", num(x0)}, {"y", num(y)},
	    {"width", num(std::max(x1 - x0, 1.0))}, {"height", num(h)}};

	a.insert(a.end(), more.begin(), more.end());
	o << element("rect", a) << "\n";
}

// A path: its class, its data, and what else it has.
void
path(std::ostream &o, const char *cls, const std::string &d, Attrs more = {})
{
	Attrs a{{"class", cls}, {"d", d}};

	a.insert(a.end(), more.begin(), more.end());
	o << element("path", a) << "\n";
}


// The lane's name, by its bar: role, number, and the program it runs;
// on a slide, one line.
void
name(std::ostream &o, const Look &look, const Laid &d)
{
	const Lane &l = *d.lane;
	std::string program = base_name(l.program);
	auto most = static_cast<std::size_t>((look.gutter - 20) / look.sans_px);

	for (const auto &e : l.execs)
		if (e.error == 0 && e.program != l.program)
			program += " \xe2\x86\x92 " + base_name(e.program);
	if (!look.name_below) {
		// Role and number, and the program it runs last.
		std::string last = l.program;
		for (const auto &e : l.execs)
			if (e.error == 0)
				last = e.program;
		// The role is bold and larger: ten units a character.
		double room = (look.gutter - 20 - 10 * static_cast<double>(
		    l.role.size())) / look.sans_px;
		std::string rest = " " + std::to_string(l.pid) + " " +
		    base_name(last);
		o << start("text", {{"x", "14"}, {"y", num(d.bar + 4)}}) <<
		    start("tspan", {{"class", "role"}}) << xml_text(l.role) <<
		    "</tspan>" << xml_text(shortened(rest,
		    static_cast<std::size_t>(std::max(room, 8.0)))) <<
		    "</text>\n";
		return;
	}
	o << start("text", {{"x", "14"}, {"y", num(d.bar - 3)}}) <<
	    start("tspan", {{"class", "role"}}) << xml_text(l.role) <<
	    "</tspan> pid " << l.pid << "</text>\n" << start("text", {{"x",
	    "14"}, {"y", num(d.bar + 12)}, {"class", "program"}}) <<
	    xml_text(shortened(program, most)) << "</text>\n";
	if (d.dense)
		o << start("text", {{"x", "14"}, {"y", num(d.bar + 27)}}) <<
		    l.lines.size() << " lines</text>\n";
}

// Text on a white box, over whatever it is drawn on.
void
text(std::ostream &o, const Label &l, double y, const char *cls,
    const Look &look)
{
	rect(o, l.x, l.x + l.width, y - look.font, look.font + 3,
	    {{"class", "box"}});
	o << start("text", {{"x", num(l.x)}, {"y", num(y)}, {"class", cls}}) <<
	    l.text << "</text>\n";
}

// From a mark out to its text: straight to it, or along its row to
// where it stands.
std::string
leader(const Label &l, double from, double y, bool above, const Look &look)
{
	double end = above ? y + 3 : y - look.font;
	Path p;

	if (!l.elbow)
		return p.to('M', l.anchor, from).by('V', end).str();
	double mid = y - look.font / 2 + 1;
	return p.to('M', l.anchor, from).by('V', mid).by('H', l.anchor < l.x ?
	    l.x : l.x + l.width).str();
}

// A line's mark on the bar, and its leader down to where its text goes.
void
line_mark(std::ostream &o, const Scale &s, const Laid &d, const Label &l,
    const char *cls)
{
	double x = s.x(l.line->us);
	std::string at = site_words(l.line->source);

	o << start("g", {{"class", cls}}) << "<title>" << xml_shown(d.lane->role +
	    " at " + duration(l.line->us) + (at.empty() ? "" : ", " + at) +
	    ": " + escaped_line(l.line->text)) << "</title>\n";
	if (!l.hidden)
		path(o, "leader", leader(l, d.bar + 4, label_y(d, l, false,
		    s.look()), false, s.look()));
	o << element("circle", {{"cx", num(x)}, {"cy", num(d.bar)},
	    {"r", "3.2"}, {"stroke", ink(d.index)}, {"class", "mark"}}) <<
	    "</g>\n";
}

void
density_strip(std::ostream &o, const Scale &s, const Laid &d, double peak)
{
	std::vector<int> bins = density(s, *d.lane);
	double base = d.bar + 8 + density_height;

	Path bars;

	for (std::size_t i = 0; i < bins.size(); i++) {
		if (bins[i] == 0)
			continue;
		double h = std::max(1.0, density_height * bins[i] / peak);
		bars.to('M', s.look().time_from() + static_cast<double>(i) * bin_px, base)
		    .by('v', -h).by('h', bin_px).by('v', h).then("z");
	}
	o << start("path", {{"class", "density"}, {"fill", ink(d.index)},
	    {"d", bars.str()}}) << "<title>" << d.lane->lines.size() <<
	    " lines</title></path>\n";
}

// A mark's group, titled with what it is, when, and where in the source.
std::string
titled(const std::string &role, long long us, const Source &at,
    const std::string &words)
{
	std::string where = site_words(at);
	return "<g><title>" + xml_text(role + " at " + duration(us) +
	    (where.empty() ? "" : ", " + where) + ": " + words) + "</title>";
}

void
markers(std::ostream &o, const Timeline &t, const Scale &s, const Laid &d)
{
	const Lane &l = *d.lane;

	for (const auto &e : l.execs) {
		o << titled(l.role, e.us, e.source, exec_words(e));
		path(o, "exec", Path().to('M', s.x(e.us), d.bar - 7)
		    .then("l7,7l-7,7l-7,-7z").str(),
		    e.error ? Attrs{{"stroke-dasharray", "2,2"}} : Attrs{});
		o << "</g>\n";
	}
	for (const auto &sig : l.signals) {
		o << titled(l.role, sig.us, sig.source, signal_words(t, sig));
		path(o, "signal", Path().to('M', s.x(sig.us) - 6, d.bar - 15)
		    .then("h12l-6,9z").str());
		o << "</g>\n";
	}
	if (l.orphaned_us >= 0) {
		o << titled(l.role, l.orphaned_us, {}, "orphaned: its parent "
		    "ended, trace is its parent now");
		path(o, "orphaned", Path().to('M', s.x(l.orphaned_us), d.bar - 16)
		    .then("l6,10h-12z").str());
		o << "</g>\n";
	}
	if (!l.ended)
		return;
	double x = s.x(l.end_us);
	o << titled(l.role, l.end_us, l.ended_at, l.end_why.empty() ?
	    end_words(l) : end_words(l) + ": " + l.end_why);
	if (l.end.how == End::How::exited)
		rect(o, x - 2, x + 2, d.bar - 9, 18, {{"class", "exit"}});
	else
		path(o, "killed", Path().to('M', x - 6, d.bar - 6)
		    .then("l12,12m0,-12l-12,12").str());
	o << "</g>\n";
}

double
bar_of(const Timeline &t, const std::vector<Laid> &laid, pid_t pid,
    double subreaper_bar)
{
	if (pid == t.subreaper)
		return subreaper_bar;
	std::size_t i = t.index(pid);
	return i < laid.size() ? laid[i].bar : -1;
}

void
arrow(std::ostream &o, const char *cls, double x0, double y0, double x1,
    double y1)
{
	// Stop short of the bar it points at.
	double gap = y1 > y0 ? -8 : 8;
	path(o, cls, Path().to('M', x0, y0).to('L', x1, y1 + gap).str());
}

} // namespace

// Where the kill that sent a signal was made, across.
double
kill_x(const Scale &s, const Lane *sender, pid_t to, const Lane::Signal &sig)
{
	double x = s.x(sig.us);

	if (sender)
		for (const auto &k : sender->kills)
			if (k.us <= sig.us && k.sig == sig.sig &&
			    (k.to == to || k.to <= 0))
				x = s.x(k.us);
	return x;
}

double
density_peak(const Scale &s, const std::vector<Laid> &laid)
{
	int peak = 1;

	for (const auto &d : laid)
		if (d.dense) {
			std::vector<int> bins = density(s, *d.lane);
			peak = std::max(peak, *std::max_element(bins.begin(),
			    bins.end()));
		}
	return peak;
}

void
draw_lane(std::ostream &o, const Timeline &t, const Scale &s, const Laid &d,
    double peak)
{
	const Lane &l = *d.lane;
	const char *c = ink(d.index);
	long long last = l.ended ? l.end_us : t.end_us;

	o << start("g", {{"class", "lane"}, {"id", "lane-" + l.role}}) << "\n";
	if (d.index % 2)
		rect(o, 0, s.look().width, d.top, d.bottom - d.top,
		    {{"class", "shade"}});
	name(o, s.look(), d);
	// Until its first exec, the run's first process is trace starting
	// it.
	long long own = l.parent == 0 && !l.execs.empty() ? l.execs[0].us :
	    l.start_us;
	if (s.x(own) > s.x(l.start_us) + 0.5)
		rect(o, s.x(l.start_us), s.x(own), d.bar - 3, 6,
		    {{"class", "lead"}});
	rect(o, s.x(own), s.x(last), d.bar - 3, 6, {{"fill", c}});
	for (const auto &b : l.blocked)
		rect(o, s.x(b.from_us), s.x(b.to_us < 0 ? last : b.to_us),
		    d.bar - 6, 12, {{"class", "blocked"}, {"stroke", c}});
	if (l.ended)
		rect(o, s.x(l.end_us), s.x(l.reaped_us < 0 ? t.end_us :
		    l.reaped_us), d.bar - 6, 12, {{"class", "zombie"}});
	markers(o, t, s, d);
	draw_bytes(o, t, s, d);
	if (d.dense)
		density_strip(o, s, d, peak);
	for (const auto &b : d.below)
		line_mark(o, s, d, b, d.dense ? "edge" : "line");
	o << "</g>\n";
}

void
draw_labels(std::ostream &o, const Laid &d, const Look &look)
{
	o << start("g", {{"class", "labels"}, {"id", "labels-" + d.lane->role}}) <<
	    "\n";
	// In the order they tell of, the latest above the bar placed first.
	for (auto a = d.above.rbegin(); a != d.above.rend(); ++a) {
		if (a->hidden)
			continue;
		double y = label_y(d, *a, true, look);
		if (a->row > 0 || a->elbow)
			path(o, "leader", leader(*a, d.bar - 16, y, true, look));
		text(o, *a, y, "event", look);
	}
	for (const auto &b : d.below)
		if (!b.hidden)
			text(o, b, label_y(d, b, false, look), "said", look);
	o << "</g>\n";
}

void
draw_links(std::ostream &o, const Timeline &t, const Scale &s,
    const std::vector<Laid> &laid, double subreaper_bar)
{
	for (const auto &d : laid) {
		const Lane &l = *d.lane;
		double parent = bar_of(t, laid, l.parent, -1);
		if (l.parent && parent >= 0) {
			const Lane *by = t.find(l.parent);
			o << titled(by ? by->role : "", l.start_us, l.forked_at,
			    "fork, " + l.role + " is made");
			arrow(o, "fork", s.x(l.start_us), parent, s.x(l.start_us),
			    d.bar);
			o << "</g>\n";
		}
		double reaper = bar_of(t, laid, l.reaper, subreaper_bar);
		if (l.reaped_us >= 0 && reaper >= 0)
			arrow(o, "reap", s.x(l.reaped_us), d.bar, s.x(l.reaped_us),
			    reaper);
		for (const auto &sig : l.signals) {
			double from = bar_of(t, laid, sig.from, subreaper_bar);
			if (sig.origin == Event::Origin::kill && from >= 0)
				arrow(o, "kill", kill_x(s, t.find(sig.from), l.pid,
				    sig), from, s.x(sig.us), d.bar);
		}
	}
}
