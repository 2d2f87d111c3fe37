// How trace shows things in words, for every view and picture: bytes
// escaped, lines fitted to a width, times, processes and signals, and
// what each event says.
#ifndef SHOWN_H
#define SHOWN_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "event.h"

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
// Whom a wait waits for: "C2", "any child", "any child in group 42".
std::string waited_words(const Event::Blocked &e);
// What ends it: "end", "end or stop".
std::string awaited_words(const Event::Blocked &e);
// A set of signals as a student reads it: a few by name, joined by
// conjunction; else by those it leaves out, "every signal but SIGINT
// and SIGALRM"; none if it is empty.
std::string signal_set(const std::vector<std::string> &names,
    const std::string &conjunction, const std::string &none);
// Descriptors (fds.cpp): "pipe 1", "socket pair 2", "the terminal", a
// file's path; with a pipe's end, "pipe 1's write end".
std::string channel_words(const Event::Target &t);
std::string target_words(const Event::Target &t);
// Whether a call moves bytes through a descriptor: read, write, ...;
// and whether it reads them.
bool moves_bytes(const std::string &call);
bool reads_bytes(const std::string &call);
// "pipe 1", "socket pair 2" by a message's through and number; "a pipe"
// if it has none.
std::string through_words(const std::string &through, int id);
// What the descriptors' events say, after the process's role.
std::string pipe_words(const Event::Pipe &e);
std::string dup_words(const Event::Dup &e);
std::string close_words(const Event::Close &e, pid_t self);
std::string eof_words(const Event::Eof &e);
// "blocked in read on pipe 1 (fd 3)", "blocked in nanosleep for 2 s": a
// call that sleeps on descriptors or for a time.
std::string sleep_words(const Event::Blocked &e);
// What ends such a sleep: "bytes or end of file come through pipe 1".
std::string sleep_end_words(const Event::Blocked &b);
// Where a process stood (a snapshot event), among all the run's: its
// state, and who holds the other end of a pipe it waits on; and the
// verdict when nothing can ever wake it, "" otherwise.
std::string stood_words(const Event &e, const std::vector<Event> &all);
std::string verdict_words(const Event &e);
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
// A role as the JSON lines give it: "P", "C3", "trace", "kernel"; "" for
// a process not of the run.
std::string role_id(const std::string &role);
// A process by its role and number, "C1 497"; within width, the number
// pushed right to fill it, "C1     497".
std::string tag(const std::string &role, pid_t pid, std::size_t width = 0);

#endif
