#include <stdlib.h>

#include "floor.h"

int
main(void)
{
	pid_t pid;

	say_int("Antes del fork: Soy el proceso ", getpid());
	pid = fork();
	if (pid == -1) {
		say(1, "Se ha prodcido une error\n");
	} else if (pid == 0) {
		say_int("HIJO: Soy el proceso ", getpid());
		exit(0);
	} else {
		say_int("PADRE: Soy el proceso ", getpid());
	}
	say_int("Solo lo ejecuta el padre: Soy el proceso ", getpid());
	return 0;
}
