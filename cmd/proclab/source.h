// proclab source: a demo's source file as it is shown, each line after
// its number. Piped, the lines are the file's, byte for byte, after the
// number and a tab; on a terminal they fit 80 columns and are lightly
// highlighted.
#ifndef SOURCE_H
#define SOURCE_H

#include <string>
#include <string_view>

struct View {
	bool terminal = false;	// tabs as four columns, and the note
	bool color = false;	// escape sequences for the highlight
};

// The text with its lines numbered from 1, as view says.
std::string numbered(std::string_view text, View view);

#endif
