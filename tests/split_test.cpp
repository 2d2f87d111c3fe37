// The five first splitting demos: which lines, in which orders, from
// which process, and how every process ends.
#include <gtest/gtest.h>

#include "harness.h"
#include "order.h"

namespace {

const std::string before = "Antes del fork: Soy el proceso {P}\n";
const std::string failed = "Se ha prodcido une error\n";
const std::string only_parent = "Solo lo ejecuta el padre: Soy el proceso {P}\n";

struct Demo {
	std::string name;
	Rules rules;			// after a successful fork
	std::vector<std::string> alone;	// after a failed fork
	bool reaps_child;		// else the child comes back to us

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

const Demo demos[] = {
	{"twinspeak",
	    Rules().proc("P", {"Soy el proceso {P}\n"})
		.proc("C1", {"Soy el proceso {C1}\n"}),
	    {"Soy el proceso {P}\n"}, false},
	{"tworoles",
	    parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		"Los DOS: Soy el proceso {P}\n"},
		{"HIJO: Soy el proceso {C1}\n",
		    "Los DOS: Soy el proceso {C1}\n"}),
	    {before, failed, "Los DOS: Soy el proceso {P}\n"}, false},
	{"childquits",
	    parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		only_parent}, {"HIJO: Soy el proceso {C1}\n"}),
	    {before, failed, only_parent}, false},
	{"busychild",
	    parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		only_parent}, busy_child),
	    {before, failed, only_parent}, false},
	{"patientparent",
	    parent_and_child({before, "PADRE: Soy el proceso {P}\n",
		only_parent}, busy_child).waits("P", 2, "C1"),
	    {before, failed, only_parent}, true},
};

class Split : public testing::TestWithParam<Demo> {
protected:
	// One run after a successful fork: an allowed order, nothing on
	// descriptor 2, every process ends with status 0, and the child
	// comes back to us exactly when its parent did not collect it.
	void expect_sound(const Result &r)
	{
		const Demo &d = GetParam();
		Verdict v = check_order(d.rules, r.lines, {{"P", r.pid}});
		ASSERT_TRUE(v.ok) << v.why;
		EXPECT_EQ(r.end, End::exited(0));
		EXPECT_EQ(r.err, "");
		if (d.reaps_child) {
			EXPECT_TRUE(r.orphans.empty());
		} else {
			ASSERT_EQ(r.orphans.size(), 1u);
			EXPECT_EQ(r.orphans[0].pid, v.pids["C1"]);
			EXPECT_EQ(r.orphans[0].end, End::exited(0));
		}
	}

	void expect_sound_runs(int runs, const Options &o = {})
	{
		for (int i = 0; i < runs && !HasFatalFailure(); i++)
			expect_sound(run(GetParam().name, o));
	}
};

TEST_P(Split, EveryRunIsAnAllowedOrder)
{
	expect_sound_runs(50);
}

// Each line is one write(2) of one whole line, and the number a line ends
// with is the process number of its writer.
TEST_P(Split, EveryLineIsOneWriteNamingItsWriter)
{
	Options o;
	o.trace_writes = true;
	for (int i = 0; i < 5 && !HasFatalFailure(); i++) {
		Result r = run(GetParam().name, o);
		expect_sound(r);
		std::size_t writes = 0;
		for (const auto &w : r.writes) {
			if (w.fd != 1)
				continue;
			writes++;
			EXPECT_EQ(w.data.find('\n'), w.data.size() - 1) << w.data;
			EXPECT_EQ(trailing_number(w.data), w.pid) << w.data;
		}
		EXPECT_EQ(writes, r.lines.size());
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
