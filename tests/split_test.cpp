// The splitting demos: which lines, in which orders, from which process,
// and how every process ends.
#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "demo_rules.h"

namespace {

const std::string before = "Antes del fork: Soy el proceso {P}\n";
const std::string failed = "Se ha prodcido une error\n";
const std::string only_parent = "Solo lo ejecuta el padre: Soy el proceso {P}\n";

// What the shared table does not hold: the lines after a failed fork,
// and how many runs a test may make.
struct Demo {
	std::string name;
	std::vector<std::string> alone;	// after a failed fork
	int max_runs;			// caps the repeats of every test

	friend void PrintTo(const Demo &d, std::ostream *os) { *os << d.name; }
};

const std::vector<std::string> quits = {before, failed, only_parent};

const Demo demos[] = {
	{"twinspeak", {"Soy el proceso {P}\n"}, 50},
	{"tworoles", {before, failed, "Los DOS: Soy el proceso {P}\n"}, 50},
	{"childquits", quits, 50},
	{"busychild", quits, 50},
	{"patientparent", quits, 50},
	{"copyview", quits, 50},
	{"copyedit", quits, 50},
	{"funcview", quits, 50},
	// Its own failure text, and 200004 lines a run: one run a test.
	{"interleave", {before, "Se ha producido une error\n", only_parent}, 1},
};

const DemoRules &
table(const std::string &name)
{
	const DemoRules *d = find_demo(name);
	if (!d)
		throw std::invalid_argument("no rules for " + name);
	return *d;
}

class Split : public testing::TestWithParam<Demo> {
protected:
	const DemoRules &demo = table(GetParam().name);
	const Rules rules = demo.rules();
	// Only the started process comes back to us: the child is collected.
	const bool reaps_child = demo.ends.size() == 1;

	// One run after a successful fork: an allowed order, nothing on
	// descriptor 2, every process ends as the table says, and the child
	// comes back to us exactly when its parent did not collect it.
	Verdict expect_sound(const Result &r)
	{
		Verdict v = check_order(rules, r.lines, {{"P", r.pid}});
		EXPECT_TRUE(v.ok) << v.why;
		if (!v.ok)
			return v;
		EXPECT_EQ(r.end, demo.ends[0].second);
		EXPECT_EQ(r.err, "");
		if (reaps_child) {
			EXPECT_TRUE(r.orphans.empty());
		} else {
			EXPECT_EQ(r.orphans.size(), 1u);
			for (const auto &orphan : r.orphans) {
				EXPECT_EQ(orphan.pid, v.pids["C1"]);
				EXPECT_EQ(orphan.end, demo.ends[1].second);
			}
		}
		return v;
	}

	static int runs(int wanted)
	{
		return std::min(wanted, GetParam().max_runs);
	}

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

// Each process writes exactly the lines the order gives it, as the kernel
// saw them written under our tracer: its own number, its own copies of
// the variables. (That each is one write(2) of the whole line, the test
// of closed output below sees under strace.)
TEST_P(Split, EveryLineComesFromItsWriter)
{
	Options o;
	o.trace_writes = true;
	o.timeout_ms = 120000;	// the tracer stops the program at every write
	for (int i = 0; i < runs(5) && !HasFailure(); i++) {
		Result r = run(GetParam().name, o);
		Verdict v = expect_sound(r);
		if (!v.ok)
			break;
		std::map<long, std::vector<std::string>> expected, written;
		std::vector<std::string> roles = writers(rules, v);
		for (std::size_t l = 0; l < r.lines.size(); l++)
			expected[v.pids[roles[l]]].push_back(r.lines[l]);
		for (const Written &w : r.written)
			if (w.fd == 1)
				written[w.pid].push_back(w.text);
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

// Each process's lines of the rules, with the numbers of the run, against
// the write(2) calls it made as strace logged them; returns the role ->
// number binding.
std::map<std::string, long>
expect_writes_by_role(const Rules &rules, const Result &r)
{
	std::map<std::string, long> pids = {{"P", r.pid}};
	std::map<long, std::vector<std::string>> written;
	for (const Call &c : r.calls) {
		if (c.name != "write")
			continue;
		EXPECT_TRUE(c.args.starts_with("1, ")) << c.args;
		written[c.pid].push_back(string_argument(c.args));
		if (c.pid != r.pid)
			pids["C1"] = c.pid;
	}
	EXPECT_EQ(written.size(), rules.procs.size());
	for (const Rules::Proc &proc : rules.procs) {
		std::vector<std::string> lines = proc.lines;
		for (std::string &line : lines)
			for (const auto &[role, pid] : pids)
				if (std::size_t at = line.find("{" + role + "}");
				    at != std::string::npos)
					line.replace(at, role.size() + 2,
					    std::to_string(pid));
		EXPECT_TRUE(written[pids[proc.role]] == lines) << proc.role;
	}
	return pids;
}

// With descriptor 1 closed every write fails, and is not reported: each
// process still makes every write of its own, whole and in turn, and
// ends as usual. strace shows the calls; our tracer, which keeps only
// what was written, would show nothing. interleave's 200004 writes, a
// quarter of a minute under strace, are not logged: only its ends are
// looked at.
TEST_P(Split, ClosedOutputFailsEveryWriteAndGoesOn)
{
	Options o;
	o.close_stdout = true;
	bool logged = GetParam().max_runs > 1;
	if (logged)
		o.log_calls = "write";
	o.timeout_ms = 120000;
	Result r = run(GetParam().name, o);
	std::map<std::string, long> pids;
	if (logged)
		pids = expect_writes_by_role(rules, r);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_EQ(r.orphans.size(), reaps_child ? 0u : 1u);
	for (const auto &orphan : r.orphans) {
		if (logged) {
			EXPECT_EQ(orphan.pid, pids["C1"]);
		}
		EXPECT_EQ(orphan.end, End::exited(0));
	}
}

INSTANTIATE_TEST_SUITE_P(Demos, Split, testing::ValuesIn(demos),
    [](const testing::TestParamInfo<Demo> &demo) { return demo.param.name; });

} // namespace
