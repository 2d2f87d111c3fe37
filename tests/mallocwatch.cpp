// Preloaded into a program under test, it stands in for malloc for one
// request size. MALLOC_FAIL_SIZE=N: every request for N bytes fails with
// ENOMEM. MALLOC_TELL_SIZE=N: the address given for each such request is
// written to descriptor 2 as "malloc(N) = ADDRESS\n". Every other request
// goes to the C library's malloc as it is.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

// The C library's own malloc, under the reserved name it exports for
// wrappers like this one.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" void *__libc_malloc(std::size_t size);

static bool
named(const char *variable, std::size_t size)
{
	const char *value = std::getenv(variable);

	return value && *value && std::strtoull(value, nullptr, 10) == size;
}

extern "C" void *
malloc(std::size_t size) noexcept
{
	if (named("MALLOC_FAIL_SIZE", size)) {
		errno = ENOMEM;
		return nullptr;
	}
	void *block = __libc_malloc(size);
	if (named("MALLOC_TELL_SIZE", size)) {
		char line[64];
		int n = std::snprintf(line, sizeof line, "malloc(%zu) = %p\n",
		    size, block);
		ssize_t written = write(2, line, static_cast<std::size_t>(n));
		(void)written;
	}
	return block;
}
