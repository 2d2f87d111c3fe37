// reaper: ten children each greet, wait for a one-second alarm and end,
// while the parent busies itself with a long count and then collects them
// one by one with a blocking waitpid. The reaping lines come in the order
// the children are collected, never before their own greeting.
#include <cstdint>
#include <cstdlib>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "error_y_exit.h"
#include "report.h"

static void
trata_alarma(int)
{
}

static void
hago_algo_util()
{
	// volatile: every one of the 50000000 increments is really carried out.
	volatile std::uint64_t contador;

	contador = 0;
	while (contador <= 49999999)
		contador = contador + 1;
}

int
main(int, char **)
{
	char buffer[256];
	int hijo, pid, estado;
	struct sigaction accion {};
	sigset_t mascara;

	for (hijo = 0; hijo < 10; hijo++) {
		report(1, buffer, sizeof buffer, "Creando el hijo numero %d\n",
		    hijo);
		pid = fork();
		if (pid == 0) {
			accion.sa_handler = trata_alarma;
			accion.sa_flags = SA_RESTART;
			sigfillset(&accion.sa_mask);
			if (sigaction(SIGALRM, &accion, nullptr) < 0)
				error_y_exit("sigaction", 1);
			report(1, buffer, sizeof buffer, "Hola, soy %d\n",
			    getpid());
			// Blocked from before the alarm until the wait, an
			// early expiry stays pending instead of being spent
			// before sigsuspend and leaving the child waiting.
			sigemptyset(&mascara);
			sigaddset(&mascara, SIGALRM);
			sigprocmask(SIG_BLOCK, &mascara, nullptr);
			alarm(1);
			sigfillset(&mascara);
			sigdelset(&mascara, SIGALRM);
			sigdelset(&mascara, SIGINT);
			sigsuspend(&mascara);
			std::exit(0);
		}
		if (pid < 0)
			error_y_exit("Error en el fork", 1);
	}
	hago_algo_util();
	while ((pid = waitpid(-1, &estado, 0)) > 0)
		report(1, buffer, sizeof buffer,
		    "Waitpid bloqueante. Termina %d\n", pid);
	return 0;
}
