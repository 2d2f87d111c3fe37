// heapwalk: where a global pointer lives, and where the heap block it is
// made to point at lies. The "p:" line and the walk line show the same
// address, that of p itself; "p value" is the block, which holds one int,
// so the walk stores 0 there and ends where the block ends.
#include <cstdlib>

#include "report.h"

static int *p;

int
main(int, char **)
{
	char buffer[256];
	int *bloque;
	int contador;
	int *fin;

	contador = 0;
	report_text(1, buffer, sizeof buffer, "Addresses:\n");
	report(1, buffer, sizeof buffer, "\tp: %p\n", static_cast<void *>(&p));
	p = static_cast<int *>(std::malloc(sizeof *p));
	if (p == nullptr) {
		report_text(2, buffer, sizeof buffer, "ERROR en el malloc\n");
		return 1;
	}
	// The block is all the program owns: not one store past it. The walk
	// leaves p past its end, so the block is kept to be freed.
	bloque = p;
	fin = p + 1;
	while (p < fin) {
		*p = contador;
		report(1, buffer, sizeof buffer,
		    "\tProgram code -- p address: %p, p value: %p, *p: %d\n",
		    static_cast<void *>(&p), static_cast<void *>(p), *p);
		p = p + 1;
		contador = contador + 1;
	}
	std::free(bloque);
	return 0;
}
