// A stopped process's registers, where the calls' own view of a stop
// (PTRACE_GET_SYSCALL_INFO) says nothing: what a call returned, seen
// from a stop that is not its end. See calls.h.
#include <elf.h>
#include <sys/ptrace.h>
#include <sys/uio.h>
#include <sys/user.h>

#include "internal/calls.h"

namespace {

template <typename T>
bool
regset(pid_t pid, int which, T &regs)
{
	iovec v{&regs, sizeof regs};

	return ptrace(PTRACE_GETREGSET, pid, which, &v) == 0 &&
	    v.iov_len == sizeof regs;
}

} // namespace

// Stopped on the way out of the call, the process is where the call
// returns to, the call's number still in its registers (a trap or an
// interrupt writes another there), its result where the C library takes
// it from. Stopped there later with nothing done since, the same holds.
bool
returned_here(pid_t pid, std::uint64_t ip, std::uint64_t nr,
    std::int64_t &ret)
{
#if defined(__x86_64__)
	user_regs_struct r{};
	if (!regset(pid, NT_PRSTATUS, r) || r.rip != ip || r.orig_rax != nr)
		return false;
	ret = static_cast<std::int64_t>(r.rax);
#elif defined(__aarch64__)
	user_regs_struct r{};
	int call = -1;
	if (!regset(pid, NT_PRSTATUS, r) || r.pc != ip ||
	    !regset(pid, NT_ARM_SYSTEM_CALL, call) ||
	    static_cast<std::uint64_t>(call) != nr)
		return false;
	ret = static_cast<std::int64_t>(r.regs[0]);
#endif
	return true;
}

bool
restarting(std::int64_t ret)
{
	// ERESTARTSYS, ERESTARTNOINTR, ERESTARTNOHAND, ERESTART_RESTARTBLOCK.
	return ret == -512 || ret == -513 || ret == -514 || ret == -516;
}

// Stopped for a signal as a call returns, the call's number is still in
// its registers, and its result is the code it returns to be restarted.
std::int64_t
cut_call(pid_t pid, std::uint64_t &nr)
{
	std::int64_t code = 0;
#if defined(__x86_64__)
	user_regs_struct r{};
	if (!regset(pid, NT_PRSTATUS, r) ||
	    static_cast<std::int64_t>(r.orig_rax) < 0)
		return 0;
	nr = r.orig_rax;
	code = static_cast<std::int64_t>(r.rax);
#elif defined(__aarch64__)
	user_regs_struct r{};
	int call = -1;
	if (!regset(pid, NT_PRSTATUS, r) ||
	    !regset(pid, NT_ARM_SYSTEM_CALL, call) || call < 0)
		return 0;
	nr = static_cast<std::uint64_t>(call);
	code = static_cast<std::int64_t>(r.regs[0]);
#endif
	if (!restarting(code))
		return 0;
	return code;
}
