/*
 * What a set-user-ID program would find: whether no_new_privs is set on
 * it, in which case the kernel ignores the set-user-ID bit of any program
 * it execs. Giving a file another owner takes root, so the case reads
 * the flag itself rather than exec a set-user-ID file.
 * A faithful trace: the flag as untraced (0), so that such a program
 * would keep its privilege.
 */
#include <sys/prctl.h>

#include "corpus.h"

int
main(void)
{
	int flag = prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0);

	if (flag < 0)
		die("prctl");
	sayf("no_new_privs is %d\n", flag);
	return 0;
}
