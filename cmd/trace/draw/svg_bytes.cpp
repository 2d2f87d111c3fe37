// Bytes that are not the run's output, on the timeline picture: a square
// on the lane for each write into a pipe or socket and each read out of
// one, a page for each write to a file; a pipe-like arrow from each
// message's writer to the read that took its first byte; and a few words
// above the lanes. The exact bytes are in each mark's tooltip. See svg.h.
#include <algorithm>
#include <cmath>
#include <map>
#include <ostream>

#include "svg.h"
#include "words.h"

namespace {

// Of the bytes, at most this many characters in a tooltip.
constexpr std::size_t title_chars = 200;
// How far an arrow starts from its writer's bar, and stops short of its
// reader's; and the length of its head.
constexpr double arrow_from = 5;
constexpr double arrow_short = 7;
constexpr double head = 11;
// Past this many of a kind on a lane, its marks are ticks; past this
// many messages from one lane to another, thin lines.
constexpr std::size_t most_marked = 40;
constexpr std::size_t most_arrows = 40;

// "C1 sends 6 bytes to C2 through a pipe at 1.20 ms: hello\x0a", made
// safe for XML.
std::string
title(const Lane &l, const std::string &words, long long us,
    const std::string &text, std::uint64_t size)
{
	std::string s = l.role + " " + words + " at " + duration(us);

	if (!text.empty()) {
		s += ": ";
		s += shortened(escaped(text), title_chars);
		if (size > text.size() && !s.ends_with("\xe2\x80\xa6"))
			s += "\xe2\x80\xa6";
	}
	return xml_shown(s);
}

void
square(std::ostream &o, const char *cls, double x, double y,
    const char *ink, const std::string &title)
{
	o << start("g", {{"class", cls}}) << "<title>" << title << "</title>" <<
	    element("rect", {{"x", num(x - 3.5)}, {"y", num(y - 3.5)},
	    {"width", "7"}, {"height", "7"}, {"stroke", ink},
	    {"class", "bytes"}}) << "</g>\n";
}

// Marks of one kind on a lane at xs, each a square with its title(i);
// past most_marked, the first and the last, and between them a tick
// for each pixel across that has any.
template <class Title>
void
marks(std::ostream &o, const char *cls, const std::vector<double> &xs,
    const Laid &d, Title title)
{
	bool dense = xs.size() > most_marked;
	double last = -1;
	Path ticks;

	for (std::size_t i = 0; i < xs.size(); i++) {
		double at = std::round(xs[i]);
		if (!dense || i == 0 || i + 1 == xs.size()) {
			square(o, cls, xs[i], d.bar, ink(d.index), title(i));
		} else if (at != last) {
			ticks.to('M', at, d.bar - 5).by('v', 10);
			last = at;
		}
	}
	if (!ticks.str().empty())
		o << element("path", {{"class", "ticks"}, {"stroke",
		    ink(d.index)}, {"d", ticks.str()}}) << "\n";
}

// Where a message's arrow starts and ends.
struct Ends {
	double x0, y0, x1, y1;
};

Ends
ends(const Scale &s, const Laid &from, const Laid &to, const Lane::Sent &m,
    const Lane::Received &r)
{
	double down = to.bar > from.bar ? 1 : -1;

	return {s.x(m.us), from.bar + down * arrow_from, s.x(r.us),
	    to.bar - down * arrow_short};
}

void
arrow(std::ostream &o, const std::string &title, const Ends &e)
{
	double length = std::hypot(e.x1 - e.x0, e.y1 - e.y0);
	double core = std::max(0.0, length - head) / length;

	o << start("g", {{"class", "message"}}) << "<title>" << title <<
	    "</title>" << element("path", {{"class", "pipe"}, {"d", Path()
	    .to('M', e.x0, e.y0).to('L', e.x1, e.y1).str()}}) <<
	    element("path", {{"class", "pipe-core"}, {"d", Path()
	    .to('M', e.x0, e.y0).to('L', e.x0 + (e.x1 - e.x0) * core,
	    e.y0 + (e.y1 - e.y0) * core).str()}}) << "</g>\n";
}

// The messages from one lane to another: an arrow each; past
// most_arrows, the first and the last, and between them a thin line for
// each pair of pixels across they join.
void
arrows(std::ostream &o, const Timeline &t, const Scale &s, const Laid &from,
    const Laid &to, const std::vector<const Lane::Sent *> &sent)
{
	bool dense = sent.size() > most_arrows;
	std::pair<long, long> last{-1, -1};
	Path thin;

	for (std::size_t i = 0; i < sent.size(); i++) {
		const Lane::Sent &m = *sent[i];
		Ends e = ends(s, from, to, m, to.lane->received[m.receipt]);
		if (!dense || i == 0 || i + 1 == sent.size()) {
			arrow(o, title(*from.lane, sent_words(t, m), m.us, m.text,
			    m.size), e);
			continue;
		}
		std::pair<long, long> at{std::lround(e.x0), std::lround(e.x1)};
		if (at != last)
			thin.to('M', e.x0, e.y0).to('L', e.x1, e.y1);
		last = at;
	}
	if (dense)
		o << start("path", {{"class", "thin"}, {"d", thin.str()}}) <<
		    "<title>" << xml_text(from.lane->role + " sends " +
		    counted(sent.size(), "message", "messages") + " to " +
		    to.lane->role) << "</title></path>\n";
}

// Words above a lane: for one write or read alone, and for a run of n
// of them to or from the same place ("3 messages to C2"); a run of
// writes to files is named once.
struct Said {
	long long us;
	std::string where;
	std::string one;	// a file's path, for a write to it
	std::string many;	// after the count
};

std::string
bytes(std::uint64_t size)
{
	return counted(size, "byte", "bytes");
}

std::vector<Said>
said(const Timeline &t, const Lane &l)
{
	std::vector<Said> w;

	for (const auto &x : l.sent) {
		std::string where = x.to ? "to " : "into ";
		where += x.to == l.pid ? "itself" : x.to ? role_of(t, x.to) :
		    through_words(x.through, x.id) + (x.through == "pipe" ?
		    ", not read" : "");
		if (x.to && x.id)
			where += " through " + through_words(x.through, x.id);
		w.push_back({x.us, where, bytes(x.size) + " " + where,
		    "messages " + where});
	}
	for (const auto &x : l.received)
		if (!x.matched && x.from == 0) {
			std::string from = "from " + through_words(x.through,
			    x.id);
			w.push_back({x.us, from, bytes(x.size) + " " + from,
			    "messages " + from});
		}
	for (const auto &x : l.wrote)
		w.push_back({x.us, "files", x.path, ""});
	std::stable_sort(w.begin(), w.end(),
	    [](const Said &a, const Said &b) { return a.us < b.us; });
	return w;
}

// A run of writes to files: the file's name ("out.txt", a device's
// path), or how many files.
std::string
files_said(const std::vector<Said> &w, std::size_t from, std::size_t to)
{
	std::vector<std::string> paths;

	for (std::size_t k = from; k < to; k++)
		paths.push_back(w[k].one);
	std::sort(paths.begin(), paths.end());
	paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
	if (paths.size() == 1)
		return paths[0].starts_with("/dev/") ? paths[0] :
		    base_name(paths[0]);
	std::string many = "writes to ";
	many += counted(paths.size(), "file", "files");
	return many;
}

} // namespace

void
label_bytes(std::vector<Label> &above, const Timeline &t, const Lane &l,
    const Look &look)
{
	std::vector<Said> w = said(t, l);

	for (std::size_t i = 0, j; i < w.size(); i = j) {
		for (j = i + 1; j < w.size() && w[j].where == w[i].where; j++)
			;
		std::size_t n = j - i;
		above.push_back(event_label(look, w[i].us, w[i].where == "files" ?
		    files_said(w, i, j) : n == 1 ? w[i].one :
		    std::to_string(n) + " " + w[i].many));
	}
}

void
draw_bytes(std::ostream &o, const Timeline &t, const Scale &s, const Laid &d)
{
	const Lane &l = *d.lane;
	std::vector<double> xs;

	for (const auto &x : l.sent)
		xs.push_back(s.x(x.us));
	marks(o, "sent", xs, d, [&](std::size_t i) {
		const Lane::Sent &x = l.sent[i];
		return title(l, sent_words(t, x), x.us, x.text, x.size);
	});
	xs.clear();
	for (const auto &x : l.received)
		xs.push_back(s.x(x.us));
	marks(o, "received", xs, d, [&](std::size_t i) {
		const Lane::Received &x = l.received[i];
		return title(l, received_words(t, x), x.us, x.text, x.size);
	});
	for (const auto &x : l.wrote) {
		double at = s.x(x.us);
		o << start("g", {{"class", "wrote"}}) << "<title>" << title(l,
		    wrote_words(x), x.us, x.text, x.size) << "</title>" <<
		    element("path", {{"class", "file"}, {"d", Path()
		    .to('M', at - 4, d.bar - 6).then("h5l3,3v9h-8z").str()}}) <<
		    "</g>\n";
	}
}

void
draw_messages(std::ostream &o, const Timeline &t, const Scale &s,
    const std::vector<Laid> &laid)
{
	for (const auto &d : laid) {
		std::map<std::size_t, std::vector<const Lane::Sent *>> by_reader;
		for (const auto &m : d.lane->sent) {
			std::size_t to = m.to ? t.index(m.to) : laid.size();
			// A process that reads back what it wrote has no arrow.
			if (to < laid.size() && to != d.index &&
			    m.receipt < t.lanes[to].received.size())
				by_reader[to].push_back(&m);
		}
		for (const auto &[to, sent] : by_reader)
			arrows(o, t, s, d, laid[to], sent);
	}
}
