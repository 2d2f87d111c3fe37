// The words for how a process ended, shared by orders and the tests.
#include <cstring>

#include "end.h"

std::string
describe(const End &end)
{
	if (end.how == End::How::exited)
		return "exited with " + std::to_string(end.value);
	const char *name = sigabbrev_np(end.value);
	return "killed by signal " + std::to_string(end.value) + " (SIG" +
	    (name ? name : "?") + ")";
}
