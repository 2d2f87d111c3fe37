#include "floor.h"

int
main(void)
{
	int valor = 0;
	size_t leidos = 0;

	while (leidos < sizeof valor) {
		ssize_t n = read(0, (char *)&valor + leidos, sizeof valor - leidos);
		if (n <= 0)
			break;
		leidos += (size_t)n;
	}
	say_int("", valor);
	return 0;
}
