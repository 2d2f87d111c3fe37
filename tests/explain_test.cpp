// trace in the words of a lecture: a signal sent while blocked told as
// pending, then delivered; Ctrl-C told as the terminal's; with
// --explain, each process's state as ps names it and notes on why; and
// a text that fits the terminal, 80 columns when piped, for every demo.
#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "demo_rules.h"
#include "harness.h"

namespace {

using json = nlohmann::json;

const std::string pending = built("tests/hostile/pending");
const std::string stops = built("tests/hostile/stops");

// Where the first object that match takes is among v; v.size() if none.
template <typename Match>
std::size_t
index_of(const std::vector<json> &v, Match match)
{
	return static_cast<std::size_t>(std::find_if(v.begin(), v.end(),
	    match) - v.begin());
}

// Columns on a terminal: one a character.
std::size_t
width_of(const std::string &line)
{
	return static_cast<std::size_t>(std::count_if(line.begin(), line.end(),
	    [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
	}));
}

struct Sent {
	std::string name;
	std::string how;	// the stand-in's argument
	std::string arrives;	// "later": told as sent; "now": as let in
	std::string from;	// the sender's role, if of the run
	std::string words;	// the text's

	friend void PrintTo(const Sent &s, std::ostream *os) { *os << s.name; }
};

const Sent sents[] = {
	{"ByItsChild", "kill", "later", "C1", "P has SIGTERM pending: P "
	    "blocks it, and it arrives when P unblocks it\n"},
	{"ByAKernelTimer", "timer", "now", "", "P has SIGTERM pending, sent "
	    "while it was blocked: it arrives now\n"},
	{"LetInBySettingTheMask", "setmask", "now", "", "P has SIGTERM "
	    "pending, sent while it was blocked: it arrives now\n"},
	// Sent from where no stop shows it, and let in as a handler
	// returns from sigsuspend.
	{"AsAHandlerReturns", "handler", "now", "", "P has SIGTERM pending, "
	    "sent while it was blocked: it arrives now\n"},
};

struct Sender {
	std::string how;	// senders' argument
	std::string sig, origin;
	std::string from;	// the sender's role, for a process's signal

	friend void PrintTo(const Sender &s, std::ostream *os)
	{
		*os << s.how;
	}
};

const Sender senders[] = {
	{"kill", "SIGUSR1", "kill", "C1"},
	{"tgkill", "SIGUSR1", "kill", "C1"},
	{"tkill", "SIGUSR1", "kill", "C1"},
	{"sigqueue", "SIGUSR1", "kill", "C1"},
	{"pidfd", "SIGUSR1", "kill", "C1"},
	{"self", "SIGUSR1", "kill", "P"},
	{"timer", "SIGUSR1", "kernel", ""},
	{"itimer", "SIGALRM", "alarm", ""},
	{"child", "SIGCHLD", "kernel", ""},
	{"fault", "SIGSEGV", "fault", ""},
};

class Origin : public testing::TestWithParam<Sender> {};

// However a signal is sent, P gets it once, from where it came: a
// process by its role and number, or no process at all.
TEST_P(Origin, SenderNamed)
{
	const Sender &c = GetParam();
	Result r = run_trace({"--format", "jsonl",
	    built("tests/hostile/senders"), c.how});
	ASSERT_EQ(r.end, End::exited(0)) << r.out;
	std::vector<json> v = json_lines(r);
	std::map<std::string, pid_t> pid;
	for (const json &j : v)
		pid[j["role"]] = j["pid"];
	std::size_t got = 0;
	for (const json &j : v) {
		if (j["kind"] != "signal" || j["signal"] != c.sig)
			continue;
		got++;
		EXPECT_EQ(j["role"], "P") << j;
		EXPECT_EQ(j["origin"], c.origin) << j;
		EXPECT_EQ(j.value("from_role", ""), c.from) << j;
		if (!c.from.empty()) {
			EXPECT_EQ(j["from"], pid[c.from]) << j;
		}
	}
	EXPECT_EQ(got, 1U) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Trace, Origin, testing::ValuesIn(senders),
    [](const testing::TestParamInfo<Sender> &i) { return i.param.how; });

class Pending : public testing::TestWithParam<Sent> {};

// Told once, after it was sent and as it is let in: before the unblocking
// that does, or just after the wait whose mask blocked it returns; then
// delivered. Without --explain the JSON lines add nothing else.
TEST_P(Pending, ToldThenDelivered)
{
	const Sent &c = GetParam();
	Result r = run_trace({"--format", "jsonl", pending, c.how});
	ASSERT_EQ(r.end, End::exited(128 + SIGTERM)) << r.out;
	std::vector<json> v = json_lines(r);
	auto told = [](const json &j) { return j["kind"] == "pending"; };
	std::size_t at = index_of(v, told);
	ASSERT_LT(at, v.size()) << r.out;
	EXPECT_EQ(std::count_if(v.begin(), v.end(), told), 1);
	EXPECT_EQ(v[at]["role"], "P");
	EXPECT_EQ(v[at]["signal"], "SIGTERM");
	EXPECT_EQ(v[at]["arrives"], c.arrives);
	EXPECT_EQ(v[at].value("from_role", ""), c.from);
	// What lets it in: an unblocking, or the return of the wait whose
	// mask blocked it.
	std::size_t unblock = index_of(v, [](const json &j) {
		return (j["kind"] == "mask" && j["how"] != "block") ||
		    (j["kind"] == "woken" && j["call"] == "sigsuspend");
	});
	std::size_t delivered = index_of(v, [](const json &j) {
		return j["kind"] == "signal" && j["role"] == "P" &&
		    j["signal"] == "SIGTERM";
	});
	// Told as it is unblocked, or as the wait that blocked it returns.
	if (unblock < v.size() && v[unblock]["kind"] == "woken")
		EXPECT_EQ(at, unblock + 1);
	else
		EXPECT_LT(at, unblock);
	EXPECT_LT(unblock, delivered);
	EXPECT_LT(delivered, v.size());
	if (!c.from.empty()) {
		EXPECT_LT(index_of(v, [](const json &j) {
			return j["kind"] == "kill";
		}), at);
	}
	for (const json &j : v)
		EXPECT_FALSE(j.contains("state") || j.contains("notes") ||
		    j.value("signal", "") == "SIGCHLD") << j;

	Result text = run_trace({pending, c.how});
	EXPECT_TRUE(holds(unwrapped(text.out), c.words)) << text.out;
}

INSTANTIATE_TEST_SUITE_P(Trace, Pending, testing::ValuesIn(sents),
    [](const testing::TestParamInfo<Sent> &s) { return s.param.name; });

// Ctrl-C typed on the run's terminal, 72 columns wide: told as the
// terminal's, to each process of the group, the report within those
// columns.
TEST(TraceExplain, CtrlCFromTheTerminalWithinItsWidth)
{
	bool typed = false;
	OnTerminal t = on_terminal({program_path("trace"), "--explain",
	    built("tests/hostile/ctrlc")}, 72, true,
	    [&typed](const std::string &shown, int tty) {
		if (!typed && holds(shown, "ready"))
			typed = write(tty, "\x03", 1) == 1;
	});
	std::string &shown = t.shown;
	EXPECT_TRUE(WIFEXITED(t.status) &&
	    WEXITSTATUS(t.status) == 128 + SIGINT) << shown;
	shown.erase(std::remove(shown.begin(), shown.end(), '\r'),
	    shown.end());
	// The terminal's echo of the key, not ours.
	if (std::size_t echo = shown.find("^C"); echo != std::string::npos)
		shown.erase(echo, 2);
	std::string told = unwrapped(shown);
	EXPECT_TRUE(holds(told, "P gets SIGINT from the terminal "
	    "(Ctrl-C)\n")) << shown;
	// Its child, which ignores it, got it at the same time: told before
	// P's end, whenever the child's own stop comes.
	std::size_t child = told.find("C1 gets SIGINT from the terminal "
	    "(Ctrl-C)\n");
	EXPECT_LT(child, told.find("P killed by signal 2")) << shown;
	for (std::size_t at = 0, nl; (nl = shown.find('\n', at)) !=
	    std::string::npos; at = nl + 1)
		EXPECT_LE(width_of(shown.substr(at, nl - at)), 72U) << shown;
}

struct Told {
	std::string name;
	std::vector<std::string> args;
	std::string role;
	std::string states;	// the role's, in turn, as ps names them
	std::vector<std::string> notes;	// some of those of the run

	friend void PrintTo(const Told &t, std::ostream *os) { *os << t.name; }
};

const Told tolds[] = {
	{"WaitsAndWakes", {pending}, "P", "SRZ",
	    {"wait() and waitpid() are the wait4 system call",
	    "P wakes (R): wait4 returned C1",
	    "the kernel sends a parent SIGCHLD as its child ends; left at its "
	    "default action, it is thrown away then, and changes nothing",
	    "SIGTERM's default action ends P, which has no handler for it"}},
	{"ZombieNeverWaitedFor", {"--time-lapse", "tickheir"}, "C1",
	    "SRSRSRSRSRSRSRSRSRSRZ",
	    {"C1 is a zombie (Z) from here: it has ended and P has not "
	    "waited for it"}},
	{"HandlerNeverReturns", {"faultcatch"}, "P", "Z",
	    {"P ended inside its handler for SIGSEGV: it never went back to "
	    "what the signal interrupted"}},
	{"CutShortFails", {built("tests/hostile/cutshort"), "eintr"}, "P",
	    "Z", {"ppoll returns -1, errno EINTR: a call a handler cut short "
	    "fails once the handler returns"}},
	// Asleep in read, and woken once the read started again returns.
	{"CutShortRestarts", {built("tests/hostile/cutshort"), "restart"}, "P",
	    "SRZ", {"the kernel starts read again once the handler returns"}},
	{"ZombieReadyNoBlock", {built("tests/hostile/zombieready")}, "P", "Z",
	    {"reaped, C1 is gone: P's wait gave no place for its exit status "
	    "(NULL), so the status was thrown away"}},
	{"StatusKept", {"tworoles"}, "P", "Z", {"reaped, P is gone: its exit "
	    "status went to trace"}},
	// Each stop signal stops a process whose group is not orphaned;
	// in an orphaned group, the kernel throws all but SIGSTOP away.
	{"StoppedBySIGSTOP", {stops, "STOP"}, "C1", "TRZ",
	    {"C1 is stopped (T) until a SIGCONT", "C1 goes on (R)"}},
	{"StoppedBySIGTSTP", {stops, "TSTP"}, "C1", "TRZ",
	    {"C1 is stopped (T) until a SIGCONT"}},
	{"StoppedBySIGTTIN", {stops, "TTIN"}, "C1", "TRZ",
	    {"C1 is stopped (T) until a SIGCONT"}},
	{"StoppedBySIGTTOU", {stops, "TTOU"}, "C1", "TRZ",
	    {"C1 is stopped (T) until a SIGCONT"}},
	{"OrphanedGroupNotStopped", {stops, "TSTP", "orphaned"}, "C1", "Z",
	    {"C1's process group is orphaned: the kernel throws SIGTSTP "
	    "away, and C1 goes on"}},
	// Adopted by trace, which would tie its group, and stopped for ever.
	{"AdoptedGroupNotStopped", {stops, "TTIN", "adopted"}, "C1", "Z",
	    {"C1's process group is orphaned: the kernel throws SIGTTIN "
	    "away, and C1 goes on"}},
	{"OrphanAdopted", {"becometwin"}, "C1", "Z",
	    {"C1 is an orphan: trace adopts it here; untraced, the nearest "
	    "subreaper, or else init (pid 1), would",
	    "P keeps its number"}},
};

class Explain : public testing::TestWithParam<Told> {};

TEST_P(Explain, StatesAndNotes)
{
	const Told &c = GetParam();
	std::vector<std::string> args = {"--explain", "--format", "jsonl"};
	args.insert(args.end(), c.args.begin(), c.args.end());
	std::vector<json> v = json_lines(run_trace(args));
	std::string states, notes;
	for (const json &j : v) {
		if (j["role"] == c.role && j.contains("state"))
			states += j["state"].get<std::string>();
		for (const auto &n : j.value("notes", json::array()))
			notes += n.get<std::string>() + "\n";
	}
	EXPECT_EQ(states, c.states);
	for (const auto &n : c.notes)
		EXPECT_TRUE(holds(notes, n)) << n << "\n" << notes;
}

INSTANTIATE_TEST_SUITE_P(Trace, Explain, testing::ValuesIn(tolds),
    [](const testing::TestParamInfo<Told> &i) { return i.param.name; });

// Piped, every demo's report fits 80 columns, notes and all, only the
// program's lines cut, and says once that the run was traced.
TEST(TraceExplain, EveryDemoWithin80Columns)
{
	for (const DemoRules &d : demo_rules) {
		std::vector<std::string> args = {"--explain", "--timeout", "5"};
		if (d.asleep)
			args.emplace_back("--time-lapse");
		args.push_back(d.name);
		Result r = run_trace(args, "\1\2\3\4");
		std::size_t said = 0;
		for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) !=
		    std::string::npos; at = nl + 1) {
			std::string line = r.out.substr(at, nl - at);
			EXPECT_LE(width_of(line), 80U) << d.name << ": " << line;
			// trace's own words go on to the next line, uncut.
			EXPECT_TRUE(!line.ends_with("\xe2\x80\xa6") ||
			    holds(line, " | ")) << d.name << ": " << line;
			said += std::string_view(r.out).substr(at).starts_with(
			    "The run is traced: ");
		}
		EXPECT_EQ(said, 1U) << d.name;
	}
}

// --lines keeps to the lines: no notes, no notice.
TEST(TraceExplain, NothingButLinesWithLines)
{
	Result r = run_trace({"--explain", "--lines", "becometwin"});
	ASSERT_EQ(r.end, End::exited(0));
	std::size_t lines = 0;
	for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) !=
	    std::string::npos; at = nl + 1, lines++)
		EXPECT_NE(r.out.substr(at, nl - at).find(" | "),
		    std::string::npos) << r.out;
	EXPECT_EQ(lines, 3U) << r.out;
}

// A line of the program's too long for the text is cut where a character
// ends, and marked; the JSON lines keep it whole.
TEST(TraceExplain, LongLinesCutVisibly)
{
	const std::string x(100, 'x'), e = [] {
		std::string s;
		for (int i = 0; i < 100; i++)
			s += "\xc3\xa9";
		return s;
	}();
	std::vector<std::string> args = {"/bin/sh", "-c",
	    R"(printf '%s\n' "$0" "$1")", x, e};
	Result text = run_trace(args);
	for (const auto &[line, last] : {std::pair{x, "x"}, {e, "\xc3\xa9"}}) {
		std::size_t at = text.out.find(line.substr(0, 40));
		ASSERT_NE(at, std::string::npos) << text.out;
		std::string shown = text.out.substr(0, text.out.find('\n', at));
		shown.erase(0, shown.rfind('\n') + 1);
		EXPECT_EQ(width_of(shown), 80U) << shown;
		// Whole characters, then the mark.
		EXPECT_TRUE(shown.ends_with(last + std::string("\xe2\x80\xa6")))
		    << shown;
	}
	args.insert(args.begin(), {"--format", "jsonl"});
	std::vector<std::string> whole;
	for (const json &j : json_lines(run_trace(args)))
		if (j["kind"] == "line")
			whole.push_back(j["text"]);
	EXPECT_EQ(whole, (std::vector<std::string>{x + "\n", e + "\n"}));
}

} // namespace
