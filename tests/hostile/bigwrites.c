/* Writes far more than a tracer should keep, from memory never
 * touched. To /dev/null: a writev of 192 MiB in three pieces, one whose
 * length is 2^62, a write of 3 MiB, and a writev with memory that cannot
 * be read in its middle; then 3 MiB to standard output. Prints what each
 * call returned on standard error, a line each. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#define MIB (1UL << 20)

int
main(void)
{
	/* No file: -1, as MAP_ANONYMOUS asks. */
	char *buf = mmap(NULL, 192 * MIB, PROT_READ,
	    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0); /* cppcheck-suppress invalidFunctionArg */
	int fd = open("/dev/null", O_WRONLY);
	char line[] = "kept\n";
	struct iovec thirds[3] = {{buf, 64 * MIB}, {buf + 64 * MIB, 64 * MIB},
	    {buf + 128 * MIB, 64 * MIB}};
	struct iovec huge = {buf, 1UL << 62};
	struct iovec part[3] = {{line, sizeof line - 1}, {NULL, 5},
	    {line, sizeof line - 1}};

	if (buf == MAP_FAILED || fd < 0)
		return 1;
	(void)fprintf(stderr, "%zd\n", writev(fd, thirds, 3));
	(void)fprintf(stderr, "%zd\n", writev(fd, &huge, 1));
	(void)fprintf(stderr, "%zd\n", write(fd, buf, 3 * MIB));
	(void)fprintf(stderr, "%zd\n", writev(fd, part, 3));
	(void)fprintf(stderr, "%zd\n", write(1, buf, 3 * MIB));
	munmap(buf, 192 * MIB);
	close(fd);
	return 0;
}
