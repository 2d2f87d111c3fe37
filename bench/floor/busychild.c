#include <stdlib.h>

#include "floor.h"

int
main(void)
{
	pid_t pid;
	volatile int contador;

	say_int("Antes del fork: Soy el proceso ", getpid());
	pid = fork();
	if (pid == -1) {
		say(1, "Se ha prodcido une error\n");
	} else if (pid == 0) {
		say_int("HIJO: Soy el proceso ", getpid());
		/* The demo's own work between its lines: the same count. */
		contador = 0;
		while (contador <= 9999)
			contador = contador + 1;
		say_int("HIJO acaba: Soy el proceso ", getpid());
		exit(0);
	} else {
		say_int("PADRE: Soy el proceso ", getpid());
	}
	say_int("Solo lo ejecuta el padre: Soy el proceso ", getpid());
	return 0;
}
