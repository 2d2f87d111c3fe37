// The corpus of real programs: small C programs of our own, one corner
// case each (tests/real/), and the system's shells, python3, make,
// xargs, timeout, grep and ls. Each runs untraced, under strace -f and
// under trace, and the runs must agree: statuses, standard output, the
// processes (who made each, its execs, its end, who reaped it), each
// process's lines, and nothing left behind once trace is done, which
// must be within a generous bound.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "harness.h"
#include "leftovers.h"
#include "real_story.h"

namespace {

using json = nlohmann::json;

// Past this a run is taken for a hang, and killed: the cases take
// milliseconds, the slowest a second or two under strace.
constexpr int bound_ms = 20000;

struct Case {
	std::string name;
	std::vector<std::string> argv;	// argv[0] a path
	std::string input;
	End end;	// how it ends untraced, as it is meant to
	// Several processes write at once: standard output is compared as
	// a set of lines.
	bool any_order = false;
	Leeway leeway{};
	// The story, where strace cannot tell it: its -ff log keeps one
	// file per number, and a number given again overwrites it. "@" for
	// the program's path.
	std::string story{};

	friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
};

std::string
corpus(const char *program)
{
	return built("tests/real/") + program;
}

const std::string sources = SUITE_SOURCE_DIR "/tests/real";

// One case of our own: the program of that name, alone.
Case
own(const char *name, End end = End::exited(0), bool any_order = false,
    Leeway leeway = {})
{
	return {name, {corpus(name)}, "", end, any_order, leeway};
}

// Homework as a student writes it (tests/student/): those that end.
Case
homework(const char *name, End end = End::exited(0), bool any_order = false)
{
	return {std::string("hw_") + name, {built(std::string("tests/student/") +
	    name)}, "", end, any_order};
}

const Case cases[] = {
	own("waitid"),
	own("pidfd"),
	own("orphanstop"),
	own("threadexec"),
	own("cloneparent"),
	own("quickchildren", End::exited(0), true),
	own("stopcont"),
	own("sarestart"),
	own("bigwrite"),
	own("threadlines", End::exited(0), true, {.thread_lines = true}),
	own("minishell"),
	own("stdouttype"),
	own("nonewprivs"),
	// How many grandchildren each child makes before it dies is the
	// scheduler's.
	own("killforker", End::exited(0), false, {.grandchildren = true}),
	own("hugewritev"),
	own("vforkexec"),
	own("clone3"),
	own("forkmany"),
	own("stopdeath"),
	own("threadexit", End::exited(3)),
	own("zombie"),
	// P's line and the daemon's come in the scheduler's order.
	own("daemon", End::exited(0), true),
	own("autoreap"),
	own("threadfork"),
	own("sigchldreap"),
	own("homework"),
	own("filewrite"),
	own("socketpair"),
	own("killpg"),
	own("pathsearch"),
	homework("pipeline"),
	homework("pingpong"),
	homework("perrordup", End::exited(1)),
	homework("systemcall"),
	// Parent and child write what stdio held as each ends.
	homework("exitflush", End::exited(0), true),
	homework("forkloop", End::exited(0), true),
	homework("sleepers"),
	homework("pollchildren", End::exited(0), true),
	homework("sigpipe", End::killed(SIGPIPE)),
	{"pidreuse", {corpus("pidreuse")}, "", End::exited(0), false, {},
	    "- exec @ \"@\"; exited with 0; reaped outside the run\n"
	    "  - exited with 0; reaped by its parent\n"
	    "    fd 1| the first child\n"
	    "  - exited with 0; reaped by its parent\n"
	    "    fd 1| the second child\n"},
	{"sh_subshell", {"/bin/sh", "-c",
	    "echo one; (echo two; exit 3); echo \"the subshell exited with $?\""},
	    "", End::exited(0)},
	{"sh_pipeline", {"/bin/sh", "-c", "ls " + sources + " | wc -l"}, "",
	    End::exited(0)},
	{"sh_killed", {"/bin/sh", "-c", "echo before; kill -TERM $$; echo after"},
	    "", End::killed(SIGTERM)},
	{"yes_head", {"/bin/sh", "-c", "yes | head -n 3"}, "", End::exited(0)},
	{"bash", {"/bin/bash", "-c", "x=$(echo inner); echo \"got $x\"; "
	    "for i in 1 2; do (exit $i); echo \"status $?\"; done; /bin/echo last"},
	    "", End::exited(0)},
	{"python_fork", {"/usr/bin/python3", "-c", "import os\n"
	    "pid = os.fork()\n"
	    "if pid == 0:\n"
	    "    print('child', flush=True)\n"
	    "    os._exit(4)\n"
	    "_, status = os.waitpid(pid, 0)\n"
	    "print('the child exited with', os.waitstatus_to_exitcode(status))\n"},
	    "", End::exited(0)},
	{"python_subprocess", {"/usr/bin/python3", "-c", "import subprocess\n"
	    "r = subprocess.run(['/bin/echo', 'hola'], capture_output=True)\n"
	    "print('echo said', r.stdout.decode().strip(), 'and exited with',"
	    " r.returncode)\n"}, "", End::exited(0)},
	{"python_multiprocessing", {"/usr/bin/python3", "-c",
	    "from multiprocessing import Pipe, Process\n"
	    "def send(c):\n"
	    "    c.send('hola')\n"
	    "    c.close()\n"
	    "a, b = Pipe()\n"
	    "p = Process(target=send, args=(b,))\n"
	    "p.start()\n"
	    "print('received', a.recv())\n"
	    "p.join()\n"
	    "print('its exit code', p.exitcode)\n"}, "", End::exited(0)},
	{"python_pool", {"/usr/bin/python3", "-c",
	    "from multiprocessing import Pool\n"
	    "p = Pool(2)\n"
	    "print(sorted(p.map(abs, range(-3, 3))))\n"
	    "p.close()\n"
	    "p.join()\n"}, "", End::exited(0)},
	// The targets are made at once, in the scheduler's order.
	{"make_jobserver", {"/usr/bin/make", "-s", "-j3", "--no-print-directory",
	    "-f", sources + "/jobs.mk"}, "", End::exited(0), true},
	{"xargs_parallel", {"/usr/bin/xargs", "-P", "3", "-n", "1", "/bin/echo",
	    "item"}, "a\nb\nc\nd\ne\n", End::exited(0), true},
	{"timeout", {"/usr/bin/timeout", "0.1", "/bin/sleep", "100"}, "",
	    End::exited(124)},
	{"grep", {"/bin/grep", "-n", "o"}, "one\ntwo\nthree\nfour\n",
	    End::exited(0)},
	{"ls", {"/bin/ls", sources}, "", End::exited(0)},
};

std::string
shell_words(const std::vector<std::string> &argv)
{
	std::string s;
	for (const auto &a : argv) {
		bool plain = !a.empty() && a.find_first_not_of("abcdefghijklmnopqrs"
		    "tuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./=") ==
		    std::string::npos;
		std::string quoted = "'";
		for (char c : a)
			quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
		s += (s.empty() ? "" : " ") + (plain ? a : quoted + "'");
	}
	return s;
}

// How trace is run, in these two alone: its command line, where its
// report goes and where the program's own output does.
std::vector<std::string>
trace_args(const Case &c, const std::string &report = "REPORT")
{
	std::vector<std::string> args = {"--format", "jsonl", "-o", report};
	args.insert(args.end(), c.argv.begin(), c.argv.end());
	return args;
}

struct TraceRun {
	Result r;	// trace's own status, and the program's output
	std::vector<json> report;	// its JSON lines
	std::string out;	// the program's standard output
};

TraceRun
run_trace(const Case &c, Options o)
{
	TraceRun t;
	Scratch dir;
	std::string report = dir.path + "/report.jsonl";
	o.args = trace_args(c, report);
	o.runs_tracer = true;
	t.r = run("trace", o);
	t.out = t.r.out;
	std::ifstream in(report);
	for (std::string l; std::getline(in, l);) {
		json j = json::parse(l, nullptr, false);
		if (j.is_discarded())
			ADD_FAILURE() << "trace wrote a line that is not JSON: " << l;
		else
			t.report.push_back(j);
	}
	// Kept for the check against the schema (JsonLines.*).
	std::error_code error;
	std::filesystem::create_directories(built("tests/reports"), error);
	std::filesystem::copy_file(report, built("tests/reports/") + c.name +
	    ".jsonl", std::filesystem::copy_options::overwrite_existing, error);
	EXPECT_FALSE(error) << "the report not kept: " << error.message();
	return t;
}

// strace -f can fail on its own when a process is killed while it
// forks (a PTRACE_LISTEN on the half-made child gets EIO, and strace
// gives up with status 1); such a run says nothing about the program, so
// it is run again, a few times at most.
Result
run_strace(const Case &c, Options o)
{
	o.log_calls = story_calls;
	o.strace_options = story_options;
	// strace -f gives up on its own now and then when a process is
	// killed as it forks (PTRACE_LISTEN fails), or loses the end of the
	// child that fork was making: its log, not the run, is wrong.
	auto lost = [](const Result &r) {
		const auto procs = strace_story(r).procs;
		return r.err.find("strace: ptrace(") != std::string::npos ||
		    std::ranges::any_of(procs,
		    [](const auto &p) { return p.second.end.empty(); });
	};
	Result r = run(c.argv[0], o);
	for (int again = 0; again < 5 && lost(r); again++)
		r = run(c.argv[0], o);
	return r;
}

// Where two outputs first differ, in words; "" if they do not.
std::string
difference(const std::string &got, const std::string &want)
{
	if (got == want)
		return "";
	auto at = static_cast<std::size_t>(std::mismatch(got.begin(), got.end(),
	    want.begin(), want.end()).first - got.begin());
	auto near = [at](const std::string &s) {
		std::string part = s.substr(at - std::min<std::size_t>(at, 20), 60);
		std::replace(part.begin(), part.end(), '\n', '|');
		return "\"" + part + "\"";
	};
	return std::to_string(got.size()) + " bytes where " +
	    std::to_string(want.size()) + " were expected; the first difference "
	    "at byte " + std::to_string(at) + ": " + near(got) + " for " +
	    near(want) + " (newlines shown as |)";
}

void
expect_output(const std::string &got, const std::string &want,
    bool any_order, const std::string &where)
{
	std::string g, w;
	for (const auto &l : sorted_lines(got))
		g += l;
	for (const auto &l : sorted_lines(want))
		w += l;
	std::string d = any_order ? difference(g, w) : difference(got, want);
	EXPECT_TRUE(d.empty()) << "standard output " << where <<
	    (any_order ? ", its lines in any order: " : ": ") << d;
}

std::string
listed(const std::vector<std::string> &v)
{
	std::string s;
	for (const auto &x : v)
		s += "\n  " + x;
	return s;
}

// The status a shell gives a process that ended so: trace's own.
int
shell_status(const End &end)
{
	return end.how == End::How::exited ? end.value : 128 + end.value;
}

class Corpus : public testing::TestWithParam<Case> {};

TEST_P(Corpus, SameStoryUntracedUnderStraceAndUnderTrace)
{
	const Case &c = GetParam();
	SCOPED_TRACE("trace " + shell_words(trace_args(c)) +
	    (c.input.empty() ? "" : " (input given)"));
	Options o;
	o.args.assign(c.argv.begin() + 1, c.argv.end());
	o.input = c.input;
	// Every process of the run carries it, unless it drops its
	// environment.
	std::string run_id = "corpus-" + std::to_string(getpid());
	o.env["CORPUS_RUN"] = run_id;
	std::string mark = "CORPUS_RUN=" + run_id;
	o.timeout_ms = bound_ms;

	Result plain = run(c.argv[0], o);
	ASSERT_EQ(plain.end, c.end) << "the case itself, untraced: " << plain.err;
	EXPECT_EQ(listed(left_behind(mark, plain.pid, false)), "") <<
	    "left behind by the case untraced";
	Result st = run_strace(c, o);
	EXPECT_EQ(listed(left_behind(mark, st.pid, false)), "") <<
	    "left behind under strace";
	TraceRun t = run_trace(c, o);
	EXPECT_EQ(listed(left_behind(mark, t.r.pid, true)), "") <<
	    "left behind by trace";
	EXPECT_TRUE(t.r.orphans.empty()) << "processes outlived trace";

	EXPECT_EQ(st.end, plain.end) << "strace's status";
	if (t.r.timed_out) {
		ADD_FAILURE() << "trace hung: it did not finish within " <<
		    bound_ms / 1000 << " s, and was killed with its run";
	} else {
		EXPECT_EQ(t.r.end, End::exited(shell_status(plain.end))) <<
		    "trace's status; its error: " << t.r.err;
		ASSERT_FALSE(t.report.empty());
		const json &finish = t.report.back();
		EXPECT_EQ(finish.value("kind", ""), "finish");
		EXPECT_TRUE(finish.value("ended_by_trace", json()).is_null()) <<
		    finish;
	}

	expect_output(st.out, plain.out, c.any_order, "under strace");
	expect_output(t.out, plain.out, c.any_order, "under trace");
	expect_output(trace_output(t.report, 1), plain.out, c.any_order,
	    "as trace's lines on descriptor 1 tell it");
	EXPECT_EQ(roles_with_many_numbers(t.report), "") <<
	    "each process's events must carry its own number";
	std::string want = told(strace_story(st), c.leeway);
	if (!c.story.empty()) {
		want.clear();
		for (char ch : c.story)
			want += ch == '@' ? c.argv[0] : std::string(1, ch);
	}
	EXPECT_EQ(told(trace_story(t.report), c.leeway), want) << "the "
	    "processes, trace's story first, strace's (or the case's) second";
}

INSTANTIATE_TEST_SUITE_P(Real, Corpus, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<Case> &c) { return c.param.name; });

} // namespace
