/*
 * One write(2) of 1.5 MiB: 120000 lines of 13 bytes ("line 0000001")
 * in a single call, then a last line of its own.
 * A faithful trace: every one of the 120001 lines, nothing cut; or a cut
 * that says so.
 */
#include "corpus.h"

#define LINES 120000
#define WIDTH 13

int
main(void)
{
	static char buf[LINES * WIDTH];
	size_t size = (size_t)LINES * WIDTH;

	for (int i = 0; i < LINES; i++) {
		char *line = buf + (size_t)i * WIDTH;
		for (int k = 0; k < 5; k++)
			line[k] = "line "[k];
		for (int d = 11, n = i + 1; d >= 5; d--, n /= 10)
			line[d] = (char)('0' + n % 10);
		line[12] = '\n';
	}
	if (write(1, buf, size) != (ssize_t)size)
		die("write");
	say("the end\n");
	return 0;
}
