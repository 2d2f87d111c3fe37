// For the tools, whose output is what they are for: unlike a demo's
// report line, a line of theirs that cannot be written must not go
// unnoticed.
#ifndef WRITE_WHOLE_H
#define WRITE_WHOLE_H

#include <cstddef>

// Writes all len bytes of buf to fd, with one write(2) unless one takes
// only part of them or a signal stops it: then again from where it
// stopped. False, with errno set, if a write fails; what was written
// before stays written.
bool write_whole(int fd, const char *buf, std::size_t len);

#endif
