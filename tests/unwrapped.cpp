// trace's report with its sentences made whole again: a sentence that
// ran past the width goes on, indented, on the lines below it.
#include <string>

#include "harness.h"

std::string
unwrapped(const std::string &report)
{
	std::string whole;
	std::size_t from = 0;

	for (std::size_t nl; (nl = report.find('\n', from)) !=
	    std::string::npos; from = nl + 1) {
		std::string line = report.substr(from, nl - from);
		std::size_t text = line.find_first_not_of(' ');
		bool more = text != std::string::npos && text >= 16 &&
		    line.compare(text, 2, "- ") != 0 && !whole.empty();
		if (more)
			whole.back() = ' ';
		whole += more ? line.substr(text) : line;
		whole += '\n';
	}
	return whole + report.substr(from);
}
