/*
 * A writev(2) whose one iovec claims 2^62 bytes: its three real bytes
 * sit at the end of a page followed by an inaccessible one, so the kernel
 * fails it with EFAULT, having written nothing to the pipe. Then a line
 * written as usual.
 * A faithful trace: no line from the failed call, the line after it, and
 * the tracer's memory untouched by the claimed length.
 */
#include <errno.h>
#include <sys/mman.h>
#include <sys/uio.h>

#include "corpus.h"

int
main(void)
{
	size_t page = (size_t)sysconf(_SC_PAGESIZE);
	struct iovec iov;
	char *mem;

	mem = mmap(NULL, 2 * page, PROT_READ | PROT_WRITE,
	    /* cppcheck-suppress invalidFunctionArg ; -1: no file, anonymous */
	    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (mem == MAP_FAILED || mprotect(mem + page, page, PROT_NONE) < 0)
		die("mmap");
	mem[page - 3] = 'h';
	mem[page - 2] = 'i';
	mem[page - 1] = '\n';
	iov.iov_base = mem + page - 3;
	iov.iov_len = (size_t)1 << 62;
	if (writev(1, &iov, 1) < 0)
		sayf("writev failed: %s\n", strerror(errno));
	else
		say("writev wrote\n");
	return 0;
}
