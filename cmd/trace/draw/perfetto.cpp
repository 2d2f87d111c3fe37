// trace --perfetto: the run in the trace-event JSON format that
// ui.perfetto.dev and chrome://tracing open. A track per process, and
// one for trace, that collects orphans; on each, slices for its running
// (one per program), its blocking calls and its zombie time, instants
// for its lines, writes to files, signals, kills and end, and slices of
// no length for the messages it sends and receives (a viewer shows them
// as instants; only slices carry flows); flows from each fork to the
// child, from each zombie to its reaper and from each message sent to
// the read that took its first byte. Written an event at a time:
// interleave's run has 200004 lines.
#include <algorithm>
#include <cstring>
#include <ostream>

#include <nlohmann/json.hpp>

#include "timeline.h"

namespace {

using json = nlohmann::ordered_json;

constexpr std::size_t name_chars = 40;

class Writer {
public:
	explicit Writer(std::ostream &out) : out_(out) {}

	void put(const json &j)
	{
		out_ << (first_ ? "\n" : ",\n") <<
		    j.dump(-1, ' ', false, json::error_handler_t::replace);
		first_ = false;
	}

private:
	std::ostream &out_;
	bool first_ = true;
};

// Instants are on their thread's track unless told otherwise.
json
event(char ph, pid_t pid, long long us, const std::string &name,
    json args = nullptr)
{
	json j = {{"ph", std::string(1, ph)}, {"pid", pid}, {"tid", pid},
	    {"ts", us}, {"name", name}};
	if (!args.is_null())
		j["args"] = std::move(args);
	return j;
}

json
slice(pid_t pid, long long from, long long to, const std::string &name,
    json args = nullptr)
{
	json j = event('X', pid, from, name, std::move(args));
	j["dur"] = std::max(0LL, to - from);
	return j;
}

// A flow is bound to the slice that carries its bind_id; the arrow
// runs from the end of the one it leaves to the start of the one it
// enters. Each process has two: its fork's and its reap's. The two
// ends are written one after the other, the start first: a viewer that
// keeps the file's order among equal times binds both.
json
flowing(json j, const Timeline &t, const Lane &l, bool reap, bool out)
{
	j["bind_id"] = 2 * static_cast<int>(t.index(l.pid)) + (reap ? 2 : 1);
	j[out ? "flow_out" : "flow_in"] = true;
	return j;
}

void
name_track(Writer &w, pid_t pid, const std::string &name, int order)
{
	for (const char *what : {"process_name", "thread_name"})
		w.put(event('M', pid, 0, what, {{"name", name}}));
	w.put(event('M', pid, 0, "process_sort_index",
	    {{"sort_index", order}}));
}

// Its running, one slice per program; a fork's flow enters the first.
void
running(Writer &w, const Timeline &t, const Lane &l, long long end)
{
	long long from = l.start_us;
	// The run's first process is trace's until its program starts.
	std::string name = l.parent == 0 ? role_of(t, t.subreaper) :
	    base_name(l.program);
	bool first = true;

	auto put = [&](long long to) {
		json j = slice(l.pid, from, to, name);
		if (first && l.parent != 0) {
			w.put(flowing(slice(l.parent, from, from, "fork " + l.role,
			    {{"child", l.pid}}), t, l, false, true));
			j = flowing(j, t, l, false, false);
		}
		w.put(j);
		first = false;
	};
	for (const auto &x : l.execs) {
		if (x.error != 0 || x.us <= from || x.us >= end)
			continue;
		put(x.us);
		from = x.us;
		name = base_name(x.program);
	}
	put(end);
}

// Its end, and its time as a zombie, whose flow enters its reaper.
void
ending(Writer &w, const Timeline &t, const Lane &l)
{
	json end = {{"end", ended_words(l.end, l.by_trace)}};
	if (l.by_trace) {
		end["by_trace"] = true;
		end["why"] = l.end_why;
	}
	w.put(event('i', l.pid, l.end_us, l.end.how == End::How::exited ?
	    "exit " + std::to_string(l.end.value) : signal_name(l.end.value),
	    end));

	bool reaped = !l.reaper_role.empty();
	json z = slice(l.pid, l.end_us, reaped ? l.reaped_us : t.end_us,
	    "zombie", {{"reaped_by", reaped ? who(l.reaper, l.reaper_role) :
	    "nobody"}});
	if (!reaped) {
		w.put(z);
		return;
	}
	w.put(flowing(z, t, l, true, true));
	pid_t by = l.reaper_role == subreaper_role ? t.subreaper : l.reaper;
	w.put(flowing(slice(by, l.reaped_us, l.reaped_us, "reap " + l.role,
	    {{"child", l.pid}, {"zombie_us", l.reaped_us - l.end_us}}), t, l,
	    true, false));
}

json
bytes_args(int fd, std::uint64_t size, const std::string &text,
    const char *where, const std::string &what)
{
	return {{"size", size}, {"text", text}, {"fd", fd}, {where, what}};
}

json
receipt(const Timeline &t, const Lane &l, const Lane::Received &r)
{
	json a = bytes_args(r.fd, r.size, r.text, "through", r.through);
	if (r.from)
		a["from"] = role_of(t, r.from);
	return slice(l.pid, r.us, r.us, received_words(t, r), a);
}

// Its messages and its writes to files. A message's flow is written
// with both its ends, the send first; the read that ends it is left out
// of its reader's own.
void
bytes(Writer &w, const Timeline &t, const Lane &l, long long &flow)
{
	for (const auto &s : l.sent) {
		json a = bytes_args(s.fd, s.size, s.text, "through", s.through);
		const Lane *to = s.to ? t.find(s.to) : nullptr;
		if (!to || s.receipt >= to->received.size()) {
			w.put(slice(l.pid, s.us, s.us, sent_words(t, s), a));
			continue;
		}
		a["to"] = role_of(t, s.to);
		json out = slice(l.pid, s.us, s.us, sent_words(t, s), a);
		json in = receipt(t, *to, to->received[s.receipt]);
		out["bind_id"] = in["bind_id"] = flow++;
		out["flow_out"] = in["flow_in"] = true;
		w.put(out);
		w.put(in);
	}
	for (const auto &r : l.received)
		if (!r.begins)
			w.put(receipt(t, l, r));
	for (const auto &x : l.wrote)
		w.put(event('i', l.pid, x.us, shortened(wrote_words(x), 60),
		    bytes_args(x.fd, x.size, x.text, "file", x.path)));
}

void
happenings(Writer &w, const Timeline &t, const Lane &l)
{
	for (const auto &x : l.signals) {
		json a = {{"origin", origin_name(x.origin)}};
		if (x.origin == Event::Origin::kill)
			a["from"] = role_of(t, x.from);
		if (x.origin == Event::Origin::fault)
			a["addr"] = address(x.addr);
		w.put(event('i', l.pid, x.us, signal_name(x.sig), a));
	}
	for (const auto &x : l.kills)
		w.put(event('i', l.pid, x.us, "kill " + signal_name(x.sig),
		    {{"to", x.to > 0 ? role_of(t, x.to) :
		    std::to_string(x.to)}}));
	for (const auto &x : l.execs) {
		if (x.error == 0)
			continue;
		const char *why = strerrorname_np(x.error);
		w.put(event('i', l.pid, x.us, "cannot exec " + x.program,
		    {{"path", x.program}, {"error", why ? why : ""}}));
	}
	if (l.orphaned_us >= 0)
		w.put(event('i', l.pid, l.orphaned_us, "orphaned",
		    {{"new_parent", role_of(t, t.subreaper)}}));
}

void
lane(Writer &w, const Timeline &t, const Lane &l, int order, long long &flow)
{
	long long end = l.ended ? l.end_us : t.end_us;

	name_track(w, l.pid, tag(l.role, l.pid) + " " + base_name(l.program),
	    order);
	running(w, t, l, end);
	for (const auto &b : l.blocked)
		w.put(slice(l.pid, b.from_us, b.to_us < 0 ? end :
		    std::min(b.to_us, end), b.call, {{"words", b.words}}));
	for (const auto &x : l.lines) {
		json args = {{"fd", x.fd}, {"text", x.text}};
		if (!x.source.file.empty() || !x.source.function.empty())
			args["source"] = {{"file", x.source.file},
			    {"line", x.source.line},
			    {"function", x.source.function}};
		w.put(event('i', l.pid, x.us, shortened(escaped_line(x.text),
		    name_chars), args));
	}
	happenings(w, t, l);
	bytes(w, t, l, flow);
	if (l.ended)
		ending(w, t, l);
}

json
metadata(const Timeline &t)
{
	std::string command;
	for (const auto &a : t.argv)
		command += (command.empty() ? "" : " ") + a;
	return {{"command", command}, {"time_lapse", t.time_lapse},
	    {"times", t.time_lapse ? "virtual" : "real"},
	    {"stepped", t.stepping.empty() ? json() : json(t.stepping)},
	    {"exit_status", t.status},
	    {"ended_by_trace", t.cut.empty() ? json() : json(t.cut)}};
}

} // namespace

bool
write_perfetto(const Timeline &t, std::ostream &out)
{
	Writer w(out);

	out << "{\"traceEvents\":[";
	int order = 0;
	// After the ids of the forks' and reaps' flows.
	auto flow = 2 * static_cast<long long>(t.lanes.size()) + 1;
	std::string trace = role_of(t, t.subreaper);
	name_track(w, t.subreaper, trace + " (subreaper)", order++);
	w.put(slice(t.subreaper, 0, t.end_us, trace));
	for (const auto &l : t.lanes)
		lane(w, t, l, order++, flow);
	out << "\n],\n\"displayTimeUnit\":\"ms\",\n\"metadata\":" <<
	    metadata(t).dump(-1, ' ', false, json::error_handler_t::replace) <<
	    "}\n";
	return static_cast<bool>(out);
}
