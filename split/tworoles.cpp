// tworoles: the value fork returns tells the two processes apart. The
// first line is written once, before the fork; then parent and child each
// write their own role line and the same closing line. Run it a few times:
// the last four lines change order, but each process keeps its own.
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
	if (pid == -1)
		report_text(1, buffer, sizeof buffer, "Se ha prodcido une error\n");
	else if (pid == 0)
		report(1, buffer, sizeof buffer, "HIJO: Soy el proceso %d\n",
		    getpid());
	else
		report(1, buffer, sizeof buffer, "PADRE: Soy el proceso %d\n",
		    getpid());
	report(1, buffer, sizeof buffer, "Los DOS: Soy el proceso %d\n",
	    getpid());
	return 0;
}
