// Where a stopped thread is in its program's own source: the file, line
// and function of the first frame, walking up from where it stopped,
// that lies in the program's own code, not in a library it loaded nor in
// the helpers the demos share. Unwound with elfutils' libdwfl, from the
// program's line tables (-g). See trace --source.
#ifndef LOCATE_H
#define LOCATE_H

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>

#include "event.h"

class Locator {
public:
	Locator();
	Locator(const Locator &) = delete;
	Locator &operator=(const Locator &) = delete;
	~Locator();

	// Thread tid of process pid, stopped under our ptrace. The file is
	// "" if no frame of the program's own has a line: its function from
	// the symbol table, if one has a name. An ending thread with none
	// has returned from main: it is at main's end. A thread in a signal
	// handler (handler) is found in the handler's code, the demos'
	// shared helpers too, and where the code it interrupted stood.
	Source at(pid_t pid, pid_t tid, bool ending = false,
	    bool handler = false);
	// pid has exec'd or ended: what was known of its memory goes.
	void forget(pid_t pid);
	// Some program had code of its own without line tables.
	[[nodiscard]] bool lacked_lines() const { return lacked_lines_; }
	// Why this trace cannot tell, before a Locator is made: not without
	// libdw, in the build or on the machine; "" if it can.
	static std::string unavailable();

	struct Process;

private:
	std::map<pid_t, std::unique_ptr<Process>> processes_;
	bool lacked_lines_ = false;
};

#endif
