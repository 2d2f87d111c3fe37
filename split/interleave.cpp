// interleave: parent and child each write 100000 lines to the same
// output, with no wait and no lock between them. Every line is its own
// write, so the two streams mix line by line in an order the scheduler
// picks anew on every run, while each process's lines keep their order.
#include <cstdlib>

#include <unistd.h>

#include "report.h"

char variable_global = 'A';

static void
Escribe_variable_global(const char *nombre)
{
	char buffer[80];

	report(1, buffer, sizeof buffer, "%s:La variable_global vale %c\n",
	    nombre, variable_global);
}

// The variable steps up just before lines 1, 10001, 20001, ...
static void
escribe_lineas(const char *nombre)
{
	int i;

	for (i = 0; i <= 99999; i++) {
		if (i % 10000 == 0)
			variable_global++;
		Escribe_variable_global(nombre);
	}
}

int
main(int, char **)
{
	char buffer[80];
	pid_t pid;

	report(1, buffer, sizeof buffer, "Antes del fork: Soy el proceso %d\n",
	    getpid());
	pid = fork();
	if (pid == -1) {
		report_text(1, buffer, sizeof buffer,
		    "Se ha producido une error\n");
	} else if (pid == 0) {
		report(1, buffer, sizeof buffer, "HIJO: Soy el proceso %d\n",
		    getpid());
		escribe_lineas("HIJO");
		std::exit(0);
	} else {
		report(1, buffer, sizeof buffer, "PADRE: Soy el proceso %d\n",
		    getpid());
		variable_global = 'a';
		escribe_lineas("PADRE");
	}
	report(1, buffer, sizeof buffer,
	    "Solo lo ejecuta el padre: Soy el proceso %d\n", getpid());
	return 0;
}
