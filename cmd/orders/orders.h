// orders: runs a demo many times and shows which orders of its lines
// occurred, how often, which of them its rules allow, which allowed ones
// never showed up, and how its processes ended; of a program without
// rules, only the orders and the ends. Each run is made by a helper
// process of ours (runs.cpp) that judges it (judge.cpp, or unruled.cpp)
// and hands back over a pipe only what is kept of it (wire.cpp); the runs
// are tallied (tally.cpp) and shown at the end (report.cpp).
#ifndef ORDERS_H
#define ORDERS_H

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "demo_rules.h"
#include "event.h"
#include "runner.h"
#include "tool.h"
#include "words.h"

// What one run shows, all that is kept of it.
struct Judged {
	std::vector<std::string> why;	// what broke, if anything
	std::string ending;	// how its processes ended
	bool allowed = false;	// its order is one the rules allow
	std::vector<std::string> shown;	// the order shown, mixing demos aside
	// Untraced, without rules: the order shown with each number that
	// could be a process's of the run as #, so that orders that differ
	// in such numbers alone read alike.
	std::string masked;
	long switches = 0, trailer = 0;	// mixing demos only
};

struct Seen {
	int count = 0;
	bool allowed = false;
	std::size_t first = 0;	// the run that first showed it
	std::vector<std::string> lines;
	std::string masked;	// as the run that first showed it had it
};

// Runs that were not sound alike: in the same order, if that is one the
// rules do not allow, and for the same reasons.
struct Problem {
	int count = 0;
	std::size_t first = 0;	// the run that first showed it
	std::vector<std::string> why;	// as that run was judged, in full
};

struct Tally {
	const DemoRules &demo;
	Rules rules;
	bool writers;	// each line shown with its writer
	bool traced;	// every process's number known
	int runs = 0, failed = 0;
	std::map<std::string, Seen> orders;
	std::map<std::string, int> endings;
	std::map<std::string, Problem> problems;	// by order and reasons
	std::vector<long> switches, trailer;	// mixing demos only
};

// The orders or problems of a tally, most frequent first, the first seen
// first among equals.
template <class Counted>
std::vector<const std::pair<const std::string, Counted> *>
most_frequent(const std::map<std::string, Counted> &counted)
{
	std::vector<const std::pair<const std::string, Counted> *> v;
	v.reserve(counted.size());
	for (const auto &c : counted)
		v.push_back(&c);
	std::sort(v.begin(), v.end(), [](auto a, auto b) {
		if (a->second.count != b->second.count)
			return a->second.count > b->second.count;
		return a->second.first < b->second.first;
	});
	return v;
}
// How the processes ended, most frequent first.
std::vector<std::pair<std::string, int>> endings_by_count(const Tally &t);

// Names a role's process as it is shown: P for the one started, C1,
// C2, ... for the others in the order their numbers first appear; the
// subreaper that started the run keeps its role.
class Names {
public:
	const std::string &operator()(const std::string &role);

private:
	std::map<std::string, std::string> names_;
	int children_ = 0;
};

// How the demo is started, and how many times.
struct Plan {
	std::string file;	// the program
	std::vector<std::string> argv;	// from argv[0]
	std::string cwd;
	int runs, jobs;
	bool time_lapse;	// under the tracer, alarms fast-forwarded
	bool writers;		// under the tracer, each line shown with its writer
	bool progress;		// how far the runs have got, on descriptor 2
};

// A run made: what the runner saw and, traced, each line of descriptor 1
// as the tracer saw it written, with its writer's role (with --writers
// only), and every process of the run.
struct Made {
	Outcome outcome;
	std::vector<std::pair<pid_t, std::string>> written;
	std::vector<Traced> processes;
	pid_t subreaper = 0;	// the helper that made it
	// The last process number the system gave out by the run's end; 0
	// if unknown. Every process of the run has a number after P's and up
	// to this one, unless the numbers went round meanwhile.
	pid_t last_pid = 0;
};

// A program without rules has an entry of its own with none: its orders
// are only counted.
inline bool
unruled(const DemoRules &demo)
{
	return demo.rules == nullptr;
}

// Looks at one run: the order, what came on descriptor 2, how every
// process it saw ended against the table. Done by the helper that made
// the run.
Judged judge(const DemoRules &demo, const Rules &rules, const Made &m);
// The same of a program without rules: its lines as written but for the
// numbers of the processes known to be the run's, shown by role.
Judged judge_unruled(const Made &m);
// Far more than any order of lines a student reads (interleave writes
// 6 MiB): a run that writes more (yes) is ended, and only its first
// lines are kept.
constexpr std::size_t most_output = std::size_t{16} << 20;
constexpr std::size_t lines_kept = 20;
// Why a run was ended before it was done, if it was.
void cut_short(const Outcome &r, std::vector<std::string> &why);
// How one process of a run ended and who reaped it, as far as the run
// shows (ends.cpp).
struct Fate {
	std::string name;	// P, C1, ...
	std::optional<End> end;	// nullopt: not seen
	std::string reaper;	// by name, or "orders"; empty: never reaped
	bool left = false;	// its parent did not reap it: orders did
};
// What the run shows of itself: P's end and those of the processes that
// came back to orders, which reaps them, and traced, every process's
// end and reaper. Processes are named by their roles in roles (pid ->
// role), where those without one are added as "?PID".
std::vector<Fate> fates(const Made &m, std::map<long, std::string> &roles,
    Names &names);
// The fates in words, P first, then by number, neighbours alike together,
// then more, all joined by "; ": "P exited with 0, reaped by orders; C1
// to C10 exited with 0, reaped by P".
std::string in_words(std::vector<Fate> all,
    const std::vector<std::string> &more = {});
// "C1", "C1 and C2", "C1, C2 and C3".
std::string listed(const std::vector<std::string> &names);
// "?1234": a process of the run that has no role of its own.
std::string numbered(char prefix, long n);
// A run's output, split after each newline.
std::vector<std::string_view> split_lines(std::string_view s);
// Puts before each line shown its writer's name, as the tracer saw the
// lines written; "?" for a writer without a role.
void tag_writers(const std::vector<std::string_view> &lines, const Made &m,
    const std::map<long, std::string> &roles, Names &names,
    std::vector<std::string> &shown);
// An order the rules allow as it is shown: each line with its numbers
// by role and its addresses by a placeholder, and if asked its writer;
// a process's further lines as one line.
std::vector<std::string> render(const Rules &rules,
    const std::vector<Step> &steps, Names &names, bool writers = false);
// A run the rules do not allow, named as far as it can be. Its lines,
// each keeping its newline, with the numbers of the processes known (pid
// -> role) as their roles and, if asked, addresses as <addr>:
std::vector<std::string> named_lines(const std::vector<std::string_view> &lines,
    const std::map<long, std::string> &known, Names &names,
    bool addresses = true);
// The roles of the rules of which there is no sign in the run: no number
// bound to them (in roles), no line that could be theirs, no process back
// to us that could be theirs (a role "?..." in roles). Only a role whose
// lines carry its number can be told missing.
std::vector<std::string> missing(const Rules &rules,
    const std::vector<std::string_view> &lines,
    const std::map<long, std::string> &roles);
// Why the run fits no order (v, its verdict), its lines shown as
// named_lines made them, each process named as in them.
std::string rejection(const Rules &rules,
    std::span<const std::string_view> lines,
    const std::vector<std::string> &named, const Verdict &v, Names &names);
// The lines of an order, each ended by a newline: what tells orders apart.
std::string joined(const std::vector<std::string> &lines);

// A judged run as it crosses the pipe, and back; decode is false unless
// text is one whole judged run.
std::string encode(const Judged &j);
bool decode(std::string_view text, Judged &j);

// How far the runs have got, on a line of descriptor 2 rewritten as they
// come in; on only when that is a terminal, shown only once the runs take
// more than a moment, and erased when they are over.
class Progress {
public:
	Progress(bool on, int runs);
	// How long to wait at most for a run before update is due again;
	// -1: for ever.
	[[nodiscard]] int wait_ms() const;
	void update(int done);
	void clear();

private:
	bool on_;
	int runs_;
	std::string shown_;	// the line on the terminal, if any
	std::chrono::steady_clock::time_point start_, drawn_{};
};

// Makes the runs, each in a helper, and counts each in; false if Ctrl-C
// stopped them early, the runs it cut short not counted. No helper, nor
// any process of a run, is left. If the reader of descriptor 1, a pipe,
// goes meanwhile, the runs stop and we end by SIGPIPE.
bool run_all(Tally &t, const Plan &plan);
// Counts a judged run in.
void tally(Tally &t, const Judged &j);
// The orders the rules allow, as far as they can be counted and, if they
// are few enough, gone through as text.
struct Allowed {
	std::optional<std::uint64_t> count;	// nullopt: 2^64 or more
	bool listed = false;	// gone through: texts and unseen hold them
	std::size_t texts = 0;	// told apart as text
	// Those not among the orders seen, by text, if those were given.
	std::map<std::string, std::vector<std::string>> unseen;
};
Allowed allowed_orders(const Rules &rules, bool writers,
    const std::map<std::string, Seen> *seen = nullptr);

// What --allowed shows of a demo's rules, without a run: how many orders
// they allow, then the first `limit` as text, each once (-1: as many as
// suit the demo), each line with its writer if asked; in JSON if asked.
struct Listing {
	long limit;
	bool writers, json;
};
// Prints it; the exit status.
int list_allowed(const DemoRules &demo, const Listing &l);
// The same in JSON: the count, and the orders listed.
std::string allowed_json(const DemoRules &demo, const Allowed &a,
    const std::vector<std::vector<std::string>> &listed);

// Prints what the runs showed, saying so if Ctrl-C stopped them short of
// planned (0: it did not); the exit status: status_unsound if any was
// not sound.
int report(const Tally &t, std::ostream &out, int planned = 0);
// The same as one JSON document; whole: Ctrl-C did not stop the runs.
int report_json(const Tally &t, std::ostream &out, const Plan &plan,
    bool whole);

// Writes text whole on descriptor 1; false, once said why, if it cannot.
// If its reader is gone, ends us quietly by SIGPIPE instead.
bool put(const std::string &text);
// Ends us as killed by sig, whatever its action was: a shell then shows
// 128 + sig, and a script it runs stops as it would for the demo itself.
[[noreturn]] void die_of(int sig);
// Says that the output cannot be written, and why; status_failed.
int cannot_write(int err);

#endif
