// The two tools that read what they are given: argecho its command line,
// binprint four raw bytes of its input.
#include <gtest/gtest.h>

#include "harness.h"

using namespace std::string_literals;

namespace {

struct Listing {
	std::string name;
	std::vector<std::string> args;
	std::string argv0;

	friend void PrintTo(const Listing &l, std::ostream *os) { *os << l.name; }
};

// Lines are formed in an 80-byte buffer, and in a block of their own from
// 80 bytes on: 19 bytes around an argument ("El argumento 1 es ", then a
// newline), 49 around the name; usage's first line holds 30 besides it.
std::string
named(std::size_t length)
{
	std::string name(length, 'n');
	return name;
}

const std::string long_name = named(1000);

const Listing listings[] = {
	{"TwoArguments", {"a", "b"}, "argecho"},
	{"NumbersPastNine", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j",
	    "k", "l"}, "argecho"},
	{"LongArgument", {std::string(100000, 'x')}, "argecho"},
	{"FormatsAndBlanksVerbatim", {"%s%n", " dos  blancos ", "%d%p%%"},
	    "argecho"},
	{"EmptyArguments", {"", "b", ""}, "argecho"},
	{"LinesOf79To81Bytes", {std::string(60, 'a'),
	    std::string(61, 'b'), std::string(62, 'c')},
	    "argecho"},
	{"NameLineOf79Bytes", {"a"}, named(30)},
	{"NameLineOf80Bytes", {"a"}, named(31)},
	{"NameLineOf81Bytes", {"a"}, named(32)},
	{"LongName", {"a"}, long_name},
};

std::string
listing(const std::string &argv0, const std::vector<std::string> &args)
{
	std::string want = "El argumento 0 es " + argv0 +
	    " (es el nombre del ejecutable)\n";
	for (std::size_t i = 0; i < args.size(); i++)
		want += "El argumento " + std::to_string(i + 1) + " es " +
		    args[i] + "\n";
	return want;
}

class Argecho : public testing::TestWithParam<Listing> {};

TEST_P(Argecho, ListsEveryEntryWhole)
{
	const Listing &l = GetParam();
	Options o;
	o.args = l.args;
	o.argv0 = l.argv0;
	Result r = run("argecho", o);
	EXPECT_EQ(r.out, listing(l.argv0, l.args));
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(0));
}

// One write(2) per line, of the whole line: strace shows the calls, where
// our tracer would join a line's pieces. Under strace the name is the
// path, of whatever length; the arguments' lines are the listing's own.
// strace shows only the first 65536 bytes of a write.
TEST_P(Argecho, EveryLineIsOneWrite)
{
	const Listing &l = GetParam();
	Options o;
	o.args = l.args;
	o.log_calls = "write";
	Result r = run("argecho", o);
	std::vector<std::string> writes;
	for (const Call &c : r.calls)
		if (c.name == "write")
			writes.push_back(string_argument(c.args));
	std::vector<std::string> want = {
	    listing(program_path("argecho"), {})};
	for (std::size_t i = 0; i < l.args.size(); i++)
		want.push_back("El argumento " + std::to_string(i + 1) + " es " +
		    l.args[i] + "\n");
	ASSERT_EQ(writes.size(), want.size()) << r.out;
	for (std::size_t i = 0; i < want.size(); i++)
		EXPECT_EQ(writes[i], want[i].substr(0, 65536)) << i;
	EXPECT_EQ(r.end, End::exited(0));
}

INSTANTIATE_TEST_SUITE_P(Listings, Argecho, testing::ValuesIn(listings),
    [](const testing::TestParamInfo<Listing> &l) { return l.param.name; });

TEST(Argecho, NameAloneGetsUsageAndOne)
{
	for (const std::string &name : {std::string("argecho"), named(49),
	    named(50), named(51), long_name}) {
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

// A line of 80 bytes or more needs a block of its own, of its length and
// its terminating zero; without one the line is not written in part. One
// of 79 fits the buffer and asks for none.
TEST(Argecho, NoRoomForALongLineIsAnError)
{
	const std::size_t lengths[] = {79, 80, 81, 100019};
	for (std::size_t length : lengths) {
		Options o;
		o.argv0 = "argecho";
		o.args = {"uno", std::string(length - 19, 'x')};
		o.env = {{"LD_PRELOAD", built("tests/libmallocwatch.so")},
		    {"MALLOC_FAIL_SIZE", std::to_string(length + 1)}};
		Result r = run("argecho", o);
		if (length < 80) {
			EXPECT_EQ(r.out, listing("argecho", o.args));
			EXPECT_EQ(r.err, "");
			EXPECT_EQ(r.end, End::exited(0));
			continue;
		}
		EXPECT_EQ(r.out, listing("argecho", {"uno"})) << length;
		EXPECT_EQ(r.err, "malloc: Cannot allocate memory\n");
		EXPECT_EQ(r.end, End::exited(1));
	}
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
	for (std::size_t first = 1; first < 4; first++) {
		Options o;
		o.more_input = true;
		Process p("binprint", o);
		std::string bytes = "\x01\x02\x03\x04";
		p.feed(bytes.substr(0, first), false);
		p.feed(bytes.substr(first), true);
		Result r = p.finish();
		EXPECT_EQ(r.out, "67305985\n") << first << " bytes first";
		EXPECT_EQ(r.end, End::exited(0));
	}
}

// What the tools are for must not be lost unnoticed: input that cannot be
// read, or a line that cannot be written, is told on descriptor 2 with
// the call and its reason, and the status is 1; a write that takes part
// of a line is followed by one for the rest. The descriptors are made so
// by a shell that then becomes the tool, by the runner, or by strace,
// whose run names the tool by its path.
struct Failure {
	std::string name;
	std::string program;
	std::vector<std::string> args;
	std::string input;
	std::string redirect;	// the shell's, e.g. "> /dev/full"
	bool close_stdout;
	std::optional<Fault> fault;
	std::string out;
	std::string err;
	int status;

	friend void PrintTo(const Failure &f, std::ostream *os) { *os << f.name; }
};

std::string
traced_listing(const std::vector<std::string> &args)
{
	return listing(program_path("argecho"), args);
}

const Failure failures[] = {
	{"BinprintInputIsAFolder", "binprint", {}, "", "< /", false, {},
	    "", "read: Is a directory\n", 1},
	{"BinprintInputClosed", "binprint", {}, "", "<&-", false, {},
	    "", "read: Bad file descriptor\n", 1},
	{"BinprintOutputFull", "binprint", {}, "\x01\x00\x00\x00"s,
	    "> /dev/full", false, {}, "", "write: No space left on device\n",
	    1},
	{"BinprintOutputClosed", "binprint", {}, "\x01\x00\x00\x00"s, "",
	    true, {}, "", "write: Bad file descriptor\n", 1},
	{"BinprintWriteFails", "binprint", {}, "\x01\x00\x00\x00"s, "",
	    false, Fault{"write", "EIO", "", 1}, "",
	    "write: Input/output error\n", 1},
	// The partial write takes none of the bytes it says it took.
	{"BinprintPartialWrite", "binprint", {}, "\x00\x01\x00\x00"s, "",
	    false, Fault{"write", "", "", 1, "1"}, "56\n", "", 0},
	{"ArgechoOutputFull", "argecho", {"a", "b"}, "", "> /dev/full", false,
	    {}, "", "write: No space left on device\n", 1},
	{"ArgechoOutputClosed", "argecho", {"a", "b"}, "", "", true, {}, "",
	    "write: Bad file descriptor\n", 1},
	// It stops at the first line that fails: "b" never comes.
	{"ArgechoSecondLineFails", "argecho", {"a", "b"}, "", "", false,
	    Fault{"write", "ENOSPC", "", 2}, traced_listing({}),
	    "write: No space left on device\n", 1},
	{"ArgechoPartialWrite", "argecho", {"a", "b"}, "", "", false,
	    Fault{"write", "", "", 2, "3"},
	    traced_listing({}) + "argumento 1 es a\nEl argumento 2 es b\n",
	    "", 0},
};

class ToolsIO : public testing::TestWithParam<Failure> {};

TEST_P(ToolsIO, FailureToldPartialWriteFinished)
{
	const Failure &f = GetParam();
	Options o;
	o.input = f.input;
	o.close_stdout = f.close_stdout;
	o.fault = f.fault;
	std::string program = f.program;
	o.args = f.args;
	if (!f.redirect.empty()) {
		o.args = {"-c", R"(exec "$0" "$@" )" + f.redirect,
		    program_path(f.program)};
		o.args.insert(o.args.end(), f.args.begin(), f.args.end());
		program = "/bin/sh";
	}
	Result r = run(program, o);
	EXPECT_EQ(r.out, f.out);
	EXPECT_EQ(r.err, f.err);
	EXPECT_EQ(r.end, End::exited(f.status));
}

INSTANTIATE_TEST_SUITE_P(Failures, ToolsIO, testing::ValuesIn(failures),
    [](const testing::TestParamInfo<Failure> &f) { return f.param.name; });

} // namespace
