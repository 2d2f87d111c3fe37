/* The variable line of copyview, copyedit and funcview. */
#ifndef VARS_H
#define VARS_H

#include "floor.h"

static inline void
say_vars(const char *who, char global, char local)
{
	char buf[80];
	char *at;

	at = put_text(buf, who);
	at = put_text(at, ":La variable_global vale ");
	*at++ = global;
	at = put_text(at, " y la local ");
	*at++ = local;
	*at++ = '\n';
	put_line(1, buf, at);
}

#endif
