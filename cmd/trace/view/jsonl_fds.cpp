// The JSON fields of what goes through descriptors and what a process
// waits on: blocked calls, messages through pipes and socket pairs, the
// pipes themselves and their ends, and where each process stood as the
// run was ended. See jsonl_fields.h.
#include "jsonl_fields.h"
#include "shown.h"

json
target_field(const Event::Target &t)
{
	using K = Event::Target::Kind;
	json j = {{"kind", target_kind_name(t.kind)}};

	if (t.kind == K::pipe || t.kind == K::socket) {
		j["channel"] = t.id;
		if (t.kind == K::pipe)
			j["end"] = t.writes ? "write" : "read";
		j["made"] = t.made;
	} else if (t.kind != K::none) {
		j["name"] = t.name;
	}
	return j;
}

json
fds_field(const std::vector<Event::Fd> &fds)
{
	json all = json::array();

	for (const auto &f : fds) {
		json j = {{"fd", f.fd}};
		if (f.who.pid) {
			j["pid"] = f.who.pid;
			j["role"] = role_field(f.who.role);
		}
		if (f.target.kind != Event::Target::Kind::none)
			j["target"] = target_field(f.target);
		all.push_back(j);
	}
	return all;
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
	if (e.call == "sigtimedwait")
		j["signals"] = e.signals;
	if (!e.fds.empty())
		j["fds"] = fds_field(e.fds);
	if (e.seconds >= 0)
		j["seconds"] = e.seconds;
	if (e.until)
		j["until"] = true;
}

namespace {

// A message's fields, sent or received.
template <class M>
void
message_fields(json &j, const M &e)
{
	j["fd"] = e.fd;
	j["through"] = e.through;
	if (e.id)
		j["channel"] = e.id;
	bytes_fields(j, e.size, e.text);
}

} // namespace

void
Fields::operator()(const Event::Sent &e) const
{
	message_fields(j, e);
}

void
Fields::operator()(const Event::Received &e) const
{
	message_fields(j, e);
	if (e.sender.pid)
		peer_fields(j, "from", e.sender);
}

void
Fields::operator()(const Event::Pipe &e) const
{
	j["through"] = target_kind_name(e.kind);
	j["channel"] = e.id;
	j["fds"] = {e.fds[0], e.fds[1]};
}

void
Fields::operator()(const Event::Dup &e) const
{
	j["call"] = e.call;
	j["from"] = e.from;
	j["to"] = e.to;
	j["target"] = target_field(e.target);
}

void
Fields::operator()(const Event::Close &e) const
{
	j["call"] = e.call;
	j["fd"] = e.fd;
	j["target"] = target_field(e.target);
	j["left"] = fds_field(e.left);
}

void
Fields::operator()(const Event::Eof &e) const
{
	j["fd"] = e.fd;
	j["target"] = target_field(e.target);
}

void
Fields::operator()(const Event::Snapshot &e) const
{
	j["stood"] = state_name(e.state);
	if (!e.in.call.empty()) {
		json in;
		Fields{in}(e.in);
		j["in"] = in;
	}
	if (!e.others.empty())
		j["others"] = fds_field(e.others);
	j["never"] = e.never;
}
