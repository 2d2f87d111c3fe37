// Reading a picture of trace's back as geometry: see svg_geometry.h.
#include <algorithm>
#include <cmath>
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

// The axis ticked at round times, none over another: in each stretch
// between breaks, a step apart, a step of 1, 2 or 5 times a power of
// ten, each tick a multiple of it.
void
ticked_round(const Shape &s, const std::string &form)
{
	std::vector<std::vector<std::size_t>> stretches(s.breaks.size() + 1);
	double em = 0.55 * s.least_font / s.scale;

	for (std::size_t i = 0; i < s.ticks.size(); i++) {
		if (i > 0) {
			EXPECT_GT(s.ticks[i], s.ticks[i - 1]) << form << " " <<
			    s.tick_labels[i];
			EXPECT_GE(s.tick_xs[i] - s.tick_xs[i - 1], em * static_cast<
			    double>(s.tick_labels[i].size() + s.tick_labels[i -
			    1].size()) / 2) << form << ": " << s.tick_labels[i - 1] <<
			    " on " << s.tick_labels[i];
		}
		auto before = std::ranges::count_if(s.breaks, [&](const auto &b) {
			return b.second < s.tick_xs[i];
		});
		stretches[static_cast<std::size_t>(before)].push_back(i);
	}
	for (const auto &in : stretches) {
		if (in.size() < 2)
			continue;
		long long step = s.ticks[in[1]] - s.ticks[in[0]];
		long long m = step;
		while (m > 0 && m % 10 == 0)
			m /= 10;
		EXPECT_TRUE(m == 1 || m == 2 || m == 5) << form << ": step " << step;
		for (std::size_t k = 0; k < in.size(); k++) {
			EXPECT_EQ(s.ticks[in[k]] % step, 0) << form << ": " <<
			    s.tick_labels[in[k]];
			if (k > 0) {
				EXPECT_EQ(s.ticks[in[k]] - s.ticks[in[k - 1]], step) << form <<
				    ": " << s.tick_labels[in[k - 1]] << ", " <<
				    s.tick_labels[in[k]];
			}
		}
	}
}

// The lanes' names, their bars and the marks of their lines, each named.
std::vector<Box>
marks(const pugi::xml_document &doc, const Sizes &z)
{
	std::vector<Box> m;

	for (auto r : doc.select_nodes("//*[@class='lane']//rect[not(@class="
	    "'shade')]")) {
		m.push_back(rect(r.node()));
		m.back().text = "a bar";
	}
	for (auto c : doc.select_nodes("//*[@class='lane']//circle")) {
		double x = c.node().attribute("cx").as_double();
		double y = c.node().attribute("cy").as_double();
		double r = c.node().attribute("r").as_double();
		m.push_back({x - r, y - r, x + r, y + r, "a line's mark"});
	}
	for (auto n : doc.select_nodes("//*[@class='lane']/text")) {
		m.push_back(box(n.node(), z.text, sans_em));
		m.back().text = "the name " + m.back().text;
	}
	return m;
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
	s.marks = marks(doc, z);
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

// No text over another, over a lane's name, bar or marks, or under an
// arrow or a leader; the texts on each side of a lane read top down in
// the order they tell of (one under another, the later lower; in a row,
// the later right); the axis ticked at round times; the title within
// the picture.
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
		for (const auto &m : s.marks)
			EXPECT_FALSE(meet(*all[i], m)) << form << ": '" << all[i]->text <<
			    "' over " << m.text;
	}
	ASSERT_GE(s.ticks.size(), 1U) << form;
	ticked_round(s, form);
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
