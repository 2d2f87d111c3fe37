// Where the build put what the tests run, and what kind of build it is.
// This is the one test source that knows the build's folder and kind:
// every other one compiles alike in each build of one compiler, so that
// a compiler cache can share them.
#include <cstdlib>
#include <string>

#include "harness.h"

const bool built_sanitized = SUITE_SANITIZED;

std::string
built(const std::string &path)
{
	return std::string(SUITE_BUILD_DIR "/") + path;
}

std::string
program_path(const std::string &program)
{
	if (program.find('/') != std::string::npos)
		return program;
	const char *dir = std::getenv("SUITE_BIN_DIR");
	return (dir ? std::string(dir) : built("bin")) + "/" + program;
}
