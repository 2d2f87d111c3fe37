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
constexpr double tick_spacing = 100;
constexpr double least_tick_gap = 70;

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

// The smallest of 1, 2 and 5 times a power of ten that is at least raw.
long long
nice_step(double raw)
{
	long long p = 1;

	while (static_cast<double>(p * 10) <= raw)
		p *= 10;
	for (long long m : {1, 2, 5, 10})
		if (static_cast<double>(p * m) >= raw)
			return p * m;
	return p * 10;
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

Scale::Scale(std::vector<long long> instants, long long lead_us, Across a)
    : t_(std::move(instants))
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

std::vector<Scale::Tick>
Scale::ticks() const
{
	std::vector<Tick> ticks;
	double last = -1e9;
	std::size_t b = 0;

	// One segment at a time, from the start or a break to the next.
	for (std::size_t i = 0; i < t_.size();) {
		std::size_t j = i;
		while (j + 1 < t_.size() && (b >= breaks_.size() ||
		    breaks_[b].from_us != t_[j]))
			j++;
		double px = x_[j] - x_[i];
		double raw = px > 1 ? static_cast<double>(t_[j] - t_[i]) *
		    tick_spacing / px : 1;
		long long step = nice_step(std::max(raw, 1.0));
		if (x_[i] - last >= least_tick_gap) {
			ticks.push_back({x_[i], tick_label(t_[i], i ? step : 1000)});
			last = x_[i];
		}
		for (long long k = (t_[i] / step + 1) * step; px > 1 &&
		    k <= t_[j]; k += step) {
			double at = x(k);
			if (at - last >= least_tick_gap && x_[j] - at >= 0) {
				ticks.push_back({at, tick_label(k, step)});
				last = at;
			}
		}
		if (b < breaks_.size() && breaks_[b].from_us == t_[j])
			b++;
		i = j + 1;
	}
	return ticks;
}
