// trace's pictures laid out from runs made up here, with no run and no
// clock: which stretches become breaks, the room each stretch gets for
// its texts and its zombies, the ticks of each stretch, texts kept
// within their stretch, how close the lanes of a crowded slide go, and
// the kinds of lines it keeps whole.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include <gtest/gtest.h>

#include "svg.h"
#include "svg_geometry.h"
#include "timeline.h"

namespace {

constexpr long long ms = 1000;
constexpr long long s = 1000 * ms;

struct Gaps {
	std::string name;
	std::vector<long long> instants;
	long long lead_us;
	std::vector<Needs::Span> spans;
	std::vector<long long> breaks;	// where each starts

	friend void PrintTo(const Gaps &g, std::ostream *os) { *os << g.name; }
};

const Gaps gaps[] = {
	// Drawn to scale, each tick gets its share: no break would save room.
	{"AlarmsTenSecondsApart", {0, 1 * ms, 10 * s, 20 * s, 30 * s, 40 * s,
	    50 * s, 50 * s + 1 * ms}, 0, {}, {}},
	{"OneLongSleep", {0, 1 * ms, 2 * ms, 2 * s, 2 * s + 1 * ms}, 0, {},
	    {2 * ms}},
	// A break stands for 20 ms or more, never less.
	{"TwentyMilliseconds", {0, 1 * ms, 2 * ms, 22 * ms, 23 * ms}, 0, {},
	    {2 * ms}},
	{"NineteenMilliseconds", {0, 1 * ms, 2 * ms, 21 * ms, 22 * ms}, 0, {},
	    {}},
	{"TheLeadIn", {0, 800, 1 * ms, 2 * ms}, 800, {}, {0}},
	// A zombie that is all of a gap would be hidden by a break there.
	{"ZombieAllOfTheGap", {0, 1 * ms, 2 * ms, 2 * s, 2 * s + 1 * ms}, 0,
	    {{2 * ms, 2 * s, 24}}, {}},
	// An instant alone between two breaks has no room for its texts.
	{"TwoLongGapsSideBySide", {0, 1 * ms, 2 * ms, 1 * s, 2 * s,
	    2 * s + 1 * ms}, 0, {}, {1 * s}},
	// Nor has the last instant alone after one.
	{"LongGapAtTheEnd", {0, 1 * ms, 2 * ms, 3 * s}, 0, {}, {}},
};

class SvgBreaks : public testing::TestWithParam<Gaps> {};

TEST_P(SvgBreaks, OnlyWhereTheyLeaveRoom)
{
	const Gaps &g = GetParam();
	Scale scale(g.instants, g.lead_us, {214, 970}, page_look(), {{},
	    g.spans});
	std::vector<long long> from;

	for (const auto &b : scale.breaks())
		from.push_back(b.from_us);
	EXPECT_EQ(from, g.breaks);
}

INSTANTIATE_TEST_SUITE_P(Svg, SvgBreaks, testing::ValuesIn(gaps),
    [](const testing::TestParamInfo<Gaps> &g) { return g.param.name; });

// Each text has its stretch's room, however little time the stretch
// holds, and a zombie of microseconds is drawn wide enough to see; the
// break stays.
TEST(SvgScale, StretchesHoldTheirTextsAndZombies)
{
	std::vector<long long> t{0, 1 * ms, 1 * ms + 50, 2 * ms, 2 * s,
	    2 * s + 10, 2 * s + 20};
	Needs wanted{{{1 * ms, 300}, {2 * s, 300}, {2 * s + 20, 250}},
	    {{1 * ms, 1 * ms + 50, 24}, {2 * s + 10, 2 * s + 20, 24}}};

	for (const Look &look : {page_look(), slide_look()}) {
		double from = look.time_from();
		Scale scale(t, 0, {from, look.time_to() - from}, look, wanted);
		ASSERT_EQ(scale.breaks().size(), 1U) << look.slide;
		for (const auto &text : wanted.texts) {
			Scale::Room r = scale.room(scale.x(text.us), true);
			EXPECT_GE(r.to - r.from, text.width) << text.us;
		}
		for (const auto &span : wanted.spans)
			EXPECT_GE(scale.x(span.to_us) - scale.x(span.from_us), 23.9) <<
			    span.from_us;
	}
}

struct Placed {
	std::string name;
	double anchor;
	double width;
	double brief;	// the brief text's width, 0 for none
	Scale::Room room;
	double shown;	// the width of the text that stands, 0 for none

	friend void PrintTo(const Placed &p, std::ostream *os) { *os << p.name; }
};

const Placed placed[] = {
	{"AtItsMark", 300, 100, 0, {14, 1000}, 100},
	{"MarkAtTheRoomsEnd", 500, 100, 0, {300, 504}, 100},
	{"MarkAtTheRoomsStart", 300, 100, 0, {299, 600}, 100},
	{"RoomJustWideEnough", 300, 100, 0, {260, 361}, 100},
	{"RoomTooNarrow", 300, 100, 0, {260, 350}, 0},
	{"BriefWhereTheWholeCannotStand", 300, 100, 40, {260, 350}, 40},
	{"WholeWhereItCan", 300, 100, 40, {260, 361}, 100},
};

class SvgPlace : public testing::TestWithParam<Placed> {};

// A text stands within its room or not at all, in any row; the brief
// one where the whole one cannot.
TEST_P(SvgPlace, WithinItsRoom)
{
	const Placed &p = GetParam();
	std::vector<Label> labels(1);
	Label &l = labels[0];
	l.anchor = l.x = p.anchor;
	l.width = p.width;
	l.room = p.room;
	if (p.brief > 0) {
		l.brief = "brief";
		l.brief_width = p.brief;
	}

	place(labels, {}, page_look(), -1, true);
	EXPECT_EQ(l.hidden ? 0 : l.width, p.shown);
	if (!l.hidden) {
		EXPECT_GE(l.x, p.room.from);
		EXPECT_LE(l.x + l.width, p.room.to);
	}
}

INSTANTIATE_TEST_SUITE_P(Svg, SvgPlace, testing::ValuesIn(placed),
    [](const testing::TestParamInfo<Placed> &p) { return p.param.name; });

// Each stretch between breaks ticked a step of its own: milliseconds of
// forks before a break of a second, and the reaps after it, each ticked
// more than once.
TEST(SvgScale, EachStretchTicked)
{
	std::vector<long long> t;
	for (long long k = 0; k <= 15; k++)
		t.push_back(k * 2 * ms);
	for (long long k = 0; k <= 30; k++)
		t.push_back(1015 * ms + k * ms);

	for (const Look &look : {page_look(), slide_look()}) {
		double from = look.time_from();
		Scale scale(t, 0, {from, look.time_to() - from}, look);
		ASSERT_EQ(scale.breaks().size(), 1U) << look.slide;
		const Scale::Break &b = scale.breaks()[0];
		std::vector<std::string> before, after;
		for (const auto &tick : scale.ticks()) {
			if (tick.x <= b.x)
				before.push_back(tick.label);
			else
				after.push_back(tick.label);
		}
		EXPECT_GE(before.size(), 2U) << look.slide;
		EXPECT_GE(after.size(), 2U) << look.slide;
		for (const auto &label : before)
			EXPECT_TRUE(label.ends_with(" ms")) << label;
		for (const auto &label : after)
			EXPECT_TRUE(label.starts_with("1.0") && label.ends_with(" s")) <<
			    label;
	}
}

// What two lanes draw, the upper's below its bar and the lower's above
// its own, and how far apart their bars go.
struct Stacked {
	std::string name;
	std::vector<Extent> upper;
	std::vector<Extent> lower;
	double pitch;
	double seam;	// where the lower's band starts below the upper's bar

	friend void PrintTo(const Stacked &p, std::ostream *os) { *os << p.name; }
};

using Of = Extent::Of;
const Extent bar{0, 400, -7, 7, Of::mark};
const Extent said{100, 200, 8, 23, Of::text};

const Stacked stacked[] = {
	{"BarsAlone", {bar}, {bar}, 28, 12},
	// A text over the next bar, or beside where it would be.
	{"TextOverTheNextBar", {bar, said}, {bar}, 32, 24},
	{"TextBesideNoBar", {bar, said}, {{300, 400, -7, 7, Of::mark}}, 32, 24},
	{"TextOverASignal", {bar, said}, {bar, {190, 204, -16, 0, Of::mark}},
	    41, 25},
	// An arrow's head meets a text only where it is drawn, and no mark.
	{"HeadOverAText", {bar, said}, {bar, {196, 204, -16, 0, Of::arrow}},
	    41, 25},
	{"HeadBesideAText", {bar, said}, {bar, {201, 209, -16, 0, Of::arrow}},
	    32, 24},
	{"HeadOverABar", {bar}, {bar, {196, 204, -20, 0, Of::arrow}}, 28, 12},
	// Texts of both lanes level with each other, apart across.
	{"TextsSideBySide", {bar, said}, {bar, {250, 350, -30, -15, Of::text}},
	    39, 16},
	{"TextsOneOverTheOther", {bar, said}, {bar, {150, 250, -30, -15,
	    Of::text}}, 55, 24},
};

class SvgPack : public testing::TestWithParam<Stacked> {};

TEST_P(SvgPack, AsCloseAsTheyDrawLetThem)
{
	const Stacked &p = GetParam();
	double bars = pitch(p.upper, p.lower, 28);

	EXPECT_DOUBLE_EQ(bars, p.pitch);
	EXPECT_DOUBLE_EQ(seam(p.upper, p.lower, bars, 16), p.seam);
}

INSTANTIATE_TEST_SUITE_P(Svg, SvgPack, testing::ValuesIn(stacked),
    [](const testing::TestParamInfo<Stacked> &p) { return p.param.name; });

// Lines of one kind differ in their numbers alone.
TEST(SvgKinds, NumbersAside)
{
	const std::pair<std::string, std::string> kinds[] = {
		{"Hola, soy 4243\n", "Hola, soy \u2026"},
		{"ALARMA pid=11: 10 segundos", "ALARMA pid=\u2026: \u2026 segundos"},
		{"p vale 0x55d0c2a4b2a0\n", "p vale \u2026"},
		{"Los DOS\n", "Los DOS"},
		{"", ""},
	};
	for (const auto &[line, kind] : kinds)
		EXPECT_EQ(line_kind(line), kind) << line;
}

} // namespace
