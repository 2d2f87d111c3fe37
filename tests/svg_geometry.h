// What a picture of trace's is made of, read back from its SVG as
// geometry: the boxes its texts take, as the drawing estimates them too,
// the straight lines of its arrows and leaders, its axis, its breaks and
// zombies, and its size; and the checks of its layout every picture
// passes.
#ifndef SVG_GEOMETRY_H
#define SVG_GEOMETRY_H

#include <string>
#include <vector>

#include <pugixml.hpp>

struct Box {
	double x0, y0, x1, y1;
	std::string text;
};

struct Segment {
	double x0, y0, x1, y1;
	std::string kind;	// fork, leader, ...
};

struct Shape {
	double width = 0;	// in pixels, as rendered
	double height = 0;
	double scale = 1;	// pixels to a unit of its own
	double least_font = 0;	// the smallest text, in pixels
	Box title;
	// The texts beside each lane, above and below its bar, in the
	// order they tell of; each lane's one after another.
	std::vector<std::vector<Box>> sides;
	std::vector<Segment> lines;	// arrows and leaders, not the legend's
	std::vector<Box> marks;		// the lanes' names, bars and marks
	std::vector<long long> ticks;	// the axis's times, microseconds
	std::vector<std::string> tick_labels;
	std::vector<double> tick_xs;
	std::vector<std::pair<double, double>> breaks;	// across
	std::vector<Box> gaps;		// the breaks' blank, top to bottom
	std::vector<Box> zombies;	// their hatched spans
};

Shape shape_of(const pugi::xml_document &doc);
bool meet(const Box &a, const Box &b);
bool meet(const Box &b, const Segment &s);

// No text over another, over a lane's name, bar or marks, or under an
// arrow or a leader; texts in order; round ticks in each stretch between
// breaks; the title within the picture. form names the picture.
void laid_out_clear(const Shape &s, const std::string &form);
// No break through a text or a leader, and none hiding most of a
// zombie: at least least_zombie of each drawn outside the breaks.
void clear_of_breaks(const Shape &s, const std::string &form,
    double least_zombie = 0);

#endif
