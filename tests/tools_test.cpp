// The two tools that read what they are given: argecho its command line,
// binprint four raw bytes of its input.
#include <gtest/gtest.h>

#include "harness.h"

using namespace std::string_literals;

namespace {

struct Listing {
	std::string name;
	std::vector<std::string> args;
	std::optional<std::string> argv0;	// else started by its path

	friend void PrintTo(const Listing &l, std::ostream *os) { *os << l.name; }
};

const std::string long_name(1000, 'n');

const Listing listings[] = {
	{"TwoArguments", {"a", "b"}, {}},
	{"NumbersPastNine", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j",
	    "k", "l"}, {}},
	{"LongArgument", {std::string(100000, 'x')}, {}},
	{"FormatsAndBlanksVerbatim", {"%s%n", " dos  blancos ", "%d%p%%"}, {}},
	{"EmptyArguments", {"", "b", ""}, {}},
	{"LongName", {"a"}, long_name},
};

class Argecho : public testing::TestWithParam<Listing> {};

// One line per entry, each whole and each one write(2).
TEST_P(Argecho, ListsEveryEntryWhole)
{
	const Listing &l = GetParam();
	Options o;
	o.args = l.args;
	o.argv0 = l.argv0;
	o.trace_writes = !l.argv0;
	Result r = run("argecho", o);
	std::string want = "El argumento 0 es " +
	    l.argv0.value_or(program_path("argecho")) +
	    " (es el nombre del ejecutable)\n";
	for (std::size_t i = 0; i < l.args.size(); i++)
		want += "El argumento " + std::to_string(i + 1) + " es " +
		    l.args[i] + "\n";
	EXPECT_EQ(r.out, want);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(0));
	if (o.trace_writes) {
		EXPECT_EQ(r.writes.size(), l.args.size() + 1);
	}
}

INSTANTIATE_TEST_SUITE_P(Listings, Argecho, testing::ValuesIn(listings),
    [](const testing::TestParamInfo<Listing> &l) { return l.param.name; });

TEST(Argecho, NameAloneGetsUsageAndOne)
{
	for (const std::string &name : {program_path("argecho"), long_name}) {
		Options o;
		o.argv0 = name;
		Result r = run("argecho", o);
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(r.err, "Usage: " + name + " par1, [par2,...,parn]\n"
		    "Este programa escribe por pantalla los parametros que "
		    "recibe\n");
		EXPECT_EQ(r.end, End::exited(1));
	}
}

// A line too long for the buffer needs a block of its own; without one
// the line is not written in part.
TEST(Argecho, NoRoomForALongLineIsAnError)
{
	Options o;
	o.args = {"uno", std::string(100000, 'x')};
	o.env = {{"LD_PRELOAD", MALLOCWATCH_PATH},
	    {"MALLOC_FAIL_SIZE", std::to_string(100000 + 20)}};
	Result r = run("argecho", o);
	EXPECT_EQ(r.lines, (std::vector<std::string>{"El argumento 0 es " +
	    program_path("argecho") + " (es el nombre del ejecutable)\n",
	    "El argumento 1 es uno\n"}));
	EXPECT_EQ(r.err, "malloc: Cannot allocate memory\n");
	EXPECT_EQ(r.end, End::exited(1));
}

struct Bytes {
	std::string in;
	std::string out;
};

const Bytes values[] = {
	{"\x01\x00\x00\x00"s, "1\n"},
	{"\x00\x01\x00\x00"s, "256\n"},
	{"\xff\xff\xff\xff"s, "-1\n"},
	{"\x00\x00\x00\x80"s, "-2147483648\n"},
	{"\xff\xff\xff\x7f"s, "2147483647\n"},
	{"1234", "875770417\n"},
	{"\x05\x00\x00\x00\x07\x08"s, "5\n"},
	// Input that ends early: the missing bytes count as 0.
	{"\x01\x02"s, "513\n"},
	{"", "0\n"},
};

TEST(Binprint, PrintsTheFourBytesAsOneInt)
{
	for (const Bytes &b : values) {
		Options o;
		o.input = b.in;
		Result r = run("binprint", o);
		EXPECT_EQ(r.out, b.out) << testing::PrintToString(b.in);
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.end, End::exited(0));
	}
}

TEST(Binprint, LeavesWhatFollowsForTheNextReader)
{
	Options o;
	o.args = {"-c", "\"$0\"; cat", program_path("binprint")};
	o.input = "\x05\x00\x00\x00\x07\x08"s;
	Result r = run("/bin/sh", o);
	EXPECT_EQ(r.out, "5\n\x07\x08");
	EXPECT_EQ(r.end, End::exited(0));
}

// The second piece is written only once the program has taken the first
// out of the pipe, so its first read cannot return all four bytes.
TEST(Binprint, WaitsForBytesThatComeInPieces)
{
	Options o;
	o.more_input = true;
	Process p("binprint", o);
	p.feed("\x01\x02", false);
	p.feed("\x03\x04", true);
	Result r = p.finish();
	EXPECT_EQ(r.out, "67305985\n");
	EXPECT_EQ(r.end, End::exited(0));
}

} // namespace
