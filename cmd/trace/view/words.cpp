// What the views say of a blocked process and of a set of signals, in
// words a student reads: never a list of thirty signal names.
#include <algorithm>
#include <csignal>
#include <cstring>

#include "shown.h"

namespace {

constexpr std::size_t most_named = 4;

// "A", "A and B", "A, B and C".
std::string
listed(const std::vector<std::string> &names, const std::string &conjunction)
{
	std::string s;
	for (std::size_t i = 0; i < names.size(); i++) {
		if (i > 0)
			s += i + 1 == names.size() ? " " + conjunction + " " :
			    ", ";
		s += names[i];
	}
	return s;
}

// The signals a process can block or catch, SIGKILL and SIGSTOP aside,
// but the real-time ones.
std::vector<std::string>
standard_signals()
{
	std::vector<std::string> all;
	for (int sig = 1; sig < 32; sig++)
		if (sigabbrev_np(sig) && sig != SIGKILL && sig != SIGSTOP)
			all.push_back(signal_name(sig));
	return all;
}

} // namespace

std::string
signal_set(const std::vector<std::string> &names,
    const std::string &conjunction, const std::string &none)
{
	static const std::vector<std::string> standard = standard_signals();
	if (names.empty())
		return none;
	if (names.size() <= most_named)
		return listed(names, conjunction);
	std::vector<std::string> left;
	for (const auto &s : standard)
		if (std::find(names.begin(), names.end(), s) == names.end())
			left.push_back(s);
	if (left.empty())
		return "every signal";
	if (left.size() <= most_named)
		return "every signal but " + listed(left, "and");
	std::vector<std::string> first(names.begin(), names.begin() +
	    static_cast<std::ptrdiff_t>(most_named - 1));
	first.push_back(std::to_string(names.size() - first.size()) +
	    " others");
	return listed(first, conjunction);
}

std::string
waited_words(const Event::Blocked &e)
{
	if (e.child.pid)
		return who(e.child.pid, e.child.role);
	if (e.group == 0)
		return "any child in its group";
	if (e.group > 0)
		return "any child in group " + std::to_string(e.group);
	return "any child";
}

std::string
waiting_words(const Event::Blocked &e)
{
	std::string s = "blocked in " + e.call + " for ";

	if (e.call == "sigsuspend")
		return s + signal_set(e.signals, "or", "no signal at all");
	if (e.call == "pause")
		return s + "any signal it catches";
	if (e.call != "wait4" && e.call != "waitid")
		return sleep_words(e);
	return s + waited_words(e) + " to " + awaited_words(e);
}

std::string
awaited_words(const Event::Blocked &e)
{
	return e.awaited.empty() ? "end" : listed(e.awaited, "or");
}
