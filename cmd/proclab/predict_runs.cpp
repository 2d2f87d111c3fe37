// proclab predict: the real runs behind an answer, made by orders (the
// one runner of the suite) and read from its JSON, each order that came
// lettered as the student's are. See predict.h.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include "predict.h"
#include "tool.h"

namespace fs = std::filesystem;

namespace {

// What orders printed on its output, or why there is nothing.
std::string
output_of(const fs::path &program, std::vector<std::string> args,
    std::string &error)
{
	int p[2];
	if (pipe(p) != 0) {
		error = std::string("cannot make a pipe: ") + std::strerror(errno);
		return "";
	}
	std::vector<char *> argv;
	argv.reserve(args.size() + 1);
	for (auto &a : args)
		argv.push_back(a.data());
	argv.push_back(nullptr);
	pid_t pid = fork();
	if (pid == 0) {
		(void)dup2(p[1], 1);
		(void)close(p[0]);
		(void)close(p[1]);
		execv(program.c_str(), argv.data());
		_exit(status_cannot_run);
	}
	(void)close(p[1]);
	std::string out;
	char buf[65536];
	for (ssize_t n; pid > 0 && ((n = read(p[0], buf, sizeof buf)) > 0 ||
	    (n < 0 && errno == EINTR));)
		if (n > 0)
			out.append(buf, static_cast<std::size_t>(n));
	(void)close(p[0]);
	int status = 0;
	while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR)
		;
	if (pid < 0 || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
		error = "orders did not make the runs";
	return out;
}

// The lines orders shows, its names of processes (P, C1, ...) made
// numbers again, so that the checker finds which line of the rules each
// is: orders names children as they first appear, the rules as they
// were made.
std::vector<std::size_t>
lettered(const Lettered &l, const nlohmann::json &lines)
{
	static const std::regex name(R"(\b(P|C([0-9]+))\b)");
	std::vector<std::string> run;

	for (const auto &line : lines) {
		std::string text = line.get<std::string>(), numbered;
		auto at = text.cbegin();
		for (std::sregex_iterator m(text.begin(), text.end(), name), end;
		    m != end; ++m) {
			numbered.append(at, (*m)[0].first);
			numbered += std::to_string(100000 + ((*m)[2].matched ?
			    std::stol((*m)[2].str()) : 0));
			at = (*m)[0].second;
		}
		numbered.append(at, text.cend());
		run.push_back(std::regex_replace(numbered, std::regex("<addr>"),
		    "0x1") + "\n");
	}
	Verdict v = check_order(l.rules, run);
	if (!v.ok || v.steps.size() != l.lines.size())
		return {};
	return indexes(l, v.steps);
}

std::string
percent(int n, int of)
{
	char s[16];
	(void)std::snprintf(s, sizeof s, "%.1f%%", of ? 100.0 * n / of : 0.0);
	return s;
}

} // namespace

Real
real_runs(const Lettered &l, const fs::path &tools, int runs)
{
	Real r;
	std::vector<std::string> args = {"orders", "--format=json", "-n",
	    std::to_string(runs)};
	if (l.demo->asleep)
		args.emplace_back("--time-lapse");
	args.push_back(l.demo->name);
	std::string out = output_of(tools / "orders", args, r.error);
	if (!r.error.empty())
		return r;
	try {
		nlohmann::json doc = nlohmann::json::parse(out);
		r.runs = doc.at("runs").get<int>();
		for (const auto &o : doc.at("orders")) {
			std::vector<std::size_t> order = lettered(l, o.at("lines"));
			int n = o.at("runs").get<int>();
			if (order.empty())
				r.other += n;
			else
				r.orders.push_back({order, n});
		}
	} catch (const nlohmann::json::exception &e) {
		r.error = std::string("orders' answer cannot be read: ") +
		    e.what();
	}
	return r;
}

std::string
real_words(const Lettered &l, const Real &r,
    const std::vector<std::size_t> &order, bool allowed)
{
	if (!r.error.empty())
		return "No real runs: " + r.error + ".\n";
	if (r.runs == 0)
		return "";
	int yours = 0;
	for (const auto &o : r.orders)
		if (o.order == order)
			yours = o.runs;
	std::string s = "In " + std::to_string(r.runs) + " real runs " +
	    (yours ? "it came " + std::to_string(yours) + " times (" +
	    percent(yours, r.runs) + ")." : "it never came.");
	if (allowed && !yours)
		s += l.demo->asleep ? " It is allowed by the rules; the alarms' "
		    "timing makes it practically never happen." : " It is "
		    "allowed: the scheduler did not choose it in these runs.";
	s = wrapped(s) + "The orders that came, most frequent first:\n";
	std::size_t shown = 0;
	for (const auto &o : r.orders) {
		if (++shown > 8) {
			s += "  ... " + std::to_string(r.orders.size() - 8) +
			    " orders more\n";
			break;
		}
		std::string runs = std::to_string(o.runs);
		s += "  " + letters(l, o.order) + "  " +
		    std::string(6 - std::min<std::size_t>(runs.size(), 5), ' ') +
		    runs + (o.runs == 1 ? " run   " : " runs  ") +
		    percent(o.runs, r.runs) +
		    (o.order == order ? "   <- yours" : "") + "\n";
	}
	if (r.other)
		s += "  and " + std::to_string(r.other) + " runs whose order "
		    "broke the rules\n";
	return s;
}

std::pair<int, int>
pair_counts(const Real &r, std::size_t a, std::size_t b)
{
	int first = 0, all = 0;
	for (const auto &o : r.orders) {
		auto ia = std::find(o.order.begin(), o.order.end(), a);
		auto ib = std::find(o.order.begin(), o.order.end(), b);
		all += o.runs;
		if (ia < ib)
			first += o.runs;
	}
	return {first, all};
}

std::string
real_pair_words(const Real &r, std::size_t a, std::size_t b)
{
	if (!r.error.empty())
		return "No real runs: " + r.error + ".\n";
	auto [first, all] = pair_counts(r, a, b);
	if (all == 0)
		return "";
	return "In " + std::to_string(all) + " real runs, 1 came first in " +
	    std::to_string(first) + " (" + percent(first, all) + "), 2 in " +
	    std::to_string(all - first) + ".\n";
}
