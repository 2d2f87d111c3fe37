// The legend of the timeline picture: a sample of each mark and arrow
// and what it means. Messages and writes to files are in it only when
// the run has them. See svg.h.
#include <algorithm>
#include <ostream>

#include "svg.h"

namespace {

struct Sample {
	const char *markup;	// in a box 26 wide about y = 0
	const char *means;
};

const Sample samples[] = {
	{R"(<rect y="-3" width="26" height="6" fill="#555"/>)", "running"},
	{R"(<rect y="-6" width="26" height="12" class="blocked" stroke="#555"/>)",
	    "blocked in a call"},
	{R"(<rect y="-6" width="26" height="12" class="zombie"/>)",
	    "zombie: ended, not yet reaped"},
	{R"(<circle cx="13" r="3.2" class="mark" stroke="#555"/>)",
	    "a line written"},
	{R"(<path class="zigzag" d="M8,-8L11,-2L8,4L11,10M18,-8L21,-2L18,4L21,10"/>)",
	    "time left out"},
	{R"(<path class="fork" d="M0,0H24"/>)", "fork: the new process"},
	{R"(<path class="exec" d="M13,-7l7,7l-7,7l-7,-7z"/>)",
	    "exec (dashed: failed)"},
	{R"(<path class="signal" d="M7,-7h12l-6,9z"/>)", "a signal arrives"},
	{R"(<path class="kill" d="M0,0H24"/>)", "kill: who sent it"},
	{R"(<rect x="11" y="-9" width="4" height="18" class="exit"/>)",
	    "exit N"},
	{R"(<path class="killed" d="M7,-6l12,12m0,-12l-12,12"/>)",
	    "killed by a signal"},
	{R"(<path class="reap" d="M0,0H24"/>)", "reaped: by whom"},
};

const Sample message_samples[] = {
	{R"(<path class="pipe" d="M0,0H25"/><path class="pipe-core" d="M0,0H15"/>)",
	    "a message: writer to reader"},
	{R"(<rect x="9.5" y="-3.5" width="7" height="7" class="bytes" stroke="#555"/>)",
	    "bytes sent or received"},
};

const Sample file_sample =
	{R"(<path class="file" d="M9,-6h5l3,3v9h-8z"/>)", "a write to a file"};

const Sample source_sample =
	{R"(<text x="6" y="4" class="at">17</text>)", "its line in the source"};

bool
has_messages(const Timeline &t)
{
	return std::ranges::any_of(t.lanes, [](const auto &l) {
		return !l.sent.empty() || !l.received.empty();
	});
}

bool
has_sources(const Timeline &t)
{
	return std::ranges::any_of(t.lanes, [](const auto &l) {
		return l.ended_at.line > 0 || std::ranges::any_of(l.lines,
		    [](const auto &x) { return x.source.line > 0; });
	});
}

bool
has_writes(const Timeline &t)
{
	return std::ranges::any_of(t.lanes,
	    [](const auto &l) { return !l.wrote.empty(); });
}

} // namespace

std::size_t
legend(std::ostream &o, const Timeline &t, double y)
{
	constexpr std::size_t per_row = 6;
	std::vector<Sample> shown(std::begin(samples), std::end(samples));

	if (has_messages(t))
		shown.insert(shown.end(), std::begin(message_samples),
		    std::end(message_samples));
	if (has_writes(t))
		shown.push_back(file_sample);
	if (has_sources(t))
		shown.push_back(source_sample);
	o << start("g", {{"class", "legend"}}) << "\n";
	for (std::size_t i = 0; i < shown.size(); i++) {
		std::size_t column = i % per_row;
		std::size_t line = i / per_row;
		double x = 14 + static_cast<double>(column) * 210;
		double row = y + static_cast<double>(line) * 26;
		o << start("g", {{"transform", translate(x, row)}}) <<
		    shown[i].markup << start("text", {{"x", "34"}, {"y", "4"}}) <<
		    shown[i].means << "</text></g>\n";
	}
	o << "</g>\n";
	return (shown.size() + per_row - 1) / per_row;
}
