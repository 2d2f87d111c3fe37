// The lanes of the timeline picture: where each goes and how high it is,
// then its bar, waits, zombie span, markers and labels, and the arrows
// between lanes. See svg.h.
#include <algorithm>
#include <ostream>

#include "svg.h"

namespace {

// A zombie is drawn at least this wide, however short it was.
constexpr double least_zombie = 24;
// Texts of the last lines fit beside their marks, so that those written
// before them can stand there too, each a row further out.
constexpr double beside = 4;

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
