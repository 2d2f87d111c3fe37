// faultcatch: a process can catch the segmentation fault of its own invalid
// access. The handler is installed first; the store through the null
// pointer p then faults, and the handler reports it and ends the process
// with status 2, so the line after the store is never written.
#include <csignal>
#include <cstdlib>

#include <unistd.h>

#include "report.h"

static int *p;

static void
f_signals(int sig)
{
	char buffer[64];

	if (sig != SIGSEGV)
		return;
	report_text(1, buffer, sizeof buffer, "Error: segmentation fault\n");
	_exit(2);
}

int
main(int, char **)
{
	char buffer[256];
	struct sigaction trata_segv {};

	sigemptyset(&trata_segv.sa_mask);
	trata_segv.sa_flags = 0;
	trata_segv.sa_handler = f_signals;
	sigaction(SIGSEGV, &trata_segv, nullptr);
	report_text(1, buffer, sizeof buffer, "Addresses:\n");
	report(1, buffer, sizeof buffer, "\tp: %p\n", static_cast<void *>(&p));
	// p is read through a volatile lvalue, so the compiler cannot know it
	// is null: the store stays a real store to address 0, and the fault a
	// genuine SIGSEGV, not a trap of another kind, at every optimisation.
	int *volatile &destino = p;
	*destino = 5;
	report(1, buffer, sizeof buffer, "\tp Address: %p, p value: %p, *p: %d\n",
	    static_cast<void *>(&p), static_cast<void *>(p), *p);
	std::exit(0);
}
