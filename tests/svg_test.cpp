// trace --svg from outside: the picture of a run, read back as XML,
// holds what the same run's JSON lines say happened (a lane per process,
// a mark per line, in the order written, each lane's end and zombie
// among them where the times put them, an arrow per fork, reap, kill
// and message), renders without a word from rsvg-convert, and stays
// small; laid out, on a page and on a slide, with no text over another
// or under a line or a break, its axis at round times.
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <gtest/gtest.h>

#include "harness.h"
#include "svg_geometry.h"

namespace {

using json = nlohmann::json;

struct Drawn {
	std::string name;
	std::vector<std::string> args;	// trace's, before --svg
	std::size_t most_bytes;
	bool breaks;	// time left out for sure: a virtual clock's jump, alone

	friend void PrintTo(const Drawn &d, std::ostream *os) { *os << d.name; }
};

const Drawn demos[] = {
	{"tworoles", {"tworoles"}, 50 << 10, false},
	{"twinspeak", {"twinspeak"}, 50 << 10, false},
	{"becometwin", {"becometwin"}, 50 << 10, false},
	{"copyedit", {"copyedit"}, 50 << 10, false},
	{"funcview", {"funcview"}, 50 << 10, false},
	{"patientparent", {"patientparent"}, 50 << 10, false},
	{"faultcatch", {"faultcatch"}, 50 << 10, false},
	// Alarms ten seconds apart: drawn to scale, no break.
	{"tickpair", {"--time-lapse", "tickpair"}, 50 << 10, false},
	{"reaper", {"--time-lapse", "reaper"}, 50 << 10, true},
	{"tickheir", {"--time-lapse", "tickheir"}, 50 << 10, false},
	{"interleave", {"interleave"}, 1 << 20, false},
	// No demo sends a signal to another process; a shell does.
	{"kill", {"/bin/sh", "-c", "sleep 5 & kill $!; wait"}, 50 << 10, false},
	// Messages, every byte of them read in the run.
	{"pipeline", {"/bin/sh", "-c", "ls / | wc -l"}, 50 << 10, false},
	{"twopipes", {"/usr/bin/python3", "-c", two_pipes_py}, 50 << 10, false},
	// A command too long for the title.
	{"longtitle", {"/bin/sh", "-c", "echo " + std::string(300, 'x')}, 50 << 10,
	    false},
};

std::string
svg_path(const std::string &name)
{
	return testing::TempDir() + "svg_test." + std::to_string(getpid()) +
	    "." + name + ".svg";
}

// The run as its JSON lines tell it, role by role.
struct Told {
	std::vector<std::string> roles;
	std::map<std::string, std::vector<std::string>> lines;
	std::vector<std::pair<long long, std::string>> in_order;
	std::size_t forks = 0, reaps = 0, kills = 0, into_pipes = 0;
	std::size_t orphans = 0;
	// Of each process that ended: when, when it was reaped (-1 if
	// never), and whether it exited (else a signal killed it).
	struct End {
		long long us, reaped_us;
		bool exited;
	};
	std::map<std::string, End> ends;
};

Told
told(const std::string &jsonl)
{
	Told t;
	std::istringstream in(jsonl);

	for (std::string s; std::getline(in, s);) {
		json j = json::parse(s);
		std::string kind = j["kind"];
		if (kind == "process")
			t.roles.push_back(j["role"]);
		if (kind == "process" && j["ended"] == true)
			t.ends[j["role"]] = {j["ended_us"],
			    j.value("reaped_us", -1LL), j.contains("exit")};
		else if (kind == "line")
			t.lines[j["role"]].push_back(j["text"]);
		if (kind == "line")
			t.in_order.emplace_back(j["t_us"], j["role"]);
		t.forks += kind == "fork";
		t.reaps += kind == "reaped";
		t.kills += kind == "signal" && j["origin"] == "kill";
		t.into_pipes += kind == "sent" && j["through"] == "pipe";
		t.orphans += kind == "reparented";
	}
	return t;
}

std::size_t
count(const pugi::xml_node &n, const std::string &xpath)
{
	return n.select_nodes(xpath.c_str()).size();
}

// What rsvg-convert says while it renders the picture.
Result
rendered(const std::string &path)
{
	Options o;
	o.args = {path, "-o", path + ".png"};
	Result r = run(RSVG_CONVERT_PATH, o);
	unlink((path + ".png").c_str());
	return r;
}

// Every line's mark is further across than the one written before it,
// whichever lane it is on, and in the picture.
void
in_order(const pugi::xml_document &doc, const Told &t)
{
	double width = doc.child("svg").attribute("width").as_double();
	std::map<std::string, std::vector<double>> xs;
	std::map<std::string, std::size_t> next;
	double last = 0;

	for (auto m : doc.select_nodes("//*[@class='line']/circle"))
		xs[m.node().parent().parent().attribute("id").as_string()]
		    .push_back(m.node().attribute("cx").as_double());
	for (const auto &[us, role] : t.in_order) {
		const auto &lane = xs["lane-" + role];
		std::size_t i = next[role]++;
		ASSERT_LT(i, lane.size()) << role;
		EXPECT_GE(lane[i], last) << role << " at " << us;
		EXPECT_LT(lane[i], width);
		last = lane[i];
	}
}

// Where across a lane's rect of that class (none: the bar) ends; -1 if
// it has none.
double
right_end(const pugi::xml_node &lane, const std::string &cls)
{
	auto r = lane.select_node(cls.empty() ? "rect[@fill and not(@class)]" :
	    (".//rect[@class='" + cls + "']").c_str()).node();
	return r ? r.attribute("x").as_double() +
	    r.attribute("width").as_double() : -1;
}

// Each lane's bar ends, and its zombie with it, where the process ended
// and was reaped as the JSON lines tell: after the marks of the lines
// written before, and before those written after, on any lane.
void
ends_in_place(const pugi::xml_document &doc, const Told &t)
{
	std::map<std::string, std::vector<double>> xs;
	std::map<std::string, std::size_t> next;
	std::vector<std::pair<long long, double>> marks;
	// The coordinates keep a tenth of a pixel.
	constexpr double slack = 0.15;

	for (auto m : doc.select_nodes("//*[@class='line']/circle"))
		xs[m.node().parent().parent().attribute("id").as_string()]
		    .push_back(m.node().attribute("cx").as_double());
	for (const auto &[us, role] : t.in_order) {
		const auto &lane = xs["lane-" + role];
		if (std::size_t i = next[role]++; i < lane.size())
			marks.emplace_back(us, lane[i]);
	}
	auto placed = [&marks](double x, long long at, const std::string &what) {
		for (const auto &[us, cx] : marks) {
			if (us < at) {
				EXPECT_LE(cx, x + slack) << what << ", a line at " <<
				    us;
			}
			if (us > at) {
				EXPECT_GE(cx, x - slack) << what << ", a line at " <<
				    us;
			}
		}
	};
	for (const auto &ended : t.ends) {
		const std::string &role = ended.first;
		const Told::End &when = ended.second;
		auto lane = doc.select_node(("//*[@id='lane-" + role + "']")
		    .c_str()).node();
		double end = right_end(lane, "");
		placed(end, when.us, role + "'s end at " +
		    std::to_string(when.us));
		// A process killed gets a cross there instead.
		if (when.exited) {
			EXPECT_NEAR(right_end(lane, "exit") - 2, end, slack) <<
			    role;
		}
		if (when.reaped_us >= 0)
			placed(right_end(lane, "zombie"), when.reaped_us, role +
			    " reaped at " + std::to_string(when.reaped_us));
	}
}

class Svg : public testing::TestWithParam<Drawn> {};

TEST_P(Svg, HoldsTheRun)
{
	const Drawn &d = GetParam();
	std::string path = svg_path(d.name);
	std::vector<std::string> args = d.args;
	args.insert(args.begin(), {"--format=jsonl", "--svg", path});
	Result r = run_trace(args);
	Told t = told(r.out);
	std::string svg = slurp(path);
	pugi::xml_document doc;

	ASSERT_TRUE(doc.load_string(svg.c_str())) << svg.substr(0, 400);
	EXPECT_LE(svg.size(), d.most_bytes);
	EXPECT_EQ(count(doc, "//*[@class='lane']"), t.roles.size());
	for (const auto &role : t.roles) {
		auto lane = doc.select_node(("//*[@id='lane-" + role +
		    "']").c_str()).node();
		ASSERT_TRUE(lane) << role;
		const auto &lines = t.lines[role];
		if (count(lane, ".//*[@class='density']") == 1) {
			EXPECT_EQ(count(lane, ".//*[@class='edge']"), 2U);
			EXPECT_EQ(lane.select_node(".//*[@class='density']/title")
			    .node().text().as_string(),
			    std::to_string(lines.size()) + " lines");
			continue;
		}
		auto marks = lane.select_nodes(".//*[@class='line']/title");
		ASSERT_EQ(marks.size(), lines.size()) << role;
		for (std::size_t i = 0; i < lines.size(); i++)
			EXPECT_TRUE(std::string(marks[i].node().text().as_string())
			    .ends_with(": " + lines[i].substr(0,
			    lines[i].find('\n')))) << role << " " << i;
	}
	if (d.name != "interleave") {
		in_order(doc, t);
		ends_in_place(doc, t);
	}
	// A quick demo on a loaded machine may have a break too.
	if (d.breaks) {
		EXPECT_GT(count(doc, "//*[@class='break']"), 0U);
	}
	// The legend draws one of each there is, too.
	EXPECT_EQ(count(doc, "//*[@class='fork']"), t.forks + (t.forks > 0));
	EXPECT_EQ(count(doc, "//*[@class='reap']"), t.reaps + (t.reaps > 0));
	EXPECT_EQ(count(doc, "//*[@class='kill']"), t.kills + (t.kills > 0));
	EXPECT_EQ(count(doc, "//*[@class='message']"), t.into_pipes);
	Result said = rendered(path);
	EXPECT_EQ(said.end, End::exited(0));
	EXPECT_EQ(said.err, "");
	unlink(path.c_str());
}

// A PNG's size, from its header; 0 by 0 unless it is whole.
std::pair<unsigned, unsigned>
png_size(const std::string &png)
{
	auto be = [&png](std::size_t at) {
		unsigned v = 0;
		for (std::size_t k = at; k < at + 4; k++)
			v = v << 8 | static_cast<unsigned char>(png[k]);
		return v;
	};
	if (png.size() < 45 || !png.starts_with("\x89PNG\r\n\x1a\n") ||
	    png.substr(12, 4) != "IHDR" || png.substr(png.size() - 8, 4) != "IEND")
		return {0, 0};
	return {be(16), be(20)};
}

TEST_P(Svg, LaidOutClear)
{
	const Drawn &d = GetParam();
	for (bool slide : {false, true}) {
		std::string form = slide ? "slide" : "page";
		std::string path = svg_path(d.name + "-" + form);
		std::vector<std::string> args = d.args;
		args.insert(args.begin(), {"--format=jsonl", "--svg", path});
		if (slide)
			args.insert(args.begin(), {"--slide", "--png", path + ".png"});
		Result r = run_trace(args);
		pugi::xml_document doc;
		ASSERT_TRUE(doc.load_file(path.c_str())) << form;
		Shape s = shape_of(doc);
		laid_out_clear(s, form);
		clear_of_breaks(s, form);
		// The legend explains every mark drawn, and only those.
		for (const char *mark : {"fork", "reap", "kill", "exec", "signal",
		    "exit", "killed", "orphaned", "zombie", "blocked", "lead",
		    "trace-lane", "pipe", "zigzag"})
			EXPECT_EQ(count(doc, std::string("//*[@class='") + mark +
			    "' and not(ancestor::*[@class='legend'])]") > 0,
			    count(doc, std::string("//*[@class='legend']//*[@class='") +
			    mark + "']") > 0) << form << ": " << mark;
		EXPECT_EQ(count(doc, "//*[@class='orphaned' and not(ancestor::"
		    "*[@class='legend'])]"), told(r.out).orphans) << form;
		// A picture found wrong is kept, to be looked at.
		if (!HasFailure())
			unlink(path.c_str());
		if (!slide)
			continue;
		EXPECT_EQ(s.width, 1920);
		EXPECT_EQ(s.height, 1080);
		EXPECT_GE(s.least_font, 24);
		std::string png = slurp(path + ".png");
		unlink((path + ".png").c_str());
		if (TRACE_PNG)
			EXPECT_EQ(png_size(png), std::make_pair(1920U, 1080U));
		else
			EXPECT_EQ(r.end, End::exited(125)) << r.err;
	}
}

INSTANTIATE_TEST_SUITE_P(Trace, Svg, testing::ValuesIn(demos),
    [](const testing::TestParamInfo<Drawn> &d) { return d.param.name; });

} // namespace
