// Execs, and the C library's search for a program: execvp and execlp
// try the file in each folder of PATH in turn, one execve each, until one
// starts. A failed exec is held until the next call of its thread shows
// whether the search goes on, and a search is told once: with the exec
// that ends it, and the paths tried before.
#include <string_view>
#include <utility>

#include "internal/tracer_proc.h"
#include "tracer.h"

namespace {

// A search longer than this is told in parts: PATH has a few folders,
// and what a program holds back here must stay bounded.
constexpr std::size_t most_tried = 64;

std::string_view
file_name(std::string_view path)
{
	std::size_t slash = path.rfind('/');
	return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The paths tried before, and the one that failed last, of the search
// pid's exec ends; none if it held no failed exec.
std::vector<Event::Exec::Try>
tries_of(std::map<pid_t, Event> &failed, pid_t pid)
{
	auto held = failed.extract(pid);
	if (held.empty())
		return {};
	auto &x = std::get<Event::Exec>(held.mapped().what);
	std::vector<Event::Exec::Try> tried = std::move(x.tried);
	tried.push_back({std::move(x.path), x.error});
	return tried;
}

} // namespace

void
Tracer::on_exec(Proc &p)
{
	p.await_exit = false;
	p.in_call = false;
	p.handling.clear();
	p.returning = false;
	owner(p).fds.clear();
	// Its descriptors are set by now: the run's output is where they
	// lead as its program starts.
	if (p.pid == root_ && outputs_.empty())
		outputs_of(p.pid);
	// Handlers are reset; an ignored signal stays ignored.
	owner(p).restarts = 0;
	owner(p).chld_nocldwait = false;
	p.program = p.exec_path;
	p.own_seen = false;
	emit(Event::Exec{.path = p.exec_path, .argv = p.exec_argv,
	    .tried = tries_of(failed_execs_, p.pid)}, p);
	closed_at_exec(p);
}

// A failed exec, held with where and when it was made.
void
Tracer::hold_exec(Proc &p, int error)
{
	std::vector<Event::Exec::Try> tried = tries_of(failed_execs_, p.pid);
	failed_execs_.emplace(p.pid, made(Event::Exec{p.exec_path, p.exec_argv,
	    error, std::move(tried)}, p, true));
}

// Whether the exec p enters goes on the search of the one it holds: the
// same file, with the same argv, in another folder or the same again (a
// PATH may name a folder twice).
bool
Tracer::searching(const Proc &p) const
{
	auto held = failed_execs_.find(p.pid);
	if (held == failed_execs_.end())
		return false;
	const auto &x = std::get<Event::Exec>(held->second.what);
	return x.tried.size() + 1 < most_tried && x.argv == p.exec_argv &&
	    file_name(x.path) == file_name(p.exec_path);
}

// The failed exec pid holds, told now that its search is over: it went
// on with the program it had.
void
Tracer::told_exec(pid_t pid)
{
	auto held = failed_execs_.extract(pid);
	if (held.empty())
		return;
	release_handlers();
	held.mapped().us = now_us();
	sink_(held.mapped());
}

// A thread that was not the leader execs: the process goes on under the
// leader's number.
void
Tracer::rehold_exec(pid_t from, pid_t to)
{
	if (auto held = failed_execs_.extract(from); !held.empty()) {
		held.key() = to;
		failed_execs_.insert(std::move(held));
	}
}
