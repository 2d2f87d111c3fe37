// copyedit: the child changes its copies of both variables before it
// prints them, and shows 'B' and 'b'. The parent waits for it and then
// prints its own copies: still 'A' and 'a', because fork gave the child
// copies, not the parent's variables.
#include <cstdlib>

#include <sys/wait.h>
#include <unistd.h>

#include "report.h"

char variable_global = 'A';

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
		variable_global = 'B';
		variable_local = 'b';
		report(1, buffer, sizeof buffer,
		    "HIJO:La variable_global vale %c y la local %c\n",
		    variable_global, variable_local);
		std::exit(0);
	} else {
		report(1, buffer, sizeof buffer, "PADRE: Soy el proceso %d\n",
		    getpid());
		waitpid(-1, nullptr, 0);
		report(1, buffer, sizeof buffer,
		    "PADRE:La variable_global vale %c y la local %c\n",
		    variable_global, variable_local);
	}
	report(1, buffer, sizeof buffer,
	    "Solo lo ejecuta el padre: Soy el proceso %d\n", getpid());
	return 0;
}
