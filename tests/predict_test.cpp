// proclab predict from outside: an order of each quick demo judged with
// the right cause named, letters that name no order refused, a quiz whose
// every answer the judge agrees with, and one round on a terminal.
#include <unistd.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "demo_rules.h"
#include "harness.h"
#include "order.h"

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
	// A before E too, but through D: the shortest reason is told.
	{"tworoles", "ABCDE", "EADBC",
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

// Past 26 lines the letters go on in lower case, each line its own.
TEST(Predict, ThirtyLinesLetteredAToZThenAToD)
{
	std::string letters;
	for (const std::string &l : predict({"reaper", "--lines"}).lines)
		letters += l.substr(0, 1);
	EXPECT_EQ(letters, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd");
	Result r = predict({"reaper", "--order", "ABx"});
	EXPECT_EQ(r.end, End::exited(2));
	EXPECT_TRUE(holds(r.err, "'x' is not one of the letters A to d\n"))
	    << r.err;
}

// A demo's lines as it writes them, in the order of their letters: each
// role a number of its own.
std::vector<std::string>
written_lines(const std::string &demo)
{
	static const std::regex role(R"(\b(P|C[0-9]+)\b)");
	std::vector<std::string> lines;
	for (const std::string &l : predict({demo, "--lines"}).lines) {
		std::string text = l.substr(3);
		std::string out;
		auto at = text.cbegin();
		for (std::sregex_iterator m(text.begin(), text.end(), role), end;
		    m != end; ++m) {
			out.append(at, (*m)[0].first);
			out += (*m)[1] == "P" ? "100" :
			    std::to_string(100 + std::stoi((*m)[1].str().substr(1)));
			at = (*m)[0].second;
		}
		lines.push_back(out.append(at, text.cend()));
	}
	return lines;
}

// Every order of a small demo's lines: predict allows exactly those the
// order checker finds a way through, and the two letters it names for one
// it refuses come in that order there and the other way round in every
// order allowed.
TEST(Predict, EveryOrderJudgedAsTheCheckerDoes)
{
	for (const char *demo : {"tworoles", "patientparent", "childquits",
	    "busychild", "becometwin"}) {
		SCOPED_TRACE(demo);
		std::vector<std::string> lines = written_lines(demo);
		ASSERT_FALSE(lines.empty());
		std::string order;
		for (std::size_t i = 0; i < lines.size(); i++)
			order += static_cast<char>('A' + i);
		std::vector<std::string> allowed;
		std::vector<std::pair<std::string, std::string>> refused;
		static const std::regex named(
		    R"(([A-Z]) cannot come before ([A-Z]))");
		do {
			std::vector<std::string> written;
			for (char c : order)
				written.push_back(
				    lines[static_cast<std::size_t>(c - 'A')]);
			bool ok = check_order(find_demo(demo)->rules(), written).ok;
			Result r = predict({demo, "--order", order, "--runs", "0"});
			ASSERT_EQ(r.end, End::exited(ok ? 0 : 1)) << order << r.out;
			std::smatch m;
			if (ok) {
				allowed.push_back(order);
				continue;
			}
			ASSERT_TRUE(std::regex_search(r.out, m, named)) << r.out;
			refused.emplace_back(order, m[1].str() + m[2].str());
		} while (std::next_permutation(order.begin(), order.end()));
		for (const auto &[o, pair] : refused) {
			EXPECT_LT(o.find(pair[0]), o.find(pair[1])) << o;
			for (const std::string &a : allowed)
				EXPECT_GT(a.find(pair[0]), a.find(pair[1])) << o
				    << " " << pair << " against " << a;
		}
	}
}

// A whole-output sheet read back: each item's lines, and the key's
// letters by line.
struct Sheet {
	std::vector<std::string> items;	// each item's lines, joined
	std::map<char, std::string> key;	// letter -> line
	std::vector<std::string> answers;	// "ADBCE: possible.", ...
};

Sheet
sheet_of(const Result &r)
{
	Sheet s;
	bool in_item = false, in_key = false;
	for (const std::string &l : r.lines) {
		if (l == "```\n") {
			in_item = !in_item;
			if (in_item && !in_key)
				s.items.emplace_back();
		} else if (l == "Each letter's line:\n")
			in_key = true;
		else if (in_item && in_key)
			s.key[l[0]] = l.substr(3);
		else if (in_item)
			s.items.back() += l;
	}
	static const std::regex answer(
	    R"([0-9]+\. ([A-Za-z]+): ((im)?possible))");
	for (const std::string &l : r.lines)
		if (std::smatch m; std::regex_search(l, m, answer))
			s.answers.push_back(m[1].str() + " " + m[2].str());
	return s;
}

// Each line's letter as --order reads it.
std::map<std::string, char>
order_letters(const std::string &demo)
{
	std::map<std::string, char> by_line;
	for (const std::string &l : predict({demo, "--lines"}).lines)
		by_line[l.substr(3)] = l[0];
	return by_line;
}

// The same seed gives the same sheet, with outputs of both kinds, and
// the judge agrees with every answer of its key, its letters read back
// as --order's through the key's list of lines.
TEST(Predict, QuizKeyAgreesWithTheJudge)
{
	Result a = predict({"funcview", "--quiz", "8", "--seed", "5",
	    "--answers"});
	ASSERT_EQ(a.end, End::exited(0)) << a.err;
	EXPECT_EQ(predict({"funcview", "--quiz", "8", "--seed", "5",
	    "--answers"}).out, a.out);
	EXPECT_NE(predict({"funcview", "--quiz", "8", "--seed", "6"}).out,
	    a.out.substr(0, a.out.find("## Key")));
	Sheet s = sheet_of(a);
	std::map<std::string, char> by_line = order_letters("funcview");
	ASSERT_EQ(s.key.size(), by_line.size()) << a.out;
	int possible = 0, impossible = 0;
	for (const std::string &answer : s.answers) {
		std::string order;
		for (char c : answer.substr(0, answer.find(' ')))
			order += by_line.at(s.key.at(c));
		bool ok = answer.ends_with(" possible");
		(ok ? possible : impossible)++;
		EXPECT_EQ(predict({"funcview", "--order", order, "--runs", "0"})
		    .end, End::exited(ok ? 0 : 1)) << answer << " as " << order;
	}
	EXPECT_EQ(possible + impossible, 8);
	EXPECT_GT(impossible, 0);
	EXPECT_GT(possible, 0);
}

struct QuizRow {
	const char *demo, *n;
	std::size_t items;	// on the sheet: n, or all the demo has
};

// No item twice on a sheet; a demo with fewer than asked gives them all
// and says so. Its letters are not the lines' letters in --lines, which
// follow each process's program order and would give answers away.
const QuizRow quiz_rows[] = {
	{"patientparent", "10", 10},
	{"patientparent", "20", 11},	// 3 allowed orders, 8 slips
	{"tworoles", "10", 10},
	{"twinspeak", "4", 2},
	{"reaper", "30", 30},	// questions on two lines
};

TEST(Predict, QuizAsksEachItemOnce)
{
	for (const QuizRow &q : quiz_rows) {
		SCOPED_TRACE(std::string(q.demo) + " --quiz " + q.n);
		Result r = predict({q.demo, "--quiz", q.n, "--answers"});
		ASSERT_EQ(r.end, End::exited(0)) << r.err;
		EXPECT_EQ(r.err.empty(), std::to_string(q.items) == q.n) <<
		    r.err;
		// An item: its two lines to order, or its whole output.
		static const std::regex item(
		    R"(## [0-9]+\n\n((- .*\n)+|```\n[^`]*```\n))");
		std::set<std::string> asked;
		std::size_t items = 0;
		for (std::sregex_iterator m(r.out.begin(), r.out.end(), item),
		    end; m != end; ++m, items++)
			EXPECT_TRUE(asked.insert((*m)[1]).second) << (*m)[0];
		EXPECT_EQ(items, q.items) << r.out;
		Sheet s = sheet_of(r);
		if (s.key.size() < 5)
			continue;	// few letters may well fall in order
		std::map<char, std::string> in_order;
		for (const auto &[line, c] : order_letters(q.demo))
			in_order[c] = line;
		EXPECT_NE(s.key, in_order) << r.out;
	}
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
