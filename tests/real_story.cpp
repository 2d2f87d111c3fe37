// A run's story as strace and trace tell it, in one form: see
// real_story.h.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string_view>

#include "real_story.h"

namespace {

using json = nlohmann::json;

std::string
escaped(std::string_view bytes)
{
	std::string s;
	for (char c : bytes) {
		auto b = static_cast<unsigned char>(c);
		if (b == '\\') {
			s += "\\\\";
		} else if (b >= 0x20 && b < 0x7f) {
			s += c;
		} else {
			char hex[5];
			(void)std::snprintf(hex, sizeof hex, "\\x%02x", b);
			s += hex;
		}
	}
	return s;
}

} // namespace

std::string
exec_told(const std::string &path, const std::vector<std::string> &argv)
{
	std::string s = "exec " + escaped(path);
	for (const auto &a : argv)
		s += " \"" + escaped(a) + "\"";
	return s;
}

std::string
failed_told(const std::string &path, const std::string &error)
{
	return "cannot exec " + escaped(path) + ": " + error;
}

namespace {

// The lines of bytes, each with its '\n' if it has one.
std::vector<std::string>
lines_of(const std::string &bytes)
{
	std::vector<std::string> lines;
	for (std::size_t at = 0; at < bytes.size();) {
		std::size_t nl = bytes.find('\n', at);
		std::size_t end = nl == std::string::npos ? bytes.size() : nl + 1;
		lines.push_back(bytes.substr(at, end - at));
		at = end;
	}
	return lines;
}

std::string
line_told(const std::string &line)
{
	bool whole = line.ends_with('\n');
	return escaped(std::string_view(line).substr(0, line.size() - whole)) +
	    (whole ? "" : " (no newline)");
}

// What a process wrote on descriptor fd, a line of the story each; many
// or long lines summed up, with a digest of them all.
std::string
output_told(int fd, const std::string &bytes, bool any_order,
    const std::string &indent)
{
	std::vector<std::string> lines = lines_of(bytes);
	if (any_order)
		std::sort(lines.begin(), lines.end());
	bool short_lines = std::all_of(lines.begin(), lines.end(),
	    [](const std::string &l) { return l.size() <= 160; });
	std::string fdn = "fd " + std::to_string(fd);
	if (lines.size() <= 20 && short_lines) {
		std::string s;
		for (const auto &l : lines)
			s += indent + fdn + "| " + line_told(l) + "\n";
		return s;
	}
	std::uint64_t digest = 14695981039346656037ULL;	// FNV-1a
	for (const auto &l : lines)
		for (char c : l)
			digest = (digest ^ static_cast<unsigned char>(c)) *
			    1099511628211ULL;
	char hex[17];
	(void)std::snprintf(hex, sizeof hex, "%016llx",
	    static_cast<unsigned long long>(digest));
	return indent + fdn + ": " + std::to_string(lines.size()) +
	    " lines, " + std::to_string(bytes.size()) + " bytes, digest " +
	    hex + "; first| " + line_told(lines.front().substr(0, 160)) +
	    "; last| " + line_told(lines.back().substr(0, 160)) + "\n";
}

class Teller {
public:
	Teller(const Story &s, const Leeway &l) : s_(s), leeway_(l)
	{
		for (const auto &[key, p] : s.procs)
			if (key != s.first && s.procs.contains(p.maker))
				made_[p.maker].push_back(key);
	}

	// The process and all it made, indented by depth.
	[[nodiscard]] std::string tell(const std::string &key,
	    int depth) const;
	[[nodiscard]] const std::vector<std::string> &made_by(
	    const std::string &key) const
	{
		static const std::vector<std::string> none;
		auto it = made_.find(key);
		return it == made_.end() ? none : it->second;
	}

private:
	[[nodiscard]] std::string reaper_told(const std::string &key) const;

	const Story &s_;
	Leeway leeway_;
	std::map<std::string, std::vector<std::string>> made_;
};

// Who reaped the process, counted up the line of its makers.
std::string
Teller::reaper_told(const std::string &key) const
{
	const std::string &reaper = s_.procs.at(key).reaper;
	if (reaper.empty())
		return "reaped outside the run";
	static const char *const names[] = {"its parent", "its grandparent"};
	std::string up = s_.procs.at(key).maker;
	for (std::size_t k = 0; s_.procs.contains(up) && k < s_.procs.size();
	    k++) {
		if (up == reaper)
			return "reaped by " + (k < 2 ? std::string(names[k]) :
			    "the ancestor " + std::to_string(k + 1) +
			    " levels up");
		up = s_.procs.at(up).maker;
	}
	return "reaped by a process of the run not above it";
}

// Words, a run of the same counted: "a child ended (3 times), ...".
std::string
runs_told(const std::vector<std::string> &words)
{
	std::string s;
	for (std::size_t i = 0, j; i < words.size(); i = j) {
		for (j = i; j < words.size() && words[j] == words[i]; j++)
			;
		s += (i ? ", " : "") + words[i] + (j - i > 1 ? " (" +
		    std::to_string(j - i) + " times)" : "");
	}
	return s;
}

// text with each line indented by two spaces, and the first line after
// head.
std::string
indented(const std::string &head, const std::string &text)
{
	std::string s = "  " + head;
	for (std::size_t at = 0; at < text.size();) {
		std::size_t nl = text.find('\n', at);
		s += (at ? "  " : "") + text.substr(at, nl + 1 - at);
		at = nl + 1;
	}
	return s;
}

// A tree is told by telling the trees below it.
std::string
Teller::tell(const std::string &key, int depth) const	// NOLINT(misc-no-recursion)
{
	const Story::Proc &p = s_.procs.at(key);
	std::string s = "- ";
	for (const auto &e : p.execs)
		s += e + "; ";
	s += (p.end.empty() ? "never ended" : p.end) + "; " +
	    reaper_told(key) + "\n";
	for (const auto &[fd, bytes] : p.out)
		s += output_told(fd, bytes, leeway_.thread_lines, "  ");
	if (!p.waits.empty())
		s += "  waits woken: " + runs_told(p.waits) + "\n";
	if (depth > 64)
		return s + "  (made by its own descendant)\n";
	std::vector<std::string> kids;
	for (const auto &kid : made_by(key))
		kids.push_back(tell(kid, depth + 1));
	std::sort(kids.begin(), kids.end());
	for (std::size_t i = 0, j; i < kids.size(); i = j) {
		for (j = i; j < kids.size() && kids[j] == kids[i]; j++)
			;
		s += indented(leeway_.grandchildren && depth >= 1 ? "(some alike) " :
		    j - i > 1 ? "(" + std::to_string(j - i) + " alike) " : "", kids[i]);
	}
	return s;
}

// A role of trace's as a key of the story; a process trace gave no role
// is one of its own.
std::string
role_key(const json &j, const char *field)
{
	std::string role = j.value(field, "");
	return role.empty() ? "(no role)" : role;
}

// A line's bytes: its text, or its hex where the bytes are not UTF-8.
std::string
line_bytes(const json &j)
{
	std::string hex = j.value("hex", "");
	if (hex.empty())
		return j.value("text", "");
	std::string bytes;
	for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
		bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr,
		    16));
	return bytes;
}

// What woke a wait, as trace's woken event says, but for a child's end:
// a signal, with EINTR. A child is one it collected (docs/guide.md):
// one that ended.
std::string
wait_woken(const json &j)
{
	std::string call = j.value("call", "");
	if ((call == "wait4" || call == "waitid") &&
	    j.value("error", -1) == EINTR)
		return "interrupted by a signal";
	std::string change = j.value("change", "");
	if (change == "stopped" || change == "continued")
		return "a child " + change;
	return "";
}

} // namespace

Story
trace_story(const std::vector<json> &report)
{
	Story s;
	s.first = "P";
	s.procs["P"];
	for (const auto &j : report) {
		std::string kind = j.value("kind", "");
		Story::Proc &p = s.procs[role_key(j, "role")];
		if (kind == "fork") {
			s.procs[role_key(j, "child_role")].maker =
			    role_key(j, "role");
		} else if (kind == "exec") {
			// A search of folders, told once, tried one by one.
			for (const auto &t : j.value("tried", json::array()))
				p.execs.push_back(failed_told(t["path"],
				    t["error_name"]));
			p.execs.push_back(j.value("error", -1) ?
			    failed_told(j["path"], j["error_name"]) :
			    exec_told(j["path"], j["argv"]));
		} else if (kind == "line") {
			p.out[j.value("fd", -1)] += line_bytes(j);
		} else if (kind == "woken") {
			if (std::string woke = wait_woken(j); !woke.empty())
				p.waits.push_back(woke);
		} else if (kind == "process" && j.value("ended", false)) {
			p.end = describe(j.contains("exit") ?
			    End::exited(j.value("exit", -1)) :
			    End::killed(j.value("signo", -1)));
			std::string by = j.value("reaped_by", json()).is_string() ?
			    j["reaped_by"].get<std::string>() : "";
			p.reaper = by == "trace" || by == "kernel" ? "" : by;
		}
	}
	return s;
}

std::string
told(const Story &s, const Leeway &leeway)
{
	Teller t(s, leeway);
	std::string out = t.tell(s.first, 0);
	// Processes whose maker the teller never named. A grandchild half
	// made when its maker is killed is told by nobody as made: how many
	// there are is the scheduler's, as with the grandchildren.
	for (const auto &[key, p] : s.procs)
		if (key != s.first && !s.procs.contains(p.maker) &&
		    !leeway.grandchildren)
			out += "made by no known process:\n" +
			    indented("", t.tell(key, 1));
	return out;
}

std::vector<std::string>
sorted_lines(const std::string &out)
{
	std::vector<std::string> lines = lines_of(out);
	std::sort(lines.begin(), lines.end());
	return lines;
}

std::string
roles_with_many_numbers(const std::vector<json> &report)
{
	std::map<std::string, std::set<long>> numbers;
	for (const auto &j : report)
		numbers[j.value("role", "")].insert(j.value("pid", 0L));
	// Events with no role are told as a process of their own.
	numbers.erase("");
	std::string s;
	for (const auto &[role, pids] : numbers)
		if (pids.size() > 1)
			s += " " + role + " (" + std::to_string(pids.size()) +
			    " numbers)";
	return s;
}

std::string
trace_output(const std::vector<json> &report, int fd)
{
	std::string out;
	for (const auto &j : report)
		if (j.value("kind", "") == "line" && j.value("fd", -1) == fd)
			out += line_bytes(j);
	return out;
}
