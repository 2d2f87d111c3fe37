// The legend of the timeline picture: a sample of each mark and arrow the
// picture draws and what it means, and of nothing it does not draw. See
// svg.h.
#include <algorithm>
#include <ostream>

#include "svg.h"
#include "words.h"

namespace {

constexpr double row_height = 26;
constexpr double sample_width = 34;	// the sample and the gap after it
constexpr double between = 22;		// one item to the next

struct Sample {
	const char *markup;	// in a box 26 wide about y = 0
	std::string means;
};

using Test = bool (*)(const Lane &);

// Each sample, shown when a lane passes its test and the picture draws
// its part, as far as each is given.
struct Item {
	Sample sample;
	Test lanes;
	bool Drawn::*part;
};

std::vector<Sample>
shown(const Timeline &t, const Drawn &d)
{
	std::vector<Sample> s{{R"(<rect y="-3" width="26" height="6" fill="#555"/>)",
	    "running"}};
	const Item items[] = {
	    {{R"(<rect y="-3" width="26" height="6" class="lead"/>)",
		"trace starting the program"}, nullptr, &Drawn::lead_in},
	    {{R"(<path class="trace-lane" d="M0,0H26"/>)",
		"trace's lane: it " + trace_words(t)}, nullptr, &Drawn::subreaper},
	    {{R"(<rect y="-6" width="26" height="12" class="blocked" stroke="#555"/>)",
		"blocked in a call"}, [](const Lane &l) { return !l.blocked.empty(); }, nullptr},
	    {{R"(<rect y="-6" width="26" height="12" class="zombie"/>)",
		"zombie: ended, not yet reaped"}, [](const Lane &l) { return l.ended; }, nullptr},
	    {{R"(<circle cx="13" r="3.2" class="mark" stroke="#555"/>)",
		"a line written"}, [](const Lane &l) { return !l.lines.empty(); }, nullptr},
	    {{R"(<path class="zigzag" d="M8,-8L11,-2L8,4L11,10M18,-8L21,-2L18,4L21,10"/>)",
		"time left out"}, nullptr, &Drawn::breaks},
	    {{R"(<path class="fork" d="M0,0H24"/>)", "fork: the new process"},
		[](const Lane &l) { return l.parent != 0; }, nullptr},
	    {{R"(<path class="exec" d="M13,-7l7,7l-7,7l-7,-7z"/>)",
		"exec (dashed: failed)"}, [](const Lane &l) { return !l.execs.empty(); }, nullptr},
	    {{R"(<path class="signal" d="M7,-7h12l-6,9z"/>)", "a signal arrives"},
		[](const Lane &l) { return !l.signals.empty(); }, nullptr},
	    {{R"(<path class="kill" d="M0,0H24"/>)", "kill: who sent it"},
		[](const Lane &l) { return std::ranges::any_of(l.signals,
		[](const auto &sig) { return sig.origin == Event::Origin::kill; }); }, nullptr},
	    {{R"(<rect x="11" y="-9" width="4" height="18" class="exit"/>)",
		"exit N"}, [](const Lane &l) { return l.ended &&
		l.end.how == End::How::exited; }, nullptr},
	    {{R"(<path class="killed" d="M7,-6l12,12m0,-12l-12,12"/>)",
		"killed by a signal"}, [](const Lane &l) { return l.ended &&
		l.end.how != End::How::exited; }, nullptr},
	    {{R"(<path class="reap" d="M0,0H24"/>)", "reaped: by whom"},
		[](const Lane &l) { return l.reaped_us >= 0; }, &Drawn::reaps},
	    {{R"(<path class="orphaned" d="M13,-6l6,10h-12z"/>)",
		"orphaned: trace is its parent now"},
		[](const Lane &l) { return l.orphaned_us >= 0; }, nullptr},
	    {{R"(<path class="pipe" d="M0,0H25"/><path class="pipe-core" d="M0,0H15"/>)",
		"a message: writer to reader"}, [](const Lane &l) {
		return !l.sent.empty() || !l.received.empty(); }, nullptr},
	    {{R"(<rect x="9.5" y="-3.5" width="7" height="7" class="bytes" stroke="#555"/>)",
		"bytes sent or received"}, [](const Lane &l) {
		return !l.sent.empty() || !l.received.empty(); }, nullptr},
	    {{R"(<path class="file" d="M9,-6h5l3,3v9h-8z"/>)", "a write to a file"},
		[](const Lane &l) { return !l.wrote.empty(); }, nullptr},
	    {{R"(<text x="6" y="4" class="at">17</text>)", "its line in the source"},
		[](const Lane &l) { return l.ended_at.line > 0 ||
		std::ranges::any_of(l.lines, [](const auto &x) {
		return x.source.line > 0; }); }, nullptr},
	};
	for (const auto &item : items)
		if ((!item.lanes || std::ranges::any_of(t.lanes, item.lanes)) &&
		    (!item.part || d.*item.part))
			s.push_back(item.sample);
	return s;
}

// Where each sample goes: its row, and across.
std::vector<std::pair<std::size_t, double>>
spread(const std::vector<Sample> &s, const Look &look)
{
	std::vector<std::pair<std::size_t, double>> at;
	std::size_t row = 0;
	double x = 14;

	for (const auto &sample : s) {
		double w = sample_width + static_cast<double>(
		    characters(sample.means)) * look.sans_px;
		if (x > 14 && x + w > look.width - 14) {
			row++;
			x = 14;
		}
		at.emplace_back(row, x);
		x += w + between;
	}
	return at;
}

} // namespace

std::string
trace_words(const Timeline &t)
{
	if (t.lanes.empty())
		return "ran the program";
	const Lane &first = t.lanes.front();
	auto orphans = static_cast<std::size_t>(std::ranges::count_if(t.lanes,
	    [&t](const Lane &l) {
		return l.orphaned_us >= 0 && l.reaper == t.subreaper;
	}));
	std::string w = "started " + first.role;

	if (first.reaper != t.subreaper)
		return orphans ? w + ", reaped " + counted(orphans, "orphan",
		    "orphans") : w;
	if (orphans == 0)
		return w + " and reaped it";
	return w + ", reaped it and " + counted(orphans, "orphan", "orphans");
}

std::size_t
legend_rows(const Timeline &t, const Drawn &d, const Look &look)
{
	auto at = spread(shown(t, d), look);
	return at.empty() ? 0 : at.back().first + 1;
}

double
legend_height(std::size_t rows)
{
	return rows > 0 ? static_cast<double>(rows - 1) * row_height + 12 : 0;
}

std::size_t
legend(std::ostream &o, const Timeline &t, const Drawn &d, const Look &look,
    double y)
{
	std::vector<Sample> s = shown(t, d);
	auto at = spread(s, look);

	o << start("g", {{"class", "legend"}}) << "\n";
	for (std::size_t i = 0; i < s.size(); i++) {
		double row = y + static_cast<double>(at[i].first) * row_height;
		o << start("g", {{"transform", translate(at[i].second, row)}}) <<
		    s[i].markup << start("text", {{"x", num(sample_width)},
		    {"y", "4"}}) << s[i].means << "</text></g>\n";
	}
	o << "</g>\n";
	return at.empty() ? 0 : at.back().first + 1;
}
