// Where the program trace runs is, and how it is started: a demo by its
// name from the folder trace is in, anything else by its path; on
// trace's own descriptors (or, muted, with 1 and 2 on /dev/null), in
// trace's process group, so that the terminal's Ctrl-C reaches it.
#include <algorithm>
#include <cerrno>
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

std::string
demo_names(const fs::path &dir)
{
	std::vector<std::string> names;
	std::error_code ec;

	for (const auto &f : fs::directory_iterator(dir, ec)) {
		std::string name = f.path().filename();
		// The tools that watch the demos sit beside them.
		if (f.is_regular_file(ec) && name != "trace" && name != "orders" &&
		    name != "proclab" && access(f.path().c_str(), X_OK) == 0)
			names.push_back(name);
	}
	std::sort(names.begin(), names.end());
	std::string s;
	for (const auto &n : names)
		s += " " + n;
	return s.empty() ? " none" : s;
}

} // namespace

Launch
launch_for(const Command &c)
{
	Launch l;
	fs::path path = c.program;
	bool demo = c.program.find('/') == std::string::npos;
	fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
	struct stat st {};

	if (demo)
		path = dir / c.program;
	if (stat(path.c_str(), &st) != 0 && demo)
		fail(status_not_found, "no demo called '" + c.program + "' in " +
		    dir.string() + "; the demos:" + demo_names(dir));
	if (stat(path.c_str(), &st) != 0)
		fail(errno == ENOENT || errno == ENOTDIR ? status_not_found :
		    status_cannot_run, "cannot run " + c.program + ": " +
		    std::strerror(errno));
	if (S_ISDIR(st.st_mode))
		fail(status_cannot_run, "cannot run " + c.program +
		    ": it is a folder");
	if (access(path.c_str(), X_OK) != 0)
		fail(status_cannot_run, "cannot run " + c.program + ": " +
		    std::strerror(errno));
	l.file = path;
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

