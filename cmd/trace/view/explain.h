// What trace --explain adds to each event, for the text and the JSON
// lines alike: the state of the process it changes, and short notes in
// the words of a lecture on what it means.
#ifndef EXPLAIN_H
#define EXPLAIN_H

#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "event.h"

// What an event adds: the state its process is in from then on, as ps
// names it (R running, S asleep in a call, T stopped, Z a zombie), where
// that changes; and notes in plain words, each said once in a run but
// those of one process's own state.
struct Explained {
	char state = '\0';	// 0: unchanged
	std::vector<std::string> notes;
};

class Explainer {
public:
	Explained explain(const Event &e);

private:
	struct Proc {
		std::string role;
		pid_t parent = 0;	// 0: trace, the subreaper
		char state = 'R';
		char before_stop = 'R';	// its state as it was stopped
		std::string call;	// the call it sleeps in
		std::string waits_for;	// "any child", "C1", ...
		bool ignores_chld = false;	// its children are reaped at once
	};
	// What each kind of event does to its process and says (explain.cpp).
	struct Step;
	// note, unless one of that key has been said in this run.
	void say(Explained &x, const std::string &key,
	    const std::string &note);
	static void become(Proc &p, char state, Explained &x);

	std::map<pid_t, Proc> procs_;
	std::set<std::string> said_;
	bool started_ = false;	// the run's first program has started
};

#endif
