// How the run's processes are named everywhere: P for the one started,
// C1, C2, ... for the others in the order they were made, and the child
// subreaper that started the run and collects its orphans.
#ifndef ROLES_H
#define ROLES_H

#include <cstddef>
#include <string>

// The role of the process that started the run, which collects the
// orphans: the child subreaper.
inline const std::string subreaper_role = "subreaper";
// Who reaps the children of a process that ignores SIGCHLD: the kernel,
// as they end.
inline const std::string kernel_role = "the kernel";

// The role of the k-th process made after the one started (P), from 1:
// C1, C2, ... as the rules, orders, trace and the tests name them.
std::string child_role(std::size_t k);

#endif
