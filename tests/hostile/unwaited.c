/* Leaves a zombie behind a parent that never waits: the child exits at
 * once, and the parent pauses for ever, catching nothing, so that only a
 * signal from outside ends it. */
#include <unistd.h>

int
main(void)
{
	pid_t pid = fork();

	if (pid < 0)
		return 1;
	if (pid == 0)
		_exit(0);
	for (;;)
		pause();
}
