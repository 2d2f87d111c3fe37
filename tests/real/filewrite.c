/*
 * Writes to a file beside writes to standard output: P writes two lines
 * to a temporary file, reads them back, and writes on standard output how
 * many bytes it found.
 * A faithful trace: one line of the run's output; the file's lines shown
 * as writes to a file, not as output.
 */
#include <fcntl.h>

#include "corpus.h"

int
main(void)
{
	char name[] = "/tmp/corpus-file.XXXXXX", buf[64];
	ssize_t n;
	int fd;

	if ((fd = mkstemp(name)) < 0)
		die("mkstemp");
	unlink(name);
	if (write(fd, "first\nsecond\n", 13) != 13)
		die("write");
	if ((n = pread(fd, buf, sizeof buf, 0)) < 0)
		die("pread");
	close(fd);
	sayf("the file holds %d bytes\n", (int)n);
	return 0;
}
