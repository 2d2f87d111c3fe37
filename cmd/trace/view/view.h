// A view of a run as it goes: handed each event the tracer tells, then
// how the run came to its end; text.cpp shows it for people, jsonl.cpp
// as JSON lines, and the pictures keep it to draw.
#ifndef VIEW_H
#define VIEW_H

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "event.h"
#include "out.h"
#include "settings.h"

// How the run came to its end, for the last words of a view.
struct Ending {
	std::string why;	// empty: the program's own end; else what trace did
	int status = 0;		// trace's exit status
	long long us = 0;	// when, on the run's clock
	pid_t pid = 0;		// the process started
};

class View {
public:
	virtual ~View() = default;
	virtual void event(const Event &e) = 0;
	// The run was ended by trace, for why.
	virtual void cut(const std::string &why, long long us) = 0;
	// How each process ended and who collected it.
	virtual void summary(const std::vector<Traced> &procs,
	    const Ending &end) = 0;
};

std::unique_ptr<View> text_view(Out &out, const Settings &s);
std::unique_ptr<View> jsonl_view(Out &out, const Settings &s);

#endif
