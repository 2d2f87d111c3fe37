// The monotonic clock: see clock.h.
#include <ctime>

#include "clock.h"

long long
mono_ns()
{
	timespec ts{};

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long long
mono_ms()
{
	return mono_ns() / 1000000;
}
