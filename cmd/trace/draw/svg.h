// What the SVG timeline is drawn with: where an instant goes across the
// picture (svg_scale.cpp), and the few pieces of markup every part of it
// writes (svg.cpp).
#ifndef SVG_H
#define SVG_H

#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "timeline.h"

// The picture's width, and where time is drawn across it: lane names
// left of the gutter.
constexpr double picture_width = 1280;
constexpr double gutter = 200;
constexpr double time_from = 214;
constexpr double time_to = picture_width - 96;
// Time is drawn narrower to keep the lines' texts in, down to this.
constexpr double least_time_width = 640;

// Time across the picture. Every instant something happens at gets a
// little room of its own besides its share of the time, so that events
// microseconds apart can be told apart; a stretch in which nothing
// happens for long is drawn as a break of fixed width.
class Scale {
public:
	struct Break {
		long long from_us;
		long long to_us;
		double x;	// where it starts
		double width;
		bool lead_in;	// the run's, before its program
	};
	struct Tick {
		double x;
		std::string label;
	};

	// Where time is drawn.
	struct Across {
		double x0;
		double width;
	};

	// instants sorted, each once. Up to lead_us, if it is one of them
	// and the second, is the run's lead-in, drawn as a break too.
	Scale(std::vector<long long> instants, long long lead_us, Across a);

	[[nodiscard]] double x(long long us) const;
	[[nodiscard]] const std::vector<Break> &breaks() const
	{
		return breaks_;
	}
	// Labelled times along the axis, spaced for reading.
	[[nodiscard]] std::vector<Tick> ticks() const;

private:
	std::vector<long long> t_;	// the knots: instants
	std::vector<double> x_;		// and where each is drawn
	std::vector<Break> breaks_;
};

// Text beside a lane, placed in the first row where it meets no other.
struct Label {
	double x = 0;		// where it starts, or ends if end
	bool end = false;
	int row = 0;
	double width = 0;
	std::string text;	// markup already
	const Lane::Line *line = nullptr;	// the line it shows, if one
};

// A lane as laid out: its height and what is written above and below.
struct Laid {
	const Lane *lane = nullptr;
	std::size_t index = 0;
	double top = 0;
	double bar = 0;		// the middle of its bar
	double bottom = 0;
	bool dense = false;	// too many lines to name: their density
	std::vector<Label> above;	// exec, signals, waits, the end
	std::vector<Label> below;	// lines
};

// How wide time can be drawn, s being width wide, for the texts of the
// lines to stay in the picture.
double fitting_width(const Timeline &t, const Scale &s, double width);
// Lays out each process's lane from top down.
std::vector<Laid> lay_out(const Timeline &t, const Scale &s, double top);
void draw_lane(std::ostream &o, const Timeline &t, const Scale &s,
    const Laid &d, double peak);
// The texts about a lane, over everything else.
void draw_labels(std::ostream &o, const Laid &d);
// Forks, kills and reaps: arrows between lanes, over them.
void draw_links(std::ostream &o, const Timeline &t, const Scale &s,
    const std::vector<Laid> &laid, double subreaper_bar);
// Messages: arrows from each write into a pipe to the read that took
// its first byte, over the lanes (svg_bytes.cpp).
void draw_messages(std::ostream &o, const Timeline &t, const Scale &s,
    const std::vector<Laid> &laid);
// The marks on a lane for its messages and writes to files.
void draw_bytes(std::ostream &o, const Timeline &t, const Scale &s,
    const Laid &d);
// The words above a lane for them, sparingly.
void label_bytes(Laid &d, const Timeline &t, const Scale &s);
// The legend below the lanes, from y (svg_legend.cpp): how many rows.
std::size_t legend(std::ostream &o, const Timeline &t, double y);
// Text above a lane, in the picture's sans-serif.
Label event_label(double x, const std::string &text);
// What a mark shows, for its label and its title.
std::string exec_words(const Lane::Exec &e);
std::string signal_words(const Timeline &t, const Lane::Signal &s);
std::string end_words(const Lane &l);
// The most lines a lane has at one spot, for its density.
double density_peak(const Scale &s, const std::vector<Laid> &laid);
// The colour of a lane.
const char *ink(std::size_t index);
// A number for an attribute.
std::string num(double v);
// Path data, built by appending: Path().to('M', 1, 2).by('H', 5) is
// "M1.0,2.0H5.0". (g++ 12 at -O3 takes "M" + a string for an overlapping
// copy, a false -Wrestrict.)
class Path {
public:
	Path &to(char command, double x, double y);
	Path &by(char command, double v);
	Path &then(std::string_view fixed);
	[[nodiscard]] const std::string &str() const { return d_; }

private:
	std::string d_;
};
// "translate(x,y)", for a transform.
std::string translate(double x, double y);
// An element, <name a="v" .../>, and the start tag of one with content,
// <name a="v" ...>; the values made safe for XML.
using Attrs = std::vector<std::pair<std::string, std::string>>;
std::string element(const char *name, const Attrs &attrs);
std::string start(const char *name, const Attrs &attrs);

// Text made safe for XML; bytes that are not UTF-8 and control
// characters shown as \xNN.
std::string xml_text(std::string_view s);
// Text shown so already (escaped_line) made safe for XML.
std::string xml_shown(std::string_view shown);

#endif
