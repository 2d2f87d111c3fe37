#include <stdlib.h>

#include "floor.h"

static int *p;

int
main(void)
{
	char buf[256];
	char *at;

	say(1, "Addresses:\n");
	at = put_text(buf, "\tp: ");
	at = put_ptr(at, &p);
	*at++ = '\n';
	put_line(1, buf, at);
	/* malloc's first call sets up the heap: the demo's getrandom and brk. */
	p = malloc(sizeof *p);
	if (p == NULL) {
		say(2, "ERROR en el malloc\n");
		return 1;
	}
	*p = 0;
	at = put_text(buf, "\tProgram code -- p address: ");
	at = put_ptr(at, &p);
	at = put_text(at, ", p value: ");
	at = put_ptr(at, p);
	at = put_text(at, ", *p: ");
	at = put_int(at, *p);
	*at++ = '\n';
	put_line(1, buf, at);
	return 0;
}
