// The seccomp filter that stops the traced program on the calls the
// tracer reads, as their rows in internal/call_table.h say.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "internal/calls.h"

#if defined(__x86_64__)
#define CALLS_ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define CALLS_ARCH AUDIT_ARCH_AARCH64
#else
// cppcheck-suppress preprocessorErrorDirective
#error "the tracer knows the calls of x86_64 and aarch64 only"
#endif
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
    "the filter reads the low half of an argument first");

namespace {

// A number the filter looks at: one it stops on, or looks into.
struct Filtered {
	unsigned nr;
	bool look;
};

constexpr bool
filtered(const CallRow &r)
{
	return r.filter != Filter::pass && r.nr != nr::none;
}

// Every number the filter looks at, in order.
constexpr auto numbers = [] {
	std::array<Filtered, static_cast<std::size_t>(
	    std::ranges::count_if(call_rows, filtered))> a{};
	std::size_t i = 0;
	for (const CallRow &r : call_rows)
		if (filtered(r))
			a[i++] = {static_cast<unsigned>(r.nr),
			    r.filter == Filter::look};
	std::ranges::sort(a, {}, &Filtered::nr);
	return a;
}();

// The filter as it is written: jumps to the two ends, allow and trace,
// are made once they are placed. No allocation: it is written in a child
// between fork and exec.
class Program {
public:
	static constexpr std::size_t most = 256;
	static constexpr int allow = -1, trace = -2;

	[[nodiscard]] std::size_t size() const { return n_; }
	// Jumps are counted from the next instruction; allow and trace
	// stand for the ends.
	void op(unsigned short code, unsigned k, int jt = 0, int jf = 0)
	{
		if (n_ == most)
			return;
		to_[n_][0] = jt;
		to_[n_][1] = jf;
		prog_[n_++] = {code, 0, 0, k};
	}
	void load(std::size_t at)
	{
		op(BPF_LD | BPF_W | BPF_ABS, static_cast<unsigned>(at));
	}
	void is(unsigned k, int yes, int no)
	{
		op(BPF_JMP | BPF_JEQ | BPF_K, k, yes, no);
	}
	// The jump of the instruction at, when true or else when false,
	// made to where the program now ends.
	void land(std::size_t at, bool when)
	{
		to_[at][when ? 0 : 1] = static_cast<int>(n_ - at - 1);
	}
	// The two ends placed, every jump made; false if one is too far.
	bool end(sock_fprog &f)
	{
		std::size_t ends[2] = {n_, n_ + 1};
		op(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
		op(BPF_RET | BPF_K, SECCOMP_RET_TRACE);
		for (std::size_t i = 0; i < n_; i++) {
			unsigned char *j[2] = {&prog_[i].jt, &prog_[i].jf};
			for (int b = 0; b < 2; b++) {
				int to = to_[i][b];
				std::size_t off = to >= 0 ? static_cast<std::size_t>(to) :
				    ends[to == allow ? 0 : 1] - i - 1;
				if (off > 255)
					return false;
				*j[b] = static_cast<unsigned char>(off);
			}
		}
		f = {static_cast<unsigned short>(n_), prog_};
		return n_ < most;
	}

private:
	sock_filter prog_[most]{};
	int to_[most][2]{};
	std::size_t n_ = 0;
};

// An argument's low and high 32 bits, on a little-endian machine.
constexpr std::size_t
arg(std::size_t i, std::size_t half)
{
	return offsetof(seccomp_data, args) + 8 * i + 4 * half;
}

// After the number nr of a call the filter looks into matched: what
// decides for it, which never falls through.
void
look_into(Program &p, unsigned nr)
{
	switch (nr) {
	case SYS_fcntl:
		p.load(arg(1, 0));	// the command, an unsigned int
		p.is(F_SETFL, Program::trace, 0);
		p.is(F_DUPFD, Program::trace, 0);
		p.is(F_DUPFD_CLOEXEC, Program::trace, Program::allow);
		break;
	case SYS_ioctl:
		p.load(arg(1, 0));
		p.is(FIONBIO, Program::trace, Program::allow);
		break;
	default:
		// One to look into that has no look of its own here: stopped
		// always, rather than let through unread.
		p.op(BPF_RET | BPF_K, SECCOMP_RET_TRACE);
		break;
	}
}

// The numbers from lo to hi, as a search tree: a few comparisons for any
// call, however many the filter knows. The kernel tries the filter on
// every call number as it is installed, to learn which always pass: a
// list as long as ours took 0.35 ms of each run. Its depth is the
// logarithm of their count.
void
tree(Program &p, std::size_t lo, std::size_t hi)	// NOLINT(misc-no-recursion)
{
	if (hi - lo > 4) {
		std::size_t mid = (lo + hi) / 2, at = p.size();
		p.op(BPF_JMP | BPF_JGE | BPF_K, numbers[mid].nr);
		tree(p, lo, mid);
		p.land(at, true);
		tree(p, mid, hi);
		return;
	}
	for (std::size_t i = lo; i < hi; i++) {
		bool last = i + 1 == hi;
		unsigned nr = numbers[i].nr;
		if (!numbers[i].look) {
			p.is(nr, Program::trace, last ? Program::allow : 0);
			continue;
		}
		std::size_t at = p.size();
		p.is(nr, 0, last ? Program::allow : 0);
		look_into(p, nr);
		if (!last)
			p.land(at, false);
	}
}

} // namespace

// The filter: another architecture's calls pass; of ours, the known
// ones stop for the tracer, the rest pass. fcntl stops only when it
// sets a descriptor's flags or copies it, ioctl when it sets them.
int
install_call_filter() noexcept
{
	Program p;
	sock_fprog fprog{};

	p.load(offsetof(seccomp_data, arch));
	p.is(CALLS_ARCH, 0, Program::allow);
	p.load(offsetof(seccomp_data, nr));
	tree(p, 0, numbers.size());
	if (!p.end(fprog)) {
		errno = E2BIG;
		return -1;
	}
	// With CAP_SYS_ADMIN (trace run as root) the filter needs no
	// no_new_privs, and a set-user-ID program keeps its privileges, as
	// under a tracer run as root it does; without, it must be set, and
	// such a program then runs with the caller's.
	if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &fprog) == 0)
		return 0;
	if (errno != EACCES || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
		return -1;
	return static_cast<int>(syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER,
	    0, &fprog));
}

