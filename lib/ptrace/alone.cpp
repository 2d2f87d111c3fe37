// A write to the run's output let go alone, for a run watched one event
// at a time (Tracer::one_write_at_a_time): the writer's next stop is
// waited for and taken before any other, so that no other process is let
// on, and none can write, until its line has been told. See tracer.h.
#include <cerrno>

#include <sys/wait.h>

#include "internal/tracer_proc.h"
#include "tracer.h"

void
Tracer::write_alone(pid_t pid)
{
	Proc *p = live(pid);
	int status;
	pid_t got;

	if (!one_write_ || !p || !p->await_exit ||
	    p->io.kind != Dest::Kind::output || !writes(p->entry.call))
		return;
	// Its end, or whatever comes first: a signal, or its death.
	while ((got = waitpid(pid, &status, __WALL)) < 0 && errno == EINTR)
		;
	if (got != pid)
		return;
	if (WIFSTOPPED(status))
		on_stop(pid, status);
	else
		on_gone(pid, status);
}
