// Where the texts beside a lane go on the timeline picture: each in a row
// of its own side of the bar, within the stretch of its mark, clear of
// the other texts, of the arrows that cross the lane and of the leaders
// from the marks to their texts, and reading from the bar out in the
// order given; and how close two lanes of a crowded slide can go, their
// texts clear of each other's. See svg.h.
#include <algorithm>
#include <cmath>
#include <limits>

#include "svg.h"

namespace {

constexpr double text_gap = 8;	// between two texts in a row
constexpr double clear = 3;	// between a text and a line
constexpr double lead = 3;	// a text starts this far before its mark
// An arrow's head is 8 across: a text keeps as clear of it as of a line.
constexpr double head = 1.5;
// How far from the bar it points at an arrow's head reaches: a line's
// (svg_draw.cpp), a message's (svg_bytes.cpp).
constexpr double arrow_reach = 16;
constexpr double pipe_reach = 19;
// Between what two lanes draw, across and down; and from a seam between
// their bands to the texts either side.
constexpr double apart = 2;
constexpr double seam_clear = 1;
// A text stays this far from the level of another lane's bar, where that
// lane draws nothing beside it: else it would read as that lane's.
constexpr double off_bar = 9;

// Where a text stands: from x across, in a row.
struct Spot {
	double x;
	int row;
};

struct Span {
	double from;
	double to;
	bool text;	// a text's box; else a line through the row
};

// Whether a text from a0 to a1 would meet what takes s.
bool
meet(double a0, double a1, const Span &s)
{
	double room = s.text ? text_gap : clear;
	return a0 < s.to + room && a1 + room > s.from;
}

// Whether a leader from x0 to x1 along a row would cross a text.
bool
crosses(double x0, double x1, const Span &s)
{
	return s.text && x0 < s.to + clear && x1 + clear > s.from;
}

class Rows {
public:
	Rows(std::vector<Label> &labels, const std::vector<std::pair<double,
	    double>> &walls, bool rightward)
	    : labels_(labels), rightward_(rightward)
	{
		for (const auto &[from, to] : walls)
			walls_.push_back({from - head, to + head, false});
	}

	// Whether labels_[i] could stand there; its leader bends along the
	// row to it if the text is not over the mark.
	[[nodiscard]] bool fits(std::size_t i, Spot at) const;
	// Where in row r labels_[i] could stand nearest its mark; NaN if
	// nowhere.
	[[nodiscard]] double nearest(std::size_t i, int r) const;
	void put(std::size_t i, Spot at);

private:
	[[nodiscard]] const std::vector<Span> &row(int r) const
	{
		static const std::vector<Span> none;
		auto k = static_cast<std::size_t>(r);
		return k < taken_.size() ? taken_[k] : none;
	}

	std::vector<Label> &labels_;
	bool rightward_;	// in a row, each text right of those before
	std::vector<Span> walls_;
	std::vector<std::vector<Span>> taken_;
};

bool
Rows::fits(std::size_t i, Spot at) const
{
	const Label &l = labels_[i];
	double a = at.x;
	int r = at.row;
	double b = a + l.width;
	double mark = l.anchor;

	if (a < l.room.from || b > l.room.to)
		return false;
	auto hit = [a, b](const Span &s) { return meet(a, b, s); };
	if (std::ranges::any_of(walls_, hit) || std::ranges::any_of(row(r), hit))
		return false;
	// Any text it would overlap, put before it, is nearer the bar, and
	// in its row it comes after those before it; the marks of those
	// still to come stay clear for their leaders.
	for (std::size_t k = 0; k < labels_.size(); k++) {
		const Label &o = labels_[k];
		bool after = rightward_ ? a >= o.x + o.width + text_gap :
		    b + text_gap <= o.x;
		if (k < i && !o.hidden && ((o.row > r && a < o.x + o.width +
		    text_gap && b + text_gap > o.x) || (o.row == r && !after)))
			return false;
		if (k > i && !o.hidden && a < o.anchor + clear &&
		    b + clear > o.anchor)
			return false;
	}
	// Its leader crosses no text on its way out, nor along its row.
	for (int k = 0; k < r; k++)
		for (const Span &s : row(k))
			if (crosses(mark, mark, s))
				return false;
	double e0 = std::min(mark, a);
	double e1 = std::max(mark, b);
	return std::ranges::none_of(row(r), [e0, e1](const Span &s) {
		return crosses(e0, e1, s);
	});
}

double
Rows::nearest(std::size_t i, int r) const
{
	const Label &l = labels_[i];
	double chosen = std::numeric_limits<double>::quiet_NaN();
	double distance = std::numeric_limits<double>::infinity();
	std::vector<double> starts{l.anchor - lead, l.anchor + lead - l.width,
	    l.room.from, l.room.to - l.width};

	// Just past each thing in the way, on either side.
	auto edges = [&starts, &l](double from, double to, double room) {
		starts.push_back(to + room);
		starts.push_back(from - room - l.width);
	};
	for (const Span &s : walls_)
		edges(s.from, s.to, clear + 0.5);
	for (const Span &s : row(r))
		edges(s.from, s.to, (s.text ? text_gap : clear) + 0.5);
	for (std::size_t k = 0; k < labels_.size(); k++)
		if (k != i && !labels_[k].hidden)
			edges(labels_[k].x, labels_[k].x + labels_[k].width,
			    text_gap + 0.5);
	for (std::size_t k = i + 1; k < labels_.size(); k++)
		if (!labels_[k].hidden)
			edges(labels_[k].anchor, labels_[k].anchor, clear + 0.5);
	for (double a : starts) {
		double d = a > l.anchor ? a - l.anchor : l.anchor - (a + l.width);
		d = std::max(d, 0.0);
		if (d < distance && fits(i, {a, r})) {
			distance = d;
			chosen = a;
		}
	}
	return chosen;
}

void
Rows::put(std::size_t i, Spot at)
{
	Label &l = labels_[i];
	double a = at.x;
	int r = at.row;
	auto k = static_cast<std::size_t>(r);

	if (taken_.size() <= k)
		taken_.resize(k + 1);
	l.x = a;
	l.row = r;
	l.elbow = l.anchor < a || l.anchor > a + l.width;
	taken_[k].push_back({a, a + l.width, true});
	if (l.elbow)
		taken_[k].push_back({std::min(l.anchor, a), std::max(l.anchor,
		    a + l.width), false});
	for (std::size_t j = 0; j < k; j++)
		taken_[j].push_back({l.anchor, l.anchor, false});
}

// A spot for a label, and what standing there costs.
struct Choice {
	double cost;
	Spot at;
};

// Where labels[i] stands best: nearest its mark, a row further out worth
// a bend as long as a row is high (a text far along its row from its
// mark reads as another's); row -1 if nowhere.
Choice
best(const Rows &taken, const std::vector<Label> &labels, std::size_t i,
    int deepest, const Look &look)
{
	const Label &l = labels[i];
	Choice c{std::numeric_limits<double>::infinity(), {0, -1}};

	for (int r = 0; r < deepest && c.cost > r * look.row; r++) {
		double a = taken.nearest(i, r);
		if (std::isnan(a))
			continue;
		double cost = r * look.row + std::max({0.0, a - l.anchor,
		    l.anchor - a - l.width});
		if (cost < c.cost)
			c = {cost, {a, r}};
	}
	return c;
}

} // namespace

int
place(std::vector<Label> &labels, const std::vector<std::pair<double,
    double>> &walls, const Look &look, int rows, bool rightward)
{
	Rows taken(labels, walls, rightward);
	int used = 0;
	int deepest = rows >= 0 ? rows : static_cast<int>(labels.size()) + 1;

	for (std::size_t i = 0; i < labels.size(); i++) {
		Label &l = labels[i];
		if (l.hidden)
			continue;
		Choice c = best(taken, labels, i, deepest, look);
		// Where the whole text cannot stand near its mark, the brief
		// one may.
		if (!l.brief.empty() && (c.at.row < 0 || c.cost > 2 * look.row)) {
			std::swap(l.text, l.brief);
			std::swap(l.width, l.brief_width);
			Choice b = best(taken, labels, i, deepest, look);
			if (b.at.row >= 0 && b.cost < c.cost)
				c = b;
			else {
				std::swap(l.text, l.brief);
				std::swap(l.width, l.brief_width);
			}
		}
		l.hidden = c.at.row < 0;
		if (!l.hidden) {
			taken.put(i, c.at);
			used = std::max(used, l.row + 1);
		}
	}
	return used;
}

double
lane_height(const Look &look, int above, int below, bool dense)
{
	double top = look.bar_at + above * look.row;
	double under = below > 0 ? look.below_at + (below - 1) * look.row + 6 :
	    0;
	return top + std::max(under, look.least_below) + (dense ? 28 : 0);
}

double
label_y(const Laid &d, const Label &l, bool above, const Look &look)
{
	if (above)
		return d.bar - look.above_at - l.row * look.row;
	return d.bar + d.below_at + (d.dense ? 28 : 0) + l.row * look.row;
}

std::vector<Walls>
walls(const Timeline &t, const Scale &s, bool subreaper)
{
	std::vector<Walls> w(t.lanes.size());
	// The lane of a process, -1 for trace's own, -2 for none drawn.
	auto lane = [&t, subreaper](pid_t pid) {
		if (pid == t.subreaper)
			return subreaper ? -1L : -2L;
		std::size_t i = t.index(pid);
		return i < t.lanes.size() ? static_cast<long>(i) : -2L;
	};
	// From lane u at x0 to lane v at x1, its head reach from v's bar.
	auto add = [&w](long u, long v, double x0, double x1, double reach) {
		if (u == v || u < -1 || v < -1)
			return;
		std::pair<double, double> span{std::min(x0, x1), std::max(x0, x1)};
		if (v >= 0)
			(u < v ? w[static_cast<std::size_t>(v)].heads_above :
			    w[static_cast<std::size_t>(v)].heads_below).emplace_back(x1,
			    reach);
		for (long k = std::min(u, v); k <= std::max(u, v); k++) {
			if (k < 0)
				continue;
			auto &lane_walls = w[static_cast<std::size_t>(k)];
			if (k > std::min(u, v))
				lane_walls.above.push_back(span);
			if (k < std::max(u, v))
				lane_walls.below.push_back(span);
		}
	};

	for (std::size_t i = 0; i < t.lanes.size(); i++) {
		const Lane &l = t.lanes[i];
		auto me = static_cast<long>(i);
		if (l.parent)
			add(lane(l.parent), me, s.x(l.start_us), s.x(l.start_us),
			    arrow_reach);
		if (l.reaped_us >= 0)
			add(me, lane(l.reaper), s.x(l.reaped_us), s.x(l.reaped_us),
			    arrow_reach);
		for (const auto &sig : l.signals)
			if (sig.origin == Event::Origin::kill)
				add(lane(sig.from), me, kill_x(s, t.find(sig.from), l.pid,
				    sig), s.x(sig.us), arrow_reach);
		for (const auto &m : l.sent) {
			long to = m.to ? lane(m.to) : -2;
			if (to >= 0 && m.receipt < t.lanes[static_cast<std::size_t>(
			    to)].received.size())
				add(me, to, s.x(m.us), s.x(t.lanes[static_cast<
				    std::size_t>(to)].received[m.receipt].us), pipe_reach);
		}
	}
	return w;
}

double
pitch(const std::vector<Extent> &upper, const std::vector<Extent> &lower,
    double least)
{
	using Of = Extent::Of;
	double p = least;

	for (const auto &a : upper) {
		if (a.of == Of::text)
			p = std::max(p, a.bottom + off_bar);
		for (const auto &b : lower) {
			// An arrow's head meets texts; marks meet marks.
			bool meets = a.of == Of::text || b.of == Of::text ||
			    (a.of == Of::mark && b.of == Of::mark);
			// An arrow's head is as wide as drawn; the rest keep apart.
			double by = a.of == Of::arrow || b.of == Of::arrow ? 0 : apart;
			if (meets && a.from < b.to + by && b.from < a.to + by)
				p = std::max(p, a.bottom - b.top + apart);
		}
	}
	for (const auto &b : lower)
		if (b.of == Extent::Of::text)
			p = std::max(p, off_bar - b.top);
	return p;
}

double
seam(const std::vector<Extent> &upper, const std::vector<Extent> &lower,
    double bars, double above_bar)
{
	double after = 0;
	double before = bars;

	for (const auto &a : upper)
		if (a.of == Extent::Of::text)
			after = std::max(after, a.bottom + seam_clear);
	for (const auto &b : lower)
		if (b.of == Extent::Of::text)
			before = std::min(before, bars + b.top - seam_clear);
	// Texts of both level with each other, apart across: halfway.
	if (after > before)
		return (after + before) / 2;
	return std::clamp(bars - above_bar, after, before);
}
