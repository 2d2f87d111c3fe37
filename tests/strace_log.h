// What the harness's files share of strace: the command line that runs a
// program under it, and the reader of its logs.
#ifndef STRACE_LOG_H
#define STRACE_LOG_H

#include <string>
#include <vector>

#include "harness.h"

// The strace command line that runs the program, logging into trace_dir
// a file per process: the program's execve, the calls named if asked,
// the signals delivered and how each process ended.
std::vector<std::string> strace_argv(const Options &o,
    const std::string &trace_dir);
// Reads what strace logged, a file per process, into r, and removes the
// files.
void read_trace(const std::string &dir, Result &r);

#endif
