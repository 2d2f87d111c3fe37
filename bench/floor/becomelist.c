#include "floor.h"

int
main(void)
{
	say_int("Soy el proceso: ", getpid());
	execlp("ls", "ls", "-l", (char *)NULL);
	say_int("Soy el proceso: ", getpid());
	return 0;
}
