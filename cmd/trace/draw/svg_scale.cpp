// Where an instant goes across the timeline picture: the breaks in it,
// the room each stretch between them gets for its texts and spans, and
// the labelled times of its axis. See svg.h.
#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>

#include "svg.h"
#include "shown.h"

namespace {

// A stretch with nothing in it is a break if it is at least this long
// and this share of the time still drawn to scale: drawn so, it would
// take several times a break's width. Alarms ten seconds apart are
// drawn to scale.
constexpr long long least_break_us = 20000;
constexpr double break_share = 0.25;
constexpr std::size_t most_breaks = 16;
constexpr double break_width = 52;
// Texts stand clear of a break's zigzags: up to this far into it from
// the stretch before, and from the stretch after.
constexpr double into_before = 4;
constexpr double into_after = 1;
// Room in a stretch besides its widest text: for a zombie and the arrow
// from its end.
constexpr double beside_text = 36;
// The picture's margins, left and right.
constexpr double margin_left = 14;
constexpr double margin_right = 6;
// The room each instant gets of its own, at most; and at most this share
// of the width goes to such room.
constexpr double step_px = 12;
constexpr double step_share = 0.4;
// A tick's label: a character's width, of its size; the least room
// between the labels of two ticks, and of two a break apart.
constexpr double label_em = 0.6;
constexpr double tick_gap = 24;
constexpr double label_gap = 10;
// Ticks further apart than this many of the run's instants are not
// looked for: no picture holds them.
constexpr long long most_ticks = 4000;
constexpr double nearly = 0.9;
// A time left out in a break this close to its edge, in steps of the
// axis, is ticked there: 10 s where a break ends at 10.05 s.
constexpr double break_edge = 0.05;

// Gaps from, to (indices of the knots' gaps) drawn at least so wide in
// all, breaks aside.
struct Least {
	std::size_t from;
	std::size_t to;
	double width;
};

std::size_t
knot(const std::vector<long long> &t, long long us)
{
	return static_cast<std::size_t>(std::lower_bound(t.begin(), t.end(),
	    us) - t.begin());
}

// The gaps between instants that become breaks, by index of the instant
// that starts them: the longest first, none beside another (an instant
// alone between two breaks has no room for its texts), none at either
// end but the lead-in, and none that is the whole of a span.
std::vector<bool>
break_gaps(const std::vector<long long> &t, long long lead_us,
    const std::vector<Needs::Span> &spans)
{
	std::size_t gaps = t.size() > 1 ? t.size() - 1 : 0;
	std::vector<bool> chosen(gaps, false);
	std::vector<std::size_t> order(gaps);
	long long rest = gaps ? t.back() - t.front() : 0;
	std::size_t n = 0;

	auto gap = [&t](std::size_t i) { return t[i + 1] - t[i]; };
	if (lead_us > 0 && t.size() > 2 && t[1] == lead_us) {
		chosen[0] = true;
		rest -= gap(0);
		n++;
	}
	auto taken = [&chosen, gaps](std::size_t i) {
		return chosen[i] || (i > 0 && chosen[i - 1]) ||
		    (i + 1 < gaps && chosen[i + 1]);
	};
	auto whole = [&t, &spans](std::size_t i) {
		return std::ranges::any_of(spans, [&t, i](const Needs::Span &s) {
			return s.from_us == t[i] && s.to_us == t[i + 1];
		});
	};
	std::iota(order.begin(), order.end(), 0);
	std::stable_sort(order.begin(), order.end(),
	    [&gap](std::size_t a, std::size_t b) { return gap(a) > gap(b); });
	for (std::size_t i : order) {
		long long g = gap(i);
		if (n == most_breaks || g < least_break_us ||
		    static_cast<double>(g) < break_share * static_cast<double>(rest))
			break;
		if (taken(i) || i == 0 || i + 1 == gaps || whole(i))
			continue;
		chosen[i] = true;
		rest -= g;
		n++;
	}
	return chosen;
}

// Widens the gaps of l, each by its share of the time, if they are
// narrower than l asks, and keeps how much; by how much.
double
widen(const Least &l, const std::vector<bool> &is_break,
    const std::vector<double> &own, std::vector<double> &w,
    std::vector<double> &extra)
{
	double have = 0;
	double share = 0;
	double drawn = 0;

	for (std::size_t i = l.from; i < l.to; i++)
		if (!is_break[i]) {
			have += w[i];
			share += own[i];
			drawn++;
		}
	if (have + 0.01 >= l.width)
		return 0;
	for (std::size_t i = l.from; i < l.to; i++)
		if (!is_break[i]) {
			double more = (l.width - have) * (share > 0 ? own[i] / share :
			    1 / drawn);
			extra[i] += more;
			w[i] += more;
		}
	return l.width - have;
}

// How wide each gap between knots is drawn: a break's width, or room of
// its own and its share of the time, widened where a Least asks; empty
// if the width cannot hold all that is asked.
std::vector<double>
gap_widths(const std::vector<long long> &t, const std::vector<bool> &is_break,
    const std::vector<Least> &least, double width)
{
	std::size_t gaps = is_break.size();
	auto breaks = static_cast<double>(
	    std::count(is_break.begin(), is_break.end(), true));
	double unbroken = width - breaks * break_width;
	double steps = static_cast<double>(gaps) - breaks;
	double step = steps > 0 ? std::min(step_px, step_share * unbroken /
	    steps) : 0;
	long long to_scale = 0;
	std::vector<double> extra(gaps, 0);
	std::vector<double> w(gaps, break_width);

	for (std::size_t i = 0; i < gaps; i++)
		if (!is_break[i])
			to_scale += t[i + 1] - t[i];
	for (int round = 0; round < 32; round++) {
		double room = unbroken - step * steps -
		    std::accumulate(extra.begin(), extra.end(), 0.0);
		if (room < -0.5)
			return {};
		room = std::max(room, 0.0);
		std::vector<double> own(gaps, 0);
		for (std::size_t i = 0; i < gaps; i++)
			if (!is_break[i])
				own[i] = step + (to_scale > 0 ? room * static_cast<double>(
				    t[i + 1] - t[i]) / static_cast<double>(to_scale) :
				    room / steps);
		for (std::size_t i = 0; i < gaps; i++)
			w[i] = is_break[i] ? break_width : own[i] + extra[i];
		double short_by = 0;
		for (const Least &l : least)
			short_by = std::max(short_by, widen(l, is_break, own, w, extra));
		if (short_by < 0.5)
			return w;
	}
	return {};
}

// What must be drawn wide enough: each stretch between breaks, for its
// widest text and a zombie's hatch and arrow beside it, within the room
// it has besides its time (the lanes' names beside the first; a little
// of each break); and before them each span, its gaps but the breaks,
// so that a stretch counts the room its spans took.
std::vector<Least>
least_widths(const std::vector<long long> &t, const std::vector<bool> &is_break,
    const Needs &needs, Scale::Across a)
{
	std::vector<Least> least;
	std::vector<double> widest(t.size(), 0);

	for (const auto &x : needs.texts) {
		std::size_t k = knot(t, x.us);
		if (k < t.size() && t[k] == x.us)
			widest[k] = std::max(widest[k], x.width);
	}
	for (const auto &s : needs.spans) {
		std::size_t from = knot(t, s.from_us);
		std::size_t to = knot(t, s.to_us);
		if (s.least > 0 && from < to && to < t.size())
			least.push_back({from, to, s.least});
	}
	for (std::size_t from = 0; from < t.size();) {
		std::size_t to = from;
		while (to < is_break.size() && !is_break[to])
			to++;
		double need = *std::max_element(widest.begin() +
		    static_cast<long>(from), widest.begin() + static_cast<long>(to) +
		    1) + beside_text;
		need -= from == 0 ? a.x0 - margin_left : into_after;
		need -= to + 1 == t.size() ? 0 : into_before;
		if (to > from && need > 0)
			least.push_back({from, to, need});
		from = to + 1;
	}
	return least;
}

} // namespace

Scale::Scale(std::vector<long long> instants, long long lead_us, Across a,
    const Look &look, const Needs &needs)
    : look_(look), t_(std::move(instants))
{
	if (t_.empty())
		t_.push_back(0);
	std::vector<bool> is_break = break_gaps(t_, lead_us, needs.spans);
	std::vector<double> w;

	// Where the width cannot hold what the stretches need, the shortest
	// break goes, the lead-in last.
	for (;;) {
		w = gap_widths(t_, is_break, least_widths(t_, is_break, needs, a),
		    a.width);
		if (!w.empty() || std::ranges::none_of(is_break, std::identity{}))
			break;
		std::size_t drop = 0;
		for (std::size_t i = 1; i < is_break.size(); i++)
			if (is_break[i] && (drop == 0 || t_[i + 1] - t_[i] <
			    t_[drop + 1] - t_[drop]))
				drop = i;
		is_break[drop] = false;
	}
	if (w.empty())
		w = gap_widths(t_, is_break, {}, a.width);
	x_.push_back(a.x0);
	for (std::size_t i = 0; i + 1 < t_.size(); i++) {
		if (is_break[i])
			breaks_.push_back({t_[i], t_[i + 1], x_.back(), break_width,
			    i == 0 && t_[1] == lead_us});
		x_.push_back(x_.back() + w[i]);
	}
}

double
Scale::x(long long us) const
{
	auto it = std::upper_bound(t_.begin(), t_.end(), us);
	if (it == t_.begin())
		return x_.front();
	if (it == t_.end())
		return x_.back();
	auto i = static_cast<std::size_t>(it - t_.begin()) - 1;
	double f = static_cast<double>(us - t_[i]) /
	    static_cast<double>(t_[i + 1] - t_[i]);
	return x_[i] + f * (x_[i + 1] - x_[i]);
}

Scale::Room
Scale::room(double x, bool lead_in) const
{
	Room r{margin_left, look_.width - margin_right};

	for (const auto &b : breaks_) {
		if (b.lead_in && !lead_in)
			continue;
		if (b.x + b.width <= x)
			r.from = b.x + b.width - into_after;
		if (b.x >= x) {
			r.to = b.x + into_before;
			break;
		}
	}
	return r;
}

bool
Scale::drawn(long long us, long long step) const
{
	auto near = static_cast<long long>(break_edge * static_cast<double>(
	    step));
	return std::ranges::none_of(breaks_, [us, near](const Break &b) {
		return us > b.from_us + near && us < b.to_us - near;
	});
}

// Every multiple of step in the stretch that is drawn, or left out in a
// break at its very edge; empty if two crowd each other, their labels
// too close, but that a tick at a break's edge, or at its very start or
// end, gives way to one in a stretch drawn. Leaving out any other would
// read 10, 20, 30, 50, 70.
std::vector<Scale::Tick>
Scale::ticks_every(long long step, Stretch in) const
{
	std::vector<Tick> found;
	auto near = static_cast<long long>(break_edge * static_cast<double>(
	    step));
	long long from = in.from_us > t_.front() ? in.from_us - near : in.from_us;
	long long to = in.to_us < t_.back() ? in.to_us + near : in.to_us;

	for (long long v = (from + step - 1) / step * step; v <= to; v += step) {
		Tick t{x(v), tick_label(v, step), std::ranges::any_of(breaks_,
		    [v](const Break &b) { return v >= b.from_us && v <= b.to_us; })};
		if (!drawn(v, step))
			continue;
		if (!found.empty() && crowd(found.back(), t)) {
			if (t.edge && !found.back().edge)
				continue;
			if (!found.back().edge || t.edge)
				return {};
			found.pop_back();
		}
		found.push_back(t);
	}
	return found;
}

bool
Scale::crowd(const Tick &a, const Tick &b) const
{
	auto half = [this](const Tick &t) {
		return static_cast<double>(characters(t.label)) * look_.small *
		    label_em / 2;
	};
	bool across = std::ranges::any_of(breaks_, [&a, &b](const Break &k) {
		return k.x + k.width >= a.x && k.x <= b.x;
	});
	return b.x - a.x < half(a) + half(b) + (across ? label_gap : tick_gap);
}

// Of 1, 2 or 5 times a power of ten, the longest step whose ticks in
// the stretch, none crowding the next, are nearly as many as any step's.
long long
Scale::step_for(Stretch in) const
{
	std::vector<std::pair<long long, std::size_t>> each;
	std::size_t most = 0;
	long long span = std::max(1LL, in.to_us - in.from_us);

	for (long long p = 1; p <= span * 10; p *= 10)
		for (long long m : {1, 2, 5}) {
			long long step = p * m;
			if (span / step > most_ticks)
				continue;
			each.emplace_back(step, ticks_every(step, in).size());
			most = std::max(most, each.back().second);
		}
	auto enough = std::find_if(each.rbegin(), each.rend(),
	    [most](const auto &e) {
		return static_cast<double>(e.second) >= nearly *
		    static_cast<double>(most);
	});
	return enough->first;
}

// A step of its own for each stretch between breaks, so that 20 ms,
// 40 ms before a break of a second read 1.02 s, 1.03 s after it; a
// stretch of one instant, before the lead-in, takes the step after it.
// Of two ticks crowding each other across a break, the one at its edge
// goes, else the later.
std::vector<Scale::Tick>
Scale::ticks() const
{
	std::vector<Tick> all;
	long long step = 0;

	for (std::size_t i = breaks_.size() + 1; i-- > 0;) {
		Stretch in{i > 0 ? breaks_[i - 1].to_us : t_.front(),
		    i < breaks_.size() ? breaks_[i].from_us : t_.back()};
		if (in.from_us < in.to_us || step == 0)
			step = step_for(in);
		std::vector<Tick> found = ticks_every(step, in);
		if (!found.empty() && !all.empty() && crowd(found.back(),
		    all.front())) {
			if (found.back().edge)
				found.pop_back();
			else
				all.erase(all.begin());
		}
		all.insert(all.begin(), found.begin(), found.end());
	}
	return all;
}
