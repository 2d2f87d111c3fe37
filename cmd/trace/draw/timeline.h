// A whole run kept for a picture: each process as a lane with what
// happened on it, and what joins the lanes (forks, kills, reaps,
// messages). The recorder builds it from the tracer's events as they
// come; svg.cpp and perfetto.cpp draw it once the run is over.
#ifndef TIMELINE_H
#define TIMELINE_H

#include <sys/types.h>

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "shown.h"
#include "view.h"

struct Lane {
	struct Line {
		long long us;
		int fd;
		std::string text;	// as written, '\n' included if it had one
		Source source;		// the call that wrote it, if asked
	};
	struct Exec {
		long long us;
		std::string program;	// the path given to exec
		int error;		// 0, or why it failed
		Source source;		// the call, if asked; so below
	};
	struct Blocked {
		long long from_us;
		long long to_us;	// -1: still blocked at the end
		std::string call;	// "wait4", "read on pipe 1"
		std::string words;	// "blocked in wait4 for any child to end"
		Source source;
	};
	struct Signal {
		long long us;
		int sig;
		Event::Origin origin;
		pid_t from;		// the sender, for a kill
		std::uint64_t addr;	// for a fault
		Source source;		// where it found the process
	};
	struct Kill {
		long long us;
		pid_t to;		// as kill(2) takes it
		int sig;
	};
	// Bytes written into a pipe or socket: a message.
	struct Sent {
		long long us;	// or when the first of them was read, if sooner
		int fd;
		std::uint64_t size;
		std::string text;	// the first of them
		std::string through;	// "pipe", "socket"
		std::uint64_t channel;	// which one
		int id;			// its number in the run, 0 if none
		pid_t to = 0;		// who read the first of them, if known
		std::size_t receipt = 0;	// that reader's, in its received
	};
	// Bytes read out of a pipe or socket, each the part of one read that
	// came from one write, as far as the reader's sender is known.
	struct Received {
		long long us;
		int fd;
		std::uint64_t size;
		std::string text;
		std::string through;
		std::uint64_t channel;
		int id;
		pid_t from = 0;		// who sent them, if known
		bool matched = false;	// with one of from's sends
		bool begins = false;	// its first bytes
	};
	// Bytes written to a file, or a device that is not the run's output.
	struct Wrote {
		long long us;
		int fd;
		std::uint64_t size;
		std::string text;
		std::string path;
	};

	pid_t pid = 0;
	std::string role;
	std::string program;	// the program it started as
	pid_t parent = 0;	// 0 for the process the run started
	long long start_us = 0;	// forked then
	Source forked_at;	// the parent's call
	bool ended = false;
	End end = End::exited(0);
	long long end_us = -1;
	Source ended_at;
	bool by_trace = false;	// killed by trace, to end the run
	std::string end_why;	// why, if so
	pid_t reaper = 0;
	std::string reaper_role;	// empty: never reaped
	long long reaped_us = -1;
	long long orphaned_us = -1;	// given to the subreaper then
	// Told then a zombie its parent will never wait for, the run being
	// stuck.
	long long unwaited_us = -1;

	std::vector<Line> lines;
	std::vector<Exec> execs;
	std::vector<Blocked> blocked;
	std::vector<Signal> signals;
	std::vector<Kill> kills;
	std::vector<Sent> sent;
	std::vector<Received> received;
	std::vector<Wrote> wrote;
};

struct Timeline {
	std::vector<std::string> argv;	// the command as given to trace
	bool time_lapse = false;
	// How the run was stepped (--step, --pace), in words; empty if not.
	std::string stepping;
	std::vector<Lane> lanes;	// in the order they appeared
	pid_t subreaper = 0;	// trace itself
	long long end_us = 0;	// when the run was over
	int status = 0;		// trace's exit status
	std::string cut;	// why trace ended the run, if it did

	[[nodiscard]] const Lane *find(pid_t pid) const;
	[[nodiscard]] std::size_t index(pid_t pid) const;	// lanes.size(): none
	// Every instant something is drawn at, sorted, each once.
	[[nodiscard]] std::vector<long long> instants() const;
};

// A view that keeps the run as a Timeline; the pictures are written
// from it after the summary.
class Recorder : public View {
public:
	explicit Recorder(std::vector<std::string> argv, bool time_lapse);

	void event(const Event &e) override;
	void cut(const std::string &why, long long us) override;
	void summary(const std::vector<Traced> &procs,
	    const Ending &end) override;
	[[nodiscard]] const Timeline &timeline() const { return t_; }
	void stepped(std::string how) { t_.stepping = std::move(how); }

private:
	// What each kind of event adds to its lane (timeline.cpp).
	struct Take;
	Lane &lane(const Event &e);
	void match();

	Timeline t_;
	// Every read out of a pipe or socket, by lane and index, in the
	// order the tracer told them: the order the bytes left each pipe.
	std::vector<std::pair<std::size_t, std::size_t>> reads_;
};

// What a message or a write says, its process's role aside: "sends 12
// bytes to C2 through a pipe", "receives 12 bytes from C1 through a
// pipe", "writes 20 bytes to /tmp/out.txt".
std::string sent_words(const Timeline &t, const Lane::Sent &s);
std::string received_words(const Timeline &t, const Lane::Received &r);
std::string wrote_words(const Lane::Wrote &w);
// The role of a process of the run, "trace" for the subreaper.
std::string role_of(const Timeline &t, pid_t pid);

// The pictures; false once the stream failed. A slide is 1920 by 1080,
// its text large.
bool write_svg(const Timeline &t, std::ostream &out, bool slide = false);
bool write_perfetto(const Timeline &t, std::ostream &out);

#endif
