// trace --svg from outside: the picture of a run, read back as XML,
// holds what the same run's JSON lines say happened (a lane per process,
// a mark per line, in the order written, an arrow per fork, reap and
// kill), renders without a word from rsvg-convert, and stays small.
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

using json = nlohmann::json;

struct Drawn {
	std::string name;
	std::vector<std::string> args;	// trace's, before --svg
	std::size_t most_bytes;
	bool breaks;	// time left out for sure: a virtual clock's jumps

	friend void PrintTo(const Drawn &d, std::ostream *os) { *os << d.name; }
};

const Drawn demos[] = {
	{"tworoles", {"tworoles"}, 50 << 10, false},
	{"twinspeak", {"twinspeak"}, 50 << 10, false},
	{"becometwin", {"becometwin"}, 50 << 10, false},
	{"copyedit", {"copyedit"}, 50 << 10, false},
	{"patientparent", {"patientparent"}, 50 << 10, false},
	{"faultcatch", {"faultcatch"}, 50 << 10, false},
	{"tickpair", {"--time-lapse", "tickpair"}, 50 << 10, true},
	{"reaper", {"--time-lapse", "reaper"}, 50 << 10, true},
	{"tickheir", {"--time-lapse", "tickheir"}, 50 << 10, true},
	{"interleave", {"interleave"}, 1 << 20, false},
	// No demo sends a signal to another process; a shell does.
	{"kill", {"/bin/sh", "-c", "sleep 5 & kill $!; wait"}, 50 << 10, false},
};

std::string
slurp(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream s;
	s << in.rdbuf();
	return s.str();
}

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
	std::size_t forks = 0, reaps = 0, kills = 0;
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
		else if (kind == "line")
			t.lines[j["role"]].push_back(j["text"]);
		if (kind == "line")
			t.in_order.emplace_back(j["t_us"], j["role"]);
		t.forks += kind == "fork";
		t.reaps += kind == "reaped";
		t.kills += kind == "signal" && j["origin"] == "kill";
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
	if (d.name != "interleave")
		in_order(doc, t);
	// A quick demo on a loaded machine may have a break too.
	if (d.breaks) {
		EXPECT_GT(count(doc, "//*[@class='break']"), 0U);
	}
	// The legend draws one of each, too.
	EXPECT_EQ(count(doc, "//*[@class='fork']"), t.forks + 1);
	EXPECT_EQ(count(doc, "//*[@class='reap']"), t.reaps + 1);
	EXPECT_EQ(count(doc, "//*[@class='kill']"), t.kills + 1);
	Result said = rendered(path);
	EXPECT_EQ(said.end, End::exited(0));
	EXPECT_EQ(said.err, "");
	unlink(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Trace, Svg, testing::ValuesIn(demos),
    [](const testing::TestParamInfo<Drawn> &d) { return d.param.name; });

// A line's text is kept exactly in its mark's title, made safe for XML,
// bytes that are not UTF-8 shown as \xNN; a long one is shortened
// visibly on the picture.
TEST(SvgText, ExactSafeAndShortened)
{
	Result r = run_trace({"--svg", "-", "/usr/bin/printf",
	    "a\377b <&> \"a\xc3\xb1o\"\n%0100d\n", "7"});
	pugi::xml_document doc;

	ASSERT_TRUE(doc.load_string(r.out.c_str())) << r.out;
	auto lines = doc.select_nodes("//*[@class='line']/title");
	ASSERT_EQ(lines.size(), 2U);
	std::string first = lines[0].node().text().as_string();
	std::string second = lines[1].node().text().as_string();
	EXPECT_TRUE(first.ends_with(": a\\xffb <&> \"a\xc3\xb1o\"")) << first;
	EXPECT_TRUE(second.ends_with(": " + std::string(99, '0') + "7"));
	auto said = doc.select_nodes("//*[@class='said']");
	ASSERT_EQ(said.size(), 2U);
	EXPECT_EQ(std::string(said[1].node().text().as_string()),
	    std::string(55, '0') + "\xe2\x80\xa6");
}

} // namespace
