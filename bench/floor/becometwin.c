#include "floor.h"

int
main(void)
{
	say_int("Soy el proceso: ", getpid());
	execlp("./twinspeak", "twinspeak", (char *)NULL);
	say(1, "Después del exec\n");
	return 0;
}
