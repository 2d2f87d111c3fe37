// Where the program trace runs is, and how it is started. A name without
// '/' is a demo of the folder trace is in, else a program found on PATH
// as a shell finds it; a path runs as given. It starts on trace's own
// descriptors (or, muted, with 1 and 2 on /dev/null), in trace's process
// group, so that the terminal's Ctrl-C reaches it.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "command.h"
#include "catalogue.h"
#include "lookup.h"
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

[[noreturn]] void
cannot_run(const std::string &what, int err)
{
	fail(err == ENOENT || err == ENOTDIR ? status_not_found :
	    status_cannot_run, "cannot run " + what + ": " + std::strerror(err));
}

} // namespace

Launch
launch_for(const Command &c)
{
	Launch l;
	fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
	Found f = find_program(c.program);

	if (f.error == ENOENT && c.program.find('/') == std::string::npos)
		fail(status_not_found, "'" + c.program + "' is neither a demo in " +
		    dir.string() + " nor a program on PATH; the demos:" +
		    demo_names(dir));
	if (f.error == EISDIR)
		fail(status_cannot_run, "cannot run " + c.program +
		    ": it is a folder");
	if (f.error)
		cannot_run(f.denied.empty() ? c.program : f.denied, f.error);
	l.file = f.path;
	l.argv.push_back(c.program);
	l.argv.insert(l.argv.end(), c.args.begin(), c.args.end());
	if (f.demo && runs_in_own_folder(c.program))
		l.cwd = dir;
	l.timeout_ms = c.timeout_ms;
	l.own_group = false;
	l.keep_input = true;
	l.out = c.mute ? Launch::Output::null : Launch::Output::ours;
	return l;
}

std::string
demo_sources(const Command &c)
{
	if (!find_program(c.program).demo)
		return "";
	return data_folder(PROCLAB_DATA_FROM_LIBEXEC) / "src";
}
