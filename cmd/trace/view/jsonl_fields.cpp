// The fields of each kind of event in trace's JSON lines, and the
// helpers they are written with: see jsonl_fields.h.
#include <cstring>

#include "jsonl_fields.h"
#include "shown.h"

namespace {

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

} // namespace

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
	if (!e.also.empty()) {
		json all = json::array({signal_name(e.sig)});
		for (int s : e.also)
			all.push_back(signal_name(s));
		j["signals"] = all;
	}
}

void
Fields::operator()(const Event::Mask &e) const
{
	j["how"] = how_name(e.how);
	j["signals"] = e.signals;
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
