// Each kind of event as trace's text and JSON lines tell it, made up here
// with no run: the sentence after the process's role, and the JSON line
// whole, its fields in their order. One row per kind, and per way a kind
// reads differently.
#include <cerrno>
#include <csignal>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "shown.h"
#include "view.h"

namespace {

using E = Event;

using K = E::Target::Kind;
const E::Target read_end{K::pipe, 1, false, true};
const E::Target write_end{K::pipe, 1, true, true};

struct Told {
	E::What what;
	const char *sentence;	// after "P"
	const char *kind;
	const char *fields;	// after the JSON line's head
	int handler = 0;	// made in the handler for this signal
};

const std::vector<Told> &
told()
{
	static const std::vector<Told> rows = {
	{E::Line{1, "hi\n", 0}, "", "line", R"("fd":1,"text":"hi\n")"},
	{E::Line{2, "ab", 10}, "", "line", R"("fd":2,"text":"ab","size":10)"},
	{E::Fork{{101, "C1"}}, " forks C1 (101)", "fork",
	    R"("child":101,"child_role":"C1")"},
	{E::Exec{"/bin/echo", {"/bin/echo", "a b"}, 0},
	    " execs echo as echo a b", "exec",
	    R"("path":"/bin/echo","argv":["/bin/echo","a b"],"error":0)"},
	{E::Exec{"/nope", {}, ENOENT},
	    " cannot exec /nope: No such file or directory", "exec",
	    R"("path":"/nope","argv":[],"error":2,"error_name":"ENOENT")"},
	// A search of folders, told by the exec that ends it.
	{E::Exec{"/bin/ls", {"ls"}, 0, {{"/a/ls", ENOENT}}},
	    " execs ls as ls, found at /bin/ls after 1 other folder", "exec",
	    R"("path":"/bin/ls","argv":["ls"],"error":0,"tried":[{"path":)"
	    R"("/a/ls","error":2,"error_name":"ENOENT"}])"},
	{E::Exec{"/c/ls", {"ls"}, ENOENT, {{"/a/ls", ENOENT}, {"/b/ls", EACCES}}},
	    " cannot exec ls, tried in 3 folders: No such file or directory "
	    "in 2, Permission denied in 1", "exec",
	    R"("path":"/c/ls","argv":["ls"],"error":2,"error_name":"ENOENT",)"
	    R"("tried":[{"path":"/a/ls","error":2,"error_name":"ENOENT"},)"
	    R"({"path":"/b/ls","error":13,"error_name":"EACCES"}])"},
	{E::Signal{.sig = SIGUSR1, .origin = E::Origin::kill,
	    .action = E::Action::handler, .sender = {101, "C1"}},
	    " gets SIGUSR1 from C1", "signal",
	    R"("signal":"SIGUSR1","signo":10,"origin":"kill","from":101,)"
	    R"("from_role":"C1")"},
	{E::Signal{.sig = SIGSEGV, .origin = E::Origin::fault, .addr = 16},
	    " gets SIGSEGV: a fault at 0x10", "signal",
	    R"("signal":"SIGSEGV","signo":11,"origin":"fault","addr":"0x10")"},
	{E::Signal{.sig = SIGCHLD, .action = E::Action::discarded,
	    .child = {101, "C1"}}, " is sent SIGCHLD as C1 ends: at its "
	    "default action, it is discarded, never delivered", "signal",
	    R"("signal":"SIGCHLD","signo":17,"origin":"kernel",)"
	    R"("discarded":true,"child":101,"child_role":"C1")"},
	{E::Signal{.sig = SIGINT, .origin = E::Origin::terminal},
	    " gets SIGINT from the terminal (Ctrl-C)", "signal",
	    R"("signal":"SIGINT","signo":2,"origin":"terminal")"},
	{E::Kill{{0, ""}, SIGTERM}, " sends SIGTERM to its own process group",
	    "kill", R"("to":0,"signal":"SIGTERM","signo":15)"},
	{E::Kill{{101, "C1"}, SIGKILL}, " sends SIGKILL to C1", "kill",
	    R"("to":101,"to_role":"C1","signal":"SIGKILL","signo":9)"},
	{E::Kill{{4242, ""}, SIGKILL}, " sends SIGKILL to process 4242",
	    "kill", R"("to":4242,"to_role":null,"signal":"SIGKILL","signo":9)"},
	{E::Alarm{1.5}, " sets an alarm for 1.500 s", "alarm",
	    R"("seconds":1.5)"},
	{E::Alarm{0}, " cancels its alarm", "alarm", R"("seconds":0.0)"},
	{E::Handler{SIGINT, E::Action::ignore}, " ignores SIGINT", "handler",
	    R"("signal":"SIGINT","signo":2,"action":"ignore")"},
	{E::Handler{SIGINT, E::Action::by_default},
	    " sets SIGINT back to its default action", "handler",
	    R"("signal":"SIGINT","signo":2,"action":"default")"},
	{E::Mask{E::Mask::How::unblock, {"SIGINT"}}, " unblocks SIGINT",
	    "mask", R"("how":"unblock","signals":["SIGINT"])"},
	{E::Mask{E::Mask::How::set, {}}, " sets its blocked signals to none",
	    "mask", R"("how":"set","signals":[])"},
	{E::Blocked{"wait4", {}, -1, {"end"}, {}},
	    " blocked in wait4 for any child to end", "blocked",
	    R"("call":"wait4","for":["end"])"},
	{E::Blocked{"waitid", {101, "C1"}, -1, {"end", "stop"}, {}},
	    " blocked in waitid for C1 to end or stop", "blocked",
	    R"("call":"waitid","child":101,"child_role":"C1",)"
	    R"("for":["end","stop"])"},
	{E::Blocked{"wait4", {}, 42, {"end"}, {}},
	    " blocked in wait4 for any child in group 42 to end", "blocked",
	    R"("call":"wait4","group":42,"for":["end"])"},
	{E::Blocked{"sigsuspend", {}, -1, {}, {"SIGINT"}},
	    " blocked in sigsuspend for SIGINT", "blocked",
	    R"("call":"sigsuspend","signals":["SIGINT"])"},
	{E::Woken{.call = "wait4", .child = {101, "C1"},
	    .change = E::Woken::Change::stopped}, " woken from wait4: C1 "
	    "stopped", "woken", R"("call":"wait4","child":101,)"
	    R"("child_role":"C1","change":"stopped","error":0)"},
	{E::Woken{.call = "pause", .sig = SIGALRM, .error = EINTR},
	    " woken from pause by SIGALRM", "woken",
	    R"("call":"pause","signal":"SIGALRM","signo":14,"error":4,)"
	    R"("error_name":"EINTR")"},
	// A status is a whole byte.
	{E::Ended{End::exited(200), false, ""}, " exited with 200", "ended",
	    R"("exit":200)"},
	{E::Ended{End::killed(SIGKILL), true, "stuck"},
	    " killed by trace (SIGKILL): stuck", "ended",
	    R"("signal":"SIGKILL","signo":9,"by_trace":true)"},
	// However short, a zombie for a while.
	{E::Reaped{{1, subreaper_role}, 500, E::Reaped::Status::kept},
	    " reaped by trace: it was a zombie for 0.50 ms", "reaped",
	    R"("by":1,"by_role":"trace","zombie_us":500,"status":"kept")"},
	{E::Reaped{{0, kernel_role}, 0, E::Reaped::Status::discarded},
	    " reaped by the kernel at once", "reaped", R"("by":0,)"
	    R"("by_role":"kernel","zombie_us":0,"status":"discarded")"},
	{E::Reaped{{101, "C1"}, 0, E::Reaped::Status::unknown},
	    " reaped by C1 at once", "reaped",
	    R"("by":101,"by_role":"C1","zombie_us":0)"},
	{E::Reparented{{1, subreaper_role}},
	    " orphaned: trace (1) is its parent now", "reparented",
	    R"("parent":1,"parent_role":"trace")"},
	{E::Stuck{{{{100, "P"}, "wait4"}, {{101, "C1"}, "stop"}}}, "", "stuck",
	    R"("waiting":[{"pid":100,"role":"P","in":"wait4"},)"
	    R"({"pid":101,"role":"C1","in":"stop"}])"},
	{E::Zombie{{100, "P"}},
	    " is a zombie: it has ended and P has not waited for it",
	    "zombie", R"("parent":100,"parent_role":"P")"},
	{E::Sent{3, "pipe", 7, 1, "x"},
	    R"( sends 1 byte into a pipe (fd 3): "x")", "sent", R"("fd":3,"through":"pipe","size":1,"text":"x")"},
	{E::Received{4, "socket", 7, 2, "hi", {101, "C1"}},
	    R"( receives 2 bytes from C1 through a socket (fd 4): "hi")",
	    "received", R"("fd":4,"through":"socket","size":2,"text":"hi",)"
	    R"("from":101,"from_role":"C1")"},
	{E::Received{4, "pipe", 7, 2, "hi", {}},
	    R"( receives 2 bytes from a pipe (fd 4): "hi")", "received",
	    R"("fd":4,"through":"pipe","size":2,"text":"hi")"},
	{E::Wrote{5, "/tmp/o", 3, "abc"},
	    R"( writes 3 bytes to /tmp/o (fd 5): "abc")", "wrote",
	    R"("fd":5,"file":"/tmp/o","size":3,"text":"abc",)"
	    R"("in_handler":"SIGINT")", SIGINT},
	{E::Pending{SIGUSR1, {101, "C1"}, E::Pending::Arrives::later},
	    " has SIGUSR1 pending: P blocks it, and it arrives when P "
	    "unblocks it", "pending", R"("signal":"SIGUSR1","signo":10,)"
	    R"("arrives":"later","from":101,"from_role":"C1")"},
	{E::Pending{SIGUSR1, {}, E::Pending::Arrives::now},
	    " has SIGUSR1 pending, sent while it was blocked: it arrives now",
	    "pending", R"("signal":"SIGUSR1","signo":10,"arrives":"now")"},
	{E::Returned{SIGINT, "read", EINTR}, " returns from its SIGINT "
	    "handler: read, which it cut short, fails with EINTR", "returned",
	    R"("signal":"SIGINT","signo":2,"cut":"read","restarts":false,)"
	    R"("error":4,"error_name":"EINTR")"},
	{E::Returned{SIGSEGV, "", 0}, " returns from its SIGSEGV handler: "
	    "the instruction that faulted runs again", "returned",
	    R"("signal":"SIGSEGV","signo":11,"cut":"")"},
	{E::Thread{102, "T1"}, " starts thread T1 (102)", "thread",
	    R"("new_tid":102,"new_thread":"T1")"},
	// Pipes and their ends, by number.
	{E::Pipe{K::pipe, 1, {3, 4}}, " makes pipe 1: fd 3 reads, fd 4 writes",
	    "pipe", R"("through":"pipe","channel":1,"fds":[3,4])"},
	{E::Pipe{K::socket, 2, {5, 6}}, " makes socket pair 2: fd 5 and fd 6",
	    "pipe", R"("through":"socket","channel":2,"fds":[5,6])"},
	{E::Dup{"dup2", 4, 1, write_end}, " puts pipe 1's write end on fd 1 "
	    "(dup2)", "dup", R"("call":"dup2","from":4,"to":1,"target":)"
	    R"({"kind":"pipe","channel":1,"end":"write","made":true})"},
	{E::Dup{"dup", 2, 3, {K::terminal, 0, false, false, "/dev/pts/1"}},
	    " copies fd 2, the terminal, to fd 3 (dup)", "dup",
	    R"("call":"dup","from":2,"to":3,"target":{"kind":"terminal",)"
	    R"("name":"/dev/pts/1"})"},
	{E::Close{"close", 4, write_end, {{{101, "C1"}, 1}, {{101, "C1"}, 4},
	    {{100, "P"}, 5}}}, " closes fd 4, a write end of pipe 1: 3 write "
	    "ends left open, in C1 (fds 1 and 4) and P itself (fd 5)", "close",
	    R"("call":"close","fd":4,"target":{"kind":"pipe","channel":1,)"
	    R"("end":"write","made":true},"left":[{"fd":1,"pid":101,)"
	    R"("role":"C1"},{"fd":4,"pid":101,"role":"C1"},{"fd":5,)"
	    R"("pid":100,"role":"P"}])"},
	{E::Close{"dup2", 0, read_end, {}}, " closes fd 0, a read end of "
	    "pipe 1, as dup2 puts another there: no read end is left open",
	    "close", R"("call":"dup2","fd":0,"target":{"kind":"pipe",)"
	    R"("channel":1,"end":"read","made":true},"left":[])"},
	{E::Eof{3, read_end}, " reads end of file from pipe 1 (fd 3): no "
	    "write end is left open", "eof", R"("fd":3,"target":{"kind":)"
	    R"("pipe","channel":1,"end":"read","made":true})"},
	// Calls that sleep on a descriptor or for a time.
	{E::Blocked{.call = "read", .fds = {{{}, 3, read_end}}},
	    " blocked in read on pipe 1 (fd 3)", "blocked",
	    R"("call":"read","fds":[{"fd":3,"target":{"kind":"pipe",)"
	    R"("channel":1,"end":"read","made":true}}])"},
	{E::Blocked{.call = "write", .fds = {{{}, 4, write_end}}},
	    " blocked in write on pipe 1 (fd 4) until there is room in it",
	    "blocked", R"("call":"write","fds":[{"fd":4,"target":{"kind":)"
	    R"("pipe","channel":1,"end":"write","made":true}}])"},
	{E::Blocked{.call = "nanosleep", .seconds = 2},
	    " blocked in nanosleep for 2 s", "blocked",
	    R"("call":"nanosleep","seconds":2.0)"},
	{E::Blocked{.call = "poll", .fds = {{{}, 3, read_end}, {{}, 0,
	    {K::terminal, 0, false, false, "/dev/pts/1"}}}, .seconds = 0.25},
	    " blocked in poll on pipe 1 (fd 3) and the terminal (fd 0), for "
	    "up to 0.250 s", "blocked", R"("call":"poll","fds":[{"fd":3,)"
	    R"("target":{"kind":"pipe","channel":1,"end":"read",)"
	    R"("made":true}},{"fd":0,"target":{"kind":"terminal",)"
	    R"("name":"/dev/pts/1"}}],"seconds":0.25)"},
	// A read's wake is told by what it read.
	{E::Woken{.call = "read"}, "", "woken", R"("call":"read","error":0)"},
	{E::Sent{3, "pipe", 7, 1, "x", 1}, R"( sends 1 byte into pipe 1 )"
	    R"((fd 3): "x")", "sent", R"("fd":3,"through":"pipe",)"
	    R"("channel":1,"size":1,"text":"x")"},
	{E::Snapshot{E::Snapshot::State::blocked, {.call = "read", .fds =
	    {{{}, 3, read_end}}}, {{{100, "P"}, 4}}, true}, "", "snapshot",
	    R"("stood":"blocked","in":{"call":"read","fds":[{"fd":3,)"
	    R"("target":{"kind":"pipe","channel":1,"end":"read",)"
	    R"("made":true}}]},"others":[{"fd":4,"pid":100,"role":"P"}],)"
	    R"("never":true)"},
	};
	return rows;
}

Event
made(const Told &t)
{
	return {.us = 5, .pid = 100, .role = "P", .handler = t.handler,
	    .what = t.what};
}

// What the JSON lines view writes of e.
std::string
jsonl_of(const Event &e)
{
	int fds[2];
	if (pipe(fds) != 0)
		return "pipe failed";
	{
		Out out(fds[1]);
		jsonl_view(out, Settings{})->event(e);
		out.flush();
	}
	close(fds[1]);
	std::string s;
	char buf[4096];
	for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
		s.append(buf, static_cast<std::size_t>(n));
	close(fds[0]);
	return s;
}

} // namespace

TEST(EventViews, EachKindsSentenceAndJsonLine)
{
	for (const Told &t : told()) {
		Event e = made(t);
		SCOPED_TRACE(t.kind + std::string(":") + t.sentence);
		EXPECT_EQ(sentence(e), t.sentence);
		EXPECT_STREQ(kind_name(e), t.kind);
		std::string fields = *t.fields ? std::string(",") + t.fields :
		    "";
		std::string head = R"({"t_us":5,"virtual":false,"pid":100,)"
		    R"("role":"P","kind":")";
		EXPECT_EQ(jsonl_of(e), head + t.kind + "\"" + fields + "}\n");
	}
}

// Every kind is in the table above, each under a name of its own; those
// that befell a process have no place in its code.
TEST(EventViews, EveryKindNamedOnceAndSitedUnlessItBefell)
{
	std::set<std::string> names;
	for (const Told &t : told()) {
		Event e = made(t);
		names.insert(kind_name(e));
		bool befell = e.is<E::Reaped>() || e.is<E::Reparented>() ||
		    e.is<E::Stuck>() || e.is<E::Zombie>() ||
		    e.is<E::Snapshot>();
		EXPECT_EQ(e.sited(), !befell) << t.kind;
	}
	EXPECT_EQ(names.size(), std::variant_size_v<E::What>);
}

// Where each process stood, as a stuck pipe leaves them: who holds the
// other end and what it does, and the verdict only where nothing can
// wake it.
TEST(EventViews, WhereEachStoodAndTheVerdict)
{
	using S = E::Snapshot::State;
	auto stood = [](pid_t pid, const char *role, E::Snapshot s) {
		return Event{.us = 5, .pid = pid, .role = role, .what = s};
	};
	E::Blocked wait{"wait4", {101, "C1"}, -1, {"end"}, {}};
	E::Blocked read{.call = "read", .fds = {{{}, 3, read_end}}};
	std::vector<Event> all = {
	    stood(100, "P", {S::blocked, wait, {}, true}),
	    stood(101, "C1", {S::blocked, read, {{{100, "P"}, 4}, {{101, "C1"},
		4}}, true}),
	    stood(102, "C2", {S::zombie, {}, {}, false}),
	};
	EXPECT_EQ(stood_words(all[1], all), "blocked in read on pipe 1 (fd "
	    "3); its write end is open in P (fd 4), which is blocked in wait4 "
	    "for C1 to end, and in C1 itself (fd 4)");
	EXPECT_EQ(verdict_words(all[1]), "C1 can never see end of file: every "
	    "write end of pipe 1 is held by a process that waits (a deadlock)");
	EXPECT_EQ(verdict_words(all[0]), "P can never be woken: what it waits "
	    "for waits too (a deadlock)");
	EXPECT_EQ(stood_words(all[2], all), "a zombie: it has ended, and its "
	    "parent has not waited for it");
	EXPECT_EQ(verdict_words(all[2]), "");
	all[1].what = E::Snapshot{S::blocked, read, {}, false};
	EXPECT_EQ(verdict_words(all[1]), "");
}

// A thread's event names it: in the text after its process's role, in
// the JSON lines by its id and name; a fork by it copies it alone.
TEST(EventViews, ThreadsEventsNameIt)
{
	Event e{.us = 5, .pid = 100, .role = "P", .tid = 102, .thread = "T1",
	    .what = E::Fork{{103, "C1"}}};
	EXPECT_EQ(sentence(e), " forks C1 (103): only thread T1 is copied "
	    "into it");
	EXPECT_EQ(jsonl_of(e), R"({"t_us":5,"virtual":false,"pid":100,)"
	    R"("role":"P","kind":"fork","tid":102,"thread":"T1",)"
	    R"("child":103,"child_role":"C1"})" "\n");
}
