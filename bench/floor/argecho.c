#include <stdlib.h>

#include "floor.h"

static size_t
longitud(const char *s)
{
	size_t n = 0;

	while (s[n] != '\0')
		n++;
	return n;
}

/* One write of a, b and c: formed in buf when they fit, as the demo's
 * line is, otherwise in a block of their own size. */
static void
escribe(int fd, const char *a, const char *b, const char *c)
{
	char buf[80];
	char *linea = buf, *at;
	size_t n = longitud(a) + longitud(b) + longitud(c);

	if (n >= sizeof buf) {
		linea = malloc(n + 1);
		if (linea == NULL)
			exit(1);
	}
	at = put_text(linea, a);
	at = put_text(at, b);
	at = put_text(at, c);
	put_line(fd, linea, at);
	if (linea != buf)
		free(linea);
}

int
main(int argc, char **argv)
{
	char cabeza[32];
	int i;

	if (argc == 1) {
		escribe(2, "Usage: ", argv[0], " par1, [par2,...,parn]\n");
		say(2, "Este programa escribe por pantalla los parametros que "
		    "recibe\n");
		exit(1);
	}
	for (i = 0; i < argc; i++) {
		*put_text(put_int(put_text(cabeza, "El argumento "), i),
		    " es ") = '\0';
		escribe(1, cabeza, argv[i],
		    i == 0 ? " (es el nombre del ejecutable)\n" : "\n");
	}
	return 0;
}
