// trace: runs one program under the tracer (tracer.h) and shows, as they
// happen, every line it writes tagged with its writer, and between them
// what the kernel did: forks, signals, waits, ends, reaps. main.cpp reads
// the command line and makes the run; text.cpp shows it for people,
// jsonl.cpp as JSON lines; out.cpp holds the output and the escaping.
#ifndef TRACE_H
#define TRACE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "event.h"

struct Settings {
	bool lines_only = false;
	bool jsonl = false;
	bool time_lapse = false;	// times are on the virtual clock
	bool stepped = false;	// --step or --pace: times hold the waits
	bool colour = false;
	// Where in the program's source each event was made: not told, told
	// as file:line, or with the text of that line as well.
	enum class Sources { none, lines, code } source = Sources::none;
	std::string sources_dir;	// the demos' copies of their sources
	// States and causes in the words of a lecture: the state each
	// process is in as ps names it, and notes on what each event means.
	bool explain = false;
	std::size_t width = 80;	// the text's, in columns
};

// The report, held and written in large pieces to descriptor fd: at
// most every due_ms, or sooner once a piece is full.
class Out {
public:
	static constexpr int due_ms = 50;

	explicit Out(int fd = 1) : fd_(fd) {}
	void add(std::string_view s);
	// Writes what is held; false once a write has failed.
	bool flush();
	// Something is held, and has been for due_ms.
	[[nodiscard]] bool due() const;
	// Milliseconds until what is held is due; -1 with nothing held.
	[[nodiscard]] int due_in_ms() const;
	[[nodiscard]] bool failed() const { return error_ != 0; }
	[[nodiscard]] int error() const { return error_; }

private:
	int fd_;
	std::string held_;
	long long since_ms_ = 0;
	int error_ = 0;
};

// How the run came to its end, for the last words of a view.
struct Ending {
	std::string why;	// empty: the program's own end; else what trace did
	int status = 0;		// trace's exit status
	long long us = 0;	// when, on the run's clock
	pid_t pid = 0;		// the process started
};

class View {
public:
	virtual ~View() = default;
	virtual void event(const Event &e) = 0;
	// The run was ended by trace, for why.
	virtual void cut(const std::string &why, long long us) = 0;
	// How each process ended and who collected it.
	virtual void summary(const std::vector<Traced> &procs,
	    const Ending &end) = 0;
};

std::unique_ptr<View> text_view(Out &out, const Settings &s);
std::unique_ptr<View> jsonl_view(Out &out, const Settings &s);

// Whether bytes are well-formed UTF-8.
bool valid_utf8(std::string_view bytes);
// Bytes as they are shown on a terminal: control characters (tab aside)
// and bytes that are not UTF-8 as \xNN, a backslash as \\.
std::string escaped(std::string_view text);
// A line so shown, its newline dropped; "   (no newline)" after a line
// that had none.
std::string escaped_line(std::string_view line);
// Where in the source: "tworoles.cpp:15", the file's name alone; the
// function's name without a line; "" if nothing is known.
std::string site_words(const Site &s);
// What an event says in the text, after its process's role: " forks C1
// (4242)"; empty for a line and for what the text does not show.
std::string sentence(const Event &e);
// "blocked in sigsuspend for SIGINT or SIGALRM": what a
// blocked event says of its process (words.cpp).
std::string waiting_words(const Event::Blocked &e);
// A set of signals as a student reads it: a few by name, joined by
// conjunction; else by those it leaves out, "every signal but SIGINT
// and SIGALRM"; none if it is empty.
std::string signal_set(const std::vector<std::string> &names,
    const std::string &conjunction, const std::string &none);
// How a process ended: "exited with 0", "killed by signal 9 (SIGKILL)";
// "killed by trace (SIGKILL)" when trace killed it to end the run.
std::string ended_words(const End &end, bool by_trace);
// How many characters: UTF-8 sequences, each byte of one that is not.
std::size_t characters(std::string_view s);
// Text cut to at most n characters, "…" marking the cut.
std::string shortened(const std::string &s, std::size_t n);
// The last part of a path.
std::string base_name(const std::string &path);
// How many columns a line takes on a terminal (fit.cpp): one a
// character, a tab up to the next stop of eight.
std::size_t columns(const std::string &s);
// A line cut to at most width columns, where a character ends, "…"
// marking the cut.
std::string fitted(const std::string &line, std::size_t width);
// Words broken at spaces into lines: the first of at most first
// columns, the others of rest. A word longer stays whole on its own.
std::vector<std::string> wrapped(const std::string &text,
    std::size_t first, std::size_t rest);
// A fault's address, "0x0".
std::string address(std::uint64_t addr);
// A value with so many decimals.
std::string fixed(double value, int decimals);
// A length of time in a unit, with so many decimals: "974 ms", "10.0 s".
// Every length of time the views and pictures write is put so.
enum class Unit { ms, s };
std::string in_unit(long long us, Unit unit, int decimals);
// A length of time: "0.06 ms", "10.000 s".
std::string duration(long long us);
// A process as others name it: its role, trace for the subreaper, else
// "process N".
std::string who(pid_t pid, const std::string &role);

#endif
