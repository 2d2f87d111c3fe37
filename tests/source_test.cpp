// trace --source from outside: each line a demo writes is told at the
// call in the demo's own file that wrote it (the line of the source that
// holds the line's text, found by that text), a fork at a fork, an exit
// at exit(3) or main's end, a signal in the demo's file; a program
// without line tables still traces, with "?", and trace says how to get
// them; without libdw on the machine trace says so and runs nothing.
#include <fstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

using json = nlohmann::json;

struct Demo {
	const char *name;
	const char *file;	// in the tree
	std::vector<std::string> args;
	friend void PrintTo(const Demo &d, std::ostream *os) { *os << d.name; }
};

const Demo demos[] = {
	{"tworoles", "split/tworoles.cpp", {"tworoles"}},
	{"funcview", "split/funcview.cpp", {"funcview"}},
	{"reaper", "signals/reaper.cpp", {"--time-lapse", "reaper"}},
};

std::vector<std::string>
lines_of(const std::string &path)
{
	std::ifstream in(path);
	std::vector<std::string> v;
	for (std::string l; std::getline(in, l);)
		v.push_back(l);
	return v;
}

// The first string in a call's source, up to what its format fills in.
std::string
literal_prefix(const std::string &call)
{
	std::size_t open = call.find('"');
	if (open == std::string::npos)
		return "";
	std::size_t end = call.find_first_of("%\"\\", open + 1);
	return call.substr(open + 1, end == std::string::npos ? 0 :
	    end - open - 1);
}

class Source : public testing::TestWithParam<Demo> {};

TEST_P(Source, EachEventAtItsCallInTheDemosFile)
{
	const Demo &d = GetParam();
	std::vector<std::string> src = lines_of(std::string(SUITE_SOURCE_DIR) +
	    "/" + d.file);
	std::vector<std::string> args = {"--source", "--format", "jsonl"};
	args.insert(args.end(), d.args.begin(), d.args.end());
	Result r = run_trace(args);
	ASSERT_EQ(r.end, End::exited(0)) << r.err;
	std::size_t lines = 0, forks = 0, exits = 0;
	for (const auto &l : r.lines) {
		json e = json::parse(l);
		std::string kind = e["kind"];
		if (kind != "line" && kind != "fork" && kind != "signal" &&
		    kind != "ended")
			continue;
		SCOPED_TRACE(l);
		ASSERT_TRUE(e.contains("source"));
		std::string file = e["source"]["file"];
		int at = e["source"]["line"];
		ASSERT_TRUE(file.ends_with(d.file));
		ASSERT_TRUE(at >= 1 && static_cast<std::size_t>(at) <= src.size());
		// A call may run on: its text within the next two lines.
		auto from = static_cast<std::size_t>(at);
		std::string call = src[from - 1];
		for (std::size_t i = from; i < from + 2 && i < src.size(); i++)
			call += src[i];
		if (kind == "line") {
			lines++;
			std::string text = e["text"], fixed = literal_prefix(call);
			EXPECT_FALSE(fixed.empty()) << call;
			EXPECT_TRUE(text.starts_with(fixed)) << call;
		} else if (kind == "fork") {
			forks++;
			EXPECT_NE(call.find("fork("), std::string::npos) << call;
		} else if (kind == "ended" && e.contains("exit")) {
			// By exit(3), or by returning from main: at its end,
			// the closing brace or (clang) the return.
			exits++;
			EXPECT_TRUE(call.find("exit(") != std::string::npos ||
			    call.find("return") != std::string::npos ||
			    call.find_first_not_of(" \t") == call.find('}'))
			    << call;
		}
	}
	EXPECT_GT(lines, 2u);
	EXPECT_GT(forks, 0u);
	EXPECT_GT(exits, 1u);
}

INSTANTIATE_TEST_SUITE_P(Demos, Source, testing::ValuesIn(demos),
    [](const testing::TestParamInfo<Demo> &d) { return d.param.name; });

// The pictures carry it too: a line's instant in Perfetto has its source.
TEST(SourceIn, PerfettoLinesCarryTheirCall)
{
	Result r = run_trace({"--source", "--perfetto", "-", "tworoles"});
	ASSERT_EQ(r.end, End::exited(0)) << r.err;
	std::size_t told = 0;
	json doc = json::parse(r.out);
	for (const auto &e : doc["traceEvents"]) {
		if (!e.contains("args") || !e["args"].contains("text"))
			continue;
		ASSERT_TRUE(e["args"].contains("source")) << e;
		std::string file = e["args"]["source"]["file"];
		EXPECT_TRUE(file.ends_with("split/tworoles.cpp")) << e;
		told++;
	}
	EXPECT_EQ(told, 5u);
}

// A line written in a signal handler is told at the handler's call, with
// the call it interrupted and where; between the signal and the wait's
// return, which comes once the handler has run.
TEST(SourceIn, HandlersLineInTheHandlerBeforeTheWaitReturns)
{
	std::vector<std::string> src = lines_of(std::string(SUITE_SOURCE_DIR) +
	    "/signals/tickcounter.cpp");
	Result r = run_trace({"--source", "--format", "jsonl", "--time-lapse",
	    "tickcounter"});
	ASSERT_EQ(r.end, End::exited(1)) << r.err;
	std::vector<json> v;
	for (const auto &l : r.lines)
		v.push_back(json::parse(l));
	std::size_t told = 0;
	for (std::size_t i = 1; i + 1 < v.size(); i++) {
		if (v[i]["kind"] != "line")
			continue;
		SCOPED_TRACE(v[i].dump());
		const json &at = v[i]["source"], &cut = at["interrupted"];
		EXPECT_EQ(v[i]["in_handler"], "SIGALRM");
		EXPECT_TRUE(at["file"].get<std::string>().ends_with(
		    "common/alarma.cpp"));
		EXPECT_TRUE(cut["file"].get<std::string>().ends_with(
		    "signals/tickcounter.cpp"));
		int line = cut["line"];
		ASSERT_TRUE(line >= 1 && static_cast<std::size_t>(line) <=
		    src.size());
		EXPECT_NE(src[static_cast<std::size_t>(line) - 1].find(
		    "sigsuspend("), std::string::npos);
		EXPECT_EQ(v[i - 1]["kind"], "signal");
		EXPECT_EQ(v[i + 1]["kind"], "woken");
		EXPECT_FALSE(v[i + 1].contains("in_handler"));
		told++;
	}
	EXPECT_EQ(told, 10u);
}

// /bin/sh comes without line tables: it traces, each event at "?", and
// trace says how to get lines.
TEST(SourceWithout, LineTablesTracesAndSaysSo)
{
	Result r = run_trace({"--source", "/bin/sh", "-c", "echo hi"});
	EXPECT_EQ(r.end, End::exited(0));
	EXPECT_NE(r.out.find(" ?  "), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("| hi"), std::string::npos) << r.out;
	EXPECT_NE(r.err.find("build it with -g"), std::string::npos) << r.err;
}

// trace loads libdw only for --source: where it cannot be opened, trace
// names the package that has it and ends before the run. Its file, as
// the dynamic loader names it, fails with EIO: with ENOENT the loader
// would go on to look for it elsewhere, and find it.
TEST(SourceWithout, LibdwSaysSoAndRunsNothing)
{
	std::string path;
	if (void *lib = dlopen("libdw.so.1", RTLD_LAZY)) {
		Dl_info info{};
		if (dladdr(dlsym(lib, "dwfl_begin"), &info) != 0)
			path = info.dli_fname;
		(void)dlclose(lib);
	}
	ASSERT_FALSE(path.empty()) << "libdw.so.1 is not installed";
	Options o;
	o.runs_tracer = true;
	o.args = {"--source", "tworoles"};
	o.fault = Fault{"openat", "EIO"};
	o.strace_options = {"-P", path};
	Result r = run("trace", o);
	EXPECT_EQ(r.end, End::exited(125)) << r.err;
	EXPECT_NE(r.err.find("libdw.so.1"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("package libdw1"), std::string::npos) << r.err;
	EXPECT_EQ(r.out, "");

	// Without --source it is not loaded at all.
	Options plain;
	plain.runs_tracer = true;
	plain.args = {"tworoles"};
	plain.env["LD_DEBUG"] = "files";
	r = run("trace", plain);
	EXPECT_EQ(r.end, End::exited(0)) << r.err;
	EXPECT_NE(r.err.find("file=libc.so.6"), std::string::npos) << r.err;
	EXPECT_EQ(r.err.find("libdw"), std::string::npos) << r.err;
}

} // namespace
