// trace's JSON lines, for programs: one object per event, then one per
// process and one for the run's end. docs/guide.md describes every field;
// a field once there keeps its name and meaning.
#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "explain.h"
#include "trace.h"

namespace {

using json = nlohmann::ordered_json;

void
signal_fields(json &j, int sig)
{
	j["signal"] = signal_name(sig);
	j["signo"] = sig;
}

void
end_fields(json &j, const End &end)
{
	if (end.how == End::How::exited)
		j["exit"] = end.value;
	else
		signal_fields(j, end.value);
}

std::string
hex_bytes(std::string_view bytes)
{
	static const char digits[] = "0123456789abcdef";
	std::string s;

	for (char c : bytes) {
		auto b = static_cast<unsigned char>(c);
		s += digits[b >> 4];
		s += digits[b & 15];
	}
	return s;
}

void
error_fields(json &j, int error)
{
	j["error"] = error;
	if (error) {
		const char *name = strerrorname_np(error);
		j["error_name"] = name ? name : "";
	}
}

// The fields of a process's life: made, given a program, ended, left a
// zombie, reaped, handed to a new parent.
void
life_fields(json &j, const Event &e)
{
	if (e.kind == Event::Kind::fork) {
		j["child"] = e.other;
		j["child_role"] = e.other_role;
	} else if (e.kind == Event::Kind::exec) {
		j["path"] = e.path;
		j["argv"] = e.argv;
		error_fields(j, e.error);
	} else if (e.kind == Event::Kind::ended) {
		end_fields(j, e.end);
		if (e.by_trace)
			j["by_trace"] = true;
	} else if (e.kind == Event::Kind::reaped) {
		j["by"] = e.other;
		j["by_role"] = who(e.other, e.other_role);
		j["zombie_us"] = e.zombie_us;
		if (!e.status.empty())
			j["status"] = e.status;
	} else if (e.kind == Event::Kind::reparented ||
	    e.kind == Event::Kind::zombie) {
		j["parent"] = e.other;
		j["parent_role"] = who(e.other, e.other_role);
	}
}

// The fields of a signal that arrives or is sent, and of what a process
// does with signals.
void
signal_event_fields(json &j, const Event &e)
{
	if (e.kind == Event::Kind::signal) {
		signal_fields(j, e.sig);
		j["origin"] = origin_name(e.origin);
		if (e.origin == Event::Origin::kill) {
			j["from"] = e.other;
			j["from_role"] = who(e.other, e.other_role);
		}
		if (e.origin == Event::Origin::fault)
			j["addr"] = address(e.addr);
		if (e.text == "discarded") {
			j["discarded"] = true;
			j["child"] = e.other;
			j["child_role"] = who(e.other, e.other_role);
		}
	} else if (e.kind == Event::Kind::kill) {
		j["to"] = e.other;
		if (e.other > 0)
			j["to_role"] = who(e.other, e.other_role);
		signal_fields(j, e.sig);
	} else if (e.kind == Event::Kind::handler) {
		signal_fields(j, e.sig);
		j["action"] = e.text;
	} else if (e.kind == Event::Kind::mask) {
		j["how"] = e.text;
		j["signals"] = e.signals;
	} else if (e.kind == Event::Kind::pending) {
		signal_fields(j, e.sig);
		j["arrives"] = e.text;
		if (e.other) {
			j["from"] = e.other;
			j["from_role"] = who(e.other, e.other_role);
		}
	}
}

// The fields of waiting: an alarm armed, a call that blocks and what
// wakes it, and a run nothing can wake.
void
wait_fields(json &j, const Event &e)
{
	if (e.kind == Event::Kind::alarm) {
		j["seconds"] = e.seconds;
	} else if (e.kind == Event::Kind::blocked) {
		j["call"] = e.call;
		if (e.call == "sigsuspend")
			j["signals"] = e.signals;
		else if (e.call != "pause")
			j["child"] = e.text.empty() ? "any child" : e.text;
		if (!e.change.empty())
			j["for"] = e.change;
	} else if (e.kind == Event::Kind::woken) {
		j["call"] = e.call;
		if (e.sig)
			signal_fields(j, e.sig);
		if (e.other) {
			j["child"] = e.other;
			j["child_role"] = who(e.other, e.other_role);
			j["change"] = e.change;
		}
		error_fields(j, e.error);
	} else if (e.kind == Event::Kind::returned) {
		signal_fields(j, e.sig);
		j["cut"] = e.call;
		if (!e.call.empty())
			j["restarts"] = e.error == 0;
		if (e.error)
			error_fields(j, e.error);
	} else if (e.kind == Event::Kind::stuck) {
		j["waiting"] = e.text;
	}
}

void
kind_fields(json &j, const Event &e)
{
	if (e.kind == Event::Kind::line) {
		j["fd"] = e.fd;
		j["text"] = e.text;
		if (!valid_utf8(e.text))
			j["hex"] = hex_bytes(e.text);
		if (e.size)
			j["size"] = e.size;
	} else if (e.kind == Event::Kind::sent ||
	    e.kind == Event::Kind::received || e.kind == Event::Kind::wrote) {
		j["fd"] = e.fd;
		j[e.kind == Event::Kind::wrote ? "file" : "through"] = e.path;
		j["size"] = e.size;
		j["text"] = e.text;
		if (!valid_utf8(e.text))
			j["hex"] = hex_bytes(e.text);
		if (e.kind == Event::Kind::received && e.other) {
			j["from"] = e.other;
			j["from_role"] = who(e.other, e.other_role);
		}
	}
	life_fields(j, e);
	signal_event_fields(j, e);
	wait_fields(j, e);
	if (e.handler)
		j["in_handler"] = signal_name(e.handler);
}

json
source_fields(const Site &s)
{
	return {{"file", s.file}, {"line", s.line}, {"function", s.function}};
}

class Jsonl : public View {
public:
	Jsonl(Out &out, Settings s) : out_(out), s_(std::move(s)) {}

	void event(const Event &e) override;
	void cut(const std::string &why, long long us) override;
	void summary(const std::vector<Traced> &procs,
	    const Ending &end) override;

private:
	[[nodiscard]] json head(long long us, pid_t pid,
	    const std::string &role, const char *kind) const;
	void put(const json &j);

	Out &out_;
	Settings s_;
	std::string why_;
	Explainer explainer_;
};

json
Jsonl::head(long long us, pid_t pid, const std::string &role,
    const char *kind) const
{
	return {{"t_us", us}, {"virtual", s_.time_lapse}, {"pid", pid},
	    {"role", role}, {"kind", kind}};
}

void
Jsonl::put(const json &j)
{
	// A line's bytes that are not UTF-8 become U+FFFD in "text"; "hex"
	// keeps them.
	out_.add(j.dump(-1, ' ', false, json::error_handler_t::replace));
	out_.add("\n");
}

void
Jsonl::event(const Event &e)
{
	if (s_.lines_only && e.kind != Event::Kind::line)
		return;
	json j = head(e.us, e.pid, e.role, kind_name(e.kind));
	kind_fields(j, e);
	if (s_.explain) {
		if (e.kind == Event::Kind::signal)
			j["action"] = e.text;
		Explained x = explainer_.explain(e);
		if (x.state)
			j["state"] = std::string(1, x.state);
		if (!x.notes.empty())
			j["notes"] = x.notes;
	}
	if (s_.source != Settings::Sources::none &&
	    (!e.source.file.empty() || !e.source.function.empty())) {
		j["source"] = source_fields(e.source);
		if (e.source.in_handler)
			j["source"]["interrupted"] =
			    source_fields(e.source.interrupted);
	}
	put(j);
}

void
Jsonl::cut(const std::string &why, long long)
{
	why_ = why;
}

void
Jsonl::summary(const std::vector<Traced> &procs, const Ending &end)
{
	if (s_.lines_only)
		return;
	for (const auto &p : procs) {
		json j = head(end.us, p.pid, p.role, "process");
		j["program"] = p.program;
		j["ended"] = p.ended;
		if (p.ended) {
			end_fields(j, p.end);
			if (p.by_trace)
				j["by_trace"] = true;
			j["ended_us"] = p.ended_us;
		}
		j["reaped_by"] = p.reaper_role.empty() ? json() :
		    json(who(0, p.reaper_role));
		if (!p.reaper_role.empty())
			j["reaped_us"] = p.reaped_us;
		put(j);
	}
	json j = head(end.us, end.pid, "P", "finish");
	j["status"] = end.status;
	j["ended_by_trace"] = why_.empty() ? json() : json(why_);
	put(j);
}

} // namespace

std::unique_ptr<View>
jsonl_view(Out &out, const Settings &s)
{
	return std::make_unique<Jsonl>(out, s);
}
