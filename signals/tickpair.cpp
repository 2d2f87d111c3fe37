// tickpair: tickcounter's set-up, then a fork, then its tick loop in both
// processes: twenty lines, ten with each process number. Each alarm
// belongs to the process that armed it, and each process counts its own
// copy of segundos; kill -ALRM to one of them advances that one alone.
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
	if (fork() < 0)
		error_y_exit("fork", 1);
	while (segundos < 100) {
		alarm(10);
		sigfillset(&mascara);
		sigdelset(&mascara, SIGALRM);
		sigdelset(&mascara, SIGINT);
		sigsuspend(&mascara);
	}
	std::exit(1);
}
