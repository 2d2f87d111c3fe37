// A run's processes as two tellers tell them, strace -f's log and trace's
// JSON lines, put in one form: a tree by who made whom, each process with
// its execs, its end, who reaped it, what woke its waits and what it
// wrote on the run's output.
// Written out with the process numbers and roles left aside, two runs of
// one program can be compared whole.
#ifndef REAL_STORY_H
#define REAL_STORY_H

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "harness.h"

struct Story {
	struct Proc {
		std::string maker;	// the key of who made it; "" for the first
		// each as exec_told says it, or failed_told for one that
		// failed
		std::vector<std::string> execs;
		std::string end;	// as describe() says it; "" if never ended
		std::string reaper;	// the key of who reaped it; "" for none
		// of the run (the subreaper, trace, the kernel)
		std::map<int, std::string> out;	// bytes on the run's output, by
		// the descriptor written to
		// What woke each of its waits that blocked (no WNOHANG), other
		// than a child's end: "a child stopped", "a child continued",
		// "interrupted by a signal". Who reaped each child is told with
		// the child; how many blocking waits saw an end is the
		// scheduler's in a program that also polls (xargs, make).
		std::vector<std::string> waits;
	};
	std::string first;	// the process started
	std::map<std::string, Proc> procs;	// by the teller's key
};

// What a run leaves to the scheduler, and a case's row says so.
struct Leeway {
	// The lines of one process come from several threads at once: each
	// process's lines are compared in any order.
	bool thread_lines = false;
	// How many processes a child makes is the scheduler's: below the
	// first level, alike siblings are counted as "some".
	bool grandchildren = false;
};

// The calls strace must log for strace_story, and its options: -y, each
// descriptor's file named; strings logged whole, the largest 1.5 MiB.
extern const char story_calls[];
extern const std::vector<std::string> story_options;
// The story strace logged (real_strace.cpp).
Story strace_story(const Result &r);
// "exec PATH "ARG0" "ARG1"...", escaped as the story shows bytes.
std::string exec_told(const std::string &path,
    const std::vector<std::string> &argv);
// "cannot exec PATH: ENOENT".
std::string failed_told(const std::string &path, const std::string &error);
// The story in trace's JSON lines.
Story trace_story(const std::vector<nlohmann::json> &report);
// What trace's lines say the run wrote on descriptor fd, in their order.
std::string trace_output(const std::vector<nlohmann::json> &report, int fd);
// The roles whose events in trace's report carry more than one process
// number, as a thread's would with its own; "" if none.
std::string roles_with_many_numbers(
    const std::vector<nlohmann::json> &report);
// The story written out, one process a line and its lines under it,
// siblings sorted and alike ones counted together.
std::string told(const Story &s, const Leeway &leeway);
// out's lines, sorted; a last one without its newline among them.
std::vector<std::string> sorted_lines(const std::string &out);

#endif
