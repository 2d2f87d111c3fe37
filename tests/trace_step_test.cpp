// trace --step and --pace. Stepped through a pseudo-terminal of the
// test's own, a run writes the lines a plain run writes and ends as it
// does, and each key shows one event, a line the program wrote just
// before its own event; c lets the run go to its end, q ends it as
// Ctrl-C would. Without a terminal --step is refused; paced, a run is a
// plain run.
#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

const std::string prompt = "-- Enter: next event   c: run to the end   "
    "q: end the run --";

// What trace showed on its terminal, cut at each prompt: steps.back()
// came after the last; and the status it exited with.
struct Stepped {
	std::vector<std::vector<std::string>> steps;
	int status = -1;
};

// Its lines, without the terminal's carriage returns and the prompt's
// erasing.
std::vector<std::string>
screen_lines(const std::string &shown)
{
	static const std::regex erased("\r|\033\\[K");
	std::istringstream in(std::regex_replace(shown, erased, ""));
	std::vector<std::string> v;
	for (std::string line; std::getline(in, line);)
		v.push_back(line);
	return v;
}

// Runs trace with args on a new terminal, without colours, answering its
// prompts with keys in turn, then with Enter.
Stepped
step_through(const std::vector<std::string> &args, const std::string &keys)
{
	std::vector<std::string> argv = {program_path("trace")};
	argv.insert(argv.end(), args.begin(), args.end());
	Stepped s;
	std::size_t asked = 0;
	OnTerminal t = on_terminal(argv, 0, true,
	    [&](std::string &shown, int tty) {
		for (std::size_t at; (at = shown.find(prompt)) !=
		    std::string::npos; asked++) {
			s.steps.push_back(screen_lines(shown.substr(0, at)));
			shown.erase(0, at + prompt.size());
			char key = asked < keys.size() ? keys[asked] : '\n';
			EXPECT_EQ(write(tty, &key, 1), 1);
		}
	});
	s.steps.push_back(screen_lines(t.shown));
	s.status = WIFEXITED(t.status) ? WEXITSTATUS(t.status) : -1;
	return s;
}

// A line of the report, not of the program: "   1.234 ms  ...".
bool
event_line(const std::string &line)
{
	static const std::regex event(" +~?[0-9]+\\.[0-9]{3} ms  .*");
	return std::regex_match(line, event);
}

// The text of a line event, "" for any other.
std::string
line_event_text(const std::string &line)
{
	static const std::regex tagged(" +~?[0-9]+\\.[0-9]{3} ms  "
	    "(P|C[0-9]+) +[0-9]+ \\| (.*)");
	std::smatch m;
	return std::regex_match(line, m, tagged) ? m[2].str() : "";
}

// Lines as two runs share them: sorted, without their writers' numbers.
std::vector<std::string>
shared(std::vector<std::string> lines)
{
	for (auto &l : lines)
		l = without_number(l);
	std::sort(lines.begin(), lines.end());
	return lines;
}

std::vector<std::string>
plain_lines(const std::string &program)
{
	Result r = run(program);
	EXPECT_EQ(r.end, End::exited(0));
	return shared(r.lines);
}

// Each key shows one event; a line of the program comes just before its
// own event, and no other step shows one.
TEST(TraceStep, OneEventPerKeyEachLineWithItsEvent)
{
	for (const char *demo : {"tworoles", "funcview"}) {
		Stepped s = step_through({"--step", demo}, "");
		ASSERT_GE(s.steps.size(), 2U) << demo;
		EXPECT_EQ(s.status, 0) << demo;
		std::vector<std::string> written;
		for (std::size_t i = 0; i < s.steps.size(); i++) {
			std::vector<std::string> events, rest;
			for (const auto &l : s.steps[i])
				(event_line(l) ? events : rest).push_back(l);
			if (i + 1 == s.steps.size()) {
				EXPECT_TRUE(events.empty()) << demo;
				ASSERT_FALSE(rest.empty()) << demo;
				EXPECT_EQ(rest.back(), "Exit status 0") << demo;
				continue;
			}
			ASSERT_EQ(events.size(), 1U) << demo << " step " << i;
			if (i == 0)
				continue;	// the note on the times
			std::string text = line_event_text(events[0]);
			std::vector<std::string> want;
			if (!text.empty())
				want.push_back(text);
			EXPECT_EQ(rest, want) << demo << " step " << i;
			written.insert(written.end(), rest.begin(), rest.end());
		}
		EXPECT_EQ(shared(written), plain_lines(demo)) << demo;
	}
}

struct Let {
	std::string name;
	std::string keys;
	int status;
	std::string last;	// the last line trace shows

	friend void PrintTo(const Let &l, std::ostream *os) { *os << l.name; }
};

const Let lets[] = {
	{"ToTheEnd", "c", 0, "Exit status 0"},
	{"EndedAsCtrlCWould", "q", 130, "Exit status 130: 128 + SIGINT"},
	{"EndedByCtrlC", "\3", 130, "Exit status 130: 128 + SIGINT"},
};

class TraceLetGo : public testing::TestWithParam<Let> {};

// After the first key no more are asked for.
TEST_P(TraceLetGo, NoMoreKeys)
{
	const Let &c = GetParam();
	Stepped s = step_through({"--step", "tworoles"}, c.keys);

	EXPECT_EQ(s.status, c.status);
	ASSERT_EQ(s.steps.size(), 2U);
	ASSERT_FALSE(s.steps[1].empty());
	EXPECT_EQ(s.steps[1].back(), c.last);
}

INSTANTIATE_TEST_SUITE_P(Trace, TraceLetGo, testing::ValuesIn(lets),
    [](const testing::TestParamInfo<Let> &l) { return l.param.name; });

// With no terminal to read keys from (a session of its own has none),
// --step is a usage error.
TEST(TraceStep, NoTerminalRefused)
{
	Options o;
	o.args = {"-w", program_path("trace"), "--step", "tworoles"};
	Result r = run("/usr/bin/setsid", o);

	EXPECT_EQ(r.end, End::exited(2));
	EXPECT_TRUE(r.err.starts_with("trace: --step reads its keys from a "
	    "terminal, and there is none here")) << r.err;
}

TEST(TraceStep, PacedRunIsAPlainRun)
{
	Options o;
	o.args = {"--pace", "0.01", "tworoles"};
	o.runs_tracer = true;
	Result r = run("trace", o);

	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_EQ(shared(r.lines), plain_lines("tworoles"));
	EXPECT_TRUE(holds(r.err, "\nExit status 0\n")) << r.err;
}

} // namespace
