// What is left of a run once it is over, found in /proc: a process still
// there, stopped, traced or a zombie, whatever it did to escape the
// run's process group.
#ifndef LEFTOVERS_H
#define LEFTOVERS_H

#include <sys/types.h>

#include <string>
#include <vector>

// The processes of a run still there: those whose environment holds
// mark ("NAME=VALUE", set for the run), those in process group `group`,
// and our own children (orphans handed to us, the subreaper, and zombies,
// whose environment cannot be read). Zombies of ours are reaped, and
// told only if zombies_count; the others get a few seconds to go, then
// are told, with their state, and killed.
std::vector<std::string> left_behind(const std::string &mark, pid_t group,
    bool zombies_count);

#endif
