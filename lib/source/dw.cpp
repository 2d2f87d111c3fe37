// libdw's calls, looked up when first needed: see dw.h.
#include <string>

#include <dlfcn.h>

#include "dw.h"
#include "symbol.h"

namespace {

Dw calls{};

const char library[] = "libdw.so.1";

// Why the library or one of its calls could not be had; "" if all were.
std::string
load()
{
	void *lib = dlopen(library, RTLD_NOW | RTLD_LOCAL);
	if (!lib) {
		const char *why = dlerror();
		return std::string(why ? why : library) +
		    " (the Debian package libdw1 has it)";
	}
	std::string missing;
	auto look_up = [&](auto &f, const char *name) {
		if (!symbol(lib, name, f) && missing.empty())
			missing = std::string(library) + " has no " + name;
	};
#define DW_LOOK_UP(name) look_up(calls.name, #name);
	DW_CALLS(DW_LOOK_UP)
#undef DW_LOOK_UP
	return missing;
}

} // namespace

const Dw &
dw()
{
	return calls;
}

const std::string &
dw_load()
{
	static const std::string why = load();
	return why;
}
