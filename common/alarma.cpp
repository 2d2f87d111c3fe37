#include <unistd.h>

#include "alarma.h"
#include "report.h"

int segundos;

// Runs only inside sigsuspend (SIGALRM is blocked everywhere else), so
// main never reads segundos halfway through this update.
void
funcion_alarma(int)
{
	char buffer[256];

	segundos = segundos + 10;
	report(1, buffer, sizeof buffer, "ALARMA pid=%d: %d segundos\n",
	    getpid(), segundos);
}
