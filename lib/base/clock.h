// The one clock the watching code measures with: monotonic, so that a
// change of the wall clock moves no deadline and no event.
#ifndef CLOCK_H
#define CLOCK_H

// Now, in nanoseconds and in milliseconds, from an arbitrary start.
long long mono_ns();
long long mono_ms();

#endif
