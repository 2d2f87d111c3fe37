// trace's text, for people: each line the program wrote tagged with the
// time, its writer's role and number; every other event as one short
// sentence between them (sentence.cpp); a summary of how each process
// ended.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "explain.h"
#include "shown.h"
#include "view.h"

namespace {

// One per process, in the order they appear, then again from the first.
const char *const colours[] = {"36", "33", "35", "32", "34", "31"};
constexpr std::size_t tag_width = 11;	// role and number, as "C1     497"
constexpr std::size_t source_width = 17;	// "tworoles.cpp:18"

class Text : public View {
public:
	Text(Out &out, Settings s) : out_(out), s_(std::move(s))
	{
		if (s_.lines_only)
			return;
		say("", "", "The run is traced: every call the tracer "
		    "watches stops its process for a moment, so timings "
		    "differ from an untraced run, and lines may come in "
		    "other orders.", 0);
		if (s_.time_lapse)
			say("", "", "Times marked ~ are virtual: with "
			    "--time-lapse, the earliest alarm fires as soon as "
			    "every process waits.", 0);
		if (s_.stepped)
			say("", "", "Stepped one event at a time: the times "
			    "hold the waits between events.", 0);
	}

	void event(const Event &e) override;
	void cut(const std::string &why, long long us) override;
	void summary(const std::vector<Traced> &procs,
	    const Ending &end) override;

private:
	[[nodiscard]] std::string time(long long us) const;
	[[nodiscard]] std::string site(const Event &e) const;
	void put(const std::string &role, bool line, const std::string &text);
	void say(const std::string &role, const std::string &head,
	    const std::string &words, std::size_t indent);
	void show_code(const Source &s);
	void show_handler(const Event &e);
	void explain(const Event &e, std::size_t column);

	Out &out_;
	Settings s_;
	Explainer explainer_;
	std::map<std::string, std::size_t> colour_;
	std::map<std::string, std::vector<std::string>> files_;
	bool begun_ = false;	// the run's first program has started
	std::vector<Event> stood_;	// where each stood as the run ended
};

// Where the event was made, as file:line in a column of its own; "?"
// where that is unknown.
std::string
Text::site(const Event &e) const
{
	if (s_.source == Settings::Sources::none)
		return "";
	std::string at = site_words(e.source);
	// What befell a process, not what it did, has no line; nor has the
	// start of the run's first program, which trace made.
	if (!e.sited() || (e.is<Event::Exec>() && !begun_))
		at.clear();
	else if (at.empty())
		at.push_back('?');
	at.append(source_width + 1 - std::min(at.size(), source_width), ' ');
	return at;
}

// Under an event made in a signal handler, with its place: whose handler,
// and what it broke into, where.
void
Text::show_handler(const Event &e)
{
	if (s_.source == Settings::Sources::none || !e.source.in_handler)
		return;
	std::string words = e.handler ? "in the " + signal_name(e.handler) +
	    " handler" : "in a signal handler";
	std::string at = site_words(e.source.interrupted);
	if (!at.empty())
		words += ", which interrupted " + (e.handler_cut.empty() ?
		    std::string("the code") : e.handler_cut) + " at " + at;
	say("", std::string(16, ' '), words, 18);
}

// The text of the source line, under the event, if the file is at hand.
void
Text::show_code(const Source &s)
{
	if (s_.source != Settings::Sources::code || s.file.empty())
		return;
	auto [it, fresh] = files_.try_emplace(s.file);
	if (fresh) {
		// A demo's own copy first: where it was built may be gone.
		std::ifstream in;
		if (!s_.sources_dir.empty())
			in.open(s_.sources_dir + "/" +
			    std::filesystem::path(s.file).filename().string());
		if (!in.is_open())
			in.open(s.file);
		for (std::string l; std::getline(in, l) && it->second.size() <
		    100000;)
			it->second.push_back(l);
	}
	if (s.line < 1 || static_cast<std::size_t>(s.line) > it->second.size())
		return;
	std::string l = it->second[static_cast<std::size_t>(s.line) - 1];
	l.erase(0, l.find_first_not_of(" \t"));
	// Source is text: shown as written, but for control characters.
	for (char &c : l)
		if (static_cast<unsigned char>(c) < ' ')
			c = ' ';
	// Under the file:line column; put cuts it to the width.
	put("", false, std::string(16, ' ') + l);
}

std::string
Text::time(long long us) const
{
	std::string t = fixed(static_cast<double>(us) / 1e3, 3);

	if (s_.time_lapse)
		t = "~" + t;
	if (t.size() < 11)
		t.insert(0, 11 - t.size(), ' ');
	return t + " ms  ";
}

// One line of the report, cut to the width: the exact text of a long
// line of the program's is in the JSON lines.
void
Text::put(const std::string &role, bool line, const std::string &text)
{
	std::string fit = fitted(text, s_.width);

	// trace's own words are in no process's colour.
	if (!s_.colour || role.empty()) {
		out_.add(fit);
		out_.add("\n");
		return;
	}
	auto [it, added] = colour_.try_emplace(role, colour_.size());
	std::string code = colours[it->second % std::size(colours)];
	out_.add("\033[" + std::string(line ? "" : "2;") + code + "m");
	out_.add(fit);
	out_.add("\033[0m\n");
}

// trace's own words after head, broken at spaces into lines within the
// width, each line after the first indented so far.
void
Text::say(const std::string &role, const std::string &head,
    const std::string &words, std::size_t indent)
{
	std::size_t at = columns(head);
	std::vector<std::string> lines = wrapped(words,
	    s_.width > at ? s_.width - at : 1,
	    s_.width > indent ? s_.width - indent : 1);
	for (std::size_t i = 0; i < lines.size(); i++)
		put(role, false, (i ? std::string(indent, ' ') : head) +
		    lines[i]);
}

// Under --explain, the notes on e, at column, in no process's colour;
// the state letters are in them.
void
Text::explain(const Event &e, std::size_t column)
{
	if (!s_.explain)
		return;
	// Narrow, the notes start further left.
	if (s_.width < column + 40)
		column = 16;
	for (const std::string &note : explainer_.explain(e).notes)
		say("", std::string(column, ' ') + "- ", note, column + 2);
}

void
Text::event(const Event &e)
{
	if (const auto *l = e.as<Event::Line>()) {
		// A line cut short says so instead of lacking its newline.
		std::string text = !l->size ? escaped_line(l->text) :
		    escaped(l->text) + "   (" + std::to_string(l->size) +
		    " bytes written, the first " +
		    std::to_string(l->text.size()) + " shown)";
		put(e.role, true, time(e.us) + site(e) +
		    tag(e.thread.empty() ? e.role : e.role + "/" + e.thread,
		    e.pid, tag_width) +
		    (l->fd == 2 ? " ! " : " | ") + text);
		show_code(e.source);
		show_handler(e);
		if (s_.source != Settings::Sources::none &&
		    e.source.after_main)
			say("", std::string(16, ' '), "written after main "
			    "returned, as the program ends (exit writes out "
			    "what stdio's buffers still hold)", 18);
		return;
	}
	if (e.is<Event::Snapshot>()) {
		stood_.push_back(e);
		return;
	}
	std::string words = s_.lines_only ? "" : sentence(e);
	if (words.empty()) {
		// Nothing shown, nothing said: the states still follow it.
		if (s_.explain)
			(void)explainer_.explain(e);
		return;
	}
	std::string head = time(e.us) + site(e) +
	    std::string(tag_width + 3, ' ');
	// A thread other than its process's first is named after it.
	std::string by = e.thread.empty() ? e.role : e.role + "/" + e.thread;
	say(e.role, head, by + words, columns(head) + 2);
	show_code(e.source);
	show_handler(e);
	explain(e, columns(head));
	begun_ = begun_ || e.is<Event::Exec>();
}

void
Text::cut(const std::string &why, long long us)
{
	if (!s_.lines_only)
		say("", time(us), "trace ends the run: " + why, 18);
}

void
Text::summary(const std::vector<Traced> &procs, const Ending &end)
{
	if (s_.lines_only)
		return;
	if (!stood_.empty())
		put("", false, "\nWhere each process stood as the run was "
		    "stopped:");
	for (const Event &e : stood_)
		say("", "  " + tag(e.role, e.pid, tag_width) + "  ",
		    stood_words(e, stood_), tag_width + 6);
	for (const Event &e : stood_)
		if (std::string v = verdict_words(e); !v.empty())
			say("", "  ", v, 16);
	put("", false, "\nHow each process ended:");
	for (const auto &p : procs) {
		std::string s = escaped(base_name(p.program)) + ": ";
		if (!p.ended)
			s += "never ended";
		else
			s += ended_words(p.end, p.by_trace) + " at " +
			    duration(p.ended_us);
		if (p.reaper_role.empty())
			s += "; never reaped";
		else
			s += "; reaped by " + who(0, p.reaper_role) + " at " +
			    duration(p.reaped_us);
		say("", "  " + tag(p.role, p.pid, tag_width) + "  ", s,
		    tag_width + 6);
	}
	std::string s = "Exit status " + std::to_string(end.status);
	if (!end.why.empty() && end.status > 128)
		s += ": 128 + " + signal_name(end.status - 128) + ", sent to trace";
	else if (!end.why.empty())
		s += ": trace ended the run";
	else if (end.status > 128)
		s += ": 128 + " + signal_name(end.status - 128);
	out_.add(s + "\n");
}

} // namespace

std::string
site_words(const Site &s)
{
	if (s.file.empty())
		return s.function;
	std::size_t slash = s.file.rfind('/');
	return s.file.substr(slash == std::string::npos ? 0 : slash + 1) + ":" +
	    std::to_string(s.line);
}

std::unique_ptr<View>
text_view(Out &out, const Settings &s)
{
	return std::make_unique<Text>(out, s);
}
