#include <signal.h>
#include <stdint.h>
#include <stdlib.h>

#include <sys/wait.h>

#include "floor.h"

static void
trata_alarma(int sig)
{
	(void)sig;
}

int
main(void)
{
	struct sigaction accion = { 0 };
	sigset_t mascara;
	volatile uint64_t contador;
	int hijo, pid, estado;

	for (hijo = 0; hijo < 10; hijo++) {
		say_int("Creando el hijo numero ", hijo);
		pid = fork();
		if (pid == 0) {
			accion.sa_handler = trata_alarma;
			accion.sa_flags = SA_RESTART;
			sigfillset(&accion.sa_mask);
			if (sigaction(SIGALRM, &accion, NULL) < 0)
				exit(1);
			say_int("Hola, soy ", getpid());
			sigemptyset(&mascara);
			sigaddset(&mascara, SIGALRM);
			sigprocmask(SIG_BLOCK, &mascara, NULL);
			alarm(1);
			sigfillset(&mascara);
			sigdelset(&mascara, SIGALRM);
			sigdelset(&mascara, SIGINT);
			sigsuspend(&mascara);
			exit(0);
		}
		if (pid < 0)
			exit(1);
	}
	/* The demo's own work before it reaps: the same count. */
	contador = 0;
	while (contador <= 49999999)
		contador = contador + 1;
	while ((pid = waitpid(-1, &estado, 0)) > 0)
		say_int("Waitpid bloqueante. Termina ", pid);
	return 0;
}
