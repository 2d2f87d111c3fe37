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
label(double x, const std::string &text, double px, const Source &at = {})
{
	Label l;
	l.anchor = x;
	l.x = x;
	l.text = xml_text(text);
	l.width = static_cast<double>(characters(text)) * px;
	lead_with_line(l, at, px);
	return l;
}

Label
line_label(const Scale &s, const Lane::Line &line)
{
	double px = s.look().mono_px;
	Label l = label(s.x(line.us), "", px);
	std::string shown = shortened(escaped_line(line.text), longest_line);
	l.text = xml_shown(shown);
	l.width = static_cast<double>(characters(shown)) * px;
	lead_with_line(l, line.source, px);
	l.line = &line;
	return l;
}

// What happened on the lane, named above it; a wait or a signal like the
// one before it on the lane is left for its mark to show.
void
label_events(Laid &d, const Timeline &t, const Scale &s)
{
	const Lane &l = *d.lane;
	std::string said;
	double px = s.look().sans_px;

	auto add = [&d, &said, px](double x, const std::string &text, bool again,
	    const Source &at) {
		if (again || text != said)
			d.above.push_back(label(x, text, px, at));
		said = again ? said : text;
	};
	for (const auto &e : l.execs)
		add(s.x(e.us), exec_words(e), true, e.source);
	for (const auto &sig : l.signals)
		add(s.x(sig.us), signal_words(t, sig), false, sig.source);
	said.clear();
	for (const auto &b : l.blocked)
		add(s.x(b.from_us), b.call, false, b.source);
	if (l.ended)
		add(s.x(l.end_us), end_words(l), true, l.ended_at);
	if (l.unwaited_us >= 0)
		add(s.x(l.unwaited_us), "zombie, not waited for", true, {});
	if (l.orphaned_us >= 0)
		add(s.x(l.orphaned_us), "orphaned: now trace's child", true, {});
	label_bytes(d, t, s);
	// Read from the bar out, latest first: top down in time.
	std::stable_sort(d.above.begin(), d.above.end(),
	    [](const Label &a, const Label &b) { return a.anchor > b.anchor; });
}

// Lane i with at most rows rows of labels (-1: as many as it needs),
// from top 0.
Laid
lay_lane(const Timeline &t, const Scale &s, std::size_t i, const Walls &w,
    int rows)
{
	Laid d;
	const Look &look = s.look();

	d.lane = &t.lanes[i];
	d.index = i;
	d.dense = d.lane->lines.size() > most_named_lines;
	label_events(d, t, s);
	if (!d.dense)
		for (const auto &line : d.lane->lines)
			d.below.push_back(line_label(s, line));
	else if (!d.lane->lines.empty())
		d.below = {line_label(s, d.lane->lines.front()),
		    line_label(s, d.lane->lines.back())};
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

} // namespace

Label
event_label(const Look &look, double x, const std::string &text)
{
	return label(x, text, look.sans_px);
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
			Label b = line_label(s, line);
			if (b.x - 3 + b.width > edge && b.x > from)
				fits = std::min(fits, width * (edge + 3 - b.width -
				    from) / (b.x - from));
		}
	}
	return fits;
}

std::vector<Laid>
lay_out(const Timeline &t, const Scale &s, double top,
    const std::vector<Walls> &w, double height_for)
{
	std::size_t n = t.lanes.size();
	std::vector<Laid> laid;
	std::vector<int> need(n);
	std::vector<int> rows(n, -1);

	for (std::size_t i = 0; i < n; i++) {
		laid.push_back(lay_lane(t, s, i, w[i], -1));
		need[i] = static_cast<int>(laid[i].above.size() +
		    laid[i].below.size());
	}
	// On a slide, as many rows for every lane as there is room for,
	// then a row more for the lanes that want the most.
	if (height_for > 0 && height(laid) > height_for) {
		int most = *std::max_element(need.begin(), need.end());
		for (int cap = most; cap >= 0; cap--) {
			for (std::size_t i = 0; i < n; i++)
				laid[i] = lay_lane(t, s, i, w[i], rows[i] = cap);
			if (height(laid) <= height_for || cap == 0)
				break;
		}
		std::vector<std::size_t> order(n);
		for (std::size_t i = 0; i < n; i++)
			order[i] = i;
		std::stable_sort(order.begin(), order.end(), [&need](auto a,
		    auto b) { return need[a] > need[b]; });
		for (std::size_t i : order) {
			while (rows[i] < need[i]) {
				Laid more = lay_lane(t, s, i, w[i], rows[i] + 1);
				double h = height(laid) - laid[i].bottom + more.bottom;
				if (h > height_for)
					break;
				rows[i]++;
				laid[i] = std::move(more);
			}
		}
	}
	// Room to spare on a slide goes between the lanes, a little.
	double spare = height_for > 0 && n > 0 ? std::clamp((height_for -
	    height(laid)) / static_cast<double>(n), 0.0, 5 * s.look().row) : 0;
	for (auto &d : laid) {
		d.bar += top + spare / 2;
		d.bottom += top + spare;
		d.top = top;
		top = d.bottom;
	}
	return laid;
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
