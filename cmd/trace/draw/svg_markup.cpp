// The markup and the words every part of the timeline picture writes:
// elements, path data, text made safe for XML, the texts beside the
// lanes, what each mark shows, the lanes' colours. See svg.h.
#include <algorithm>
#include <cstring>

#include "svg.h"
#include "words.h"

namespace {

// A line's text is shortened past this many characters.
constexpr std::size_t longest_line = 56;

// Led by the number of the source line that made it, if known.
void
lead_with_line(Label &l, const Source &at, double px)
{
	if (at.line <= 0)
		return;
	std::string n = std::to_string(at.line);
	l.text = R"(<tspan class="at">)" + n + "</tspan> " + l.text;
	l.width += static_cast<double>(n.size() + 1) * px;
}

// How long it was a zombie, after how it ended: every zombie is drawn
// wide enough to see, however short.
std::string
zombie_words(const Lane &l)
{
	if (l.reaped_us < 0)
		return ", never reaped";
	if (l.reaped_us == l.end_us)
		return ", reaped at once";
	return ", a zombie for " + duration(l.reaped_us - l.end_us);
}

// What happened on the lane, named above it; a wait or a signal like the
// one before it on the lane is left for its mark to show.
void
label_events(Laid &d, const Timeline &t, const Look &look)
{
	const Lane &l = *d.lane;
	std::string said;

	auto add = [&d, &said, &look](long long us, const std::string &text,
	    bool again, const Source &at, Kept rank = Kept::all) {
		if (again || text != said) {
			d.above.push_back(event_label(look, us, text, at));
			d.above.back().rank = rank;
		}
		said = again ? said : text;
	};
	for (const auto &e : l.execs)
		add(e.us, exec_words(e), true, e.source);
	for (const auto &sig : l.signals)
		add(sig.us, signal_words(t, sig), false, sig.source);
	said.clear();
	for (const auto &b : l.blocked)
		add(b.from_us, b.call, false, b.source);
	if (l.ended) {
		add(l.end_us, end_words(l) + zombie_words(l), true, l.ended_at,
		    Kept::ends);
		Label brief = event_label(look, l.end_us, end_words(l), l.ended_at);
		d.above.back().brief = brief.text;
		d.above.back().brief_width = brief.width;
	}
	if (l.unwaited_us >= 0)
		add(l.unwaited_us, "zombie, not waited for", true, {}, Kept::ends);
	if (l.orphaned_us >= 0)
		add(l.orphaned_us, "orphaned: now trace's child", true, {},
		    Kept::ends);
	label_bytes(d.above, t, *d.lane, look);
	// Read from the bar out, latest first: top down in time.
	std::stable_sort(d.above.begin(), d.above.end(),
	    [](const Label &a, const Label &b) { return a.us > b.us; });
}

} // namespace

Laid
told(const Timeline &t, const Look &look, std::size_t i)
{
	Laid d;

	d.lane = &t.lanes[i];
	d.index = i;
	d.dense = d.lane->lines.size() > most_named_lines;
	label_events(d, t, look);
	const auto &lines = d.lane->lines;
	for (std::size_t k = 0; k < lines.size(); k++)
		if (!d.dense || k == 0 || k + 1 == lines.size()) {
			d.below.push_back(line_label(look, lines[k]));
			d.below.back().rank = k == 0 || k + 1 == lines.size() ?
			    Kept::first_and_last : Kept::lines;
			d.below.back().kind = line_kind(lines[k].text);
		}
	return d;
}


Label
event_label(const Look &look, long long us, const std::string &text,
    const Source &at)
{
	Label l;
	l.us = us;
	l.text = xml_text(text);
	l.width = static_cast<double>(characters(text)) * look.sans_px;
	lead_with_line(l, at, look.sans_px);
	return l;
}

Label
line_label(const Look &look, const Lane::Line &line)
{
	Label l;
	std::string text = shortened(escaped_line(line.text), longest_line);
	l.us = line.us;
	l.text = xml_shown(text);
	l.width = static_cast<double>(characters(text)) * look.mono_px;
	lead_with_line(l, line.source, look.mono_px);
	l.line = &line;
	return l;
}

const char *
ink(std::size_t index)
{
	static const char *const inks[] = {"#0b6e78", "#9a6a00", "#8e3488",
	    "#2e7031", "#1f4e9c", "#b03a2e"};
	return inks[index % (sizeof inks / sizeof inks[0])];
}

std::string
num(double v)
{
	return fixed(v, 1);
}

std::string
xml_shown(std::string_view shown)
{
	std::string x;

	for (char c : shown) {
		switch (c) {
		case '&': x += "&amp;"; break;
		case '<': x += "&lt;"; break;
		case '>': x += "&gt;"; break;
		case '"': x += "&quot;"; break;
		default: x += c;
		}
	}
	return x;
}

std::string
xml_text(std::string_view s)
{
	return xml_shown(escaped(s));
}

std::string
start(const char *name, const Attrs &attrs)
{
	std::string e = "<";

	e += name;
	for (const auto &[key, value] : attrs) {
		e += ' ';
		e += key;
		e += '=';
		e += '"' + xml_text(value) + '"';
	}
	return e + ">";
}

std::string
element(const char *name, const Attrs &attrs)
{
	std::string e = start(name, attrs);

	e.back() = '/';
	e += '>';
	return e;
}

Path &
Path::to(char command, double x, double y)
{
	d_ += command;
	d_ += num(x);
	d_ += ',';
	d_ += num(y);
	return *this;
}

Path &
Path::by(char command, double v)
{
	d_ += command;
	d_ += num(v);
	return *this;
}

Path &
Path::then(std::string_view fixed)
{
	d_ += fixed;
	return *this;
}

std::string
text_at(double x, double y, const char *cls)
{
	Attrs a{{"x", num(x)}, {"y", num(y)}};

	if (cls)
		a.emplace_back("class", cls);
	return start("text", a);
}

std::string
translate(double x, double y)
{
	std::string t = "translate(";

	t += num(x);
	t += ',';
	t += num(y);
	t += ')';
	return t;
}

std::string
signal_words(const Timeline &t, const Lane::Signal &s)
{
	std::string w = signal_name(s.sig);

	switch (s.origin) {
	case Event::Origin::alarm:
		return w + ": its alarm";
	case Event::Origin::fault:
		return w + " at " + address(s.addr);
	case Event::Origin::kill:
		return w + " from " + role_of(t, s.from);
	case Event::Origin::terminal:
		return w + " from the terminal";
	case Event::Origin::kernel:
		break;
	}
	return w;
}

std::string
exec_words(const Lane::Exec &e)
{
	std::string w = "exec " + base_name(e.program);
	if (e.error)
		w.append(" failed: ").append(strerrorname_np(e.error));
	return w;
}

std::string
end_words(const Lane &l)
{
	if (l.end.how == End::How::exited)
		return "exit " + std::to_string(l.end.value);
	return (l.by_trace ? "killed by trace: " : "killed: ") +
	    signal_name(l.end.value);
}

std::string
tick_label(long long us, long long step)
{
	int digits = 0;

	if (us < 1000000 && step < 1000000) {
		for (long long s = step; s < 1000; s *= 10)
			digits++;
		return in_unit(us, Unit::ms, digits);
	}
	for (long long s = step; s < 1000000; s *= 10)
		digits++;
	return in_unit(us, Unit::s, digits);
}
