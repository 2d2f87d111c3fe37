/*
 * What the corpus programs share: a line written with one write(2), so
 * that each line reaches a tracer whole and from its writer, and the end
 * of a program whose call failed, with 99, a status no case expects.
 */
#ifndef CORPUS_H
#define CORPUS_H

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static inline void
say(const char *s)
{
	size_t n = strlen(s);

	if (write(1, s, n) != (ssize_t)n)
		_exit(99);
}

static inline void __attribute__((format(printf, 3, 4)))
format(char *buf, size_t size, const char *fmt, ...)
{
	va_list ap;

	va_start(ap, fmt);
	(void)vsnprintf(buf, size, fmt, ap);
	va_end(ap);
}

static inline void __attribute__((format(printf, 1, 2)))
sayf(const char *fmt, ...)
{
	char line[512];
	va_list ap;

	va_start(ap, fmt);
	(void)vsnprintf(line, sizeof line, fmt, ap);
	va_end(ap);
	say(line);
}

static inline void __attribute__((noreturn))
die(const char *what)
{
	perror(what);
	exit(99);
}

#endif
