// binprint: reads one int in its raw form, 4 bytes in the machine's own
// order, from standard input and prints it in decimal. Text is not parsed:
// "1234" is four bytes like any others. Only 4 bytes are ever read, so
// what follows is left for whoever reads the input next.
#include <unistd.h>

#include "report.h"

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
		if (n <= 0)
			break;
		leidos += static_cast<std::size_t>(n);
	}
	report(1, buffer, sizeof buffer, "%d\n", valor);
	return 0;
}
