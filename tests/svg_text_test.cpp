// trace --svg on what a line or a write carries: a line's text kept
// exactly in its mark's title, safe for XML, shortened visibly on the
// picture; each message's arrow and each write's mark saying its bytes,
// who wrote them, and to whom or where.
#include <regex>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include <gtest/gtest.h>

#include "harness.h"
#include "svg_geometry.h"

namespace {

// A line's text is kept exactly in its mark's title, made safe for XML,
// bytes that are not UTF-8 shown as \xNN; a long one is shortened
// visibly on the picture.
TEST(SvgText, ExactSafeAndShortened)
{
	Result r = run_trace({"--svg", "-", "/usr/bin/printf",
	    "a\377b <&> \"a\xc3\xb1o\"\n%0100d\n", "7"});
	pugi::xml_document doc;

	ASSERT_TRUE(doc.load_string(r.out.c_str())) << r.out;
	auto lines = doc.select_nodes("//*[@class='line']/title");
	ASSERT_EQ(lines.size(), 2U);
	std::string first = lines[0].node().text().as_string();
	std::string second = lines[1].node().text().as_string();
	EXPECT_TRUE(first.ends_with(": a\\xffb <&> \"a\xc3\xb1o\"")) << first;
	EXPECT_TRUE(second.ends_with(": " + std::string(99, '0') + "7"));
	auto said = doc.select_nodes("//*[@class='said']");
	ASSERT_EQ(said.size(), 2U);
	EXPECT_EQ(std::string(said[1].node().text().as_string()),
	    std::string(55, '0') + "\xe2\x80\xa6");
}

// Each message's arrow, and the mark of each write whose reader is not
// known and of each write to a file, says what it carries: the bytes
// exactly, who wrote them, and to whom or where.
struct Carried {
	std::string name;
	std::vector<std::string> args;	// trace's, after --svg
	std::string marks;	// the class of the marks
	std::string title;	// each one's, as a pattern
	std::size_t count;
	std::size_t arrows;

	friend void PrintTo(const Carried &c, std::ostream *os)
	{
		*os << c.name;
	}
};

const Carried carried[] = {
	// Through a pipe each, read in the other order: each to its reader.
	{"EachToItsReader", {"/usr/bin/python3", "-c", two_pipes_py}, "message",
	    "P sends 5 bytes to (C[12]) through pipe [12] at [0-9.]+ ms: to \\1",
	    2, 2},
	{"NotRead", {"/usr/bin/python3", "-c",
	    "import os\nr, w = os.pipe()\nos.write(w, b'left')\n"}, "sent",
	    "P sends 4 bytes into a pipe, not read in the run at [0-9.]+ ms: "
	    "left", 1, 0},
	{"IntoASocket", {"/usr/bin/python3", "-c", "import socket\n"
	    "a, b = socket.socketpair()\na.send(b'hi')\nb.recv(9)\n"},
	    "sent", "P sends 2 bytes to P through socket pair 1 at [0-9.]+ ms: hi",
	    1, 0},
	{"ToAFile", {"/bin/sh", "-c", "echo hi >/dev/zero"}, "wrote",
	    "P writes 3 bytes to /dev/zero at [0-9.]+ ms: hi\\\\x0a", 1, 0},
	// Past 40 between two lanes, thin lines between the first and last.
	{"Many", {"/bin/sh", "-c", "seq 200000 | wc -l"}, "message",
	    "C1 sends [0-9]+ bytes to C2 through pipe 1 at .*", 2, 2},
};

class SvgBytes : public testing::TestWithParam<Carried> {};

TEST_P(SvgBytes, SayWhatTheyCarry)
{
	const Carried &c = GetParam();
	std::vector<std::string> args{"--svg", "-"};
	args.insert(args.end(), c.args.begin(), c.args.end());
	Result r = run_trace(args);
	pugi::xml_document doc;

	ASSERT_TRUE(doc.load_string(r.out.c_str())) << r.out.substr(0, 400);
	auto titles = doc.select_nodes(("//*[@class='" + c.marks +
	    "']/title").c_str());
	EXPECT_EQ(titles.size(), c.count);
	for (const auto &t : titles) {
		std::string title = t.node().text().as_string();
		EXPECT_TRUE(std::regex_match(title, std::regex(c.title))) << title;
	}
	EXPECT_EQ(doc.select_nodes("//*[@class='message']").size(), c.arrows);
}

INSTANTIATE_TEST_SUITE_P(Svg, SvgBytes, testing::ValuesIn(carried),
    [](const testing::TestParamInfo<Carried> &c) { return c.param.name; });

} // namespace
