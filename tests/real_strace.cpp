// strace's log of a run told as a story (real_story.h): who made whom,
// threads set apart, execs from any thread, ends, reaps, what woke each
// wait that blocked, and the writes that reached the run's own output.
#include <algorithm>
#include <set>
#include <utility>

#include "real_story.h"

const char story_calls[] = "clone,clone3,fork,vfork,wait4,waitid,write,"
    "writev,pipe,pipe2,rt_sigaction";
const std::vector<std::string> story_options = {"-y", "-s", "4194304"};

namespace {

// The bytes of strace's -xx escapes ("\x41\x42") from at on; moves at
// past them.
std::string
unescape(const std::string &s, std::size_t &at)
{
	std::string bytes;
	for (; s.compare(at, 2, "\\x") == 0; at += 4)
		bytes += static_cast<char>(
		    std::stoi(s.substr(at + 2, 2), nullptr, 16));
	return bytes;
}

// The file strace names (-y) behind the descriptor at `at` in args, as
// in "1<pipe:[123]>"; "" if it names none.
std::string
named_file(const std::string &args, std::size_t at = 0)
{
	std::size_t open = args.find('<', at);
	if (open == std::string::npos)
		return "";
	at = open + 1;
	return unescape(args, at);
}

// Every string of the argv array in an execve's args, after its path.
std::vector<std::string>
argv_argument(const std::string &args)
{
	std::vector<std::string> argv;
	std::size_t at = args.find('[');
	while (at != std::string::npos) {
		at = args.find_first_of("\"]", at + 1);
		if (at == std::string::npos || args[at] == ']')
			break;
		at++;
		argv.push_back(unescape(args, at));
	}
	return argv;
}

// The bytes a write or writev call took, as it logged them.
std::string
written(const Call &c)
{
	std::string bytes;
	if (c.name == "write") {
		bytes = string_argument(c.args);
	} else {
		for (std::size_t at = 0; (at = c.args.find("iov_base=\"", at)) !=
		    std::string::npos;) {
			at += 10;
			bytes += unescape(c.args, at);
		}
	}
	return bytes.substr(0, static_cast<std::size_t>(
	    std::max(0L, returned_number(c.ret))));
}

// The process a wait call reaped: 0 for none (a stop or a continue seen,
// WNOWAIT, no child). A wait4 with no status to fill reaps.
pid_t
reaped_by_wait(const Call &c)
{
	if (c.name == "wait4")
		return holds(c.args, "WIFSTOPPED") ||
		    holds(c.args, "WIFCONTINUED") ? 0 :
		    static_cast<pid_t>(std::max(0L, returned_number(c.ret)));
	bool ended = false;
	for (const char *word : {"CLD_EXITED", "CLD_KILLED", "CLD_DUMPED"})
		ended = ended || holds(c.args, word);
	std::size_t at = c.args.find("si_pid=");
	if (c.ret != "0" || !ended || holds(c.args, "WNOWAIT") ||
	    at == std::string::npos)
		return 0;
	return static_cast<pid_t>(std::stol(c.args.substr(at + 7)));
}

// The signals a process catches, each with whether the calls its handler
// interrupts are restarted (SA_RESTART).
using Handlers = std::map<std::string, bool>;

void
set_handler(Handlers &h, const Call &c)
{
	std::size_t at = c.args.find("{sa_handler=");
	if (at == std::string::npos || c.ret != "0")
		return;
	std::string sig = c.args.substr(0, c.args.find(','));
	std::string handler = c.args.substr(at + 12,
	    c.args.find(',', at) - at - 12);
	std::size_t flags = c.args.find("sa_flags=", at);
	if (handler == "SIG_DFL" || handler == "SIG_IGN")
		h.erase(sig);
	else
		h[sig] = flags != std::string::npos && c.args.substr(flags,
		    c.args.find_first_of(",}", flags) - flags).find(
		    "SA_RESTART") != std::string::npos;
}

// What woke a wait that blocked, but for a child's end; "" for that, and
// for one that could not block (WNOHANG), failed at once, or was
// restarted as if never interrupted.
// A call interrupted by a signal (ERESTARTSYS) returns EINTR if the
// signal's handler ran without SA_RESTART.
std::string
wait_outcome(const Call &c, const std::string &signal_then,
    const Handlers &h)
{
	if (holds(c.args, "WNOHANG"))
		return "";
	if (c.ret.starts_with("? ERESTART")) {
		auto it = h.find(signal_then);
		return it != h.end() && !it->second ?
		    "interrupted by a signal" : "";
	}
	if (c.ret.starts_with("-1 EINTR"))
		return "interrupted by a signal";
	if (c.name == "wait4" && returned_number(c.ret) <= 0)
		return "";
	if (c.name == "waitid" && (c.ret != "0" || holds(c.args, "si_pid=0")))
		return "";
	if (holds(c.args, "WIFSTOPPED") || holds(c.args, "CLD_STOPPED"))
		return "a child stopped";
	if (holds(c.args, "WIFCONTINUED") || holds(c.args, "CLD_CONTINUED"))
		return "a child continued";
	return "";
}

// The log read call by call, in each thread's order.
class Reader {
public:
	explicit Reader(const Result &r);

	Story story;

private:
	[[nodiscard]] std::string key(pid_t tid) const;
	void made(const Call &c, long child);
	void execed(const Call &c);
	void output(const Call &c);
	void waited(const Call &c, std::size_t i);

	std::map<pid_t, pid_t> owner_;	// a thread's process
	std::set<std::string> pipes_;	// made by the run: messages
	std::map<std::string, Handlers> handlers_;
	// The signal delivered to a thread right after a call of its, by
	// the thread and how many calls came before it.
	std::map<std::pair<pid_t, std::size_t>, std::string> signal_after_;
};

Reader::Reader(const Result &r)
{
	for (const Call &c : r.calls) {
		if (is_fork(c) && holds(c.args, "CLONE_THREAD") &&
		    returned_number(c.ret) > 0)
			owner_[static_cast<pid_t>(returned_number(c.ret))] = c.pid;
		// A pipe's two ends, each named pipe:[INODE].
		if ((c.name == "pipe" || c.name == "pipe2") && c.ret == "0")
			for (std::size_t at = c.args.find('<');
			    at != std::string::npos; at = c.args.find('<', at + 1))
				pipes_.insert(named_file(c.args, at));
	}
	for (const Delivered &d : r.signals)
		signal_after_[{d.pid, d.after}] = d.name;
	story.first = key(r.pid);
	story.procs[story.first];
	for (std::size_t i = 0; i < r.calls.size(); i++) {
		const Call &c = r.calls[i];
		long ret = returned_number(c.ret);
		if (is_fork(c) && ret > 0 && !holds(c.args, "CLONE_THREAD"))
			made(c, ret);
		else if (c.name == "execve")
			execed(c);
		else if (c.name == "write" || c.name == "writev")
			output(c);
		else if (c.name == "wait4" || c.name == "waitid")
			waited(c, i);
		else if (c.name == "rt_sigaction")
			set_handler(handlers_[key(c.pid)], c);
	}
	for (const auto &[pid, end] : r.ends)
		if (story.procs.contains(std::to_string(pid)))
			story.procs[std::to_string(pid)].end = describe(end);
}

std::string
Reader::key(pid_t tid) const
{
	for (auto it = owner_.find(tid); it != owner_.end();
	    it = owner_.find(tid))
		tid = it->second;
	return std::to_string(tid);
}

// A new process, with the handlers of its maker as they are now.
void
Reader::made(const Call &c, long child)
{
	std::string k = std::to_string(child);
	story.procs[k].maker = key(c.pid);
	handlers_[k] = handlers_[key(c.pid)];
}

// An exec that worked, from the leader or from another thread, which
// the kernel gives the leader's number ("<pid changed to ...>"); the
// program's handlers are gone.
void
Reader::execed(const Call &c)
{
	// "-1 ENOENT (No such file or directory)"
	if (c.ret.starts_with("-1 ")) {
		story.procs[key(c.pid)].execs.push_back(failed_told(
		    string_argument(c.args), c.ret.substr(3,
		    c.ret.find(' ', 3) - 3)));
		return;
	}
	if (c.ret != "0" && !holds(c.args, "<pid changed to "))
		return;
	story.procs[key(c.pid)].execs.push_back(exec_told(
	    string_argument(c.args), argv_argument(c.args)));
	handlers_.erase(key(c.pid));
}

// A write that reached the run's output: a pipe the run did not make.
void
Reader::output(const Call &c)
{
	std::string file = named_file(c.args);
	if (file.starts_with("pipe:[") && !pipes_.contains(file))
		story.procs[key(c.pid)].out[std::stoi(c.args)] += written(c);
}

void
Reader::waited(const Call &c, std::size_t i)
{
	auto then = signal_after_.find({c.pid, i + 1});
	std::string woke = wait_outcome(c, then == signal_after_.end() ? "" :
	    then->second, handlers_[key(c.pid)]);
	if (!woke.empty())
		story.procs[key(c.pid)].waits.push_back(woke);
	if (pid_t reaped = reaped_by_wait(c); reaped > 0)
		story.procs[std::to_string(reaped)].reaper = key(c.pid);
}

} // namespace

Story
strace_story(const Result &r)
{
	return Reader(r).story;
}
