// trace's pictures of runs made up here, each shaped as a real one that
// went wrong in class, drawn with no run and no clock: an orphan across
// a two-second sleep, ten alarms ten seconds apart ending in a zombie,
// and ten children on one slide. Every text stays in its mark's
// stretch, no break hides a text or a zombie, a crowded slide keeps
// whole kinds of texts, and trace's lane says what trace did.
#include <algorithm>
#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include <gtest/gtest.h>

#include "svg.h"
#include "svg_geometry.h"
#include "timeline.h"

namespace {

constexpr long long s = 1000000;
constexpr pid_t trace_pid = 1;

Lane
process(pid_t pid, const std::string &role, pid_t parent, long long start)
{
	Lane l;
	l.pid = pid;
	l.role = role;
	l.program = "demo";
	l.parent = parent;
	l.start_us = start;
	if (parent == 0)
		l.execs.push_back({start + 500, "demo", 0, {}});
	return l;
}

void
says(Lane &l, long long us, const std::string &text)
{
	l.lines.push_back({us, 1, text + "\n", {}});
}

void
ends(Lane &l, long long us, pid_t reaper, long long reaped)
{
	l.ended = true;
	l.end_us = us;
	l.reaper = reaper;
	l.reaper_role = reaper == trace_pid ? "trace" : "P";
	l.reaped_us = reaped;
}

Timeline
run(std::vector<Lane> lanes, long long end)
{
	Timeline t;
	t.argv = {"demo"};
	t.subreaper = trace_pid;
	t.lanes = std::move(lanes);
	t.end_us = end;
	return t;
}

// P leaves C1, which sleeps two seconds, then writes and ends.
Timeline
orphan()
{
	Lane p = process(10, "P", 0, 0);
	Lane c = process(11, "C1", 10, 1000);
	says(p, 1200, "parent 10: leaving child 11 behind");
	ends(p, 1500, trace_pid, 1510);
	c.orphaned_us = 1500;
	says(c, 2 * s + 1500, "child 11: my parent is now 1");
	ends(c, 2 * s + 2000, trace_pid, 2 * s + 2050);
	return run({p, c}, 2 * s + 2100);
}

// C1 ticks ten times, ten seconds apart, and ends; P never waits for
// it, and trace kills P ten seconds later.
Timeline
alarms()
{
	Lane p = process(10, "P", 0, 0);
	Lane c = process(11, "C1", 10, 1000);
	p.blocked.push_back({1100, 110 * s + 100, "sigsuspend", "", {}});
	c.blocked.push_back({1200, 10 * s, "sigsuspend", "", {}});
	for (long long k = 1; k <= 10; k++) {
		c.signals.push_back({k * 10 * s, SIGALRM, Event::Origin::alarm, 0, 0,
		    {}});
		says(c, k * 10 * s + 50, "ALARMA pid=11: " + std::to_string(k * 10) +
		    " segundos");
		if (k < 10)
			c.blocked.push_back({k * 10 * s + 100, (k + 1) * 10 * s,
			    "sigsuspend", "", {}});
	}
	ends(c, 100 * s + 300, trace_pid, 110 * s + 150);
	c.end = End::exited(1);
	c.unwaited_us = 110 * s;
	c.orphaned_us = 110 * s + 100;
	ends(p, 110 * s + 100, trace_pid, 110 * s + 110);
	p.end = End::killed(SIGKILL);
	p.by_trace = true;
	return run({p, c}, 110 * s + 200);
}

// P makes ten children, each of which greets and waits a second for its
// alarm; then P reaps them one by one.
Timeline
ten_children()
{
	std::vector<Lane> lanes{process(10, "P", 0, 0)};
	for (long long k = 0; k < 10; k++) {
		says(lanes[0], 1000 + k * 300, "Creando el hijo numero " +
		    std::to_string(k));
		Lane c = process(static_cast<pid_t>(11 + k), "C" + std::to_string(k +
		    1), 10, 1100 + k * 300);
		says(c, 1150 + k * 300, "Hola, soy " + std::to_string(11 + k));
		c.blocked.push_back({1200 + k * 300, s + k * 1000, "sigsuspend", "",
		    {}});
		c.signals.push_back({s + k * 1000, SIGALRM, Event::Origin::alarm, 0,
		    0, {}});
		ends(c, s + k * 1000 + 200, 10, s + k * 1000 + 400);
		lanes.push_back(c);
	}
	Lane &p = lanes[0];
	for (long long k = 0; k < 10; k++) {
		p.blocked.push_back({k ? s + k * 1000 - 400 : 40000, s + k * 1000 +
		    400, "wait4", "", {}});
		says(p, s + k * 1000 + 500, "Waitpid bloqueante. Termina " +
		    std::to_string(11 + k));
	}
	ends(p, s + 10000, trace_pid, s + 10010);
	return run(lanes, s + 10100);
}

// Nine children that each greet and, at once, say goodbye; then P reaps
// them one by one and says so; under --time-lapse, for a longer heading.
Timeline
greet_and_leave()
{
	std::vector<Lane> lanes{process(10, "P", 0, 0)};
	for (long long k = 0; k < 9; k++) {
		Lane c = process(static_cast<pid_t>(11 + k), "C" + std::to_string(k +
		    1), 10, 1000 + k * 300);
		says(c, 1100 + k * 300, "Hola, soy " + std::to_string(11 + k));
		says(c, 1150 + k * 300, "Adios, soy " + std::to_string(11 + k));
		ends(c, 1200 + k * 300, 10, 5000 + k * 100);
		lanes.push_back(c);
	}
	lanes[0].blocked.push_back({4000, 5000, "wait4", "", {}});
	says(lanes[0], 6000, "Todos terminaron");
	ends(lanes[0], 6100, trace_pid, 6110);
	Timeline t = run(lanes, 6200);
	t.time_lapse = true;
	return t;
}

// The picture of t, read back.
Shape
drawn(const Timeline &t, bool slide, pugi::xml_document &doc)
{
	std::ostringstream svg;
	EXPECT_TRUE(write_svg(t, svg, slide));
	EXPECT_TRUE(doc.load_string(svg.str().c_str()));
	return shape_of(doc);
}

std::vector<std::string>
texts(const pugi::xml_document &doc, const std::string &cls)
{
	std::vector<std::string> v;
	for (auto n : doc.select_nodes(("//*[@class='" + cls + "']").c_str()))
		v.emplace_back(n.node().text().as_string());
	return v;
}

bool
has(const std::vector<std::string> &v, const std::string &text)
{
	return std::ranges::find(v, text) != v.end();
}

struct Made {
	std::string name;
	Timeline (*make)();

	friend void PrintTo(const Made &m, std::ostream *os) { *os << m.name; }
};

const Made made[] = {
	{"Orphan", orphan},
	{"Alarms", alarms},
	{"TenChildren", ten_children},
	{"GreetAndLeave", greet_and_leave},
};

class SvgMadeUp : public testing::TestWithParam<Made> {};

// On a page and on a slide: laid out clear, no break through a text or
// a leader, every zombie at least 24 wide outside the breaks.
TEST_P(SvgMadeUp, TextsInTheirStretches)
{
	Timeline t = GetParam().make();

	for (bool slide : {false, true}) {
		pugi::xml_document doc;
		Shape shape = drawn(t, slide, doc);
		std::string form = slide ? "slide" : "page";
		laid_out_clear(shape, form);
		clear_of_breaks(shape, form, 23.5);
	}
}

INSTANTIATE_TEST_SUITE_P(Svg, SvgMadeUp, testing::ValuesIn(made),
    [](const testing::TestParamInfo<Made> &m) { return m.param.name; });

// However short, each zombie is labelled with how long it was one.
TEST(SvgRuns, ZombiesLabelledWithTheirTime)
{
	pugi::xml_document doc;
	drawn(orphan(), false, doc);
	std::vector<std::string> said = texts(doc, "event");

	EXPECT_TRUE(has(said, "exit 0, a zombie for 0.01 ms"));
	EXPECT_TRUE(has(said, "exit 0, a zombie for 0.05 ms"));
}

// The texts a slide shows, and how many its heading says it left out.
std::pair<std::vector<std::string>, std::size_t>
shown(const pugi::xml_document &doc)
{
	std::vector<std::string> said = texts(doc, "said");
	std::vector<std::string> events = texts(doc, "event");
	said.insert(said.end(), events.begin(), events.end());
	std::string about = doc.select_node("//text[contains(., 'left out')]")
	    .node().text().as_string();
	std::size_t at = about.find(" texts left out");
	std::size_t from = about.rfind(' ', at - 1) + 1;
	return {said, at == std::string::npos ? 0 : std::stoul(about.substr(from,
	    at - from))};
}

// A crowded slide keeps whole kinds of lines: every process's first and
// last lines, packed close; else every line of a kind, and the first and
// last where they fit too. Its heading says which, and how many texts it
// left out: all it does not show.
TEST(SvgRuns, CrowdedSlideKeepsWholeKinds)
{
	const struct {
		Timeline (*make)();
		std::size_t texts;	// every line and event
		// Lines shown, by how they start, and how many of each.
		std::vector<std::pair<std::string, long>> kept;
		std::string said;
	} crowded[] = {
		// P: its lines, exec, wait4 and end; each child its line and
		// three events.
		{ten_children, 23 + 10 * 4, {{"Hola", 10}, {"Creando", 1},
		    {"Waitpid bloqueante. Termina 20", 1}},
		    "first and last lines kept"},
		// P: its line, exec, wait4 and end; each child two lines and its
		// end.
		// Its heading too long for all that: what was left out is said
		// after the title.
		{greet_and_leave, 4 + 9 * 3, {{"Hola", 9}, {"Todos", 1}},
		    "all \"Hola, soy \u2026\", first and last lines where they fit"},
	};
	for (const auto &c : crowded) {
		pugi::xml_document doc;
		Shape shape = drawn(c.make(), true, doc);
		auto [said, left] = shown(doc);
		EXPECT_EQ(said.size() + left, c.texts) << c.said;
		for (const auto &k : c.kept)
			EXPECT_EQ(std::ranges::count_if(said, [&k](const auto &x) {
				return x.starts_with(k.first);
			}), k.second) << k.first;
		auto note = doc.select_node(("//text[contains(., 'texts left out, " +
		    c.said + "')]").c_str()).node();
		ASSERT_NE(note, nullptr) << c.said;
		// A character of the heading is 7 units across, at most.
		if (std::string(note.attribute("text-anchor").as_string()) == "end") {
			EXPECT_GT(note.attribute("x").as_double() - 7.0 * static_cast<
			    double>(std::string(note.text().as_string()).size()),
			    shape.title.x1);
		}
	}
}

Timeline
unreaped_orphan()
{
	Timeline t = orphan();
	t.lanes[0].reaper = 0;
	t.lanes[0].reaped_us = -1;
	return t;
}

// trace's lane says only what trace did in the run, in the legend too.
TEST(SvgRuns, TraceLaneSaysWhatTraceDid)
{
	const std::pair<Timeline (*)(), std::string> did[] = {
		{ten_children, "started P and reaped it"},
		{orphan, "started P, reaped it and 1 orphan"},
		{unreaped_orphan, "started P, reaped 1 orphan"},
	};
	for (const auto &[make, words] : did) {
		pugi::xml_document doc;
		drawn(make(), false, doc);
		EXPECT_EQ(trace_words(make()), words);
		EXPECT_NE(doc.select_node(("//*[@class='legend']//text[.=\"trace's "
		    "lane: it " + words + "\"]").c_str()).node(), nullptr) << words;
	}
}

// A zombie never reaped is one until the run's end, not gone at once.
TEST(SvgRuns, ZombieNeverReapedLastsToTheEnd)
{
	pugi::xml_document doc;
	drawn(unreaped_orphan(), false, doc);
	auto zombie = doc.select_node("//*[@id='lane-P']/rect[@class='zombie']")
	    .node();
	ASSERT_TRUE(zombie);
	EXPECT_GT(zombie.attribute("width").as_double(), 24);
}

} // namespace
