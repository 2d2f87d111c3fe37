// trace's JSON lines, for programs: one object per event, then one per
// process and one for the run's end. docs/guide.md describes every field
// and docs/trace.schema.json checks them: every field has one type in
// every kind, and a role is always a role id.
#include <utility>

#include "explain.h"
#include "jsonl_fields.h"
#include "shown.h"
#include "view.h"

namespace {

// The version of the fields, as docs/trace.schema.json describes them:
// a new one each time a field changes its name, type or meaning.
constexpr int schema_version = 2;

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
	if (e.tid) {
		j["tid"] = e.tid;
		if (!e.thread.empty())
			j["thread"] = e.thread;
	}
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
	    (!e.source.file.empty() || !e.source.function.empty() ||
	    e.source.after_main)) {
		j["source"] = source_fields(e.source);
		if (e.source.in_handler)
			j["source"]["interrupted"] =
			    source_fields(e.source.interrupted);
		if (e.source.after_main)
			j["source"]["after_main"] = true;
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
