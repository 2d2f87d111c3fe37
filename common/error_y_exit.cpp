#include <cstdio>
#include <cstdlib>

#include "error_y_exit.h"

void
error_y_exit(const char *mensaje, int status)
{
	std::perror(mensaje);
	std::exit(status);
}
