// The signal and waiting demos as the kernel sees them: every process's
// own calls that set up, arm and wait for its alarms and collect its
// children, in the order it makes them, logged by strace. Their output
// alone cannot show a SIGALRM left unblocked outside the wait, a wrong
// alarm period or a wait that does not block; these calls do. A SIGALRM
// sent while a process sits in sigsuspend counts like an expiry, so no
// test waits for a real alarm.
#include <algorithm>
#include <csignal>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

const char logged[] = "rt_sigaction,rt_sigprocmask,alarm,rt_sigsuspend,"
    "wait4,clone,clone3,fork,vfork,exit_group";

// The rows every process's calls are compared as, strace's own text with
// the addresses, which change from build to build and run to run, as
// ADDR; a fork or a wait gives the role of the process it returned.
const std::string block = "rt_sigprocmask(SIG_BLOCK, [ALRM], NULL, 8)";
// Every signal held while the handler runs, and an interrupted call
// restarted; SA_RESTORER is the C library's.
const std::string handled = "rt_sigaction(SIGALRM, {sa_handler=ADDR, "
    "sa_mask=~[RTMIN RT_1], sa_flags=SA_RESTORER|SA_RESTART, "
    "sa_restorer=ADDR}, NULL, 8)";
// Everything held but SIGALRM and SIGINT; RTMIN and RT_1 are the C
// library's own, which sigfillset leaves out.
const std::string suspend = "rt_sigsuspend(~[INT ALRM RTMIN RT_1], 8)";
const std::string alarm10 = "alarm(10)";
const std::string any_child = "C*";	// any child's role, in a return

using Rows = std::vector<std::string>;

Rows
cat(std::initializer_list<Rows> parts)
{
	Rows all;
	for (const Rows &p : parts)
		all.insert(all.end(), p.begin(), p.end());
	return all;
}

Rows
times(int n, const Rows &rows)
{
	Rows all;
	for (int i = 0; i < n; i++)
		all.insert(all.end(), rows.begin(), rows.end());
	return all;
}

// SIGALRMs sent, each once its receiver sits in sigsuspend.
struct Case {
	std::string name;
	std::string program;
	std::vector<Alarms> alarms;	// in order
	bool ticks;	// each of those alarms brings a line
	bool alarm_greeters;	// each process that greets gets one
	std::map<std::string, Rows> want;	// by role

	friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
};

// What the three demos whose parent waits for its one child do.
std::map<std::string, Rows>
waits_for_child()
{
	return {{"P", {"fork() = C1", "wait4(-1, NULL, 0, NULL) = C1",
	    "exit_group(0)"}}, {"C1", {"exit_group(0)"}}};
}

std::map<std::string, Rows>
reaper_calls()
{
	std::map<std::string, Rows> want;
	Rows &p = want["P"];
	for (int i = 1; i <= 10; i++) {
		p.push_back("fork() = C" + std::to_string(i));
		want["C" + std::to_string(i)] = {handled, block, "alarm(1)",
		    suspend, "exit_group(0)"};
	}
	// Blocking waits until none is left.
	Rows reaped = times(10, {"wait4(-1, [{WIFEXITED(s) && "
	    "WEXITSTATUS(s) == 0}], 0, NULL) = " + any_child});
	p.insert(p.end(), reaped.begin(), reaped.end());
	p.insert(p.end(), {"wait4(-1, ADDR, 0, NULL) = -1 ECHILD",
	    "exit_group(0)"});
	return want;
}

const Case cases[] = {
	// The default action of SIGALRM ends it in the wait.
	{"Lonetimer", "lonetimer", {{"P", 1}}, false, false,
	    {{"P", {block, alarm10, suspend}}}},
	{"Tickcounter", "tickcounter", {{"P", 10}}, true, false,
	    {{"P", cat({{block, handled}, times(10, {alarm10, suspend}),
	    {"exit_group(1)"}})}}},
	// The child inherits the blocked set and the action.
	{"Tickpair", "tickpair", {{"P", 10}, {"C1", 10}}, true, false,
	    {{"P", cat({{block, handled, "fork() = C1"},
	    times(10, {alarm10, suspend}), {"exit_group(1)"}})},
	    {"C1", cat({times(10, {alarm10, suspend}), {"exit_group(1)"}})}}},
	// Only the child arms an alarm before its first wait.
	{"Tickheir", "tickheir", {{"C1", 10}, {"P", 10}}, true, false,
	    {{"P", cat({{block, handled, "fork() = C1"},
	    times(10, {suspend, alarm10}), {"exit_group(1)"}})},
	    {"C1", cat({{alarm10}, times(10, {suspend, alarm10}),
	    {"exit_group(1)"}})}}},
	{"Reaper", "reaper", {}, false, true, reaper_calls()},
	{"Patientparent", "patientparent", {}, false, false, waits_for_child()},
	{"Copyview", "copyview", {}, false, false, waits_for_child()},
	{"Copyedit", "copyedit", {}, false, false, waits_for_child()},
};

std::string
without_addresses(std::string args)
{
	for (std::size_t at; (at = args.find("0x")) != std::string::npos;) {
		std::size_t end = args.find_first_not_of("0123456789abcdef",
		    at + 2);
		args.replace(at, end == std::string::npos ? end : end - at,
		    "ADDR");
	}
	return args;
}

// A process's return as a role, or the error without its description.
std::string
returned(const std::map<pid_t, std::string> &role, const std::string &ret)
{
	auto pid = static_cast<pid_t>(returned_number(ret));
	if (pid > 0)
		return role.contains(pid) ? role.at(pid) : "pid " + ret;
	return ret.substr(0, ret.find(" ("));
}

std::string
row(const std::map<pid_t, std::string> &role, const Call &c)
{
	if (is_fork(c))
		return "fork() = " + returned(role, c.ret);
	if (c.name != "wait4")
		return c.name + "(" + without_addresses(c.args) + ")";
	// The process waited for, if one, by its role too.
	std::size_t comma = std::min(c.args.find(','), c.args.size());
	std::string waited = c.args.substr(0, comma);
	if (returned_number(waited) > 0)
		waited = returned(role, waited);
	return "wait4(" + waited + without_addresses(c.args.substr(comma)) +
	    ") = " + returned(role, c.ret);
}

// Whether the kernel made the call again without the program seeing it
// return: a signal came in between, a child's SIGCHLD say, which stops a
// process under strace even where it is ignored. (A wait's status is
// only shown once it is written, so the arguments may differ.)
bool
restarted(const Call &c, const Call *next)
{
	return (c.ret.starts_with("? ERESTARTSYS") ||
	    c.ret.starts_with("? ERESTARTNOINTR")) && next &&
	    next->name == c.name;
}

// Each process's rows by role, a process with no role by "pid N". Of the
// actions set, only SIGALRM's is the program's: a sanitizer's runtime sets
// its own for SIGSEGV and others before main.
std::map<std::string, Rows>
calls_by_role(const Result &r)
{
	std::map<pid_t, std::vector<const Call *>> own;
	for (const Call &c : r.calls)
		if (c.name != "execve" && (c.name != "rt_sigaction" ||
		    c.args.starts_with("SIGALRM,")))
			own[c.pid].push_back(&c);
	std::map<pid_t, std::string> role = roles_by_fork(r);
	std::map<std::string, Rows> by_role;
	for (const auto &[pid, calls] : own) {
		Rows &rows = by_role[role.contains(pid) ? role.at(pid) :
		    "pid " + std::to_string(pid)];
		for (std::size_t i = 0; i < calls.size(); i++)
			if (!restarted(*calls[i],
			    i + 1 < calls.size() ? calls[i + 1] : nullptr))
				rows.push_back(row(role, *calls[i]));
	}
	return by_role;
}

// Where got first parts from want, for the failure message.
std::string
first_difference(const Rows &got, const Rows &want)
{
	for (std::size_t i = 0; i < std::max(got.size(), want.size()); i++) {
		std::string g = i < got.size() ? got[i] : "(none)";
		std::string w = i < want.size() ? want[i] : "(none)";
		if (g != w)
			return "row " + std::to_string(i) + ": " +
			    g.append("\n  instead of ").append(w);
	}
	return "";
}

// Sends the case's alarms, each once its receiver waits, and reads the
// line each brings before the next.
void
drive(Process &p, const Case &c)
{
	std::map<std::string, pid_t> pid;
	send_alarms(p, c.program, c.alarms, c.ticks, pid);
	if (c.alarm_greeters)
		alarm_greeters(p);
}

// Whether a row ends with a child's role as what the call returned.
bool
returns_child(const std::string &row)
{
	std::size_t at = row.rfind(" = C");
	return at != std::string::npos && at + 4 < row.size() &&
	    row.find_first_not_of("0123456789", at + 4) == std::string::npos;
}

void
expect_rows(std::map<std::string, Rows> got,
    const std::map<std::string, Rows> &want)
{
	for (const auto &[role, rows] : want)
		got.try_emplace(role);
	for (auto &[role, rows] : got) {
		Rows w = want.contains(role) ? want.at(role) : Rows{};
		for (std::size_t i = 0; i < rows.size() && i < w.size(); i++)
			if (w[i].ends_with(" = " + any_child) &&
			    returns_child(rows[i]))
				rows[i] = w[i];
		EXPECT_EQ(rows, w) << role << ", " << first_difference(rows, w);
	}
}

// The harness's log of calls: each process's own, in order, as strace
// shows their arguments and returns, an error's and a missing one's too.
TEST(CallLog, HoldsEachProcesssCallsInOrder)
{
	Options o;
	o.args = {"-c", "(exit 3) & wait; kill -0 2147483647; exit 5"};
	o.log_calls = "kill,exit_group";
	Result r = run("/bin/sh", o);
	Rows own, other;
	for (const Call &c : r.calls)
		if (c.name != "execve")
			(c.pid == r.pid ? own : other).push_back(c.name + "(" +
			    c.args + ") = " + c.ret);
	EXPECT_EQ(own, (Rows{"kill(2147483647, 0) = -1 ESRCH (No such process)",
	    "exit_group(5) = ?"}));
	EXPECT_EQ(other, (Rows{"exit_group(3) = ?"}));
	EXPECT_EQ(r.end, End::exited(5));
}

// And the signals each process was given and how each ended, a whole
// number and a signal's name read as such.
TEST(CallLog, HoldsEachProcesssSignalsAndEnd)
{
	Options o;
	o.args = {"-c", "(exit 3) & wait; kill -TERM $$; exit 5"};
	o.log_calls = "exit_group";
	Result r = run("/bin/sh", o);
	std::map<bool, Rows> signals;
	for (const Delivered &d : r.signals)
		signals[d.pid == r.pid].push_back(d.name + " " +
		    d.info.substr(0, d.info.find(',')));
	EXPECT_EQ(signals[true], (Rows{"SIGCHLD {si_signo=SIGCHLD",
	    "SIGTERM {si_signo=SIGTERM"}));
	EXPECT_EQ(signals[false], Rows{});
	ASSERT_EQ(r.ends.size(), 2u);
	for (const auto &[pid, end] : r.ends)
		EXPECT_EQ(end, pid == r.pid ? End::killed(SIGTERM) :
		    End::exited(3));
	EXPECT_EQ(r.end, End::killed(SIGTERM));
}

class Calls : public testing::TestWithParam<Case> {};

TEST_P(Calls, EachProcessMakesItsOwnInOrder)
{
	Options o;
	o.log_calls = logged;
	Process p(GetParam().program, o);
	drive(p, GetParam());
	expect_rows(calls_by_role(p.finish()), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Demos, Calls, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<Case> &c) { return c.param.name; });

} // namespace
