// The memory demos: the addresses they show, the one heap block heapwalk
// owns and never writes past, and the fault faultcatch catches.
#include <regex>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

const std::regex p_line("\tp: (0x[0-9a-f]+)\n");
const std::regex walk_line("\tProgram code -- p address: (0x[0-9a-f]+), "
    "p value: (0x[0-9a-f]+), \\*p: 0\n");

// The address of p that a run's first two lines show; "" if they are not
// the heading and the "p:" line.
std::string
p_address(const Result &r)
{
	std::smatch m;

	if (r.lines.size() < 2 || r.lines[0] != "Addresses:\n" ||
	    !std::regex_match(r.lines[1], m, p_line))
		return "";
	return m[1];
}

// A whole heapwalk run: the walk line shows p where the "p:" line does
// and 0 in the block. Returns the block's address as shown.
std::string
expect_walk(const Result &r)
{
	std::smatch m;

	EXPECT_EQ(r.end, End::exited(0));
	if (r.lines.size() != 3 || p_address(r).empty() ||
	    !std::regex_match(r.lines[2], m, walk_line)) {
		ADD_FAILURE() << "not the lines of a walk:\n" << r.out;
		return "";
	}
	EXPECT_EQ(m[1], p_address(r));
	EXPECT_NE(m[2], m[1]);
	return m[2];
}

Options
watching_malloc(const std::string &variable)
{
	Options o;
	o.env = {{"LD_PRELOAD", built("tests/libmallocwatch.so")}, {variable, "4"}};
	return o;
}

TEST(Heapwalk, ShowsThePointerAndTheBlockItGets)
{
	Result r = run("heapwalk", watching_malloc("MALLOC_TELL_SIZE"));
	std::string block = expect_walk(r);
	EXPECT_EQ(r.err, "malloc(4) = " + block + "\n");
}

TEST(Heapwalk, StoresNothingPastItsBlock)
{
	// A sanitized build checks its own accesses, and valgrind cannot run
	// it.
	Result r;
	if (built_sanitized) {
		r = run("heapwalk");
	} else {
		Options o;
		o.args = {"-q", "--error-exitcode=99", "--leak-check=full",
		    program_path("heapwalk")};
		r = run(VALGRIND_PATH, o);
	}
	expect_walk(r);
	EXPECT_EQ(r.err, "");
}

TEST(Heapwalk, FailedMallocIsReportedOnDescriptorTwo)
{
	Result r = run("heapwalk", watching_malloc("MALLOC_FAIL_SIZE"));
	EXPECT_EQ(r.lines.size(), 2u);
	EXPECT_NE(p_address(r), "") << r.out;
	EXPECT_EQ(r.err, "ERROR en el malloc\n");
	EXPECT_EQ(r.end, End::exited(1));
}

const std::string caught = "Error: segmentation fault\n";

TEST(Faultcatch, CatchesItsOwnFaultAndEndsWithTwo)
{
	Result r = run("faultcatch");
	ASSERT_EQ(r.lines.size(), 3u) << r.out;
	EXPECT_NE(p_address(r), "") << r.out;
	EXPECT_EQ(r.lines[2], caught);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(2));
}

// A SIGSEGV from outside, as the first line is written, before the
// program's own fault: handled the same way.
TEST(Faultcatch, CatchesASignalFromOutsideTheSameWay)
{
	Options o;
	o.fault = Fault{"write", "", "SIGSEGV", 1};
	Result r = run("faultcatch", o);
	EXPECT_EQ(r.lines, (std::vector<std::string>{"Addresses:\n", caught}));
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(2));
}

} // namespace
