// Where a stopped thread is in its source, in a build without libdw:
// never known. See locate.h.
#include "locate.h"

struct Locator::Process {};

std::string
Locator::unavailable()
{
	return "this trace was built without elfutils' libdw: --source "
	    "cannot tell where the program is";
}

Locator::Locator() = default;
Locator::~Locator() = default;

Source
Locator::at(pid_t, pid_t, bool, bool)	// NOLINT(readability-convert-member-functions-to-static)
{
	return {};
}

void
Locator::forget(pid_t)
{
}
