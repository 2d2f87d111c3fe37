// The busy counts of reaper and busychild really run, every increment:
// counted under valgrind's lackey, which tells for each process how many
// conditional branches it carried out. Each pass of a count's loop is one
// such branch whatever the compiler made of it, since the counter is
// volatile, and the figure is the same on an idle or a loaded machine.
// Label memcheck, with the other valgrind runs.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

struct Count {
	std::string program;
	// The busy process: the one started if empty, else the child whose
	// line starts with this and ends with its number.
	std::string busy_line;
	std::int64_t passes;	// the loop's test, run once more than its body
	// What else the busy process may do after the fork beyond the other
	// one: a few hundred branches at -O0 to -O3, with g++ or clang++.
	std::int64_t slack;
	std::size_t processes;

	friend void PrintTo(const Count &c, std::ostream *os)
	{
		*os << c.program;
	}
};

const Count counts[] = {
	{"reaper", "", 50000001, 5000, 11},
	{"busychild", "HIJO: ", 10001, 1000, 2},
};

// Each process's count of conditional branches, from lackey's summary
// ("==PID== Jccs:" and, from the same process, "==PID==   total: N").
std::map<pid_t, std::int64_t>
branches(const std::string &err)
{
	std::map<pid_t, std::int64_t> total;
	std::map<pid_t, bool> next;
	std::istringstream in(err);
	for (std::string line; std::getline(in, line);) {
		if (!line.starts_with("==") || line.find("== ", 2) ==
		    std::string::npos)
			continue;
		pid_t pid = std::stoi(line.substr(2));
		std::string rest = line.substr(line.find("== ", 2) + 3);
		if (next[pid] && rest.find("total:") != std::string::npos) {
			std::string digits;
			for (char ch : rest)
				if (ch >= '0' && ch <= '9')
					digits += ch;
			total[pid] = std::stoll(digits);
		}
		next[pid] = rest == "Jccs:";
	}
	return total;
}

class BusyCount : public testing::TestWithParam<Count> {};

// A forked process's count goes on from its parent's at the fork, so the
// other process's count takes away the start-up both ran; what is left is
// the loop and the few calls in which the two differ. Of reaper's
// children the first made ran least of its parent's work.
TEST_P(BusyCount, EveryPassOfTheLoopIsMade)
{
	const Count &c = GetParam();
	Options o;
	o.args = {"--tool=lackey", "--trace-children=yes",
	    program_path(c.program)};
	o.timeout_ms = 120000;
	Result r = run(VALGRIND_PATH, o);
	ASSERT_EQ(r.end, End::exited(0)) << r.err;
	pid_t busy = r.pid;
	for (const std::string &line : r.lines)
		if (!c.busy_line.empty() && line.starts_with(c.busy_line))
			busy = static_cast<pid_t>(trailing_number(line));
	std::map<pid_t, std::int64_t> total = branches(r.err);
	ASSERT_EQ(total.size(), c.processes) << r.err;
	ASSERT_TRUE(total.contains(busy)) << busy << "\n" << r.err;
	std::int64_t least = std::numeric_limits<std::int64_t>::max();
	for (const auto &[pid, n] : total)
		if (pid != busy)
			least = std::min(least, n);
	std::int64_t own = total[busy] - least;
	EXPECT_GE(own, c.passes) << r.err;
	EXPECT_LE(own, c.passes + c.slack) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Programs, BusyCount, testing::ValuesIn(counts),
    [](const testing::TestParamInfo<Count> &c) { return c.param.program; });

} // namespace
