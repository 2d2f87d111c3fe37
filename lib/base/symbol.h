// A call of a library loaded when first needed (dlopen), by its name.
#ifndef SYMBOL_H
#define SYMBOL_H

#include <cstring>

#include <dlfcn.h>

// Sets f, a pointer to a function, to the call named in lib; false if
// lib has none.
template <class F>
bool
symbol(void *lib, const char *name, F &f)
{
	void *p = dlsym(lib, name);
	static_assert(sizeof f == sizeof p);
	if (p)
		std::memcpy(&f, &p, sizeof f);
	return p != nullptr;
}

#endif
