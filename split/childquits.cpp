// childquits: as tworoles, but the child leaves right after its role line,
// so the closing line is the parent's alone. The child's line may still
// come after it: the parent does not wait.
#include <cstdlib>

#include <unistd.h>

#include "report.h"

int
main(int, char **)
{
	char buffer[80];
	pid_t pid;

	report(1, buffer, sizeof buffer, "Antes del fork: Soy el proceso %d\n",
	    getpid());
	pid = fork();
	if (pid == -1) {
		report_text(1, buffer, sizeof buffer, "Se ha prodcido une error\n");
	} else if (pid == 0) {
		report(1, buffer, sizeof buffer, "HIJO: Soy el proceso %d\n",
		    getpid());
		std::exit(0);
	} else {
		report(1, buffer, sizeof buffer, "PADRE: Soy el proceso %d\n",
		    getpid());
	}
	report(1, buffer, sizeof buffer,
	    "Solo lo ejecuta el padre: Soy el proceso %d\n", getpid());
	return 0;
}
