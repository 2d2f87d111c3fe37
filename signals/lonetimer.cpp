// lonetimer: blocks SIGALRM, arms one 10-second alarm and waits for it in
// sigsuspend without a handler of its own, so the expiry ends the process
// by the default action of SIGALRM. It writes nothing: watch how it ends
// (the shell shows 142, 128 + SIGALRM), and try Ctrl-C during the wait.
#include <cstdlib>

#include <signal.h>
#include <unistd.h>

int
main(int, char **)
{
	sigset_t mascara;

	sigemptyset(&mascara);
	sigaddset(&mascara, SIGALRM);
	sigprocmask(SIG_BLOCK, &mascara, nullptr);
	alarm(10);
	sigfillset(&mascara);
	sigdelset(&mascara, SIGALRM);
	sigdelset(&mascara, SIGINT);
	sigsuspend(&mascara);
	std::exit(1);
}
