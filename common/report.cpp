// The formatter behind report() and report_text(), in the caller's buffer
// and without the C library's stdio, so that a signal handler may use it.
#include <charconv>
#include <cstdarg>
#include <cstdint>
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

// Appends text to [at, end), as much as fits.
static char *
put(char *at, const char *end, const char *text, std::size_t n)
{
	if (n > static_cast<std::size_t>(end - at))
		n = static_cast<std::size_t>(end - at);
	std::memcpy(at, text, n);
	return at + n;
}

// Appends the digits of v in base, as many as fit, like a cut line.
template <typename T>
static char *
put_number(char *at, const char *end, T v, int base)
{
	char digits[24];

	char *last = std::to_chars(digits, digits + sizeof digits, v, base).ptr;
	return put(at, end, digits, static_cast<std::size_t>(last - digits));
}

// The printf family would do, but costs a locale and its pages in every
// process, and a tenth of interleave's time; this is also safe in a
// signal handler. The bytes are the C library's: "%p" is "0x" and
// lower-case hexadecimal, "(nil)" for a null pointer, and a null "%s"
// is "(null)".
void
report_args(int fd, char *buf, std::size_t size, const char *fmt, ...)
{
	va_list ap;
	char *at = buf, *end;

	if (size == 0)
		return;
	end = buf + size - 1;
	va_start(ap, fmt);
	for (const char *f = fmt; *f != '\0' && at < end; f++) {
		if (f[0] != '%' || f[1] == '\0') {
			std::size_t n = 1;
			while (f[n] != '\0' && f[n] != '%')
				n++;
			at = put(at, end, f, n);
			f += n - 1;
			continue;
		}
		switch (*++f) {
		case 'd':
			at = put_number(at, end, va_arg(ap, int), 10);
			break;
		case 'c':
			*at++ = static_cast<char>(va_arg(ap, int));
			break;
		case 's': {
			const char *s = va_arg(ap, const char *);
			if (s == nullptr)
				s = "(null)";
			at = put(at, end, s, std::strlen(s));
			break;
		}
		case 'p': {
			auto v = reinterpret_cast<std::uintptr_t>(
			    va_arg(ap, const void *));
			if (v == 0) {
				at = put(at, end, "(nil)", 5);
				break;
			}
			at = put(at, end, "0x", 2);
			at = put_number(at, end, v, 16);
			break;
		}
		default:	// "%%"
			*at++ = *f;
			break;
		}
	}
	va_end(ap);
	*at = '\0';
	emit(fd, buf);
}

void
report_text(int fd, char *buf, std::size_t size, const char *text)
{
	if (size == 0)
		return;
	*put(buf, buf + size - 1, text, std::strlen(text)) = '\0';
	emit(fd, buf);
}
