// The tracer's facts of each call, by number, as trace tells them: the
// call it decodes a number as, the name said of a call a signal cuts
// short, and which calls move bytes or make what it knows of
// descriptors stale (those it tells nothing of, and looks for no source
// line of).
#include <cstdint>
#include <string>

#include <sys/syscall.h>

#include <gtest/gtest.h>

#include "internal/calls.h"

namespace {

struct Fact {
	const char *test;
	std::uint64_t nr;
	const char *call;	// call_name(call_of(nr))
	const char *waiting;	// waiting_call_name(nr), or nullptr
	bool writes, reads, changes_fds;

	friend void PrintTo(const Fact &f, std::ostream *os) { *os << f.test; }
};

constexpr auto none = static_cast<std::uint64_t>(-1);

const Fact facts[] = {
	{"Write", SYS_write, "write", "write", true, false, false},
	{"Pwrite", SYS_pwrite64, "pwrite64", "pwrite64", true, false, false},
	{"Sendmsg", SYS_sendmsg, "sendmsg", "sendmsg", true, false, false},
	{"Readv", SYS_readv, "readv", "readv", false, true, false},
	{"Recvfrom", SYS_recvfrom, "recvfrom", "recvfrom", false, true, false},
	{"Sigsuspend", SYS_rt_sigsuspend, "sigsuspend", "sigsuspend", false,
	    false, false},
	{"Waitid", SYS_waitid, "waitid", "waitid", false, false, false},
	{"Sigreturn", SYS_rt_sigreturn, "rt_sigreturn", nullptr, false, false,
	    false},
	{"Kill", SYS_kill, "kill", nullptr, false, false, false},
	{"Close", SYS_close, "close", nullptr, false, false, true},
	{"Dup3", SYS_dup3, "dup3", nullptr, false, false, true},
	{"Fcntl", SYS_fcntl, "fcntl", "fcntl", false, false, true},
	{"Ioctl", SYS_ioctl, "ioctl", nullptr, false, false, true},
	// Its pair is told at its exit, from where it was made.
	{"Socketpair", SYS_socketpair, "socketpair", nullptr, false, false,
	    false},
	{"Ppoll", SYS_ppoll, "ppoll", "ppoll", false, false, false},
	{"Nanosleep", SYS_nanosleep, "nanosleep", "nanosleep", false, false,
	    false},
	{"Sigtimedwait", SYS_rt_sigtimedwait, "sigtimedwait", "sigtimedwait",
	    false, false, false},
	{"Pipe2", SYS_pipe2, "pipe2", nullptr, false, false, false},
	// Let through by the filter: named only when a signal cuts them.
	{"Pread", SYS_pread64, "other", "pread64", false, false, false},
	{"Getpid", SYS_getpid, "other", nullptr, false, false, false},
	// What stands for a call the architecture has not.
	{"NoCall", none, "other", nullptr, false, false, false},
#ifdef SYS_pause
	{"Pause", SYS_pause, "pause", "pause", false, false, false},
	{"Dup2", SYS_dup2, "dup2", nullptr, false, false, true},
#endif
};

class CallTable : public testing::TestWithParam<Fact> {};

TEST_P(CallTable, TellsTheCallOfItsNumber)
{
	const Fact &f = GetParam();
	Call c = call_of(f.nr);
	const char *waiting = waiting_call_name(f.nr);

	EXPECT_STREQ(call_name(c), f.call);
	EXPECT_EQ(waiting ? std::string(waiting) : "nullptr",
	    f.waiting ? f.waiting : "nullptr");
	EXPECT_EQ(writes(c), f.writes);
	EXPECT_EQ(reads(c), f.reads);
	EXPECT_EQ(changes_fds(c), f.changes_fds);
}

INSTANTIATE_TEST_SUITE_P(Calls, CallTable, testing::ValuesIn(facts),
    [](const testing::TestParamInfo<Fact> &i) { return i.param.test; });

} // namespace
