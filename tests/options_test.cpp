// The commands' options as their tables make them: the help's lines,
// laid out as the help always was, getopt's letters and long options,
// and an option looked up as written whole.
#include <cstring>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "options.h"

namespace {

const Opt rows[] = {
	{'n', Letter::shown, "runs", required_argument, "RUNS",
	    "make RUNS runs\nmany"},
	{'d', Letter::none, "demos", no_argument, "", "list them"},
	{'f', Letter::none, "format", required_argument, "FORMAT", "text"},
	{'s', Letter::shown, "source", optional_argument, "[=code]", "where"},
	{'q', Letter::unshown, "quiz", required_argument, "N", "a sheet"},
};

struct Layout {
	const char *name;
	bool letter_column;
	std::string help;
};

// The help's rule: the words start at column 21, unless the option
// reaches it; a further line of words starts there too.
const Layout layouts[] = {
	{"SetIn", true,
	    "  -n, --runs RUNS    make RUNS runs\n"
	    "                     many\n"
	    "      --demos        list them\n"
	    "      --format FORMAT\n"
	    "                     text\n"
	    "  -s, --source[=code]\n"
	    "                     where\n"
	    "      --quiz N       a sheet\n"},
	{"Flush", false,
	    "  -n, --runs RUNS    make RUNS runs\n"
	    "                     many\n"
	    "  --demos            list them\n"
	    "  --format FORMAT    text\n"
	    "  -s, --source[=code]\n"
	    "                     where\n"
	    "  --quiz N           a sheet\n"},
};

TEST(Options, HelpLaidOutInColumns)
{
	for (const Layout &l : layouts)
		EXPECT_EQ(options_help({rows, 21, l.letter_column, "+:"}),
		    l.help) << l.name;
}

// A letter takes a value only when the option must have one: -s alone
// is --source without =code. Letters the help leaves out still work.
TEST(Options, GetoptIsGivenEveryRow)
{
	Getopt g({rows, 21, true, "+:"});

	EXPECT_EQ(g.letters, "+:n:sq:");
	ASSERT_EQ(g.longs.size(), std::size(rows) + 1);
	for (std::size_t i = 0; i < std::size(rows); i++) {
		EXPECT_STREQ(g.longs[i].name, rows[i].name);
		EXPECT_EQ(g.longs[i].has_arg, rows[i].arg) << rows[i].name;
		EXPECT_EQ(g.longs[i].flag, nullptr);
		EXPECT_EQ(g.longs[i].val, rows[i].key);
	}
	EXPECT_EQ(g.longs.back().name, nullptr);
	EXPECT_EQ(g.longs.back().val, 0);
}

// As proclab reads its own: written whole, no abbreviation, no value.
TEST(Options, SpelledOutWhole)
{
	const OptionTable t{rows, 21, true, ""};
	const std::pair<std::string_view, int> args[] = {
		{"-n", 'n'}, {"--runs", 'n'}, {"-q", 'q'}, {"--demos", 'd'},
		{"-d", 0}, {"--run", 0}, {"--runs=3", 0}, {"-nq", 0},
		{"runs", 0}, {"-", 0}, {"--", 0}, {"", 0},
	};
	for (auto [arg, key] : args) {
		const Opt *o = spelled_out(t, arg);
		EXPECT_EQ(o ? o->key : 0, key) << arg;
	}
}

} // namespace
