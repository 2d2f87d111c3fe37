#include <stdlib.h>

#include "floor.h"

/* 100000 lines from each process, each its own write; the letter steps up
 * before lines 1, 10001, 20001, ... as the demo's does. */
static void
escribe_lineas(const char *nombre, char letra)
{
	char buf[80];
	char *at, *slot;
	int i;

	at = put_text(buf, nombre);
	at = put_text(at, ":La variable_global vale ");
	slot = at++;
	*at++ = '\n';
	for (i = 0; i <= 99999; i++) {
		if (i % 10000 == 0)
			letra++;
		*slot = letra;
		put_line(1, buf, at);
	}
}

int
main(void)
{
	pid_t pid;

	say_int("Antes del fork: Soy el proceso ", getpid());
	pid = fork();
	if (pid == -1) {
		say(1, "Se ha producido une error\n");
	} else if (pid == 0) {
		say_int("HIJO: Soy el proceso ", getpid());
		escribe_lineas("HIJO", 'A');
		exit(0);
	} else {
		say_int("PADRE: Soy el proceso ", getpid());
		escribe_lineas("PADRE", 'a');
	}
	say_int("Solo lo ejecuta el padre: Soy el proceso ", getpid());
	return 0;
}
