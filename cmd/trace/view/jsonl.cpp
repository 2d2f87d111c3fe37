// trace's JSON lines, for programs: one object per event, then one per
// process and one for the run's end. docs/guide.md describes every field
// and docs/trace.schema.json checks them: every field has one type in
// every kind, and a role is always a role id.
#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "explain.h"
#include "shown.h"
#include "view.h"

namespace {

using json = nlohmann::ordered_json;

// The version of the fields, as docs/trace.schema.json describes them:
// a new one each time a field changes its name, type or meaning.
constexpr int schema_version = 2;

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
		s += {digits[b >> 4], digits[b & 15]};
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

void
bytes_fields(json &j, std::uint64_t size, const std::string &text)
{
	j["size"] = size;
	j["text"] = text;
	if (!valid_utf8(text))
		j["hex"] = hex_bytes(text);
}

// A role id; null for a process not of the run.
json
role_field(const std::string &role)
{
	std::string id = role_id(role);
	return id.empty() ? json() : json(id);
}

void
peer_fields(json &j, const char *name, const Event::Peer &p)
{
	j[name] = p.pid;
	j[std::string(name) + "_role"] = role_field(p.role);
}

// The fields of each kind of event, in the order they are written.
struct Fields {
	json &j;

	void operator()(const Event::Line &e) const;
	void operator()(const Event::Fork &e) const;
	void operator()(const Event::Exec &e) const;
	void operator()(const Event::Signal &e) const;
	void operator()(const Event::Kill &e) const;
	void operator()(const Event::Alarm &e) const
	{
		j["seconds"] = e.seconds;
	}
	void operator()(const Event::Handler &e) const;
	void operator()(const Event::Mask &e) const;
	void operator()(const Event::Blocked &e) const;
	void operator()(const Event::Woken &e) const;
	void operator()(const Event::Ended &e) const;
	void operator()(const Event::Reaped &e) const;
	void operator()(const Event::Reparented &e) const
	{
		peer_fields(j, "parent", e.new_parent);
	}
	void operator()(const Event::Stuck &e) const;
	void operator()(const Event::Zombie &e) const
	{
		peer_fields(j, "parent", e.parent);
	}
	void operator()(const Event::Sent &e) const;
	void operator()(const Event::Received &e) const;
	void operator()(const Event::Wrote &e) const;
	void operator()(const Event::Pending &e) const;
	void operator()(const Event::Returned &e) const;
};

void
Fields::operator()(const Event::Line &e) const
{
	j["fd"] = e.fd;
	j["text"] = e.text;
	if (!valid_utf8(e.text))
		j["hex"] = hex_bytes(e.text);
	if (e.size)
		j["size"] = e.size;
}

void
Fields::operator()(const Event::Fork &e) const
{
	peer_fields(j, "child", e.child);
}

void
Fields::operator()(const Event::Exec &e) const
{
	j["path"] = e.path;
	j["argv"] = e.argv;
	error_fields(j, e.error);
	for (const auto &t : e.tried)
		error_fields(j["tried"].emplace_back(json{{"path", t.path}}),
		    t.error);
}

void
Fields::operator()(const Event::Signal &e) const
{
	signal_fields(j, e.sig);
	j["origin"] = origin_name(e.origin);
	if (e.origin == Event::Origin::kill)
		peer_fields(j, "from", e.sender);
	if (e.origin == Event::Origin::fault)
		j["addr"] = address(e.addr);
	if (e.action == Event::Action::discarded) {
		j["discarded"] = true;
		peer_fields(j, "child", e.child);
	} else if (e.action == Event::Action::orphaned) {
		j["discarded"] = true;
		j["orphaned_group"] = true;
	}
}

void
Fields::operator()(const Event::Kill &e) const
{
	j["to"] = e.target.pid;
	if (e.target.pid > 0)
		j["to_role"] = role_field(e.target.role);
	signal_fields(j, e.sig);
}

void
Fields::operator()(const Event::Handler &e) const
{
	signal_fields(j, e.sig);
	j["action"] = action_name(e.action);
}

void
Fields::operator()(const Event::Mask &e) const
{
	j["how"] = how_name(e.how);
	j["signals"] = e.signals;
}

void
Fields::operator()(const Event::Blocked &e) const
{
	j["call"] = e.call;
	if (e.call == "sigsuspend")
		j["signals"] = e.signals;
	if (e.child.pid)
		peer_fields(j, "child", e.child);
	else if (e.group >= 0)
		j["group"] = e.group;
	if (!e.awaited.empty())
		j["for"] = e.awaited;
}

void
Fields::operator()(const Event::Stuck &e) const
{
	json all = json::array();
	for (const auto &w : e.waiting)
		all.push_back({{"pid", w.who.pid},
		    {"role", role_field(w.who.role)}, {"in", w.in}});
	j["waiting"] = all;
}

void
Fields::operator()(const Event::Woken &e) const
{
	j["call"] = e.call;
	if (e.sig)
		signal_fields(j, e.sig);
	if (e.child.pid) {
		peer_fields(j, "child", e.child);
		j["change"] = change_name(e.change);
	}
	error_fields(j, e.error);
}

void
Fields::operator()(const Event::Ended &e) const
{
	end_fields(j, e.end);
	if (e.by_trace)
		j["by_trace"] = true;
}

void
Fields::operator()(const Event::Reaped &e) const
{
	peer_fields(j, "by", e.reaper);
	j["zombie_us"] = e.zombie_us;
	if (e.status != Event::Reaped::Status::unknown)
		j["status"] = status_name(e.status);
}

void
Fields::operator()(const Event::Sent &e) const
{
	j["fd"] = e.fd;
	j["through"] = e.through;
	bytes_fields(j, e.size, e.text);
}

void
Fields::operator()(const Event::Received &e) const
{
	j["fd"] = e.fd;
	j["through"] = e.through;
	bytes_fields(j, e.size, e.text);
	if (e.sender.pid)
		peer_fields(j, "from", e.sender);
}

void
Fields::operator()(const Event::Wrote &e) const
{
	j["fd"] = e.fd;
	j["file"] = e.file;
	bytes_fields(j, e.size, e.text);
}

void
Fields::operator()(const Event::Pending &e) const
{
	signal_fields(j, e.sig);
	j["arrives"] = arrival_name(e.arrives);
	if (e.sender.pid)
		peer_fields(j, "from", e.sender);
}

void
Fields::operator()(const Event::Returned &e) const
{
	signal_fields(j, e.sig);
	j["cut"] = e.cut;
	if (!e.cut.empty())
		j["restarts"] = e.error == 0;
	if (e.error)
		error_fields(j, e.error);
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
	if (s_.lines_only && !e.is<Event::Line>())
		return;
	json j = head(e.us, e.pid, e.role, kind_name(e));
	std::visit(Fields{j}, e.what);
	if (e.handler)
		j["in_handler"] = signal_name(e.handler);
	if (s_.explain) {
		if (const auto *sig = e.as<Event::Signal>())
			j["action"] = action_name(sig->action);
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
		j["reaped_by"] = role_field(p.reaper_role);
		if (!p.reaper_role.empty())
			j["reaped_us"] = p.reaped_us;
		put(j);
	}
	json j = head(end.us, end.pid, "P", "finish");
	j["exit"] = end.status;
	j["ended_by_trace"] = why_.empty() ? json() : json(why_);
	j["schema"] = schema_version;
	put(j);
}

} // namespace

std::unique_ptr<View>
jsonl_view(Out &out, const Settings &s)
{
	return std::make_unique<Jsonl>(out, s);
}
