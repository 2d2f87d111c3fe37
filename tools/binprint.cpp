// binprint: reads one int in its raw form, 4 bytes in the machine's own
// order, from standard input and prints it in decimal. Text is not parsed:
// "1234" is four bytes like any others. Only 4 bytes are ever read, so
// what follows is left for whoever reads the input next. An input that
// cannot be read, or a line that cannot be written, is an error: it is
// told on descriptor 2 and the status is 1.
#include <cerrno>
#include <charconv>

#include <unistd.h>

#include "error_y_exit.h"
#include "write_whole.h"

int
main(int, char **)
{
	char buffer[64];
	int valor = 0;
	std::size_t leidos = 0;

	// A pipe or a terminal may hand the 4 bytes over in pieces: read until
	// all have come or the input ends; bytes that never come stay 0.
	while (leidos < sizeof valor) {
		ssize_t n = read(0, reinterpret_cast<char *>(&valor) + leidos,
		    sizeof valor - leidos);
		if (n == 0)
			break;
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			error_y_exit("read", 1);
		leidos += static_cast<std::size_t>(n);
	}
	// The line whole, for one write: "-2147483648\n" is 12 bytes.
	char *fin = std::to_chars(buffer, buffer + sizeof buffer - 1, valor).ptr;
	*fin++ = '\n';
	if (!write_whole(1, buffer, static_cast<std::size_t>(fin - buffer)))
		error_y_exit("write", 1);
	return 0;
}
