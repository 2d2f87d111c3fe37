/*
 * A program that looks at its standard output before writing, as ls and
 * grep do: whether it is a terminal, and what kind of file it is.
 * A faithful trace: what the program sees untraced (here a pipe, not a
 * terminal), so that it writes what it would.
 */
#include <sys/stat.h>

#include "corpus.h"

static const char *
kind(mode_t mode)
{
	if (S_ISFIFO(mode))
		return "a pipe";
	if (S_ISREG(mode))
		return "a regular file";
	if (S_ISCHR(mode))
		return "a character device";
	if (S_ISSOCK(mode))
		return "a socket";
	return "something else";
}

int
main(void)
{
	struct stat st;

	if (fstat(1, &st) < 0)
		die("fstat");
	sayf("standard output is %s, %s\n", kind(st.st_mode),
	    isatty(1) ? "a terminal" : "not a terminal");
	return 0;
}
