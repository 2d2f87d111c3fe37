// A tracer on ptrace(2) for the demos and any program like them: it
// follows the started program and every process it makes, stops them
// only on the calls that tell their story (a seccomp filter picks them),
// and turns what it sees into events: each line written and by whom,
// forks, execs, signals and where they came from, waits, ends and reaps.
// It passes on every signal as it came, so the program runs as it would
// untraced. With time-lapse it keeps the programs' alarms itself and,
// whenever every process is blocked waiting, fires the earliest at once.
//
// A Run given a Tracer (runner.h) starts its program under it; the
// tracer does all the waiting for that run's processes.
#ifndef TRACER_H
#define TRACER_H

#include <csignal>

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "event.h"

struct Signals;

class Tracer {
public:
	using Sink = std::function<void(const Event &)>;

	// Events go to sink as they happen. The tracer blocks SIGCHLD and
	// reads it from a descriptor until it is destroyed.
	Tracer(Sink sink, bool time_lapse);
	Tracer(const Tracer &) = delete;
	Tracer &operator=(const Tracer &) = delete;
	~Tracer();

	// What it needs of the kernel, said when it lacks it. A run there
	// ends at its first stop, before its program starts, throwing
	// std::runtime_error with these words.
	static const char kernel_needed[];
	// Whether this kernel has it, asked of a child made for the purpose;
	// true too when ptrace is refused, which a run then says.
	static bool kernel_fits();

	// In the started process, between fork and exec; async-signal-safe.
	// Waits for a byte on go, whose write end it must not hold, then
	// installs the filter. -1 and errno on failure, ESRCH if go was
	// closed without one.
	static int prepare(int go) noexcept;
	// Where in its source a stopped thread is (at), and that what is
	// known of a process's memory must go (forget): when given, the
	// tracer asks at each call, fork, signal and exit that makes an
	// event, and the events carry it.
	// (handler: the thread runs a signal handler, whose frames end at
	// the kernel's signal frame).
	struct Sites {
		std::function<Source(pid_t pid, pid_t tid, bool ending,
		    bool handler)> at;
		std::function<void(pid_t pid)> forget;
	};
	void find_sites(Sites sites) { sites_ = std::move(sites); }
	// Takes pid, stopped in prepare, under the tracer. Throws
	// std::system_error, EPERM when ptrace is not allowed here.
	void seize(pid_t pid);
	// Readable when something happened to a traced process.
	[[nodiscard]] int fd() const { return sigfd_; }
	// Handles whatever happened; fires an alarm if time-lapse may.
	void service();
	// How soon service wants to run again with nothing happening: -1
	// never; otherwise milliseconds.
	[[nodiscard]] int wake_in_ms() const;
	// Every process of the run has been collected: those it told of,
	// and any the kernel handed us that it never saw stop.
	[[nodiscard]] bool done() const;
	// Nothing can ever wake a process of the run.
	[[nodiscard]] bool stuck() const { return stuck_; }
	// For a run watched one event at a time: each write to the run's
	// output is stopped at its end, and no other stop is taken until it
	// has ended, so that its line is told as it appears, before another
	// process can write one.
	void one_write_at_a_time() { one_write_ = true; }
	// Tells every signal delivered, those that do nothing (SIGCHLD not
	// caught) too, which are left out otherwise.
	void tell_every_signal() { every_signal_ = true; }
	// Sends sig to every process of the run still alive.
	void signal_all(int sig) const;
	// Ends the run: SIGKILL to every process of the run still alive,
	// and to any that appears later, each end then told as the tracer's
	// own (Event::by_trace), why with it.
	void kill_all(const std::string &why);
	// Under time-lapse, moves the run's clock on by us at once, as if the
	// run had been left alone so long: for a stuck run, which nothing
	// can change meanwhile. Otherwise nothing.
	void hold(long long us);
	// Tells where each process of the run stands (Event::Snapshot),
	// once: as trace is about to end the run, or as it ends otherwise.
	void snapshot();
	// The processes, in the order they appeared; the run's start first.
	[[nodiscard]] std::vector<Traced> processes() const;
	// The orphans the subreaper collected, in that order.
	[[nodiscard]] const std::vector<pid_t> &orphans() const
	{
		return orphans_;
	}
	[[nodiscard]] const Traced *find(pid_t pid) const;
	// Now, on the run's clock (virtual under time-lapse).
	[[nodiscard]] long long now_us() const;

	struct Proc;
	struct Dest;
	struct Partial;

private:
	Proc &proc(pid_t pid);
	[[nodiscard]] Proc *live(pid_t pid) const;
	[[nodiscard]] Proc &owner(Proc &p) const;
	[[nodiscard]] std::string role_of(pid_t pid) const;
	[[nodiscard]] std::vector<pid_t> unseen() const;
	// where: the event was made where p stands (its place, its
	// handler); not for what befell it while it ran on.
	void emit(Event::What what, const Proc &p, bool where = true);
	[[nodiscard]] Event made(Event::What what, const Proc &p,
	    bool where) const;
	// A process as an event names it: its role, the subreaper's for us.
	[[nodiscard]] Event::Peer peer(pid_t pid) const;
	void locate(Proc &p, bool ending = false);
	static void resume(Proc &p, int sig = 0);
	// The loop (tracer.cpp).
	bool drain();
	void on_stop(pid_t pid, int status);
	void on_event(Proc &p, int event, int sig);
	void on_child(Proc &creator, pid_t child, bool thread);
	void place(Proc &c, Proc *creator, bool thread);
	void name_thread(Proc &c, Proc &leader, Proc *creator);
	void release_mask(pid_t tid);
	void on_entry(Proc &p);
	// Execs, and the C library's search of folders (execs.cpp).
	void on_exec(Proc &p);
	void hold_exec(Proc &p, int error);
	[[nodiscard]] bool searching(const Proc &p) const;
	void told_exec(pid_t pid);
	void rehold_exec(pid_t from, pid_t to);
	// Waiting calls (waits.cpp).
	void on_wait_entry(Proc &p, bool again);
	[[nodiscard]] bool can_wait(Proc &p, bool ended) const;
	void waited_for(Proc &p, Event::Blocked &e) const;
	void sweep();
	// What the calls mean (tracer_calls.cpp).
	void on_quick_call(Proc &p);
	std::optional<Event::Handler> on_sigaction(Proc &p);
	void on_sigprocmask(Proc &p);
	void hold_handler(const Proc &p, const Event::Handler &h);
	void release_handlers();
	bool on_kill(Proc &p, Event::Kill &k);
	void on_setitimer(Proc &p);
	// Descriptors and what goes through them (descriptors.cpp).
	void outputs_of(pid_t pid);
	const Dest &dest(Proc &p, int fd);
	void forget_fds(Proc &p, std::uint64_t from, std::uint64_t to);
	int copy_of(Proc &p, int fd);
	void on_io_entry(Proc &p);
	void on_io_exit(Proc &p, std::int64_t ret);
	void write_alone(pid_t pid);
	void settle(Proc &p, bool at_return);
	void settle_unended();
	void queue(Proc &p, std::int64_t size);
	void pair_sockets(Proc &p);
	void write_lines(Proc &p, int fd, std::uint64_t size);
	void sent(Proc &p, std::string bytes, std::uint64_t size);
	void sent_before(pid_t tid);
	void received(Proc &p, std::uint64_t size);
	// Pipes and socket pairs by number, and their ends (pipes.cpp).
	int name_channel(std::pair<dev_t, ino_t> end, Event::Target::Kind kind,
	    bool made);
	Event::Target target_of(Proc &p, int fd);
	[[nodiscard]] std::vector<Event::Fd> holders(ino_t ino, int end,
	    pid_t of, int skip) const;
	[[nodiscard]] std::vector<Event::Fd> left_open(const Event::Target &t,
	    ino_t ino, pid_t of, int fd) const;
	void on_pipe(Proc &p, std::int64_t ret);
	void on_dup_entry(Proc &p);
	void on_dup_exit(Proc &p, std::int64_t ret);
	void on_close(Proc &p);
	void closing_at_exec(Proc &p);
	void closed_at_exec(Proc &p);
	void tell_eof(Proc &p);
	// Calls that may sleep on a descriptor or for a time (sleeps.cpp).
	void may_sleep(Proc &p);
	void look_for_sleepers();
	Event::Fd fd_of(Proc &p, int fd);
	void polled(Proc &p, Event::Blocked &b);
	void selected(Proc &p, Event::Blocked &b);
	Event::Blocked blocked_in(Proc &p);
	void woke(Proc &p, std::int64_t ret);
	[[nodiscard]] static bool sleeps_for_good(const Proc &p);
	// Where each process stands (snapshot.cpp).
	[[nodiscard]] bool told_quiet(const Proc &p) const;
	[[nodiscard]] bool nothing_wakes() const;
	std::vector<Event::Fd> other_ends(Proc &p);
	void on_exit(Proc &p);
	void on_signal(Proc &p, int sig);
	void enter_handler(Proc &p, int sig, bool fault);
	void on_handler_return(Proc &p, std::int64_t ret);
	// Signals that wait while blocked (pending.cpp).
	[[nodiscard]] bool told(int sig, bool caught) const;
	void watch_pending(Proc &p, pid_t to, int sig);
	void on_kill_exit(Proc &p, std::int64_t ret);
	void let_in(Proc &p, std::uint64_t unblocking);
	void arrive(Proc &p, const Signals &s, std::uint64_t arriving);
	void chld_discarded(const Proc &c);
	void ignored_by_group(Proc &p, int sig);
	void on_gone(pid_t pid, int status);
	void on_wait_result(Proc &p, std::int64_t ret);
	void reaped(Proc &c, pid_t by, Event::Reaped::Status status);
	void line_bytes(Proc &p, int fd, const std::string &bytes,
	    std::uint64_t written);
	void keep(Proc &p, int fd, std::string_view s);
	void flush(Proc &p);
	void emit_line(const Proc &p, int fd, Partial &part);
	// Job control where trace stands in the kernel's way (jobs.cpp).
	void on_exiting(const Proc &x);
	[[nodiscard]] bool tied(const Proc &m, pid_t gone) const;
	[[nodiscard]] bool orphaned_group(const Proc &p) const;
	void hang_up(pid_t group, pid_t gone);
	bool from_kernel(Proc &p, siginfo_t &si) const;
	// Alarms, and time-lapse (timelapse.cpp).
	void arm(Proc &p, long long in_us, long long every_us);
	bool own_alarm(Proc &p, siginfo_t &si) const;
	void try_fire();
	[[nodiscard]] bool quiet(const Proc &p) const;
	[[nodiscard]] bool all_waiting() const;
	void on_stuck();

	Sink sink_;
	Sites sites_;
	std::string kill_why_;	// why kill_all ended the run
	std::vector<std::pair<pid_t, int>> held_;	// stops of the unplaced
	// A failed exec, by the thread that made it, not yet told: the
	// next may be the same search's.
	std::map<pid_t, Event> failed_execs_;
	// The processes and threads alive or not yet reaped, by number: a
	// number is free for the kernel to give again once reaped.
	std::map<pid_t, std::shared_ptr<Proc>> procs_;
	// Every process of the run, in the order they appeared.
	std::vector<std::shared_ptr<Proc>> order_;
	std::vector<pid_t> orphans_;
	// Our children from before the run, which are not its.
	std::vector<pid_t> before_;
	// What the run's standard output and error are: a write there is a
	// line.
	std::vector<std::pair<dev_t, ino_t>> outputs_;
	// Who sent the bytes still in each pipe, oldest first.
	struct Sent {
		pid_t pid;
		std::string role;
		std::uint64_t left;
		pid_t tid;	// the thread whose write put the latest in
	};
	std::map<std::pair<dev_t, ino_t>, std::deque<Sent>> pipes_;
	// The two ends of each socket pair made in the run, each to the
	// other.
	std::map<std::pair<dev_t, ino_t>, ino_t> peers_;
	// Each pipe's number, and each socket pair's (by either end), and
	// whether the run made it.
	struct Channel {
		int id;
		bool made;
	};
	std::map<std::pair<dev_t, ino_t>, Channel> channels_;
	// Threads in a call that may sleep, not yet seen asleep.
	std::vector<pid_t> sleepy_;
	// Handlers set by one thread in a row, not yet told.
	std::vector<Event> handlers_;
	// The scalars last, largest first, packed.
	long long start_ns_ = 0;
	long long skipped_us_ = 0;
	long long swept_ms_ = 0;
	int sigfd_ = -1;
	pid_t root_ = 0;
	int children_ = 0;
	int pipes_named_ = 0, pairs_named_ = 0;	// the last numbers given
	pid_t handlers_by_ = 0;	// the thread whose handlers are held
	bool time_lapse_;
	bool one_write_ = false;
	bool every_signal_ = false;
	bool chld_was_blocked_ = false;
	bool stuck_ = false;
	bool threads_ = false;	// a process of the run has more than one
	bool snapped_ = false;	// where each stands has been told
};

#endif
