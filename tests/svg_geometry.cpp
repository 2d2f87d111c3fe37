// Reading a picture of trace's back as geometry: see svg_geometry.h.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "svg_geometry.h"

namespace {

// A character's width and a text's height above and below its line, of
// its size: DejaVu Sans and DejaVu Sans Mono, as the picture names.
constexpr double sans_em = 0.582;
constexpr double mono_em = 0.604;
constexpr double bold_em = 0.64;
constexpr double ascent = 0.75;
constexpr double descent = 0.2;

std::size_t
characters(const std::string &s)
{
	return static_cast<std::size_t>(std::count_if(s.begin(), s.end(),
	    [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

// The font sizes the style gives: text, .said, .title, and the least.
struct Sizes {
	double text = 0, said = 0, title = 0, least = 1e9;
};

Sizes
sizes(const std::string &style)
{
	Sizes s;
	std::regex rule(R"(([.a-z-]+)\{[^}]*font-size:([0-9.]+)px)");
	for (auto it = std::sregex_iterator(style.begin(), style.end(), rule);
	    it != std::sregex_iterator(); ++it) {
		double px = std::stod((*it)[2]);
		std::string name = (*it)[1];
		(name == "text" ? s.text : name == ".said" ? s.said :
		    name == ".title" ? s.title : s.least) = px;
		s.least = std::min(s.least, px);
	}
	return s;
}

std::string
all_text(const pugi::xml_node &n)
{
	std::string s;
	for (auto d : n.select_nodes(".//text()"))
		s += d.node().value();
	return s;
}

Box
box(const pugi::xml_node &t, double size, double em)
{
	double x = t.attribute("x").as_double();
	double y = t.attribute("y").as_double();
	std::string s = all_text(t);
	return {x, y - ascent * size, x + static_cast<double>(characters(s)) *
	    em * size, y + descent * size, s};
}

// The straight lines of path data of M, L, H, V, h, v and z.
void
segments(const std::string &d, const std::string &kind,
    std::vector<Segment> &out)
{
	std::istringstream in(d);
	double x = 0, y = 0;
	char c;

	while (in >> c) {
		double a = 0, b = 0;
		if (c == 'z' || c == 'Z')
			continue;
		in >> a;
		if (c == 'M' || c == 'L') {
			in.ignore(1);
			in >> b;
		}
		double nx = c == 'M' || c == 'L' || c == 'H' ? a : c == 'h' ? x + a : x;
		double ny = c == 'M' || c == 'L' ? b : c == 'V' ? a : c == 'v' ? y + a : y;
		if (c != 'M')
			out.push_back({x, y, nx, ny, kind});
		x = nx;
		y = ny;
	}
}

Box
rect(const pugi::xml_node &r)
{
	double x = r.attribute("x").as_double();
	double y = r.attribute("y").as_double();
	return {x, y, x + r.attribute("width").as_double(),
	    y + r.attribute("height").as_double(), ""};
}

long long
tick_us(const std::string &label)
{
	double v = std::stod(label);
	return std::llround(v * (label.ends_with(" ms") ? 1e3 : 1e6));
}

} // namespace

Shape
shape_of(const pugi::xml_document &doc)
{
	Shape s;
	auto svg = doc.child("svg");
	std::istringstream view(svg.attribute("viewBox").as_string());
	double vx, vy, vw = 0;
	view >> vx >> vy >> vw;
	s.width = svg.attribute("width").as_double();
	s.height = svg.attribute("height").as_double();
	s.scale = vw > 0 ? s.width / vw : 1;
	Sizes z = sizes(svg.child("style").text().as_string());
	s.least_font = z.least * s.scale;
	s.title = box(doc.select_node("//*[@class='title']").node(), z.title,
	    bold_em);
	for (auto g : doc.select_nodes("//*[@class='labels']")) {
		for (const char *side : {"event", "said"}) {
			std::vector<Box> b;
			for (auto t : g.node().select_nodes(
			    (std::string("text[@class='") + side + "']").c_str()))
				b.push_back(side[0] == 's' ? box(t.node(), z.said, mono_em) :
				    box(t.node(), z.text, sans_em));
			s.sides.push_back(b);
		}
	}
	for (const char *kind : {"fork", "reap", "kill", "leader", "pipe",
	    "thin"})
		for (auto p : doc.select_nodes((std::string("//*[@class='") + kind +
		    "' and not(ancestor::*[@class='legend'])]").c_str()))
			segments(p.node().attribute("d").as_string(), kind, s.lines);
	for (auto t : doc.select_nodes("//*[@class='tick']")) {
		s.tick_labels.emplace_back(t.node().text().as_string());
		s.ticks.push_back(tick_us(s.tick_labels.back()));
		s.tick_xs.push_back(t.node().attribute("x").as_double());
	}
	for (auto g : doc.select_nodes("//*[@class='break' or @class='lead-in']"
	    "/*[@class='gap']")) {
		s.gaps.push_back(rect(g.node()));
		s.breaks.emplace_back(s.gaps.back().x0, s.gaps.back().x1);
	}
	for (auto zombie : doc.select_nodes("//*[@class='zombie' and not(ancestor::"
	    "*[@class='legend'])]"))
		s.zombies.push_back(rect(zombie.node()));
	return s;
}

bool
meet(const Box &a, const Box &b)
{
	return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// Whether the segment passes through the box, by clipping it to the box
// (Liang and Barsky), its edges shrunk by half a unit: a leader that
// ends at its text touches it and no more.
bool
meet(const Box &b, const Segment &s)
{
	double t0 = 0, t1 = 1;
	double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
	const double p[] = {-dx, dx, -dy, dy};
	const double q[] = {s.x0 - (b.x0 + 0.5), (b.x1 - 0.5) - s.x0,
	    s.y0 - (b.y0 + 0.5), (b.y1 - 0.5) - s.y0};

	for (int i = 0; i < 4; i++) {
		if (p[i] == 0) {
			if (q[i] < 0)
				return false;
			continue;
		}
		double r = q[i] / p[i];
		if (p[i] < 0)
			t0 = std::max(t0, r);
		else
			t1 = std::min(t1, r);
	}
	return t0 < t1;
}

// No text over another, or under an arrow or a leader; the texts on
// each side of a lane read top down in the order they tell of (one
// under another, the later lower; in a row, the later right); the axis
// ticked at round times a step apart, but across a break; the title
// within the picture.
void
laid_out_clear(const Shape &s, const std::string &form)
{
	std::vector<const Box *> all;
	for (const auto &side : s.sides) {
		for (std::size_t i = 0; i < side.size(); i++)
			for (std::size_t j = i + 1; j < side.size(); j++) {
				const Box &a = side[i], &b = side[j];
				EXPECT_FALSE(a.x0 < b.x1 && b.x0 < a.x1 && b.y0 < a.y0 - 0.5)
				    << form << ": '" << b.text << "' over '" << a.text << "'";
				EXPECT_FALSE(std::abs(b.y0 - a.y0) < 0.5 && b.x0 < a.x0)
				    << form << ": '" << b.text << "' before '" << a.text << "'";
			}
		for (const auto &b : side)
			all.push_back(&b);
	}
	for (std::size_t i = 0; i < all.size(); i++) {
		for (std::size_t j = i + 1; j < all.size(); j++)
			EXPECT_FALSE(meet(*all[i], *all[j])) << form << ": '" <<
			    all[i]->text << "' on '" << all[j]->text << "'";
		for (const auto &l : s.lines)
			EXPECT_FALSE(meet(*all[i], l)) << form << ": a " << l.kind <<
			    " through '" << all[i]->text << "'";
	}
	// A run drawn mostly as a break (reaper's slide) may have one tick.
	ASSERT_GE(s.ticks.size(), 1U) << form;
	// The step: as far apart as two ticks with no break between them,
	// else the longest round one that every tick is a multiple of.
	long long gcd = s.ticks[0], step = 0;
	std::vector<bool> across;
	for (std::size_t i = 1; i < s.ticks.size(); i++) {
		EXPECT_GT(s.ticks[i], s.ticks[i - 1]) << form << " " <<
		    s.tick_labels[i];
		gcd = std::gcd(gcd, s.ticks[i] - s.ticks[i - 1]);
		across.push_back(std::ranges::any_of(s.breaks, [&](const auto &b) {
			return b.second + 8 >= s.tick_xs[i - 1] && b.first <= s.tick_xs[i];
		}));
		if (!across.back())
			step = s.ticks[i] - s.ticks[i - 1];
	}
	long long longest = 1;
	for (long long p = 1; p <= gcd; p *= 10)
		for (long long m : {1, 2, 5})
			if (gcd % (p * m) == 0)
				longest = p * m;
	step = step ? step : longest;
	long long m = step;
	while (m > 0 && m % 10 == 0)
		m /= 10;
	EXPECT_TRUE(m == 1 || m == 2 || m == 5) << form << ": step " << step;
	for (std::size_t i = 1; i < s.ticks.size(); i++) {
		EXPECT_EQ(s.ticks[i] % step, 0) << form << ": " << s.tick_labels[i];
		EXPECT_TRUE(across[i - 1] || s.ticks[i] - s.ticks[i - 1] == step) <<
		    form << ": " << s.tick_labels[i - 1] << ", " << s.tick_labels[i];
	}
	EXPECT_LE(s.title.x1, s.width / s.scale) << form << ": " << s.title.text;
}

void
clear_of_breaks(const Shape &s, const std::string &form, double least_zombie)
{
	for (const Box &gap : s.gaps) {
		for (const auto &side : s.sides)
			for (const Box &b : side)
				EXPECT_FALSE(meet(gap, b)) << form << ": a break through '" <<
				    b.text << "'";
		for (const Segment &l : s.lines)
			EXPECT_FALSE(l.kind == "leader" && meet(gap, l)) << form <<
			    ": a break through a leader at " << l.x0;
	}
	for (const Box &z : s.zombies) {
		double shown = z.x1 - z.x0;
		for (const Box &gap : s.gaps)
			if (gap.y0 < z.y1 && z.y0 < gap.y1)
				shown -= std::max(0.0, std::min(z.x1, gap.x1) -
				    std::max(z.x0, gap.x0));
		EXPECT_GE(shown, least_zombie) << form << ": a zombie at " << z.x0;
	}
}
