// The harness itself, driven with the shell: what it reports has to be
// true before any demo's test can be believed.
#include <csignal>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "harness.h"

namespace {

Result
sh(const std::string &script, Options o = {})
{
	o.args = {"-c", script};
	return run("/bin/sh", o);
}

TEST(Harness, TellsExitFromSignal)
{
	EXPECT_EQ(sh("exit 3").end, End::exited(3));
	EXPECT_EQ(sh("kill -ALRM $$").end, End::killed(SIGALRM));
}

TEST(Harness, StartsProgramsWithDefaultSignals)
{
	// As a background job would: SIGINT ignored, SIGALRM blocked.
	sigset_t alrm;
	sigemptyset(&alrm);
	sigaddset(&alrm, SIGALRM);
	sigprocmask(SIG_BLOCK, &alrm, nullptr);
	auto old = std::signal(SIGINT, SIG_IGN);
	EXPECT_NE(old, SIG_ERR);
	End intr = sh("kill -INT $$; exit 7").end;
	End alarm = sh("kill -ALRM $$; exit 7").end;
	EXPECT_NE(std::signal(SIGINT, old), SIG_ERR);
	sigprocmask(SIG_UNBLOCK, &alrm, nullptr);
	EXPECT_EQ(intr, End::killed(SIGINT));
	EXPECT_EQ(alarm, End::killed(SIGALRM));
}

TEST(Harness, ReadsUntilTheLastWriterEndsAndCollectsOrphans)
{
	Result r = sh("echo pronto; (sleep 0.2; echo tarde; exit 4) &");
	EXPECT_EQ(r.lines, (std::vector<std::string>{"pronto\n", "tarde\n"}));
	EXPECT_EQ(r.end, End::exited(0));
	ASSERT_EQ(r.orphans.size(), 1u);
	EXPECT_EQ(r.orphans[0].end, End::exited(4));
}

TEST(Harness, PassesInputDirectoryAndEnvironment)
{
	setenv("HARNESS_GONE", "x", 1);
	Options o;
	o.input = "uno\ndos";
	o.cwd = "/tmp";
	o.env = {{"HARNESS_SET", "si"}, {"HARNESS_GONE", std::nullopt}};
	Result r = sh("cat; echo; pwd; echo \"$HARNESS_SET${HARNESS_GONE-}\" >&2", o);
	EXPECT_EQ(r.out, "uno\ndos\n/tmp\n");
	EXPECT_EQ(r.err, "si\n");
}

TEST(Harness, ReadsLineByLineWhileTheProgramRuns)
{
	Options o;
	o.args = {"-c", "echo uno; read x; echo $x"};
	o.input = "dos\n";
	Process p("/bin/sh", o);
	EXPECT_EQ(p.read_line(), "uno\n");
	EXPECT_EQ(p.read_line(), "dos\n");
	EXPECT_EQ(p.read_line(), "");
	EXPECT_EQ(p.finish().end, End::exited(0));
}

TEST(Harness, GivesUpOnARunPastItsTimeLimit)
{
	// The second sleep leaves the group, so killing the group does not
	// close the pipes: the harness must still come back.
	static Result r;
	Options o;
	o.args = {"-c", "setsid sleep 4 & sleep 4"};
	o.timeout_ms = 300;
	EXPECT_NONFATAL_FAILURE(r = run("/bin/sh", o), "time limit");
	EXPECT_TRUE(r.timed_out);
	EXPECT_EQ(r.end, End::killed(SIGKILL));
	// The sleep it left behind is no later run's.
	EXPECT_TRUE(sh("exit 0").orphans.empty());
}

} // namespace
