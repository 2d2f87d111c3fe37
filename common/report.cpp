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

	va_start(ap, fmt);
	std::vsnprintf(buf, size, fmt, ap);
	va_end(ap);
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
