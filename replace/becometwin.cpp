// becometwin: execlp replaces this program with twinspeak, taken from the
// current directory ("./" means no PATH search). Run from the folder that
// holds twinspeak, the process number of the first line comes back on one
// of twinspeak's lines; from anywhere else the call returns and says so.
#include <unistd.h>

#include "report.h"

int
main()
{
	char buffer[80];

	report(1, buffer, sizeof buffer, "Soy el proceso: %d\n", getpid());
	execlp("./twinspeak", "twinspeak", static_cast<char *>(nullptr));
	report_text(1, buffer, sizeof buffer, "Después del exec\n");
	return 0;
}
