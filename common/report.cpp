#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "report.h"

static void
emit(int fd, const char *buf)
{
	// A failed write is not reported: the demos go on with their next step.
	ssize_t n = write(fd, buf, std::strlen(buf));
	(void)n;
}

void
report(int fd, char *buf, std::size_t size, const char *fmt, ...)
{
	va_list ap;
	int n;

	if (size == 0)
		return;
	va_start(ap, fmt);
	n = std::vsnprintf(buf, size, fmt, ap);
	va_end(ap);
	// A line too long for buf is cut short; a line that could not be
	// formed at all leaves nothing in buf worth writing.
	if (n < 0)
		return;
	emit(fd, buf);
}

void
report_safe(int fd, char *buf, std::size_t size, const char *fmt, ...)
{
	va_list ap;
	char *at = buf, *end;

	if (size == 0)
		return;
	end = buf + size - 1;
	va_start(ap, fmt);
	for (const char *f = fmt; *f != '\0' && at < end; f++) {
		if (f[0] == '%' && f[1] == 'd') {
			at = std::to_chars(at, end, va_arg(ap, int)).ptr;
			f++;
		} else {
			if (f[0] == '%' && f[1] == '%')
				f++;
			*at++ = *f;
		}
	}
	va_end(ap);
	*at = '\0';
	emit(fd, buf);
}

void
report_text(int fd, char *buf, std::size_t size, const char *text)
{
	std::size_t n = std::strlen(text);

	if (size == 0)
		return;
	if (n >= size)
		n = size - 1;
	std::memcpy(buf, text, n);
	buf[n] = '\0';
	emit(fd, buf);
}
