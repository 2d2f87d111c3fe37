#include <signal.h>
#include <stdlib.h>

#include "floor.h"

static int *p;

static void
f_signals(int sig)
{
	(void)sig;
	say(1, "Error: segmentation fault\n");
	_exit(2);
}

int
main(void)
{
	char buf[256];
	char *at;
	struct sigaction trata_segv = { 0 };
	int *volatile *destino = &p;

	sigemptyset(&trata_segv.sa_mask);
	trata_segv.sa_handler = f_signals;
	sigaction(SIGSEGV, &trata_segv, NULL);
	say(1, "Addresses:\n");
	at = put_text(buf, "\tp: ");
	at = put_ptr(at, &p);
	*at++ = '\n';
	put_line(1, buf, at);
	**destino = 5;
	exit(0);
}
