// Where the program trace runs is, and how it is started. A name without
// '/' is a demo of the folder trace is in, else a program found on PATH
// as a shell finds it; a path runs as given. It starts on trace's own
// descriptors (or, muted, with 1 and 2 on /dev/null), in trace's process
// group, so that the terminal's Ctrl-C reaches it.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "command.h"
#include "demo_rules.h"
#include "tool.h"

namespace fs = std::filesystem;

namespace {

// The tools that watch the demos sit beside them, and are not demos.
bool
is_tool(const std::string &name)
{
	static const std::array<const char *, 3> tools = {"trace", "orders",
	    "proclab"};

	return std::ranges::any_of(tools,
	    [&name](const char *t) { return name == t; });
}

bool
runnable_file(const std::string &path)
{
	struct stat st {};

	return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
	    access(path.c_str(), X_OK) == 0;
}

std::string
demo_names(const fs::path &dir)
{
	std::vector<std::string> names;
	std::error_code ec;

	for (const auto &f : fs::directory_iterator(dir, ec)) {
		std::string name = f.path().filename();
		if (!is_tool(name) && runnable_file(f.path()))
			names.push_back(name);
	}
	std::sort(names.begin(), names.end());
	std::string s;
	for (const auto &n : names)
		s += " " + n;
	return s.empty() ? " none" : s;
}

// name on PATH, as execvp and the shells find it: the first executable
// file of that name, an empty entry standing for the current folder,
// the system's default path if PATH is unset. Failing that, a file of
// that name that may not be run, which a shell would try and fail on
// with EACCES (its path in found); else ENOENT.
int
on_path(const std::string &name, std::string &found)
{
	std::string path;
	if (const char *p = std::getenv("PATH")) {
		path = p;
	} else {
		path.resize(confstr(_CS_PATH, nullptr, 0));
		confstr(_CS_PATH, path.data(), path.size());
		path.resize(std::strlen(path.c_str()));
	}
	std::string denied;
	for (std::size_t at = 0, end = 0; end != std::string::npos;
	    at = end + 1) {
		end = path.find(':', at);
		std::string file = path.substr(at, end - at);
		// Appended, as g++ 12 at -O3 wants (a false -Wrestrict).
		file += file.empty() ? "./" : "/";
		file += name;
		struct stat st {};
		if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
			continue;
		if (access(file.c_str(), X_OK) == 0) {
			found = file;
			return 0;
		}
		if (denied.empty())
			denied = file;
	}
	found = denied;
	return denied.empty() ? ENOENT : EACCES;
}

[[noreturn]] void
cannot_run(const std::string &what, int err)
{
	fail(err == ENOENT || err == ENOTDIR ? status_not_found :
	    status_cannot_run, "cannot run " + what + ": " + std::strerror(err));
}

// A path given, from here: a folder, or a file that cannot be run, is
// refused before anything starts.
void
check_path(const std::string &path)
{
	struct stat st {};

	if (stat(path.c_str(), &st) != 0)
		cannot_run(path, errno);
	if (S_ISDIR(st.st_mode))
		fail(status_cannot_run, "cannot run " + path + ": it is a folder");
	if (access(path.c_str(), X_OK) != 0)
		cannot_run(path, errno);
}

} // namespace

Launch
launch_for(const Command &c)
{
	Launch l;
	fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
	bool named = c.program.find('/') == std::string::npos;
	bool demo = named && !is_tool(c.program) &&
	    runnable_file(dir / c.program);

	if (demo) {
		l.file = dir / c.program;
	} else if (named) {
		if (int err = on_path(c.program, l.file); err == EACCES)
			cannot_run(l.file, err);
		else if (err)
			fail(status_not_found, "'" + c.program + "' is neither a "
			    "demo in " + dir.string() + " nor a program on PATH; "
			    "the demos:" + demo_names(dir));
	} else {
		check_path(c.program);
		l.file = c.program;
	}
	l.argv.push_back(c.program);
	l.argv.insert(l.argv.end(), c.args.begin(), c.args.end());
	if (const DemoRules *rules = find_demo(c.program);
	    demo && rules && rules->in_own_folder)
		l.cwd = dir;
	l.timeout_ms = c.timeout_ms;
	l.own_group = false;
	l.keep_input = true;
	l.out = c.mute ? Launch::Output::null : Launch::Output::ours;
	return l;
}
