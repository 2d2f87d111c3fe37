// The words for how a process ended, and for a signal, shared by every
// tool and the tests.
#include <cstring>

#include "end.h"

// The tools name signals and errors with sigabbrev_np and
// strerrorname_np, which glibc has had since 2.32; a program built with
// it does not start with an older one.
#if defined(__GLIBC__)
static_assert(__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32),
    "glibc 2.32 or later is needed");
#endif

std::string
describe(const End &end)
{
	if (end.how == End::How::exited)
		return "exited with " + std::to_string(end.value);
	std::string s = "killed by signal " + std::to_string(end.value);
	return sigabbrev_np(end.value) ? s + " (" + signal_name(end.value) +
	    ")" : s;
}

std::string
signal_name(int sig)
{
	const char *abbrev = sigabbrev_np(sig);

	return abbrev ? std::string("SIG") + abbrev :
	    "signal " + std::to_string(sig);
}
