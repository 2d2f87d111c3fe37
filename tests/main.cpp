#include <csignal>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

int
main(int argc, char **argv)
{
	int fd;

	// Descriptors 0 to 2 must be taken, or a pipe the harness makes for a
	// program could land on one of them and be lost at exec.
	while ((fd = open("/dev/null", O_RDWR)) >= 0 && fd <= 2)
		;
	if (fd > 2)
		close(fd);
	// Orphaned processes of a run come back to this process, so a test
	// can tell how every one of them ended.
	if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
		return 1;
	// A program that ignores its input must not kill the test with SIGPIPE,
	// and ended children must wait for us, not vanish.
	if (signal(SIGPIPE, SIG_IGN) == SIG_ERR ||
	    signal(SIGCHLD, SIG_DFL) == SIG_ERR)
		return 1;
	testing::InitGoogleTest(&argc, argv);
	return RUN_ALL_TESTS();
}
