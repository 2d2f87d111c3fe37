// The lanes of the timeline picture: which of their texts a slide has
// room for, where each lane goes and how high it is, packed close on a
// crowded slide as what each draws lets it; and what time across must
// make room for, for their texts and spans. See svg.h.
#include <algorithm>
#include <functional>

#include "svg.h"

namespace {

// A zombie is drawn at least this wide, however short it was.
constexpr double least_zombie = 24;
// Packed, the texts below a bar stand nearer it, their boxes just clear
// of it; and bars are this far apart at least, their lanes' names clear
// of each other.
constexpr double packed_below = 8;
constexpr double least_pitch = 22;
// Texts of the last lines fit beside their marks, so that those written
// before them can stand there too, each a row further out.
constexpr double beside = 4;

// Lane i with at most rows rows of labels (-1: as many as it needs),
// from top 0, showing the texts kept; the others are left out, their
// marks drawn still.
Laid
lay_lane(const Timeline &t, const Scale &s, std::size_t i, const Walls &w,
    int rows, const Keep &keep)
{
	const Look &look = s.look();
	Laid d = told(t, look, i);

	d.below_at = look.below_at;
	for (auto *side : {&d.above, &d.below})
		for (auto &l : *side) {
			l.anchor = l.x = s.x(l.us);
			l.room = s.room(l.anchor, i == 0 && side == &d.above);
			l.hidden = !keep.keeps(l);
		}
	int below = place(d.below, w.below, look, rows, true);
	int above = place(d.above, w.above, look, rows < 0 ? -1 : rows - below,
	    false);
	d.bar = look.bar_at + above * look.row;
	d.bottom = lane_height(look, above, below, d.dense);
	return d;
}

std::vector<Laid>
lay_all(const Timeline &t, const Scale &s, const std::vector<Walls> &w,
    const Keep &keep)
{
	std::vector<Laid> laid;
	for (std::size_t i = 0; i < t.lanes.size(); i++)
		laid.push_back(lay_lane(t, s, i, w[i], -1, keep));
	return laid;
}

// Packs lanes laid out each from top 0: each bar as near the one above
// as what both draw lets it, each band from one seam to the next. How
// high they are in all.
double
pack(std::vector<Laid> &laid, const Timeline &t, const Scale &s,
    const std::vector<Walls> &w)
{
	const Look &look = s.look();
	std::vector<Extent> upper;
	double bar = look.bar_at;

	for (std::size_t i = 0; i < laid.size(); i++) {
		Laid &d = laid[i];
		d.below_at = look.font + packed_below;
		std::vector<Extent> e = extents(t, s, d, w[i]);
		if (i == 0) {
			for (const auto &x : e)
				if (x.of == Extent::Of::text)
					bar = std::max(bar, 1 - x.top);
		} else {
			double p = pitch(upper, e, least_pitch);
			d.top = laid[i - 1].bottom = bar + seam(upper, e, p,
			    look.bar_at);
			bar += p;
		}
		d.bar = bar;
		upper = std::move(e);
	}
	double under = look.least_below;
	for (const auto &x : upper)
		if (x.of != Extent::Of::arrow)
			under = std::max(under, x.bottom + 3);
	return laid.empty() ? 0 : laid.back().bottom = bar + under;
}

// Places lanes laid out each from top 0 one under another from 0 down,
// each as high as it is, or on a slide where that is higher than
// height_for, packed if that is lower. How high they are in all.
double
arrange(std::vector<Laid> &laid, const Timeline &t, const Scale &s,
    const std::vector<Walls> &w, double height_for)
{
	double stacked = 0;
	for (const auto &d : laid)
		stacked += d.bottom;
	if (height_for > 0 && stacked > height_for) {
		std::vector<Laid> packed = laid;
		double tall = pack(packed, t, s, w);
		if (tall < stacked) {
			laid = std::move(packed);
			return tall;
		}
	}
	double top = 0;
	for (auto &d : laid) {
		d.top = top;
		d.bar += top;
		d.bottom += top;
		top = d.bottom;
	}
	return top;
}

bool
fits(std::vector<Laid> laid, const Timeline &t, const Scale &s,
    const std::vector<Walls> &w, double height_for)
{
	return height_for <= 0 || arrange(laid, t, s, w, height_for) <=
	    height_for;
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

// Whether every text keep keeps is shown, none left out for want of room
// beside its mark.
bool
shows(const std::vector<Laid> &laid, const Keep &keep)
{
	return std::ranges::all_of(laid, [&keep](const Laid &d) {
		auto left = [&keep](const Label &l) {
			return l.hidden && keep.keeps(l);
		};
		return std::ranges::none_of(d.above, left) &&
		    std::ranges::none_of(d.below, left);
	});
}

// The kinds of the lines of the lanes that name theirs, of two lines or
// more, the most lines first; of those alone that have a line besides
// its process's first and last, if beyond_ends.
std::vector<std::string>
kinds(const Timeline &t, bool beyond_ends)
{
	struct Kind {
		std::string kind;
		std::size_t lines;
		bool inner;
	};
	std::vector<Kind> seen;
	std::vector<std::string> v;

	for (const auto &l : t.lanes)
		for (std::size_t k = 0; k < l.lines.size() && l.lines.size() <=
		    most_named_lines; k++) {
			std::string kind = line_kind(l.lines[k].text);
			auto it = std::ranges::find(seen, kind, &Kind::kind);
			if (it == seen.end())
				it = seen.insert(it, {kind, 0, false});
			it->lines++;
			it->inner = it->inner || (k > 0 && k + 1 < l.lines.size());
		}
	std::ranges::stable_sort(seen, std::greater{}, &Kind::lines);
	for (const auto &k : seen)
		if (k.lines > 1 && (k.inner || !beyond_ends))
			v.push_back(k.kind);
	return v;
}

// Every line of the largest kind that fits, and each process's first
// and last lines where they fit too, from top 0; none if no kind fits,
// or the lanes alone do not.
std::vector<Laid>
kind_first(const Timeline &t, const Scale &s, const std::vector<Walls> &w,
    double height_for, Keep &kept)
{
	if (!fits(lay_all(t, s, w, {Kept::none, {}}), t, s, w, height_for))
		return {};
	for (const auto &k : kinds(t, false)) {
		Keep kind{Kept::none, {k}};
		Keep both{Kept::first_and_last, {k}};
		std::vector<Laid> laid = lay_all(t, s, w, kind);
		if (!fits(laid, t, s, w, height_for) || !shows(laid, kind))
			continue;
		for (std::size_t i = 0; i < laid.size(); i++) {
			Laid more = lay_lane(t, s, i, w[i], -1, both);
			bool whole = shows({more}, kind);
			std::swap(laid[i], more);
			if (!whole || !fits(laid, t, s, w, height_for))
				std::swap(laid[i], more);
		}
		kept = kind;
		return laid;
	}
	return {};
}

// Every lane with the texts of the first and last lines alone, as many
// rows each as there is room for, then a row more for each lane in turn
// while there is room; from top 0.
std::vector<Laid>
squeezed(const Timeline &t, const Scale &s, const std::vector<Walls> &w,
    double height_for)
{
	std::size_t n = t.lanes.size();
	Keep ends{Kept::first_and_last, {}};
	std::vector<Laid> laid = lay_all(t, s, w, ends);
	std::vector<int> need(n);
	std::vector<int> rows(n, 0);

	for (std::size_t i = 0; i < n; i++)
		need[i] = static_cast<int>(shown(laid[i]));
	for (int cap = *std::max_element(need.begin(), need.end()); cap >= 0;
	    cap--) {
		for (std::size_t i = 0; i < n; i++)
			laid[i] = lay_lane(t, s, i, w[i], rows[i] = cap, ends);
		if (fits(laid, t, s, w, height_for))
			break;
	}
	for (bool more = true; more;) {
		more = false;
		for (std::size_t i = 0; i < n; i++) {
			if (rows[i] >= need[i])
				continue;
			Laid next = lay_lane(t, s, i, w[i], rows[i] + 1, ends);
			std::swap(laid[i], next);
			if (fits(laid, t, s, w, height_for)) {
				rows[i]++;
				more = true;
			} else {
				std::swap(laid[i], next);
				need[i] = rows[i];
			}
		}
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

	// On a slide, of the texts, all that there is room for: fewer ranks
	// of them rather than some of every rank, and of a kind of lines all
	// or none.
	out.whole = false;
	for (int k = static_cast<int>(Kept::all); k > 0 && !out.whole; k--) {
		out.kept = {static_cast<Kept>(k), {}};
		out.laid = lay_all(t, s, w, out.kept);
		out.whole = fits(out.laid, t, s, w, height_for);
	}
	if (out.whole && out.kept.rank == Kept::first_and_last)
		for (const auto &kind : kinds(t, true)) {
			Keep more = out.kept;
			more.kinds.push_back(kind);
			std::vector<Laid> laid = lay_all(t, s, w, more);
			if (fits(laid, t, s, w, height_for) && shows(laid, {Kept::none,
			    {kind}})) {
				out.kept = std::move(more);
				out.laid = std::move(laid);
			}
		}
	if (!out.whole)
		out.laid = kind_first(t, s, w, height_for, out.kept);
	if (!out.whole && out.laid.empty()) {
		out.kept = {Kept::first_and_last, {}};
		out.laid = squeezed(t, s, w, height_for);
	}
	out.whole = out.whole && shows(out.laid, out.kept);
	double tall = arrange(out.laid, t, s, w, height_for);
	// Room to spare on a slide goes between the lanes, a little.
	double spare = height_for > 0 && !out.laid.empty() ? std::clamp(
	    (height_for - tall) / static_cast<double>(out.laid.size()), 0.0,
	    5 * s.look().row) : 0;
	for (std::size_t i = 0; i < out.laid.size(); i++) {
		Laid &d = out.laid[i];
		double shift = top + static_cast<double>(i) * spare;
		d.top += shift;
		d.bar += shift + spare / 2;
		d.bottom += shift + spare;
	}
	return out;
}

std::vector<Extent>
extents(const Timeline &t, const Scale &s, const Laid &d, const Walls &w)
{
	using Of = Extent::Of;
	const Look &look = s.look();
	const Lane &l = *d.lane;
	long long last = l.ended && l.reaped_us >= 0 ? l.reaped_us : t.end_us;
	// Its name, and its bar with the waits, zombie and marks on it.
	std::vector<Extent> e{{0, look.gutter, look.name_below ? -14.0 : -7.0,
	    look.name_below ? 16.0 : 7.5, Of::mark}, {s.x(l.start_us) - 8,
	    s.x(last) + 8, -7, 7, Of::mark}};

	// Signals, orphaning and the end: the marks that stand out most.
	for (const auto &sig : l.signals)
		e.push_back({s.x(sig.us) - 7, s.x(sig.us) + 7, -16, 0, Of::mark});
	if (l.orphaned_us >= 0)
		e.push_back({s.x(l.orphaned_us) - 7, s.x(l.orphaned_us) + 7, -17, 0,
		    Of::mark});
	if (l.ended)
		e.push_back({s.x(l.end_us) - 8, s.x(l.end_us) + 8, -10, 10,
		    Of::mark});
	if (d.dense)
		e.push_back({look.time_from(), look.time_to(), 0, 31, Of::mark});
	// The heads of the arrows at it, 8 across.
	for (const auto &[x, reach] : w.heads_above)
		e.push_back({x - 4, x + 4, -reach, 0, Of::arrow});
	for (const auto &[x, reach] : w.heads_below)
		e.push_back({x - 4, x + 4, 0, reach, Of::arrow});
	// Each text's box as drawn (svg_draw.cpp), and its leader out to it.
	for (bool above : {true, false})
		for (const auto &x : above ? d.above : d.below) {
			if (x.hidden)
				continue;
			double y = label_y(d, x, above, look) - d.bar;
			double top = y - look.font;
			double bottom = y + 3;
			double reach = x.elbow ? y - look.font / 2 + 1 : above ? bottom :
			    top;
			e.push_back({x.x, x.x + x.width, top, bottom, Of::text});
			e.push_back({x.anchor - 1, x.anchor + 1, std::min(reach, 0.0),
			    std::max(reach, 0.0), Of::text});
		}
	return e;
}
