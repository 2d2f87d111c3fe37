// The commands' options, made from their tables: see options.h.
#include "options.h"

namespace {

// "  -n, --runs RUNS", as the help shows the option.
std::string
head(const OptionTable &t, const Opt &o)
{
	std::string h = "  ";

	if (o.letter == Letter::shown)
		h += std::string("-") + static_cast<char>(o.key) + ", ";
	else if (t.letter_column)
		h += "    ";
	h += std::string("--") + o.name;
	if (*o.value)
		h += (o.arg == optional_argument ? "" : " ") + std::string(
		    o.value);
	return h;
}

} // namespace

std::string
options_help(const OptionTable &t)
{
	std::string text;

	for (const Opt &o : t.rows) {
		std::string h = head(t, o);
		// A head that reaches the words has them on the next line.
		if (h.size() >= t.column)
			h += "\n" + std::string(t.column, ' ');
		else
			h.resize(t.column, ' ');
		text += h;
		for (const char *c = o.help; *c; c++)
			text += *c == '\n' ? "\n" + std::string(t.column, ' ') :
			    std::string(1, *c);
		text += "\n";
	}
	return text;
}

Getopt::Getopt(const OptionTable &t) : letters(t.flags)
{
	for (const Opt &o : t.rows) {
		if (o.letter != Letter::none) {
			letters += static_cast<char>(o.key);
			if (o.arg == required_argument)
				letters += ':';
		}
		longs.push_back({o.name, o.arg, nullptr, o.key});
	}
	longs.push_back({nullptr, 0, nullptr, 0});
}

const Opt *
spelled_out(const OptionTable &t, std::string_view arg)
{
	for (const Opt &o : t.rows) {
		bool letter = o.letter != Letter::none && arg.size() == 2 &&
		    arg[0] == '-' && arg[1] == o.key;
		bool name = arg.starts_with("--") && arg.substr(2) == o.name;
		if (letter || name)
			return &o;
	}
	return nullptr;
}
