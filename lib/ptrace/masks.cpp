// What a process does with signals, as it sets it: a handler, ignored or
// the default (sigaction), and the signals it blocks (sigprocmask); the C
// library's own settings left out. See tracer.h.
#include <csignal>
#include <utility>

#include "internal/calls.h"
#include "internal/tracer_proc.h"
#include "procfs.h"
#include "tracer.h"

namespace {

// The signals the C library keeps for itself, 32 and 33 (its threads'
// cancellation and set-ID calls): SIGRTMIN is 34 to a program.
constexpr std::uint64_t libc_own = 3ULL << 31;

} // namespace

// A mask set. The C library's signals are left out of it; blocking every
// signal is held (block_all) until the thread's next step shows whether
// the C library does it around a thread's start or end.
void
Tracer::on_sigprocmask(Proc &p)
{
	const CallStop &s = p.entry;

	if (!s.args[1] || s.args[0] > 2)
		return;
	std::uint64_t set = read_word(p.pid, s.args[1]);
	let_in(p, s.args[0] == SIG_UNBLOCK ? set :
	    s.args[0] == SIG_SETMASK ? ~set : 0);
	if (s.args[0] == SIG_SETMASK && std::exchange(p.restores, false))
		return;
	Event::Mask m{static_cast<Event::Mask::How>(s.args[0]),
	    signal_names(set & ~libc_own)};
	if (m.signals.empty() && m.how != Event::Mask::How::set)
		return;
	constexpr std::uint64_t standard = (1ULL << 31) - 1;
	if (m.how == Event::Mask::How::block && (set & standard) == standard) {
		release_mask(p.pid);
		p.block_all = made(m, p, true);
		return;
	}
	emit(m, p);
}

// A mask blocking every signal, held: told now, as it was made.
void
Tracer::release_mask(pid_t tid)
{
	auto it = procs_.find(tid);
	if (it == procs_.end() || !it->second->block_all)
		return;
	release_handlers();
	Event e = std::move(*it->second->block_all);
	it->second->block_all.reset();
	sink_(e);
}

// A handler set: which signals restart the calls they cut, and whether
// the kernel reaps p's children for it. Nothing to tell of a signal set
// to its default where it was at its default already, as system() and
// posix_spawn do for every signal: nothing changes.
std::optional<Event::Handler>
Tracer::on_sigaction(Proc &p)
{
	const CallStop &s = p.entry;
	// The kernel's struct sigaction: the handler, then the flags.
	std::uint64_t h = read_word(p.pid, s.args[1]);
	std::uint64_t flags = read_word(p.pid, s.args[1] + 8);
	std::uint64_t bit = 1ULL << (s.args[0] - 1);
	Proc &o = owner(p);

	o.restarts = h > 1 && (flags & SA_RESTART) ? o.restarts | bit :
	    o.restarts & ~bit;
	if (s.args[0] == SIGCHLD) {
		o.chld_ignored = h == 1;
		o.chld_nocldwait = (flags & SA_NOCLDWAIT) != 0;
	}
	Signals now;
	if ((bit & libc_own) || (h == 0 && signals_of(p.pid, now) &&
	    !((now.caught | now.ignored) & bit)))
		return std::nullopt;
	using A = Event::Action;
	return Event::Handler{static_cast<int>(s.args[0]), h == 0 ?
	    A::by_default : h == 1 ? A::ignore : A::handler};
}

// A handler set, held while the same thread sets more signals the same
// way with nothing else happening in the run: a run of three or more is
// told as one (as system() and shells set many).
void
Tracer::hold_handler(const Proc &p, const Event::Handler &h)
{
	if (!handlers_.empty() && (handlers_by_ != p.pid ||
	    handlers_.back().as<Event::Handler>()->action != h.action))
		release_handlers();
	handlers_.push_back(made(h, p, true));
	handlers_by_ = p.pid;
}

void
Tracer::release_handlers()
{
	constexpr std::size_t fewest = 3;	// told as one
	std::vector<Event> run = std::exchange(handlers_, {});

	if (run.empty())
		return;
	if (run.size() < fewest) {
		for (const Event &e : run)
			sink_(e);
		return;
	}
	auto &first = std::get<Event::Handler>(run[0].what);
	for (std::size_t i = 1; i < run.size(); i++)
		first.also.push_back(run[i].as<Event::Handler>()->sig);
	sink_(run[0]);
}
