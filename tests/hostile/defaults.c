/* Signals set to their default action, by a program as system() and
 * posix_spawn do: SIGTERM, at its default already; SIGUSR1, ignored
 * first, so that the first setting changes it and the second does not. */
#include <signal.h>

int
main(void)
{
	return signal(SIGTERM, SIG_DFL) == SIG_ERR ||
	    signal(SIGUSR1, SIG_IGN) == SIG_ERR ||
	    signal(SIGUSR1, SIG_DFL) == SIG_ERR ||
	    signal(SIGUSR1, SIG_DFL) == SIG_ERR;
}
