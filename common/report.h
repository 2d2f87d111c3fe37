// Report lines: each line is formed in the caller's own fixed buffer and
// handed to the descriptor with a single write(2), so lines of processes
// sharing a descriptor interleave whole and nothing is left in a stream
// buffer for a later fork to copy.
#ifndef REPORT_H
#define REPORT_H

#include <cstddef>

// Formats into buf, never past size bytes, then writes strlen(buf) bytes.
// It understands "%d" (an int), "%c", "%s", "%p" and "%%", with no flags
// or widths, and is safe to call in a signal handler. With size 0 it
// writes nothing.
void report(int fd, char *buf, std::size_t size, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Copies a fixed text into buf, never past size bytes, then writes it.
void report_text(int fd, char *buf, std::size_t size, const char *text);

#endif
