// busychild: the child spends a while counting between its two lines, and
// the parent does not wait for it. The parent's closing line may come
// before the child is done, and at a terminal the child's lines may land
// after the shell's prompt.
#include <cstdlib>

#include <unistd.h>

#include "report.h"

int
main(int, char **)
{
	char buffer[80];
	pid_t pid;
	// volatile: every one of the 10000 increments is really carried out.
	volatile int contador;

	report(1, buffer, sizeof buffer, "Antes del fork: Soy el proceso %d\n",
	    getpid());
	pid = fork();
	if (pid == -1) {
		report_text(1, buffer, sizeof buffer, "Se ha prodcido une error\n");
	} else if (pid == 0) {
		report(1, buffer, sizeof buffer, "HIJO: Soy el proceso %d\n",
		    getpid());
		contador = 0;
		while (contador <= 9999)
			contador = contador + 1;
		report(1, buffer, sizeof buffer,
		    "HIJO acaba: Soy el proceso %d\n", getpid());
		std::exit(0);
	} else {
		report(1, buffer, sizeof buffer, "PADRE: Soy el proceso %d\n",
		    getpid());
	}
	report(1, buffer, sizeof buffer,
	    "Solo lo ejecuta el padre: Soy el proceso %d\n", getpid());
	return 0;
}
