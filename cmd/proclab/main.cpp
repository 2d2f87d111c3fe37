// proclab: the one command on the PATH. It lists the demos, runs one, or
// hands over to orders or trace, all of which live in one folder: beside
// proclab in the build tree, libexec/proclab once installed. It shows a
// demo's source and help, from share/proclab in either.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "catalogue.h"
#include "lookup.h"
#include "options.h"
#include "predict.h"
#include "source.h"
#include "tool.h"

namespace fs = std::filesystem;

const char tool_name[] = "proclab";

namespace {

// What proclab hands its command line to, beside the demos.
const char *const tools[] = {"orders", "trace"};

const char help_top[] =
    "usage: proclab COMMAND [ARGS...]\n"
    "       proclab DEMO [ARGS...]\n"
    "Small programs that each show one thing about POSIX processes, and\n"
    "the tools that watch them run.\n"
    "\n"
    "Commands:\n"
    "  list                  the demos, one line each on what it shows\n"
    "  DEMO [ARGS...]        run a demo; proclab exits as it does\n"
    "  orders [OPTIONS] DEMO|PROGRAM|PATH [ARGS...]\n"
    "                        run a program many times: which orders of its\n"
    "                        lines came, and for a demo, against its rules\n"
    "  trace [OPTIONS] DEMO|PROGRAM|PATH [ARGS...]\n"
    "                        run a program once: who wrote each line, and\n"
    "                        what its processes did between the lines\n"
    "  source [--path] DEMO  a demo's source, its lines numbered; --path:\n"
    "                        where the file is\n"
    "  predict DEMO [OPTIONS]\n"
    "                        write down an order of the demo's lines first;\n"
    "                        its rules say if it can come, and why not, and\n"
    "                        real runs how often it does (proclab help\n"
    "                        predict)\n"
    "  help [COMMAND|DEMO]   this help, a tool's own, or what a demo shows,\n"
    "                        its lines in English and what to try\n"
    "\n"
    "Options:\n";

const Opt option_rows[] = {
#include "options.inc"
};
const OptionTable options{option_rows, 24, true, ""};

// proclab's help, which help of list, help and source shows too.
std::string
help()
{
	return help_top + options_help(options) + "\n";
}

[[noreturn]] void
misused(const std::string &why)
{
	fail(status_usage, why + "\nTry 'proclab list' for the demos, "
	    "'proclab --help' for more.");
}

// Ends proclab once what it had to say is written, or said it could not.
[[noreturn]] void
done()
{
	if (!std::cout.flush())
		fail(status_failed, std::string("cannot write the output: ") +
		    std::strerror(errno ? errno : EIO));
	std::exit(0);
}

bool
is_tool(std::string_view name)
{
	return std::ranges::any_of(tools,
	    [name](const char *t) { return name == t; });
}

// The folder of the demos and tools: proclab's own in the build tree,
// else where they were installed, as far from proclab as libexec/proclab
// is from bin.
fs::path
folder()
{
	fs::path self = fs::read_symlink("/proc/self/exe").parent_path();

	if (access((self / tools[0]).c_str(), X_OK) == 0)
		return self;
	return (self / PROCLAB_LIBEXEC_FROM_BIN).lexically_normal();
}

// The file's text, or proclab fails saying why it has none.
std::string
contents(const fs::path &path)
{
	std::ifstream in(path, std::ios::binary);
	std::string text{std::istreambuf_iterator<char>(in),
	    std::istreambuf_iterator<char>()};

	if (!in.is_open() || in.bad())
		fail(status_failed, "cannot read " + path.string() + ": " +
		    std::strerror(errno ? errno : EIO));
	return text;
}

// proclab source [--path] NAME: the demo's source; a name that is no
// demo may be a file the demos share (report.cpp).
[[noreturn]] void
source(const fs::path &data, char **args)
{
	bool path_only = false;
	std::string name;

	for (; *args; args++) {
		std::string_view arg = *args;
		if (arg == "--path")
			path_only = true;
		else if (arg.starts_with("-"))
			misused("source: no option " + std::string(arg));
		else if (name.empty())
			name = arg;
		else
			misused("source takes one demo");
	}
	if (name.empty())
		misused("source: which demo? proclab source DEMO");
	bool demo = catalogued(name) != nullptr;
	fs::path file = data / "src" / (demo ? name + ".cpp" : name);
	if (!demo && (name.find('/') != std::string::npos ||
	    !fs::is_regular_file(file)))
		misused("no demo '" + name + "'");
	if (path_only) {
		if (access(file.c_str(), R_OK) != 0)
			fail(status_failed, "cannot read " + file.string() +
			    ": " + std::strerror(errno));
		std::cout << file.string() << "\n";
		done();
	}
	const char *no_color = std::getenv("NO_COLOR");
	const char *term = std::getenv("TERM");
	View view;
	view.terminal = isatty(1) != 0;
	view.color = view.terminal && !(no_color && *no_color) &&
	    !(term && std::string_view(term) == "dumb");
	std::cout << numbered(contents(file), view);
	done();
}

[[noreturn]] void
run(const fs::path &dir, const std::string &name, char **args, bool cd)
{
	fs::path path = dir / name;
	std::vector<char *> argv{const_cast<char *>(name.c_str())};

	for (; *args; args++)
		argv.push_back(*args);
	argv.push_back(nullptr);
	if (cd && chdir(dir.c_str()) != 0)
		fail(status_cannot_run, "cannot enter " + dir.string() + ": " +
		    std::strerror(errno));
	execv(path.c_str(), argv.data());
	fail(errno == ENOENT ? status_not_found : status_cannot_run,
	    "cannot run " + path.string() + ": " + std::strerror(errno));
}

[[noreturn]] void
list()
{
	for (const Demo &d : catalogue)
		std::cout << d.name << std::string(16 - std::strlen(d.name), ' ') <<
		    d.about << "\n";
	done();
}

[[noreturn]] void
help_of(const fs::path &dir, const char *topic)
{
	if (!topic) {
		std::cout << help() << "The demos are in\n  " << dir.string() <<
		    "\nbecometwin is run from there, so that its exec finds "
		    "./twinspeak. To see\nthat exec fail, run it from another "
		    "folder:\n  cd /tmp && " << (dir / "becometwin").string() <<
		    "\n\nTheir sources are in\n  " <<
		    (data_folder(PROCLAB_DATA_FROM_BIN) / "src").string() << "\n\nproclab help "
		    "DEMO and proclab-demos(7) tell what each demo shows and\n"
		    "what to try; proclab(1) describes the commands.\n";
		done();
	}
	std::string_view t = topic;
	if (is_tool(t)) {
		char flag[] = "--help";
		char *args[] = {flag, nullptr};
		run(dir, topic, args, false);
	}
	if (const Demo *d = catalogued(t)) {
		std::cout << contents(data_folder(PROCLAB_DATA_FROM_BIN) / "help" / d->name);
		done();
	}
	if (t == "predict") {
		std::cout << predict_help();
		done();
	}
	if (t == "list" || t == "help" || t == "source") {
		std::cout << help();
		done();
	}
	misused("no command or demo '" + std::string(t) + "'");
}

} // namespace

int
main(int argc, char **argv)
{
	if (fcntl(1, F_GETFD) < 0)
		fail(status_failed, "standard output is closed");
	fs::path dir = folder();
	// Alone, it says what it can do, as --help does.
	if (argc < 2)
		help_of(dir, nullptr);
	std::string_view command = argv[1];

	const Opt *option = spelled_out(options, command);
	if (option && option->key == 'h')
		help_of(dir, nullptr);
	if (option && option->key == 'V') {
		std::cout << "proclab " PROCLAB_VERSION "\n";
		done();
	}
	if (command.starts_with("-"))
		misused("no option " + std::string(command));
	if (command == "list" && argc == 2)
		list();
	if (command == "list")
		misused("list takes no arguments");
	if (command == "help")
		help_of(dir, argc > 2 ? argv[2] : nullptr);
	if (command == "source")
		source(data_folder(PROCLAB_DATA_FROM_BIN), argv + 2);
	if (command == "predict")
		predict(dir, data_folder(PROCLAB_DATA_FROM_BIN) / "src", argv + 2);
	if (is_tool(command))
		run(dir, argv[1], argv + 2, false);
	if (catalogued(command))
		run(dir, argv[1], argv + 2, runs_in_own_folder(command));
	misused("no command or demo '" + std::string(command) + "'");
}
