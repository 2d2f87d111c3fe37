// Finding the program a command line names: see lookup.h.
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "lookup.h"

namespace fs = std::filesystem;

namespace {

// 0 if path is a file that can be run, else why not.
int
runnable(const std::string &path)
{
	struct stat st {};

	if (stat(path.c_str(), &st) != 0)
		return errno;
	if (S_ISDIR(st.st_mode))
		return EISDIR;
	return access(path.c_str(), X_OK) == 0 ? 0 : errno;
}

// As execvp and bash: PATH unset is "/bin:/usr/bin", an empty entry the
// current folder; a folder is passed over, and so is a file that is there
// but cannot be run, which is said if nothing else is found.
Found
on_path(const std::string &name)
{
	const char *env = std::getenv("PATH");
	std::string dirs = env ? env : "/bin:/usr/bin";
	Found f;
	f.error = ENOENT;

	for (std::size_t at = 0; at <= dirs.size();) {
		std::size_t colon = dirs.find(':', at);
		if (colon == std::string::npos)
			colon = dirs.size();
		std::string path = dirs.substr(at, colon - at);
		path += path.empty() ? "./" : "/";
		path += name;
		at = colon + 1;
		int why = runnable(path);
		if (why == 0) {
			f.path = path;
			f.error = 0;
			return f;
		}
		if (why == EACCES && f.error != EACCES) {
			f.error = EACCES;
			f.denied = path;
		}
	}
	return f;
}

} // namespace

Found
find_program(const std::string &name)
{
	Found f;

	if (name.empty()) {
		f.error = ENOENT;
		return f;
	}
	if (name.find('/') != std::string::npos) {
		if ((f.error = runnable(name)) == 0)
			f.path = name;
		return f;
	}
	fs::path beside = fs::read_symlink("/proc/self/exe").parent_path() /
	    name;
	if (name != "orders" && name != "trace" && name != "proclab" &&
	    runnable(beside) == 0) {
		f.path = beside;
		f.demo = true;
		return f;
	}
	return on_path(name);
}

fs::path
data_folder(const std::string &installed_from_self)
{
	fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
	fs::path built = self / "../share/proclab";
	std::error_code ec;

	if (fs::is_directory(built, ec))
		return built.lexically_normal();
	return (self / installed_from_self).lexically_normal();
}
