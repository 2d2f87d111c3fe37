// argecho: lists its own command line, one line per entry, numbered from
// 0; entry 0 is the name it was started under. Every argument is printed
// exactly as passed, "%" signs, blanks, empty and very long ones alike.
// Started with its name alone, it prints how to use it and exits with 1;
// a line that cannot be written is told on descriptor 2, with status 1.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "error_y_exit.h"
#include "report.h"
#include "write_whole.h"

// One line with one write(2), whole whatever its length: formed in buf
// when it fits, otherwise in a block of exactly its own size.
[[gnu::format(printf, 4, 5)]] static void
Escribe_linea(int fd, char *buf, std::size_t size, const char *fmt, ...)
{
	va_list ap;
	char *linea = buf;
	int n;

	va_start(ap, fmt);
	n = std::vsnprintf(buf, size, fmt, ap);
	va_end(ap);
	if (n < 0)
		error_y_exit("vsnprintf", 1);
	auto len = static_cast<std::size_t>(n);
	if (len >= size) {
		linea = static_cast<char *>(std::malloc(len + 1));
		if (linea == nullptr)
			error_y_exit("malloc", 1);
		va_start(ap, fmt);
		n = std::vsnprintf(linea, len + 1, fmt, ap);
		va_end(ap);
		if (n < 0)
			error_y_exit("vsnprintf", 1);
	}
	// Unlike a demo's report line, a line that cannot be written is an
	// error: the listing is what argecho is for.
	bool escrito = write_whole(fd, linea, len);
	int error = errno;
	if (linea != buf)
		std::free(linea);
	if (!escrito) {
		errno = error;
		error_y_exit("write", 1);
	}
}

static void
Usage(char *nombre)
{
	char buffer[80];

	Escribe_linea(2, buffer, sizeof buffer,
	    "Usage: %s par1, [par2,...,parn]\n", nombre);
	report_text(2, buffer, sizeof buffer,
	    "Este programa escribe por pantalla los parametros que recibe\n");
}

int
main(int argc, char **argv)
{
	char buffer[80];
	int i;

	if (argc == 1) {
		Usage(argv[0]);
		std::exit(1);
	}
	for (i = 0; i < argc; i++) {
		if (i == 0)
			Escribe_linea(1, buffer, sizeof buffer,
			    "El argumento %d es %s (es el nombre del ejecutable)\n",
			    i, argv[i]);
		else
			Escribe_linea(1, buffer, sizeof buffer,
			    "El argumento %d es %s\n", i, argv[i]);
	}
	return 0;
}
