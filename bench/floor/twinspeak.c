#include "floor.h"

int
main(void)
{
	fork();
	say_int("Soy el proceso ", getpid());
	return 0;
}
