// The splitting demos: which lines, in which orders, from which process,
// and how every process ends.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "order.h"

namespace {

const std::string before = "Antes del fork: Soy el proceso {P}\n";
const std::string failed = "Se ha prodcido une error\n";
const std::string only_parent = "Solo lo ejecuta el padre: Soy el proceso {P}\n";

struct Demo {
	std::string name;
	Rules (*rules)();		// after a successful fork
	std::vector<std::string> alone;	// after a failed fork
	bool reaps_child;		// else the child comes back to us
	int max_runs;			// caps the repeats of every test

	friend void PrintTo(const Demo &d, std::ostream *os) { *os << d.name; }
};

Rules
parent_and_child(std::vector<std::string> parent, std::vector<std::string> child)
{
	Rules r;
	r.proc("P", std::move(parent)).proc("C1", std::move(child));
	return r.forks("P", 0, "C1");
}

const std::vector<std::string> busy_child = {"HIJO: Soy el proceso {C1}\n",
    "HIJO acaba: Soy el proceso {C1}\n"};

// A parent that waits between its role line and its variable line.
Rules
copies(const std::string &child_values)
{
	return parent_and_child({before, "PADRE: Soy el proceso {P}\n",
	    "PADRE:La variable_global vale A y la local a\n", only_parent},
	    {"HIJO: Soy el proceso {C1}\n", "HIJO:La variable_global vale " +
	    child_values + "\n"}).waits("P", 2, "C1");
}

// A role line, then 100000 variable lines whose letter steps up from
// `first` every 10000 lines.
std::vector<std::string>
writer(const std::string &name, char first)
{
	std::vector<std::string> lines = {name + ": Soy el proceso {" +
	    (name == "PADRE" ? "P" : "C1") + "}\n"};
	for (int k = 0; k < 100000; k++)
		lines.push_back(name + ":La variable_global vale " +
		    static_cast<char>(first + k / 10000) + "\n");
	return lines;
}

Rules
interleaved()
{
	std::vector<std::string> parent = writer("PADRE", 'b');
	parent.insert(parent.begin(), before);
	parent.push_back(only_parent);
	return parent_and_child(parent, writer("HIJO", 'B'));
}

const std::string funcion = "Funcion:La variable_global vale A y la local a\n";

const Demo demos[] = {
	{"twinspeak", [] {
		return Rules().proc("P", {"Soy el proceso {P}\n"})
		    .proc("C1", {"Soy el proceso {C1}\n"});
	}, {"Soy el proceso {P}\n"}, false, 50},
	{"tworoles", [] {
		return parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		    "Los DOS: Soy el proceso {P}\n"},
		    {"HIJO: Soy el proceso {C1}\n",
		    "Los DOS: Soy el proceso {C1}\n"});
	}, {before, failed, "Los DOS: Soy el proceso {P}\n"}, false, 50},
	{"childquits", [] {
		return parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		    only_parent}, {"HIJO: Soy el proceso {C1}\n"});
	}, {before, failed, only_parent}, false, 50},
	{"busychild", [] {
		return parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		    only_parent}, busy_child);
	}, {before, failed, only_parent}, false, 50},
	{"patientparent", [] {
		return parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		    only_parent}, busy_child).waits("P", 2, "C1");
	}, {before, failed, only_parent}, true, 50},
	{"copyview", [] { return copies("A y la local a"); },
	    {before, failed, only_parent}, true, 50},
	{"copyedit", [] { return copies("B y la local b"); },
	    {before, failed, only_parent}, true, 50},
	{"funcview", [] {
		return parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		    funcion, only_parent},
		    {"HIJO: Soy el proceso {C1}\n", funcion});
	}, {before, failed, only_parent}, false, 50},
	// Its own failure text, and 200004 lines a run: one run a test.
	{"interleave", interleaved,
	    {before, "Se ha producido une error\n", only_parent}, false, 1},
};

class Split : public testing::TestWithParam<Demo> {
protected:
	const Rules rules = GetParam().rules();

	// One run after a successful fork: an allowed order, nothing on
	// descriptor 2, every process ends with status 0, and the child
	// comes back to us exactly when its parent did not collect it.
	Verdict expect_sound(const Result &r)
	{
		Verdict v = check_order(rules, r.lines, {{"P", r.pid}});
		EXPECT_TRUE(v.ok) << v.why;
		if (!v.ok)
			return v;
		EXPECT_EQ(r.end, End::exited(0));
		EXPECT_EQ(r.err, "");
		if (GetParam().reaps_child) {
			EXPECT_TRUE(r.orphans.empty());
		} else {
			EXPECT_EQ(r.orphans.size(), 1u);
			for (const auto &orphan : r.orphans) {
				EXPECT_EQ(orphan.pid, v.pids["C1"]);
				EXPECT_EQ(orphan.end, End::exited(0));
			}
		}
		return v;
	}

	int runs(int wanted) { return std::min(wanted, GetParam().max_runs); }

	void expect_sound_runs(int wanted, const Options &o = {})
	{
		for (int i = 0; i < runs(wanted) && !HasFailure(); i++)
			expect_sound(run(GetParam().name, o));
	}
};

TEST_P(Split, EveryRunIsAnAllowedOrder)
{
	expect_sound_runs(50);
}

// Each process makes one write(2) per line, of that whole line, and
// writes exactly the lines the order gives it: its own number, its own
// copies of the variables.
TEST_P(Split, EveryLineIsOneWriteByItsWriter)
{
	Options o;
	o.trace_writes = true;
	o.timeout_ms = 120000;	// strace stops the program at every write
	for (int i = 0; i < runs(5) && !HasFailure(); i++) {
		Result r = run(GetParam().name, o);
		Verdict v = expect_sound(r);
		if (!v.ok)
			break;
		std::map<long, std::vector<std::string>> expected, written;
		for (std::size_t l = 0; l < r.lines.size(); l++)
			expected[v.pids[v.writers[l]]].push_back(r.lines[l]);
		for (const auto &w : r.writes)
			if (w.fd == 1)
				written[w.pid].push_back(w.data);
		for (auto &[pid, lines] : expected) {
			const auto &got = written[pid];
			auto [a, b] = std::mismatch(lines.begin(), lines.end(),
			    got.begin(), got.end());
			EXPECT_TRUE(a == lines.end() && b == got.end())
			    << "process " << pid << ", write " << b - got.begin()
			    << ": \"" << (b == got.end() ? "(none)" : *b)
			    << "\" where the line is \""
			    << (a == lines.end() ? "(none)" : *a) << "\"";
		}
		EXPECT_EQ(written.size(), expected.size());
	}
}

TEST_P(Split, ArgumentsChangeNothing)
{
	Options o;
	o.args = {"uno", "%s%n", "--help", ""};
	expect_sound_runs(10, o);
}

TEST_P(Split, FileOutputHoldsEveryLineOnce)
{
	Options o;
	o.stdout_to_file = true;
	expect_sound_runs(20, o);
}

TEST_P(Split, FailedForkLeavesOneProcessOnItsParentPath)
{
	Options o;
	o.fault = fork_fails;
	Result r = run(GetParam().name, o);
	Verdict v = check_order(Rules().proc("P", GetParam().alone), r.lines,
	    {{"P", r.pid}});
	ASSERT_TRUE(v.ok) << v.why;
	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_EQ(r.err, "");
	EXPECT_TRUE(r.orphans.empty());
}

TEST_P(Split, ClosedOutputStillEndsWithZero)
{
	Options o;
	o.close_stdout = true;
	Result r = run(GetParam().name, o);
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_EQ(r.orphans.size(), GetParam().reaps_child ? 0u : 1u);
	for (const auto &orphan : r.orphans)
		EXPECT_EQ(orphan.end, End::exited(0));
}

INSTANTIATE_TEST_SUITE_P(Demos, Split, testing::ValuesIn(demos),
    [](const testing::TestParamInfo<Demo> &demo) { return demo.param.name; });

} // namespace
