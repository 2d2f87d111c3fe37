// proclab predict from outside: an order of each quick demo judged with
// the right cause named, letters that name no order refused, a quiz whose
// every answer the judge agrees with, and one round on a terminal.
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

Result
predict(std::vector<std::string> args)
{
	Options o;
	o.args = {"predict"};
	o.args.insert(o.args.end(), args.begin(), args.end());
	return run("proclab", o);
}

struct Row {
	const char *demo, *allowed, *broken, *cause;
};

// Letters as --lines gives them: each process's lines in turn, P first.
const Row rows[] = {
	{"tworoles", "ADBEC", "DABCE",
	    "D cannot come before A: a child cannot write before the fork"},
	{"tworoles", "ABDCE", "ABCED",
	    "E cannot come before D: one process writes its lines in the order"},
	{"childquits", "ABDC", "DABC", "a child cannot write before the fork"},
	{"busychild", "ADBEC", "AEBCD", "E cannot come before D"},
	{"patientparent", "ABDEC", "ABDCE",
	    "C cannot come before E: P waits for C1 in waitpid"},
	{"copyview", "ABEFCD", "ABEDCF", "D cannot come before C"},
	{"copyedit", "AEBFCD", "ABECDF",
	    "C cannot come before F: P waits for C1 in waitpid"},
	{"funcview", "ABECDF", "EABCDF", "before the fork that made it"},
	{"becometwin", "ACB", "CAB", "a child cannot write before the fork"},
	{"twinspeak", "BA", nullptr, nullptr},
};

TEST(Predict, EachQuickDemoJudgedWithItsCause)
{
	for (const Row &r : rows) {
		SCOPED_TRACE(r.demo);
		Result ok = predict({r.demo, "--order", r.allowed, "--runs", "0"});
		EXPECT_EQ(ok.end, End::exited(0)) << ok.out << ok.err;
		EXPECT_TRUE(holds(ok.out, "allowed by the rules")) << ok.out;
		if (!r.broken)
			continue;
		Result no = predict({r.demo, "--order", r.broken, "--runs", "0"});
		EXPECT_EQ(no.end, End::exited(1)) << no.err;
		EXPECT_TRUE(holds(no.out, "not allowed")) << no.out;
		EXPECT_TRUE(holds(no.out, r.cause)) << no.out;
	}
}

// Real runs back the answer: how often it came, and the orders that did,
// their runs adding up.
TEST(Predict, RealRunsBackTheAnswer)
{
	Result r = predict({"tworoles", "--order", "ABCDE", "--runs", "20"});
	ASSERT_EQ(r.end, End::exited(0)) << r.err;
	EXPECT_TRUE(holds(r.out, "In 20 real runs it ")) << r.out;
	static const std::regex came(R"(  [A-E]{5} +([0-9]+) runs? )");
	int runs = 0;
	for (const std::string &l : r.lines)
		if (std::smatch m; std::regex_search(l, m, came))
			runs += std::stoi(m[1]);
	EXPECT_EQ(runs, 20) << r.out;
}

TEST(Predict, LettersThatNameNoOrderAreAUsageError)
{
	for (const char *order : {"ABCDA", "ABCD", "ABCDEZ", "AB1DE", ""}) {
		Result r = predict({"tworoles", "--order", order});
		EXPECT_EQ(r.end, End::exited(2)) << order << r.out;
		EXPECT_TRUE(r.err.starts_with("proclab: predict")) << r.err;
	}
	EXPECT_EQ(predict({"lonetimer", "--lines"}).end, End::exited(2));
	EXPECT_EQ(predict({"tworoles", "funcview"}).end, End::exited(2));
}

// The same seed gives the same sheet, with outputs of both kinds, and
// the judge agrees with every answer of its key.
TEST(Predict, QuizKeyAgreesWithTheJudge)
{
	Result a = predict({"funcview", "--quiz", "8", "--seed", "5",
	    "--answers"});
	ASSERT_EQ(a.end, End::exited(0)) << a.err;
	EXPECT_EQ(predict({"funcview", "--quiz", "8", "--seed", "5",
	    "--answers"}).out, a.out);
	EXPECT_NE(predict({"funcview", "--quiz", "8", "--seed", "6"}).out,
	    a.out.substr(0, a.out.find("## Key")));
	static const std::regex item(R"(([0-9]+)\. ([A-F]+): (possible|impossible))");
	int possible = 0, impossible = 0;
	for (const std::string &l : a.lines) {
		std::smatch m;
		if (!std::regex_search(l, m, item))
			continue;
		bool ok = m[3] == "possible";
		(ok ? possible : impossible)++;
		EXPECT_EQ(predict({"funcview", "--order", m[2], "--runs", "0"})
		    .end, End::exited(ok ? 0 : 1)) << l;
	}
	EXPECT_EQ(possible + impossible, 8);
	EXPECT_GT(impossible, 0);
	EXPECT_GT(possible, 0);
}

// reaper's orders are too many to write out: the quiz asks which of two
// lines comes first, and a greeting always comes after its creation.
TEST(Predict, ManyOrdersAskWhichOfTwoComesFirst)
{
	Result r = predict({"reaper", "--quiz", "12", "--answers"});
	ASSERT_EQ(r.end, End::exited(0)) << r.err;
	EXPECT_TRUE(holds(r.out, "which line comes first?")) << r.out;
	EXPECT_TRUE(holds(r.out, "either: no rule orders them.")) << r.out;
	EXPECT_TRUE(holds(r.out, "always the")) << r.out;
	EXPECT_TRUE(holds(r.out, "a child cannot write before the fork")) <<
	    r.out;
}

// One round on a terminal: the lines, an order, its answer, the score.
TEST(Predict, OneRoundOnATerminal)
{
	const std::string keys[] = {"A D B C E\n", "q\n"};
	std::size_t asked = 0;
	std::string shown = on_terminal({program_path("proclab"), "predict",
	    "tworoles", "--runs", "0"}, 0, false,
	    [&](const std::string &sofar, int tty) {
		if (asked < 2 && sofar.ends_with("q to quit): ")) {
			const std::string &k = keys[asked++];
			EXPECT_EQ(write(tty, k.data(), k.size()),
			    static_cast<ssize_t>(k.size()));
		}
	}).shown;
	EXPECT_TRUE(holds(shown, "pid = fork();")) << shown;
	EXPECT_TRUE(holds(shown, "E  Los DOS: Soy el proceso C1")) << shown;
	EXPECT_TRUE(holds(shown, "ADBCE: allowed by the rules, one of the 6"))
	    << shown;
	EXPECT_TRUE(holds(shown, "Orders you gave: 1; allowed by the rules: 1."))
	    << shown;
}

} // namespace
