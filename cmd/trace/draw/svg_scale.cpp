// Where an instant goes across the timeline picture, the breaks in it
// and the labelled times of its axis. See svg.h.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "svg.h"
#include "trace.h"

namespace {

// A stretch with nothing in it is a break if it is at least this long
// and this share of the whole run.
constexpr long long least_break_us = 20000;
constexpr double break_share = 0.05;
constexpr std::size_t most_breaks = 16;
constexpr double break_width = 52;
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

// The gaps between instants that become breaks, by index of the instant
// that starts them.
std::vector<bool>
break_gaps(const std::vector<long long> &t, long long lead_us)
{
	std::vector<bool> chosen(t.size(), false);
	std::vector<std::size_t> order(t.size() > 1 ? t.size() - 1 : 0);
	double whole = t.empty() ? 0 : static_cast<double>(t.back() - t.front());

	std::iota(order.begin(), order.end(), 0);
	auto gap = [&t](std::size_t i) { return t[i + 1] - t[i]; };
	std::stable_sort(order.begin(), order.end(),
	    [&gap](std::size_t a, std::size_t b) { return gap(a) > gap(b); });
	for (std::size_t k = 0; k < order.size() && k < most_breaks; k++) {
		long long g = gap(order[k]);
		if (g < least_break_us || static_cast<double>(g) < break_share *
		    whole)
			break;
		chosen[order[k]] = true;
	}
	if (lead_us > 0 && t.size() > 2 && t[1] == lead_us)
		chosen[0] = true;
	return chosen;
}

// A time on the axis, as precisely as ticks step apart.
std::string
tick_label(long long us, long long step)
{
	int digits = 0;

	if (us < 1000000 && step < 1000000) {
		for (long long s = step; s < 1000; s *= 10)
			digits++;
		return fixed(static_cast<double>(us) / 1e3, digits) + " ms";
	}
	for (long long s = step; s < 1000000; s *= 10)
		digits++;
	return fixed(static_cast<double>(us) / 1e6, digits) + " s";
}

} // namespace

Scale::Scale(std::vector<long long> instants, long long lead_us, Across a,
    const Look &look)
    : look_(look), t_(std::move(instants))
{
	if (t_.empty())
		t_.push_back(0);
	std::vector<bool> is_break = break_gaps(t_, lead_us);
	auto gaps = static_cast<double>(
	    std::count(is_break.begin(), is_break.end(), true));
	double room = a.width - gaps * break_width;
	auto steps = static_cast<double>(t_.size() - 1);
	long long to_scale = 0;

	for (std::size_t i = 0; i + 1 < t_.size(); i++)
		if (!is_break[i])
			to_scale += t_[i + 1] - t_[i];
	double step = steps > 0 ? std::min(step_px, step_share * room / steps) :
	    0;
	if (to_scale == 0 && steps > gaps)
		step = room / (steps - gaps);
	double per_us = to_scale > 0 ? (room - step * (steps - gaps)) /
	    static_cast<double>(to_scale) : 0;
	x_.push_back(a.x0);
	for (std::size_t i = 0; i + 1 < t_.size(); i++) {
		double from = x_.back();
		if (is_break[i]) {
			breaks_.push_back({t_[i], t_[i + 1], from, break_width,
			    i == 0 && t_[1] == lead_us});
			x_.push_back(from + break_width);
		} else {
			x_.push_back(from + step + per_us *
			    static_cast<double>(t_[i + 1] - t_[i]));
		}
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

bool
Scale::drawn(long long us, long long step) const
{
	auto near = static_cast<long long>(break_edge * static_cast<double>(
	    step));
	return std::ranges::none_of(breaks_, [us, near](const Break &b) {
		return us > b.from_us + near && us < b.to_us - near;
	});
}

// Every multiple of step in the run that is drawn, not left out in a
// break but at its very edge; empty if two crowd each other, their
// labels too close, but that such a tick at a break's edge gives way to
// one in a stretch drawn. Leaving out any other would
// read 10, 20, 30, 50, 70.
std::vector<Scale::Tick>
Scale::ticks_every(long long step) const
{
	std::vector<Tick> found;
	bool edge_before = false;
	auto half = [this](const Tick &t) {
		return static_cast<double>(characters(t.label)) * look_.small *
		    label_em / 2;
	};

	for (long long v = (t_.front() + step - 1) / step * step; v <= t_.back();
	    v += step) {
		Tick t{x(v), tick_label(v, step)};
		if (!drawn(v, step))
			continue;
		bool edge = !drawn(v, 0);
		if (!found.empty()) {
			double from = found.back().x;
			bool across = std::ranges::any_of(breaks_,
			    [from, &t](const Break &b) {
				return b.x + b.width >= from && b.x <= t.x;
			});
			double room = half(found.back()) + half(t) + (across ?
			    label_gap : tick_gap);
			if (t.x - from < room) {
				if (edge && !edge_before)
					continue;
				if (!edge_before || edge)
					return {};
				found.pop_back();
			}
		}
		found.push_back(t);
		edge_before = edge;
	}
	return found;
}

// One step for the whole axis, so that the ticks of each stretch drawn
// read 10, 20, 30 and not 10, 20, 50: of 1, 2 or 5 times a power of
// ten, the longest whose ticks, none crowding the next, are nearly as
// many as any step's.
std::vector<Scale::Tick>
Scale::ticks() const
{
	std::vector<std::vector<Tick>> each;
	std::size_t most = 0;
	long long span = std::max(1LL, t_.back() - t_.front());

	for (long long p = 1; p <= span * 10; p *= 10)
		for (long long m : {1, 2, 5}) {
			long long step = p * m;
			if (span / step > most_ticks)
				continue;
			each.push_back(ticks_every(step));
			most = std::max(most, each.back().size());
		}
	auto enough = std::find_if(each.rbegin(), each.rend(),
	    [most](const auto &found) {
		return static_cast<double>(found.size()) >= nearly *
		    static_cast<double>(most);
	});
	return enough == each.rend() ? std::vector<Tick>{} : *enough;
}
