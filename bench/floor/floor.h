/*
 * The floors: each makes the system calls of the demo of the same name, in
 * the same order, and nothing else. A line is put together by hand in a
 * local buffer and handed to one write(2), as the demo does; no stdio.
 */
#ifndef FLOOR_H
#define FLOOR_H

#include <stdint.h>

#include <unistd.h>

static inline char *
put_text(char *at, const char *text)
{
	while (*text != '\0')
		*at++ = *text++;
	return at;
}

static inline char *
put_int(char *at, int value)
{
	char digits[12];
	unsigned int u;
	int n = 0;

	u = value < 0 ? 0u - (unsigned int)value : (unsigned int)value;
	do {
		digits[n++] = (char)('0' + u % 10);
		u /= 10;
	} while (u != 0);
	if (value < 0)
		*at++ = '-';
	while (n > 0)
		*at++ = digits[--n];
	return at;
}

/* As "%p" prints it: 0x and lower-case hex, "(nil)" for a null pointer. */
static inline char *
put_ptr(char *at, const void *ptr)
{
	uintptr_t v = (uintptr_t)ptr;
	char digits[2 * sizeof v];
	int n = 0;

	if (v == 0)
		return put_text(at, "(nil)");
	do {
		digits[n++] = "0123456789abcdef"[v % 16];
		v /= 16;
	} while (v != 0);
	at = put_text(at, "0x");
	while (n > 0)
		*at++ = digits[--n];
	return at;
}

static inline void
put_line(int fd, const char *buf, const char *end)
{
	ssize_t n = write(fd, buf, (size_t)(end - buf));

	(void)n;
}

/* text, then the number, then a newline: the demos' commonest line. */
static inline void
say_int(const char *text, int value)
{
	char buf[80];
	char *at;

	at = put_text(buf, text);
	at = put_int(at, value);
	*at++ = '\n';
	put_line(1, buf, at);
}

static inline void
say(int fd, const char *text)
{
	const char *end = text;

	while (*end != '\0')
		end++;
	put_line(fd, text, end);
}

#endif
