// tickcounter: funcion_alarma adds 10 to segundos and reports every
// SIGALRM; main re-arms a 10-second alarm and waits in sigsuspend until
// the count reaches 100, then exits with 1. SIGALRM is blocked everywhere
// but inside the wait, so the handler never runs while main reads
// segundos; kill -ALRM counts a tick early, Ctrl-C ends a wait at once.
#include <cstdlib>

#include <signal.h>
#include <unistd.h>

#include "alarma.h"
#include "error_y_exit.h"

int
main(int, char **)
{
	sigset_t mascara;
	struct sigaction accion {};

	sigemptyset(&mascara);
	sigaddset(&mascara, SIGALRM);
	sigprocmask(SIG_BLOCK, &mascara, nullptr);
	accion.sa_handler = funcion_alarma;
	accion.sa_flags = SA_RESTART;
	sigfillset(&accion.sa_mask);
	if (sigaction(SIGALRM, &accion, nullptr) < 0)
		error_y_exit("sigaction", 1);
	while (segundos < 100) {
		alarm(10);
		sigfillset(&mascara);
		sigdelset(&mascara, SIGALRM);
		sigdelset(&mascara, SIGINT);
		sigsuspend(&mascara);
	}
	std::exit(1);
}
