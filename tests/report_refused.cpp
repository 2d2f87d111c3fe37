// Calls of report() that must not compile, one for each macro that ctest
// defines (tests/CMakeLists.txt), which expects the compiler to name the
// function behind its refusal. With none defined, the calls here that
// must compile.
#include <sys/types.h>

#include "report.h"

void calls(char *buf, int *p, const char *s);

void
calls(char *buf, int *p, const char *s)
{
	int i = 1;
	long l = 2;
	unsigned u = 3;

#if defined(LONG_CONVERSION)
	report(1, buf, 64, "%ld\n", l);
#elif defined(WIDTH)
	report(1, buf, 64, "%5d\n", i);
#elif defined(UNSIGNED_CONVERSION)
	report(1, buf, 64, "%u\n", u);
#elif defined(PERCENT_AT_END)
	report(1, buf, 64, "100%");
#elif defined(LONG_FOR_D)
	report(1, buf, 64, "%d\n", l);
#elif defined(UNSIGNED_FOR_D)
	report(1, buf, 64, "%d\n", u);
#elif defined(DOUBLE_FOR_C)
	report(1, buf, 64, "%c\n", 1.0);
#elif defined(INT_POINTER_FOR_S)
	report(1, buf, 64, "%s\n", p);
#elif defined(TEXT_FOR_D)
	report(1, buf, 64, "%d\n", s);
#elif defined(INT_FOR_P)
	report(1, buf, 64, "%p\n", i);
#elif defined(TOO_FEW)
	report(1, buf, 64, "%d %d\n", i);
#elif defined(TOO_MANY)
	report(1, buf, 64, "%d\n", i, i);
#else
	pid_t pid = i;
	short h = 4;
	unsigned char uc = 5;

	report(1, buf, 64, "%d %d %d %d %c %c\n", pid, h, uc, 'c', 'c', i);
	report(1, buf, 64, "%s %s %p %p %p %%\n", s, buf, p, s,
	    static_cast<const void *>(p));
	(void)l;
	(void)u;
#endif
}
