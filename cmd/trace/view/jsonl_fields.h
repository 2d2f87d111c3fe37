// The fields of trace's JSON lines, kind by kind (jsonl_fields.cpp;
// descriptors, pipes and where each process stood in jsonl_fds.cpp), and
// the helpers both write them with; jsonl.cpp puts each line together.
#ifndef JSONL_FIELDS_H
#define JSONL_FIELDS_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "event.h"

using json = nlohmann::ordered_json;

void signal_fields(json &j, int sig);
void end_fields(json &j, const End &end);
void error_fields(json &j, int error);
void bytes_fields(json &j, std::uint64_t size, const std::string &text);
// A role id; null for a process not of the run.
json role_field(const std::string &role);
void peer_fields(json &j, const char *name, const Event::Peer &p);
json source_fields(const Site &s);
// Where a descriptor leads; descriptors, each with its holder.
json target_field(const Event::Target &t);
json fds_field(const std::vector<Event::Fd> &fds);

// The fields of each kind of event, in the order they are written.
struct Fields {
	json &j;

	void operator()(const Event::Line &e) const;
	void operator()(const Event::Fork &e) const;
	void operator()(const Event::Thread &e) const
	{
		j["new_tid"] = e.tid;
		j["new_thread"] = e.thread;
	}
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
	void operator()(const Event::Pipe &e) const;
	void operator()(const Event::Dup &e) const;
	void operator()(const Event::Close &e) const;
	void operator()(const Event::Eof &e) const;
	void operator()(const Event::Snapshot &e) const;
};

#endif
