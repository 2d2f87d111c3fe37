// Our tracer checked against strace: for every demo, what the tracer tells
// of each process (its forks, execs, lines, signals, end and who reaped
// it) is what strace logs of another run of it, process by process by
// role, in each process's own order. The demos' own orders between
// processes, their numbers and addresses differ from run to run; within
// one process the story does not. Under strace the alarms are sent from
// outside, each once its receiver waits; under the tracer, time-lapse
// fires them at once.
#include <algorithm>
#include <csignal>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

using Rows = std::vector<std::string>;
using Story = std::map<std::string, Rows>;	// by role

const char calls_logged[] = "clone,clone3,fork,vfork,write,wait4";

// SIGALRMs sent under strace, each once its receiver sits in sigsuspend.
struct Row {
	std::string name;
	std::string program;
	std::vector<std::string> args{};
	std::string input{};
	enum class Folder { test, empty, bin } folder = Folder::test;
	std::vector<Alarms> alarms{};	// in order; each tick brings a line
	bool greeters = false;	// each child that greets gets its alarm
	bool nudge = false;	// P is sent SIGINT once its child has ended
	// Rows that come in the scheduler's order, sorted where they run on.
	std::string any_order{};

	friend void PrintTo(const Row &r, std::ostream *os) { *os << r.name; }
};

const Row demos[] = {
	{"Tworoles", "tworoles"},
	{"Twinspeak", "twinspeak"},
	{"Childquits", "childquits"},
	{"Busychild", "busychild"},
	{"Patientparent", "patientparent"},
	{"Copyview", "copyview"},
	{"Copyedit", "copyedit"},
	{"Funcview", "funcview"},
	{"Interleave", "interleave"},
	// ls's every try along PATH, and its listing of an empty folder.
	{"Becomelist", "becomelist", {}, "", Row::Folder::empty},
	{"Becometwin", "becometwin", {}, "", Row::Folder::bin},
	{"Lonetimer", "lonetimer", {}, "", Row::Folder::test, {{"P", 1}}},
	{"Tickcounter", "tickcounter", {}, "", Row::Folder::test, {{"P", 10}}},
	{"Tickpair", "tickpair", {}, "", Row::Folder::test,
	    {{"P", 10}, {"C1", 10}}},
	{"Tickheir", "tickheir", {}, "", Row::Folder::test, {{"C1", 10}},
	    false, true},
	// Its children end, and are collected, as the scheduler has it.
	{"Reaper", "reaper", {}, "", Row::Folder::test, {}, true, false,
	    "fd 1: Waitpid bloqueante."},
	{"Heapwalk", "heapwalk"},
	{"Faultcatch", "faultcatch"},
	{"Argecho", "argecho", {"uno", "dos tres", ""}},
	{"Binprint", "binprint", {}, std::string("\x01\xff\0A", 4)},
};

// Signals whose default is to do nothing; the tracer tells them only
// when caught, which no demo does.
bool
quiet(const std::string &name)
{
	return name == "SIGCHLD" || name == "SIGCONT" || name == "SIGURG" ||
	    name == "SIGWINCH";
}

std::string
exec_row(const std::string &path, const std::string &error)
{
	return "exec " + path + (error.empty() ? "" : ": " + error);
}

// What the tracer told of each process.
Story
traced_story(const Result &r)
{
	std::map<pid_t, std::string> role;
	for (const Traced &t : r.traced)
		role[t.pid] = t.role;
	Story story;
	for (const Event &e : r.events) {
		Rows &rows = story[e.role];
		if (const auto *f = e.as<Event::Fork>())
			rows.push_back("fork " + f->child.role);
		else if (const auto *x = e.as<Event::Exec>()) {
			// A search of folders, told once, tried one by one.
			for (const auto &t : x->tried)
				rows.push_back(exec_row(t.path,
				    strerrorname_np(t.error)));
			rows.push_back(exec_row(x->path, x->error ?
			    strerrorname_np(x->error) : ""));
		}
		else if (const auto *l = e.as<Event::Line>())
			rows.push_back("fd " + std::to_string(l->fd) + ": " +
			    plain_line(l->text, role));
		else if (const auto *s = e.as<Event::Signal>())
			rows.push_back("signal " + signal_name(s->sig));
	}
	for (const Traced &t : r.traced) {
		story[t.role].push_back(t.ended ? "end " + describe(t.end) :
		    "no end");
		story[t.role].push_back("reaped by " + t.reaper_role);
	}
	return story;
}

// The bytes a write(2) logged wrote, as lines: a piece without its '\n'
// waits in partial for the rest.
void
written_lines(const Call &c, std::map<int, std::string> &partial,
    const std::map<pid_t, std::string> &role, Rows &rows)
{
	long n = returned_number(c.ret);
	if (n <= 0)
		return;
	int fd = std::stoi(c.args);
	std::string &part = partial[fd];
	part += string_argument(c.args).substr(0, static_cast<std::size_t>(n));
	for (std::size_t nl; (nl = part.find('\n')) != std::string::npos;) {
		rows.push_back("fd " + std::to_string(fd) + ": " +
		    plain_line(part.substr(0, nl + 1), role));
		part.erase(0, nl + 1);
	}
}

// One process's calls and signals in its own order, as rows.
Rows
logged_rows(const Result &r, pid_t pid,
    const std::map<pid_t, std::string> &role)
{
	auto name = [&role](pid_t p) {
		return role.contains(p) ? role.at(p) : "pid " + std::to_string(p);
	};
	Rows rows;
	std::map<int, std::string> partial;
	auto signal = r.signals.begin();
	for (std::size_t i = 0; i <= r.calls.size(); i++) {
		for (; signal != r.signals.end() && signal->after <= i; ++signal)
			if (signal->pid == pid && !quiet(signal->name))
				rows.push_back("signal " + signal->name);
		if (i == r.calls.size() || r.calls[i].pid != pid)
			continue;
		const Call &c = r.calls[i];
		if (is_fork(c) && returned_number(c.ret) > 0)
			rows.push_back("fork " + name(static_cast<pid_t>(
			    returned_number(c.ret))));
		else if (c.name == "execve")
			rows.push_back(exec_row(string_argument(c.args),
			    c.ret.starts_with("-1 ") ?
			    c.ret.substr(3, c.ret.find(' ', 3) - 3) : ""));
		else if (c.name == "write")
			written_lines(c, partial, role, rows);
	}
	for (const auto &[fd, part] : partial)
		if (!part.empty())
			rows.push_back("fd " + std::to_string(fd) + ": " +
			    plain_line(part, role));
	return rows;
}

// What strace logged of each process: its rows, its end, and who reaped
// it: the process whose wait returned it ended, else the subreaper,
// which strace does not see.
Story
logged_story(const Result &r)
{
	std::map<pid_t, std::string> role = roles_by_fork(r);
	std::map<pid_t, std::string> reaper;
	for (const Call &c : r.calls)
		if (c.name == "wait4" && returned_number(c.ret) > 0 &&
		    c.args.find("WIFSTOPPED") == std::string::npos &&
		    c.args.find("WIFCONTINUED") == std::string::npos)
			reaper[static_cast<pid_t>(returned_number(c.ret))] =
			    role.contains(c.pid) ? role.at(c.pid) : "?";
	Story story;
	for (const auto &[pid, end] : r.ends) {
		std::string who = role.contains(pid) ? role.at(pid) :
		    "pid " + std::to_string(pid);
		Rows &rows = story[who] = logged_rows(r, pid, role);
		rows.push_back("end " + describe(end));
		rows.push_back("reaped by " + (reaper.contains(pid) ?
		    reaper.at(pid) : subreaper_role));
	}
	return story;
}

Options
options_for(const Row &row, const Scratch &empty)
{
	Options o;
	o.args = row.args;
	o.input = row.input;
	if (row.folder == Row::Folder::empty)
		o.cwd = empty.path;
	else if (row.folder == Row::Folder::bin)
		o.cwd = program_path("");
	o.timeout_ms = 120000;	// interleave stops at every write
	return o;
}

// Under strace: the row's alarms, each once its receiver waits and each
// bringing its line before the next; the greeters'; the nudge.
void
drive(Process &p, const Row &row)
{
	std::map<std::string, pid_t> pid;
	// lonetimer's alarm ends it without a word.
	send_alarms(p, row.program, row.alarms, row.program != "lonetimer",
	    pid);
	if (row.nudge) {
		ASSERT_TRUE(await_state(pid["C1"], 'Z'));
		ASSERT_TRUE(await_sigsuspend(pid["P"]));
		kill(pid["P"], SIGINT);
	}
	if (row.greeters)
		alarm_greeters(p);
}

// The story with each run of rows that start with prefix sorted.
Story
sorted_runs(Story story, const std::string &prefix)
{
	auto in_run = [&prefix](const std::string &row) {
		return !prefix.empty() && row.starts_with(prefix);
	};
	for (auto &[role, rows] : story)
		for (auto at = rows.begin(); at != rows.end();) {
			auto end = std::find_if_not(at, rows.end(), in_run);
			std::sort(at, end);
			at = end == rows.end() ? end : end + 1;
		}
	return story;
}

void
expect_same(const Story &traced, const Story &logged)
{
	EXPECT_EQ(traced.size(), logged.size());
	for (const auto &[role, rows] : logged) {
		Rows got = traced.contains(role) ? traced.at(role) : Rows{};
		for (std::size_t i = 0; i < std::max(got.size(), rows.size());
		    i++) {
			std::string g = i < got.size() ? got[i] : "(none)";
			std::string w = i < rows.size() ? rows[i] : "(none)";
			ASSERT_EQ(g, w) << role << ", row " << i;
		}
	}
}

class AgainstStrace : public testing::TestWithParam<Row> {};

TEST_P(AgainstStrace, EveryProcessTellsTheSameStory)
{
	const Row &row = GetParam();
	Scratch empty;
	Options o = options_for(row, empty);
	o.log_calls = calls_logged;
	Process logging(row.program, o);
	drive(logging, row);
	Result logged = logging.finish();

	o = options_for(row, empty);
	o.trace_writes = true;
	o.time_lapse = !row.alarms.empty() || row.greeters;
	Process tracing(row.program, o);
	if (row.nudge) {
		ASSERT_TRUE(tracing.await_event([](const Event &e) {
			return e.is<Event::Stuck>();
		}));
		tracing.signal_group(SIGINT);
	}
	Result traced = tracing.finish();
	expect_same(sorted_runs(traced_story(traced), row.any_order),
	    sorted_runs(logged_story(logged), row.any_order));
	EXPECT_EQ(traced.end, logged.end);
}

INSTANTIATE_TEST_SUITE_P(Demos, AgainstStrace, testing::ValuesIn(demos),
    [](const testing::TestParamInfo<Row> &r) { return r.param.name; });

} // namespace

namespace {

// A set of signals is told by name when it is small, else by what it
// leaves out: never thirty names.
TEST(Trace, SignalSetsInWords)
{
	Result r = run_trace({"--mute", "/usr/bin/python3", "-c",
	    "import signal as s\n"
	    "s.pthread_sigmask(s.SIG_BLOCK, s.valid_signals())\n"
	    "s.pthread_sigmask(s.SIG_SETMASK, s.valid_signals() - "
	    "{s.SIGINT, s.SIGALRM})\n"
	    "s.pthread_sigmask(s.SIG_SETMASK, {s.SIGINT, s.SIGTERM})\n"});
	ASSERT_EQ(r.end, End::exited(0)) << r.err;
	for (const char *words : {" P blocks every signal\n",
	    " P sets its blocked signals to every signal but SIGINT and "
	    "SIGALRM\n", " P sets its blocked signals to SIGINT and SIGTERM\n"})
		EXPECT_TRUE(holds(unwrapped(r.out), words)) << words << r.out;
}

} // namespace
