#include <stdlib.h>

#include "vars.h"

static char variable_global = 'A';

int
main(void)
{
	char variable_local = 'a';
	pid_t pid;

	say_int("Antes del fork: Soy el proceso ", getpid());
	pid = fork();
	if (pid == -1) {
		say(1, "Se ha prodcido une error\n");
	} else if (pid == 0) {
		say_int("HIJO: Soy el proceso ", getpid());
		say_vars("Funcion", variable_global, variable_local);
		exit(0);
	} else {
		say_int("PADRE: Soy el proceso ", getpid());
		say_vars("Funcion", variable_global, variable_local);
	}
	say_int("Solo lo ejecuta el padre: Soy el proceso ", getpid());
	return 0;
}
