// How trace and orders find the program a command line names: as a shell
// does, but that a demo comes first. A name without '/' is a demo if the
// folder the tools are in holds a program of that name (the tools aside),
// else the first of that name on PATH that can be run, as execvp(3) looks;
// a name with '/' is that file.
#ifndef LOOKUP_H
#define LOOKUP_H

#include <filesystem>
#include <string>

struct Found {
	std::string path;	// where it is; empty if nowhere
	bool demo = false;	// beside the tools
	// Why there is none: ENOENT, EACCES (there, but not to be run), or
	// EISDIR (a path that is a folder).
	int error = 0;
	std::string denied;	// with EACCES: the first found on PATH
};

Found find_program(const std::string &name);

// The folder of the demos' sources and help pages: build/share/proclab
// beside the running command's build/bin in the build tree, else as far
// from the command as installed_from_self says share/proclab is.
std::filesystem::path data_folder(const std::string &installed_from_self);

#endif
