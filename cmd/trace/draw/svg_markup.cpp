// The markup every part of the timeline picture writes: elements, path
// data, text made safe for XML. See svg.h.
#include "svg.h"

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
