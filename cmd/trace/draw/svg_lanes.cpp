// The lanes of the timeline picture: where each goes and how high it is,
// then its bar, waits, zombie span, markers and labels, and the arrows
// between lanes. See svg.h.
#include <algorithm>
#include <cstring>
#include <ostream>

#include "svg.h"

namespace {

constexpr std::size_t longest_line = 56;
// A lane with more lines than this shows their density, not each.
constexpr std::size_t most_named_lines = 40;
// A zombie is drawn at least this wide, however short it was.
constexpr double least_zombie = 24;
// Texts of the last lines fit beside their marks, so that those written
// before them can stand there too, each a row further out.
constexpr double beside = 4;

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
label(long long us, const std::string &text, double px, const Source &at = {})
{
	Label l;
	l.us = us;
	l.text = xml_text(text);
	l.width = static_cast<double>(characters(text)) * px;
	lead_with_line(l, at, px);
	return l;
}

Label
line_label(const Look &look, const Lane::Line &line)
{
	double px = look.mono_px;
	Label l = label(line.us, "", px);
	std::string text = shortened(escaped_line(line.text), longest_line);
	l.text = xml_shown(text);
	l.width = static_cast<double>(characters(text)) * px;
	lead_with_line(l, line.source, px);
	l.line = &line;
	return l;
}

// How long it was a zombie, after how it ended: every zombie is drawn
// wide enough to see, however short.
std::string
zombie_words(const Lane &l)
{
	if (l.reaped_us < 0)
		return ", never reaped";
	if (l.reaped_us == l.end_us)
		return ", reaped at once";
	return ", a zombie for " + duration(l.reaped_us - l.end_us);
}

// What happened on the lane, named above it; a wait or a signal like the
// one before it on the lane is left for its mark to show.
void
label_events(Laid &d, const Timeline &t, const Look &look)
{
	const Lane &l = *d.lane;
	std::string said;
	double px = look.sans_px;

	auto add = [&d, &said, px](long long us, const std::string &text,
	    bool again, const Source &at, Kept rank = Kept::all) {
		if (again || text != said) {
			d.above.push_back(label(us, text, px, at));
			d.above.back().rank = rank;
		}
		said = again ? said : text;
	};
	for (const auto &e : l.execs)
		add(e.us, exec_words(e), true, e.source);
	for (const auto &sig : l.signals)
		add(sig.us, signal_words(t, sig), false, sig.source);
	said.clear();
	for (const auto &b : l.blocked)
		add(b.from_us, b.call, false, b.source);
	if (l.ended) {
		add(l.end_us, end_words(l) + zombie_words(l), true, l.ended_at,
		    Kept::ends);
		Label brief = label(l.end_us, end_words(l), px, l.ended_at);
		d.above.back().brief = brief.text;
		d.above.back().brief_width = brief.width;
	}
	if (l.unwaited_us >= 0)
		add(l.unwaited_us, "zombie, not waited for", true, {}, Kept::ends);
	if (l.orphaned_us >= 0)
		add(l.orphaned_us, "orphaned: now trace's child", true, {},
		    Kept::ends);
	label_bytes(d.above, t, *d.lane, look);
	// Read from the bar out, latest first: top down in time.
	std::stable_sort(d.above.begin(), d.above.end(),
	    [](const Label &a, const Label &b) { return a.us > b.us; });
}

// Lane i and the texts about it, yet to be placed: its events above,
// its lines below (of a lane too full to name them, the first and the
// last), each process's first and last line kept longest.
Laid
told(const Timeline &t, const Look &look, std::size_t i)
{
	Laid d;

	d.lane = &t.lanes[i];
	d.index = i;
	d.dense = d.lane->lines.size() > most_named_lines;
	label_events(d, t, look);
	const auto &lines = d.lane->lines;
	for (std::size_t k = 0; k < lines.size(); k++)
		if (!d.dense || k == 0 || k + 1 == lines.size()) {
			d.below.push_back(line_label(look, lines[k]));
			d.below.back().rank = k == 0 || k + 1 == lines.size() ?
			    Kept::first_and_last : Kept::lines;
		}
	return d;
}

// Lane i with at most rows rows of labels (-1: as many as it needs),
// from top 0, showing the texts kept; the others are left out, their
// marks drawn still.
Laid
lay_lane(const Timeline &t, const Scale &s, std::size_t i, const Walls &w,
    int rows, Kept kept)
{
	const Look &look = s.look();
	Laid d = told(t, look, i);

	for (auto *side : {&d.above, &d.below})
		for (auto &l : *side) {
			l.anchor = l.x = s.x(l.us);
			l.room = s.room(l.anchor, i == 0 && side == &d.above);
			l.hidden = l.rank > kept;
		}
	int below = place(d.below, w.below, look, rows, true);
	int above = place(d.above, w.above, look, rows < 0 ? -1 : rows - below,
	    false);
	d.bar = look.bar_at + above * look.row;
	d.bottom = lane_height(look, above, below, d.dense);
	return d;
}

double
height(const std::vector<Laid> &laid)
{
	double h = 0;
	for (const auto &d : laid)
		h += d.bottom - d.top;
	return h;
}

std::size_t
shown(const Laid &d)
{
	std::size_t n = 0;
	for (const auto *side : {&d.above, &d.below})
		n += static_cast<std::size_t>(std::ranges::count_if(*side,
		    [](const Label &l) { return !l.hidden; }));
	return n;
}

// Every lane with the texts of the first and last lines alone, as many
// rows each as there is room for, then a row more for the lanes that
// want the most.
std::vector<Laid>
squeezed(const Timeline &t, const Scale &s, const std::vector<Walls> &w,
    double height_for)
{
	std::size_t n = t.lanes.size();
	std::vector<Laid> laid;
	std::vector<int> need(n);
	std::vector<int> rows(n, 0);

	for (std::size_t i = 0; i < n; i++) {
		laid.push_back(lay_lane(t, s, i, w[i], -1, Kept::first_and_last));
		need[i] = static_cast<int>(shown(laid[i]));
	}
	for (int cap = *std::max_element(need.begin(), need.end()); cap >= 0;
	    cap--) {
		for (std::size_t i = 0; i < n; i++)
			laid[i] = lay_lane(t, s, i, w[i], rows[i] = cap,
			    Kept::first_and_last);
		if (height(laid) <= height_for || cap == 0)
			break;
	}
	std::vector<std::size_t> order(n);
	for (std::size_t i = 0; i < n; i++)
		order[i] = i;
	std::stable_sort(order.begin(), order.end(), [&need](auto a, auto b) {
		return need[a] > need[b];
	});
	for (std::size_t i : order)
		while (rows[i] < need[i]) {
			Laid more = lay_lane(t, s, i, w[i], rows[i] + 1,
			    Kept::first_and_last);
			if (height(laid) - laid[i].bottom + more.bottom > height_for)
				break;
			rows[i]++;
			laid[i] = std::move(more);
		}
	return laid;
}

} // namespace

Label
event_label(const Look &look, long long us, const std::string &text)
{
	return label(us, text, look.sans_px);
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
	const Look &look = s.look();
	double from = look.time_from();
	double edge = look.width - 6;
	double fits = width;

	for (const auto &l : t.lanes) {
		if (l.lines.size() > most_named_lines)
			continue;
		for (const auto &line : l.lines) {
			Label b = line_label(look, line);
			double x = s.x(line.us);
			if (x + beside + b.width > edge && x > from)
				fits = std::min(fits, width * (edge - beside - b.width -
				    from) / (x - from));
		}
	}
	return fits;
}

Needs
needs(const Timeline &t, const Look &look)
{
	Needs n;

	for (std::size_t i = 0; i < t.lanes.size(); i++) {
		Laid d = told(t, look, i);
		for (const auto *side : {&d.above, &d.below})
			for (const auto &x : *side)
				n.texts.push_back({x.us, x.width});
		const Lane &l = t.lanes[i];
		long long last = l.ended ? l.end_us : t.end_us;
		for (const auto &b : l.blocked)
			n.spans.push_back({b.from_us, b.to_us < 0 ? last : b.to_us, 0});
		if (l.ended)
			n.spans.push_back({l.end_us, l.reaped_us < 0 ? t.end_us :
			    l.reaped_us, least_zombie});
	}
	return n;
}

Lanes
lay_out(const Timeline &t, const Scale &s, double top,
    const std::vector<Walls> &w, double height_for)
{
	Lanes out;

	// On a slide, of the texts, all that there is room for: fewer kinds
	// of them, rather than some of every kind.
	out.whole = false;
	for (int k = static_cast<int>(Kept::all); k >= 0 && !out.whole; k--) {
		out.kept = static_cast<Kept>(k);
		out.laid.clear();
		for (std::size_t i = 0; i < t.lanes.size(); i++)
			out.laid.push_back(lay_lane(t, s, i, w[i], -1, out.kept));
		out.whole = height_for <= 0 || height(out.laid) <= height_for;
	}
	if (!out.whole)
		out.laid = squeezed(t, s, w, height_for);
	// Room to spare on a slide goes between the lanes, a little.
	double spare = height_for > 0 && !t.lanes.empty() ? std::clamp(
	    (height_for - height(out.laid)) / static_cast<double>(t.lanes.size()),
	    0.0, 5 * s.look().row) : 0;
	for (auto &d : out.laid) {
		d.bar += top + spare / 2;
		d.bottom += top + spare;
		d.top = top;
		top = d.bottom;
	}
	return out;
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
