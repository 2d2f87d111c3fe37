// tickheir: as tickpair, but only the child arms the first alarm and each
// process re-arms only after a wake-up. The child ticks ten times and
// ends, left a zombie; the parent waits for a signal that nothing in the
// program sends: kill -ALRM starts its count, Ctrl-C ends it.
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
	pid_t pid;

	sigemptyset(&mascara);
	sigaddset(&mascara, SIGALRM);
	sigprocmask(SIG_BLOCK, &mascara, nullptr);
	accion.sa_handler = funcion_alarma;
	accion.sa_flags = SA_RESTART;
	sigfillset(&accion.sa_mask);
	if (sigaction(SIGALRM, &accion, nullptr) < 0)
		error_y_exit("sigaction", 1);
	pid = fork();
	if (pid == -1)
		error_y_exit("fork", 1);
	if (pid == 0)
		alarm(10);
	while (segundos < 100) {
		sigfillset(&mascara);
		sigdelset(&mascara, SIGALRM);
		sigdelset(&mascara, SIGINT);
		sigsuspend(&mascara);
		alarm(10);
	}
	std::exit(1);
}
