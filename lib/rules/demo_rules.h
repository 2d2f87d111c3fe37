// What every demo of the suite may print, in which orders, and how its
// processes end and who collects each: one table, read by the order
// explorer and the tests.
#ifndef DEMO_RULES_H
#define DEMO_RULES_H

#include <string>
#include <string_view>
#include <vector>

#include "end.h"
#include "order.h"

struct DemoRules {
	std::string name;
	Rules (*rules)();	// a whole run, left alone
	// The processes whose end is seen from outside, by role: the one
	// started, and every child its parent never collects, which comes
	// back to whoever started the demo as a child subreaper.
	std::vector<std::pair<std::string, End>> ends;
	// Every other process, which its parent collects: its role, how it
	// ends, and its parent's role. From outside, its end is seen only
	// under a tracer.
	struct Reaped {
		std::string role;
		End end;
		std::string by;
	};
	std::vector<Reaped> reaped;
	int seconds;		// a run left alone lasts about this long
	bool asleep;		// its processes mostly wait for alarms
	// Not 0: the signal that ends the started process, sent once every
	// process it made has ended; nothing in the demo ends it.
	int nudge;
	// Its two processes write so many lines that whole orders never
	// repeat: how they mix is summed up instead.
	bool mixes;
};

extern const std::vector<DemoRules> demo_rules;

// The entry for a demo's name; nullptr if it has none.
const DemoRules *find_demo(std::string_view name);

#endif
