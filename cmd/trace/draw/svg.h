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

// How a picture is drawn: for a page (1280 wide, as tall as it needs) or
// for a slide (16:9, its text large enough to read across a room). A
// slide is laid out in units of two pixels each, so that all of it,
// strokes and marks too, is drawn twice as large as on a page.
struct Look {
	bool slide = false;
	double width = 1280;	// across, in the picture's units
	double height = 0;	// 0: as tall as it needs
	double scale = 1;	// pixels to a unit
	double font = 11;	// most text, in units
	double small = 10;	// the axis, the time left out
	double sans_px = 6.4;	// a character's width at font
	double mono_px = 7.25;	// and the lines' monospace's
	double gutter = 200;	// lane names left of it
	double row = 15;	// a row of labels
	double bar_at = 20;	// a lane's bar below its top, no label above
	double above_at = 18;	// the nearest labels' line above the bar
	double below_at = 28;	// and below it
	double least_below = 20;	// the bar to the lane's bottom
	bool name_below = true;	// the lane's program under its role
	double title_y = 28;	// the heading's two lines
	double about_y = 48;
	double axis_y = 80;
	double lanes_from = 100;
	double trace_lane = 40;	// the height of trace's own lane

	[[nodiscard]] double time_from() const { return gutter + 14; }
	[[nodiscard]] double time_to() const { return width - 96; }
	// Time is drawn narrower to keep the lines' texts in, down to this.
	[[nodiscard]] double least_time_width() const { return width / 2; }
};
Look page_look();
Look slide_look();
// The title's size, and the heading's line for why trace ended the run,
// when it did.
constexpr double title_size = 18;
constexpr double cut_line = 16;

// What time across must make room for besides the instants: each text
// within the stretch between the breaks around its instant, and spans
// (a zombie, a wait) that no break may swallow whole, some drawn at
// least so wide.
struct Needs {
	struct Text {
		long long us;
		double width;
	};
	struct Span {
		long long from_us;
		long long to_us;
		double least;	// across, of what no break hides
	};
	std::vector<Text> texts;
	std::vector<Span> spans;
};

// Time across the picture. Every instant something happens at gets a
// little room of its own besides its share of the time, so that events
// microseconds apart can be told apart; a stretch in which nothing
// happens for long is drawn as a break of fixed width, where that leaves
// room for what needs it (svg_scale.cpp).
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
		bool edge;	// at a break's edge, or its time left out in it
	};

	// Where time is drawn.
	struct Across {
		double x0;
		double width;
	};

	// Where a text may stand, across.
	struct Room {
		double from;
		double to;
	};

	// instants sorted, each once. Up to lead_us, if it is one of them
	// and the second, is the run's lead-in, drawn as a break too.
	Scale(std::vector<long long> instants, long long lead_us, Across a,
	    const Look &look, const Needs &needs = {});

	[[nodiscard]] double x(long long us) const;
	[[nodiscard]] const std::vector<Break> &breaks() const
	{
		return breaks_;
	}
	// The stretch between the breaks around x, and the picture's
	// margins beyond the first and the last; the lead-in counted only
	// above the first process's bar, the one it is drawn down to.
	[[nodiscard]] Room room(double x, bool lead_in) const;
	// Labelled times along the axis: round ones, a step apart in each
	// stretch between breaks.
	[[nodiscard]] std::vector<Tick> ticks() const;
	[[nodiscard]] const Look &look() const { return look_; }

private:
	// A stretch of time between breaks, or the axis's ends.
	struct Stretch {
		long long from_us;
		long long to_us;
	};

	[[nodiscard]] bool drawn(long long us, long long step) const;
	[[nodiscard]] std::vector<Tick> ticks_every(long long step,
	    Stretch in) const;
	// Whether b's label is too near a's, a break between them or not.
	[[nodiscard]] bool crowd(const Tick &a, const Tick &b) const;
	[[nodiscard]] long long step_for(Stretch in) const;

	Look look_;
	std::vector<long long> t_;	// the knots: instants
	std::vector<double> x_;		// and where each is drawn
	std::vector<Break> breaks_;
};

// Which texts a crowded slide keeps, each rank with those before it:
// none but the lines of the kinds it chose; each process's first and
// last lines; every line; how each process ended; everything.
enum class Kept { none, first_and_last, lines, ends, all };

// Text beside a lane, placed in a row where it meets no other text, no
// arrow and no other text's leader (svg_place.cpp).
struct Label {
	long long us = 0;	// the instant it tells of
	double anchor = 0;	// its mark, across
	double x = 0;		// where its box starts once placed
	double width = 0;
	Scale::Room room{0, 0};	// where it may stand: its mark's stretch
	int row = 0;		// from the bar out
	Kept rank = Kept::all;	// kept on a slide with those of its kind
	bool hidden = false;	// no room for it on a slide
	bool elbow = false;	// moved along its row: its leader bends
	std::string text;	// markup already
	// Said instead where text cannot stand near its mark, if not empty.
	std::string brief;
	double brief_width = 0;
	const Lane::Line *line = nullptr;	// the line it shows, if one
	std::string kind;	// the line's kind (line_kind), if one
};

// The kind of a line, its text with each number as "…": "Hola, soy 42"
// and "Hola, soy 43" are of one kind (svg_heading.cpp).
std::string line_kind(std::string_view text);

// The texts a slide keeps: those up to a rank, and besides them every
// line of the kinds named.
struct Keep {
	Kept rank = Kept::all;
	std::vector<std::string> kinds;

	[[nodiscard]] bool keeps(const Label &l) const;
};

// Where arrows between lanes cross a lane, above its bar and below it:
// spans across, a vertical arrow's a point; and where the arrows that
// point at its bar from above and from below end, across, and how far
// from the bar their heads reach.
struct Walls {
	std::vector<std::pair<double, double>> above;
	std::vector<std::pair<double, double>> below;
	std::vector<std::pair<double, double>> heads_above;
	std::vector<std::pair<double, double>> heads_below;
};

// A lane as laid out: its height and what is written above and below.
struct Laid {
	const Lane *lane = nullptr;
	std::size_t index = 0;
	double top = 0;
	double bar = 0;		// the middle of its bar
	double bottom = 0;
	bool dense = false;	// too many lines to name: their density
	double below_at = 0;	// its first row of texts below the bar
	std::vector<Label> above;	// exec, signals, waits, the end
	std::vector<Label> below;	// lines
};

// A lane with more lines than this shows their density, not each.
constexpr std::size_t most_named_lines = 40;
// Lane i and the texts about it, yet to be placed: its events above,
// its lines below (of a lane too full to name them, the first and the
// last), each process's first and last line kept longest
// (svg_markup.cpp).
Laid told(const Timeline &t, const Look &look, std::size_t i);

// Places labels in rows, in their order, each further from the bar than
// any before it that it would overlap and in a row after those before it
// (rightward, or leftward), so that they read from the bar out in that
// order; within its room, clear of walls, of each other and of each
// other's leaders; at most rows deep (-1: any). One with no room so is
// hidden, its mark kept, as is one hidden already. How many rows.
int place(std::vector<Label> &labels, const std::vector<std::pair<double,
    double>> &walls, const Look &look, int rows, bool rightward);
// Where the arrows between lanes cross each lane, by lane index; the
// subreaper's lane, if drawn, is above them all.
std::vector<Walls> walls(const Timeline &t, const Scale &s, bool subreaper);
// A lane's height with rows of labels above and below its bar.
double lane_height(const Look &look, int above, int below, bool dense);
// Where a label's text stands, down.
double label_y(const Laid &d, const Label &l, bool above, const Look &look);

// What a lane draws, across and down from the middle of its bar
// (negative: above it): its name, bar and marks, the heads of the arrows
// at it, its texts and their leaders. The lanes of a crowded slide go as
// close as these let them.
struct Extent {
	enum class Of { mark, arrow, text };
	double from;
	double to;
	double top;
	double bottom;
	Of of;
};
std::vector<Extent> extents(const Timeline &t, const Scale &s, const Laid &d,
    const Walls &w);
// How far below a lane's bar the next one's can go: least at least,
// with no text of either over what the other draws or level with its
// bar, and their marks apart (svg_place.cpp).
double pitch(const std::vector<Extent> &upper,
    const std::vector<Extent> &lower, double least);
// Where the band of the lower lane starts, below the upper's bar, their
// bars that far apart: between the texts of either, above_bar above the
// lower's bar if they let it.
double seam(const std::vector<Extent> &upper,
    const std::vector<Extent> &lower, double bars, double above_bar);

// How wide time can be drawn, s being width wide, for the texts of the
// lines to stay in the picture.
double fitting_width(const Timeline &t, const Scale &s, double width);
// What time across must make room for: every text, every wait and
// zombie.
Needs needs(const Timeline &t, const Look &look);
// The lanes laid out, and which of their texts are kept.
struct Lanes {
	std::vector<Laid> laid;
	Keep kept;
	bool whole = true;	// every text kept shown, in the rows it needs
};
// Lays out each process's lane from top down, within height if not 0.
// On a slide, the richest rank of texts that fits (Kept), the lanes
// packed close if they must be; with each process's first and last
// lines, every line of each kind that fits too. Else every line of the
// largest kind that fits, and each process's first and last lines where
// they fit too; else those alone, as many rows of them as there is room
// for, a row more for each lane in turn while there is room.
Lanes lay_out(const Timeline &t, const Scale &s, double top,
    const std::vector<Walls> &w, double height);
void draw_lane(std::ostream &o, const Timeline &t, const Scale &s,
    const Laid &d, double peak);
// The texts about a lane, over everything else.
void draw_labels(std::ostream &o, const Laid &d, const Look &look);
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
// Where the kill that sent a signal was made, across.
double kill_x(const Scale &s, const Lane *sender, pid_t to,
    const Lane::Signal &sig);
// The words above a lane for them, sparingly.
void label_bytes(std::vector<Label> &above, const Timeline &t,
    const Lane &l, const Look &look);
// What the picture draws, for the legend to explain it all and no more.
struct Drawn {
	bool subreaper = false;	// trace's lane
	bool lead_in = false;	// trace starting the program
	bool breaks = false;	// time left out
	bool reaps = false;	// a reap, to a lane drawn
};
// The texts a slide left out for room: how many, and which it kept.
struct LeftOut {
	std::size_t texts = 0;
	Keep kept;
	bool whole = true;	// every text kept shown
};
// The heading (svg_heading.cpp): the command, what the run was, and
// what was left out for room.
void heading(std::ostream &o, const Timeline &t, const Look &look,
    const LeftOut &left);
// What trace did in the run, for its lane: "started P and reaped it".
std::string trace_words(const Timeline &t);
// The legend below the lanes, from y (svg_legend.cpp): how many rows.
std::size_t legend(std::ostream &o, const Timeline &t, const Drawn &d,
    const Look &look, double y);
// How high the legend is, with rows rows.
double legend_height(std::size_t rows);
std::size_t legend_rows(const Timeline &t, const Drawn &d, const Look &look);
// Text above a lane, in the picture's sans-serif, led by the number of
// the source line if known (svg_markup.cpp); a line's text below it.
Label event_label(const Look &look, long long us, const std::string &text,
    const Source &at = {});
Label line_label(const Look &look, const Lane::Line &line);
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
// A time on the axis, as precisely as ticks step apart: "1.02 s".
std::string tick_label(long long us, long long step);
// Path data, built by appending: Path().to('M', 1, 2).by('H', 5) is
// "M1.0,2.0H5.0".
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
// The start tag of a text at x, y, of the class given if any.
std::string text_at(double x, double y, const char *cls = nullptr);
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
