// funcview: both processes show the variables through one function that
// reads the global itself and gets the local by value. The two lines it
// writes are identical, so nothing in them tells which process wrote
// which; the parent does not wait, so its closing line may come first.
#include <cstdlib>

#include <unistd.h>

#include "report.h"

char variable_global = 'A';

static void
Escribe_variables(char variable_local)
{
	char buffer[80];

	report(1, buffer, sizeof buffer,
	    "Funcion:La variable_global vale %c y la local %c\n",
	    variable_global, variable_local);
}

int
main(int, char **)
{
	char variable_local;
	char buffer[80];
	pid_t pid;

	variable_local = 'a';
	report(1, buffer, sizeof buffer, "Antes del fork: Soy el proceso %d\n",
	    getpid());
	pid = fork();
	if (pid == -1) {
		report_text(1, buffer, sizeof buffer, "Se ha prodcido une error\n");
	} else if (pid == 0) {
		report(1, buffer, sizeof buffer, "HIJO: Soy el proceso %d\n",
		    getpid());
		Escribe_variables(variable_local);
		std::exit(0);
	} else {
		report(1, buffer, sizeof buffer, "PADRE: Soy el proceso %d\n",
		    getpid());
		Escribe_variables(variable_local);
	}
	report(1, buffer, sizeof buffer,
	    "Solo lo ejecuta el padre: Soy el proceso %d\n", getpid());
	return 0;
}
