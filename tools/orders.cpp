// orders: runs a demo many times and shows which orders of its lines
// occurred, how often, which of them its rules allow, which allowed ones
// never showed up, and how its processes ended. Each run is made by a
// helper process of ours that is a child subreaper: it reads the demo's
// output to its end, collects the demo and every process left behind,
// judges the run and hands back over a pipe only what is kept of it.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "demo_rules.h"

namespace fs = std::filesystem;

namespace {

// Runs made unless -n says otherwise; fewer of a demo whose every run
// writes 200000 lines.
constexpr int default_runs = 200, default_mixing_runs = 20;
// Orders shown one by one, and allowed orders worth going through.
constexpr std::size_t shown_orders = 10, listed_unseen = 24;
constexpr std::uint64_t enumerable = 20000;
constexpr int examples = 3;
// What a helper reads of the demo's output at most at once.
constexpr std::size_t piece = 65536;

struct Run {
	long pid = -1;
	End end = End::killed(0);
	std::vector<std::pair<long, End>> orphans;	// as collected
	std::string out, err;
	bool timed_out = false;
};

[[noreturn]] void
usage(const std::string &why)
{
	if (!why.empty())
		std::cerr << "orders: " << why << "\n";
	std::cerr << "usage: orders [-n RUNS] [-j JOBS] PROGRAM [ARGS...]\n";
	std::exit(2);
}

long long
now_ms()
{
	timespec ts{};

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

void
sever(int &fd)
{
	if (fd >= 0)
		close(fd);
	fd = -1;
}

// The group of the run a helper is making, for end_run.
volatile sig_atomic_t run_group = 0;

// A helper interrupted, or left by us, takes its run along: nothing of it
// may go on by itself (a timer demo's parent can wait for ever).
void
end_run(int sig)
{
	if (run_group > 0)
		kill(-run_group, SIGKILL);
	(void)signal(sig, SIG_DFL);
	(void)raise(sig);
}

// Whether pid has children and all of them have ended, uncollected.
bool
children_ended(pid_t pid)
{
	std::string p = std::to_string(pid);
	std::ifstream in("/proc/" + p + "/task/" + p + "/children");
	bool any = false;

	for (long child; in >> child; any = true) {
		std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
		std::string s((std::istreambuf_iterator<char>(stat)), {});
		std::size_t close = s.rfind(')');
		if (close == std::string::npos || close + 2 >= s.size() ||
		    s[close + 2] != 'Z')
			return false;
	}
	return any;
}

// Starts the demo in a group of its own, as from a fresh shell, with
// nothing on its input; reads descriptors 1 and 2 to their end and
// collects every process of the run. Called in a helper process.
Run
run_once(const std::vector<std::string> &argv, const std::string &cwd,
    const DemoRules &demo, int timeout_ms)
{
	Run r;
	std::vector<char *> args;
	args.reserve(argv.size() + 1);
	for (const auto &a : argv)
		args.push_back(const_cast<char *>(a.c_str()));
	args.push_back(nullptr);

	int out[2], err[2];
	int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
	if (null < 0 || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
		r.err = std::string("orders: ") + std::strerror(errno) + "\n";
		return r;
	}
	// Room for what a demo writes while we wait between reads.
	fcntl(out[0], F_SETPIPE_SZ, 1 << 20);
	pid_t pid = fork();
	if (pid == 0) {
		struct sigaction dfl {};
		sigset_t none;
		dfl.sa_handler = SIG_DFL;
		sigemptyset(&none);
		setpgid(0, 0);
		for (int sig = 1; sig < NSIG; sig++)
			sigaction(sig, &dfl, nullptr);
		sigprocmask(SIG_SETMASK, &none, nullptr);
		dup2(null, 0);
		dup2(out[1], 1);
		dup2(err[1], 2);
		if (!cwd.empty() && chdir(cwd.c_str()) != 0)
			_exit(126);
		execv(args[0], args.data());
		_exit(127);
	}
	close(out[1]);
	close(err[1]);
	close(null);
	if (pid < 0) {
		r.err = std::string("orders: fork: ") + std::strerror(errno) +
		    "\n";
		sever(out[0]);
		sever(err[0]);
		return r;
	}
	setpgid(pid, pid);
	run_group = pid;
	r.pid = pid;

	long long deadline = now_ms() + timeout_ms;
	bool nudged = false, main_done = false;
	// Past the time limit the group is killed; past a short grace after
	// that, whatever still holds on is abandoned.
	auto overdue = [&] {
		if (now_ms() < deadline)
			return false;
		if (r.timed_out)
			return true;
		r.timed_out = true;
		kill(-pid, SIGKILL);
		deadline = now_ms() + 2000;
		return false;
	};
	int fds[2] = {out[0], err[0]};
	std::string *dest[2] = {&r.out, &r.err};
	while (fds[0] >= 0 || fds[1] >= 0) {
		if (overdue())
			break;
		if (demo.nudge && !nudged && children_ended(pid)) {
			kill(pid, demo.nudge);
			nudged = true;
		}
		// A run that writes much is read in long pieces, not a line
		// at a time as it comes: past the first piece, the pipe gets
		// a moment to fill before each read.
		if (r.out.size() + r.err.size() >= piece)
			std::this_thread::sleep_for(std::chrono::milliseconds(2));
		pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
		if (poll(p, 2, demo.nudge && !nudged ? 50 : 200) <= 0)
			continue;
		char buf[piece];
		for (int i = 0; i < 2; i++) {
			if (!p[i].revents)
				continue;
			ssize_t n = read(fds[i], buf, sizeof buf);
			if (n > 0)
				dest[i]->append(buf, static_cast<std::size_t>(n));
			else if (n == 0 || errno != EINTR)
				sever(fds[i]);
		}
	}
	sever(fds[0]);
	sever(fds[1]);

	for (;;) {
		int status;
		pid_t p = waitpid(-1, &status, WNOHANG);
		if (p < 0 && errno == EINTR)
			continue;
		if (p < 0)
			break;
		if (p == 0) {
			if (overdue())
				break;
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
			continue;
		}
		if (p == pid) {
			r.end = End::from_wait_status(status);
			main_done = true;
		} else {
			r.orphans.emplace_back(p, End::from_wait_status(status));
		}
	}
	if (!main_done)
		r.pid = -1;
	return r;
}

std::vector<std::string_view>
split_lines(std::string_view s)
{
	std::vector<std::string_view> lines;

	lines.reserve(static_cast<std::size_t>(std::count(s.begin(), s.end(),
	    '\n')) + 1);
	for (std::size_t at = 0; at < s.size();) {
		std::size_t nl = s.find('\n', at);
		std::size_t end = nl == std::string::npos ? s.size() : nl + 1;
		lines.push_back(s.substr(at, end - at));
		at = end;
	}
	return lines;
}

std::string
shown(std::string line)
{
	if (line.ends_with('\n'))
		line.pop_back();
	else
		line += "   (no newline)";
	return line;
}

// Names a role's process as it is shown: P for the one started, C1,
// C2, ... for the others in the order their numbers first appear.
class Names {
public:
	const std::string &operator()(const std::string &role)
	{
		auto [it, fresh] = names_.try_emplace(role, role);
		if (fresh && role != "P")
			it->second = "C" + std::to_string(++children_);
		return it->second;
	}

private:
	std::map<std::string, std::string> names_;
	int children_ = 0;
};

// An order as it is shown: each line with its numbers by role and its
// addresses by a placeholder; a process's further lines as one line.
std::vector<std::string>
render(const Rules &rules, const std::vector<Step> &steps, Names &names)
{
	std::vector<std::string> out;
	const Step *last = nullptr;

	for (const Step &s : steps) {
		const Rules::Proc &p = rules.procs[s.proc];
		if (s.line >= p.lines.size()) {
			if (!last || last->proc != s.proc ||
			    last->line < p.lines.size())
				out.push_back("[" + p.rest + "]");
			last = &s;
			continue;
		}
		last = &s;
		const std::string &t = p.lines[s.line];
		std::string line;
		for (std::size_t k = 0; k < t.size();) {
			if (t[k] != '{') {
				line += t[k++];
				continue;
			}
			std::size_t close = t.find('}', k);
			std::string role = t.substr(k + 1, close - k - 1);
			k = close + 1;
			line += role == "addr" ? "<addr>" : names(role);
		}
		out.push_back(shown(line));
	}
	return out;
}

// The lines of a run the rules do not allow, shown the same way as far as
// they can be: the numbers of the processes known, and addresses.
std::vector<std::string>
render_raw(const std::vector<std::string_view> &lines,
    const std::map<long, std::string> &known, Names &names)
{
	std::vector<std::string> out;

	for (std::string_view line : lines) {
		std::string s;
		for (std::size_t k = 0; k < line.size();) {
			std::size_t end = k;
			while (end < line.size() && std::isdigit(
			    static_cast<unsigned char>(line[end])))
				end++;
			if (line.compare(k, 2, "0x") == 0) {
				end = k + 2;
				while (end < line.size() && std::isxdigit(
				    static_cast<unsigned char>(line[end])))
					end++;
				s += "<addr>";
			} else if (end > k && (k == 0 || !std::isalnum(
			    static_cast<unsigned char>(line[k - 1])))) {
				auto it = known.find(std::stol(std::string(
				    line.substr(k, std::min<std::size_t>(end - k,
				    12)))));
				if (it == known.end())
					s += line.substr(k, end - k);
				else
					s += names(it->second);
			} else {
				end = std::max(end, k + 1);
				s += line.substr(k, end - k);
			}
			k = end;
		}
		out.push_back(shown(s));
	}
	return out;
}

std::string
joined(const std::vector<std::string> &lines)
{
	std::string s;
	for (const auto &l : lines)
		s += l + "\n";
	return s;
}

struct Seen {
	int count = 0;
	bool allowed = false;
	std::size_t first = 0;	// the run that first showed it
	std::vector<std::string> lines;
};

// What one run shows, all that is kept of it.
struct Judged {
	std::vector<std::string> why;	// what broke, if anything
	std::string ending;	// how its processes ended
	bool allowed = false;	// its order is one the rules allow
	std::vector<std::string> shown;	// the order shown, mixing demos aside
	long switches = 0, trailer = 0;	// mixing demos only
};

struct Tally {
	const DemoRules &demo;
	Rules rules;
	int runs = 0, failed = 0;
	std::map<std::string, Seen> orders;
	std::map<std::string, int> endings;
	std::vector<std::string> problems;	// the first few, in full
	std::vector<long> switches, trailer;	// mixing demos only
};

// Looks at one run: the order, what came on descriptor 2, how every
// process it saw ended against the table. Done by the helper that made
// the run, which hands back only this.
Judged
judge(const DemoRules &demo, const Rules &rules, const Run &r)
{
	Judged j;
	std::vector<std::string_view> lines = split_lines(r.out);
	std::vector<std::string> &why = j.why;
	Verdict v;
	if (r.pid > 0)
		v = check_order(rules, lines, {{"P", r.pid}});
	if (r.pid <= 0)
		why.emplace_back("the demo could not be started or collected");
	if (r.timed_out)
		why.emplace_back("the run did not end in time and was killed");
	if (r.pid > 0 && !v.ok)
		why.push_back("an order the rules do not allow:\n" + v.why);
	if (!r.err.empty())
		why.push_back("it wrote on descriptor 2:\n" + r.err);

	Names names;
	std::map<long, std::string> roles;	// pid -> role
	for (const auto &[role, pid] : v.pids)
		roles[pid] = role;
	roles[r.pid] = "P";
	if (!v.ok) {
		for (const auto &o : r.orphans)
			roles.try_emplace(o.first, "?" + std::to_string(o.first));
	}

	j.allowed = v.ok;
	if (demo.mixes) {
		// The parent is the first process, the child the second; the
		// trailer is the parent's last line.
		const std::vector<Step> &steps = v.steps;
		const Step trailer{0, rules.procs[0].lines.size() - 1};
		for (std::size_t i = 1; i < steps.size(); i++)
			j.switches += steps[i].proc != steps[i - 1].proc;
		j.trailer = std::count_if(steps.begin(), std::find(steps.begin(),
		    steps.end(), trailer), [](const Step &s) {
			return s.proc == 1;
		});
	} else {
		j.shown = v.ok ? render(rules, v.steps, names) :
		    render_raw(lines, roles, names);
	}

	// Ends: the started process, then each one that came back to us.
	std::ostringstream ending;
	const auto &ends = demo.ends;
	if (r.pid > 0) {
		ending << "P " << describe(r.end);
		if (r.end != ends[0].second)
			why.push_back("P " + describe(r.end) + ", where the rules "
			    "say it " + describe(ends[0].second));
	}
	std::set<std::string> back;
	std::vector<std::pair<std::string, std::string>> shown_ends;
	for (const auto &[pid, end] : r.orphans) {
		auto role = roles.find(pid);
		std::string name = role == roles.end() ? "a process not named "
		    "by the rules" : names(role->second);
		shown_ends.emplace_back(name, describe(end));
		if (!v.ok)
			continue;
		auto e = std::find_if(ends.begin() + 1, ends.end(),
		    [&](const auto &re) {
			return role != roles.end() && re.first == role->second;
		    });
		if (e == ends.end())
			why.push_back(name + " (" + std::to_string(pid) + ") " +
			    describe(end) + " and came back to orders: its "
			    "parent should have collected it");
		else if (end != e->second)
			why.push_back(name + " " + describe(end) + ", where the "
			    "rules say it " + describe(e->second));
		back.insert(e == ends.end() ? "" : e->first);
	}
	if (v.ok) {
		for (auto e = ends.begin() + 1; e != ends.end(); e++)
			if (!back.contains(e->first))
				why.push_back(names(e->first) + " never came back "
				    "to orders, though its parent does not "
				    "collect it");
	} else if (r.orphans.size() != ends.size() - 1) {
		why.push_back(std::to_string(r.orphans.size()) + " processes "
		    "came back to orders, where the rules expect " +
		    std::to_string(ends.size() - 1));
	}
	std::sort(shown_ends.begin(), shown_ends.end());
	for (const auto &[name, end] : shown_ends)
		ending << "; " << name << " " << end << ", left for orders to "
		    "collect";
	if (r.orphans.empty() && r.pid > 0)
		ending << "; no process left behind";
	j.ending = ending.str();
	return j;
}

// Counts a judged run in.
void
tally(Tally &t, const Judged &j)
{
	auto index = static_cast<std::size_t>(t.runs++);

	t.endings[j.ending]++;
	if (!t.demo.mixes) {
		Seen &s = t.orders[joined(j.shown)];
		if (s.count++ == 0) {
			s.allowed = j.allowed;
			s.first = index;
			s.lines = j.shown;
		}
	} else if (j.allowed) {
		t.switches.push_back(j.switches);
		t.trailer.push_back(j.trailer);
	}
	if (j.why.empty())
		return;
	t.failed++;
	if (t.problems.size() >= examples)
		return;
	std::string p = "Run " + std::to_string(index + 1) + ":\n";
	for (const auto &w : j.why)
		p += "  " + w + (w.ends_with('\n') ? "" : "\n");
	t.problems.push_back(p);
}

// A judged run as it crosses the pipe: numbers in decimal and strings
// with their length, each followed by a space.
void
put(std::string &out, long n)
{
	out += std::to_string(n);
	out += ' ';
}

void
put(std::string &out, std::string_view s)
{
	put(out, static_cast<long>(s.size()));
	out += s;
	out += ' ';
}

void
put(std::string &out, const std::vector<std::string> &v)
{
	put(out, static_cast<long>(v.size()));
	for (const auto &s : v)
		put(out, s);
}

std::string
encode(const Judged &j)
{
	std::string out;

	put(out, j.allowed);
	put(out, j.switches);
	put(out, j.trailer);
	put(out, j.ending);
	put(out, j.why);
	put(out, j.shown);
	return out;
}

class Decoder {
public:
	explicit Decoder(std::string_view text) : text_(text) {}

	bool get(long &n)
	{
		const char *last = text_.data() + text_.size();
		auto [end, ec] = std::from_chars(text_.data(), last, n);
		if (ec != std::errc() || end == last || *end != ' ')
			return false;
		text_.remove_prefix(static_cast<std::size_t>(end -
		    text_.data()) + 1);
		return true;
	}

	bool get(bool &b)
	{
		long n;
		if (!get(n) || (n != 0 && n != 1))
			return false;
		b = n == 1;
		return true;
	}

	bool get(std::string &s)
	{
		long n;
		if (!get(n) || n < 0 || static_cast<std::size_t>(n) >=
		    text_.size() || text_[static_cast<std::size_t>(n)] != ' ')
			return false;
		s = text_.substr(0, static_cast<std::size_t>(n));
		text_.remove_prefix(static_cast<std::size_t>(n) + 1);
		return true;
	}

	bool get(std::vector<std::string> &v)
	{
		long n;
		if (!get(n) || n < 0 || static_cast<std::size_t>(n) >
		    text_.size())
			return false;
		v.resize(static_cast<std::size_t>(n));
		return std::all_of(v.begin(), v.end(),
		    [this](std::string &s) { return get(s); });
	}

	[[nodiscard]] bool done() const { return text_.empty(); }

private:
	std::string_view text_;
};

// False unless text is one whole judged run.
bool
decode(std::string_view text, Judged &j)
{
	Decoder d(text);

	return d.get(j.allowed) && d.get(j.switches) && d.get(j.trailer) &&
	    d.get(j.ending) && d.get(j.why) && d.get(j.shown) && d.done();
}

std::string
share(int n, int of)
{
	std::ostringstream s;
	s << std::fixed << std::setprecision(1) << 100.0 * n / of << "%";
	return s.str();
}

void
print_lines(const std::vector<std::string> &lines, const char *indent)
{
	if (lines.empty())
		std::cout << indent << "(no lines)\n";
	for (const auto &l : lines)
		std::cout << indent << l << "\n";
}

std::string
spread(std::vector<long> v)
{
	if (v.empty())
		return "none";
	std::sort(v.begin(), v.end());
	return "min " + std::to_string(v.front()) + ", median " +
	    std::to_string(v[v.size() / 2]) + ", max " +
	    std::to_string(v.back());
}

void
print_mixing(const Tally &t)
{
	long child_lines = static_cast<long>(t.rules.procs[1].lines.size());
	long after_all = std::count(t.trailer.begin(), t.trailer.end(),
	    child_lines);

	std::cout << "Whole orders never repeat here; how the two writers "
	    "mixed, over the " << t.switches.size() << " runs in an allowed "
	    "order:\n";
	std::cout << "  switches between the writers: " << spread(t.switches)
	    << "\n";
	std::cout << "  the parent's trailer came after this many of the "
	    "child's " << child_lines << " lines: " << spread(t.trailer)
	    << "\n";
	std::cout << "  after all of them in " << after_all << " runs, "
	    "before the child's last line in " << t.trailer.size() -
	    static_cast<std::size_t>(after_all) << "\n\n";
}

void
print_orders(const Tally &t)
{
	std::vector<const std::pair<const std::string, Seen> *> seen;
	for (const auto &o : t.orders)
		seen.push_back(&o);
	std::sort(seen.begin(), seen.end(), [](auto a, auto b) {
		if (a->second.count != b->second.count)
			return a->second.count > b->second.count;
		return a->second.first < b->second.first;
	});
	std::size_t allowed_seen = 0, others = 0;
	for (const auto *o : seen) {
		allowed_seen += o->second.allowed;
		others += !o->second.allowed;
	}
	std::cout << seen.size() << " distinct order" << (seen.size() == 1 ?
	    "" : "s") << " seen, " << allowed_seen
	    << " allowed" << (others ? ", " + std::to_string(others) +
	    " NOT ALLOWED" : "") << "; most frequent first:\n";
	for (std::size_t i = 0; i < seen.size() && i < shown_orders; i++) {
		const Seen &s = seen[i]->second;
		std::cout << "\n  " << std::setw(5) << s.count << " runs  "
		    << std::setw(6) << share(s.count, t.runs)
		    << (s.allowed ? "" : "  NOT ALLOWED") << "\n";
		print_lines(s.lines, "      ");
	}
	if (seen.size() > shown_orders)
		std::cout << "\n  ... and " << seen.size() - shown_orders
		    << " more orders, seen less often\n";
	std::cout << "\n";

	std::optional<std::uint64_t> count = count_orders(t.rules);
	if (!count) {
		std::cout << "The rules allow 2^64 orders or more.\n\n";
		return;
	}
	std::cout << "The rules allow " << *count << " order"
	    << (*count == 1 ? "" : "s") << " of the processes' lines";
	if (*count > enumerable) {
		std::cout << ": too many to go through; " << allowed_seen
		    << " seen.\n\n";
		return;
	}
	std::set<std::string> texts;
	std::map<std::string, std::vector<std::string>> unseen;
	each_order(t.rules, [&](const std::vector<Step> &steps) {
		Names names;
		std::vector<std::string> lines = render(t.rules, steps, names);
		std::string key = joined(lines);
		texts.insert(key);
		if (!t.orders.contains(key))
			unseen[key] = lines;
		return true;
	});
	if (texts.size() != *count)
		std::cout << ", " << texts.size() << " as text (lines that "
		    "read alike cannot be told apart)";
	std::cout << ".\n";
	if (unseen.empty()) {
		std::cout << "Every one of them was seen.\n\n";
		return;
	}
	std::cout << unseen.size() << " of them never seen";
	if (unseen.size() > listed_unseen) {
		std::cout << ".\n\n";
		return;
	}
	std::cout << ":\n";
	for (const auto &[key, lines] : unseen) {
		std::cout << "\n";
		print_lines(lines, "      ");
	}
	std::cout << "\n";
}

int
report(const Tally &t)
{
	std::cout << t.demo.name << ", " << t.runs << " runs\n\n";
	if (t.demo.mixes)
		print_mixing(t);
	else
		print_orders(t);

	std::vector<std::pair<std::string, int>> endings(t.endings.begin(),
	    t.endings.end());
	std::sort(endings.begin(), endings.end(), [](const auto &a, const auto &b) {
		return a.second > b.second;
	});
	std::cout << "How the processes ended:\n";
	for (const auto &[how, n] : endings)
		std::cout << "  " << std::setw(5) << n << " runs  " << how
		    << "\n";
	std::cout << "\n";
	if (t.failed == 0) {
		std::cout << "Every run was sound.\n";
		return 0;
	}
	std::cout << "NOT SOUND: " << t.failed << " of " << t.runs
	    << " runs broke the rules. The first " << t.problems.size()
	    << ":\n";
	for (const auto &p : t.problems)
		std::cout << p;
	return 1;
}

struct Helper {
	pid_t pid;
	int fd;
	std::string text;
};

// Runs the demo `runs` times, `jobs` at once, each run in a helper.
void
run_all(Tally &t, const std::vector<std::string> &argv, const std::string &cwd,
    int runs, int jobs)
{
	int timeout_ms = (t.demo.seconds * 2 + 30) * 1000;
	std::vector<Helper> live;
	int started = 0;
	pid_t self = getpid();

	while (started < runs || !live.empty()) {
		while (started < runs && live.size() < static_cast<std::size_t>(jobs)) {
			int fds[2];
			if (pipe2(fds, O_CLOEXEC) != 0) {
				std::perror("orders: pipe2");
				std::exit(1);
			}
			pid_t pid = fork();
			if (pid < 0) {
				std::perror("orders: fork");
				std::exit(1);
			}
			if (pid == 0) {
				close(fds[0]);
				prctl(PR_SET_CHILD_SUBREAPER, 1);
				for (int sig : {SIGINT, SIGTERM, SIGHUP})
					(void)signal(sig, end_run);
				prctl(PR_SET_PDEATHSIG, SIGTERM);
				if (getppid() != self)
					_exit(1);
				std::string s = encode(judge(t.demo, t.rules,
				    run_once(argv, cwd, t.demo, timeout_ms)));
				for (std::size_t at = 0; at < s.size();) {
					ssize_t n = write(fds[1], s.data() + at,
					    s.size() - at);
					if (n <= 0)
						_exit(1);
					at += static_cast<std::size_t>(n);
				}
				_exit(0);
			}
			close(fds[1]);
			live.push_back({pid, fds[0], {}});
			started++;
		}
		std::vector<pollfd> p;
		p.reserve(live.size());
		for (const auto &h : live)
			p.push_back({h.fd, POLLIN, 0});
		if (poll(p.data(), p.size(), -1) < 0)
			continue;
		for (std::size_t i = p.size(); i-- > 0;) {
			if (!p[i].revents)
				continue;
			char buf[65536];
			ssize_t n = read(live[i].fd, buf, sizeof buf);
			if (n > 0) {
				live[i].text.append(buf,
				    static_cast<std::size_t>(n));
				continue;
			}
			if (n < 0 && errno == EINTR)
				continue;
			close(live[i].fd);
			waitpid(live[i].pid, nullptr, 0);
			Judged j;
			if (!decode(live[i].text, j)) {
				Run failed;
				failed.err = "orders: the helper that made this "
				    "run failed\n";
				j = judge(t.demo, t.rules, failed);
			}
			tally(t, j);
			live.erase(live.begin() + static_cast<long>(i));
		}
	}
}

int
number(const char *s, const char *what)
{
	char *end;
	errno = 0;
	long n = std::strtol(s, &end, 10);
	if (*s == '\0' || *end != '\0' || errno || n < 1 || n > 1000000)
		usage(std::string(what) + " must be a number from 1 to 1000000");
	return static_cast<int>(n);
}

} // namespace

int
main(int argc, char **argv)
{
	int runs = 0, jobs = 0, c;

	while ((c = getopt(argc, argv, "+n:j:")) != -1) {
		if (c == 'n')
			runs = number(optarg, "RUNS");
		else if (c == 'j')
			jobs = number(optarg, "JOBS");
		else
			usage("");
	}
	if (optind >= argc)
		usage("no program given");
	std::string program = argv[optind];
	fs::path path = program;
	if (program.find('/') == std::string::npos)
		path = fs::read_symlink("/proc/self/exe").parent_path() / program;
	std::string name = path.filename();
	const DemoRules *demo = find_demo(name);
	if (!demo) {
		std::string names;
		for (const auto &d : demo_rules)
			names += " " + d.name;
		usage("no rules for " + name + "; the demos with rules:" + names);
	}
	if (access(path.c_str(), X_OK) != 0)
		usage("cannot run " + path.string() + ": " + std::strerror(errno));
	if (demo->seconds >= 10 && runs == 0)
		usage(name + " takes about " + std::to_string(demo->seconds) +
		    " s a run: give the number of runs with -n");
	if (runs == 0)
		runs = demo->mixes ? default_mixing_runs : default_runs;
	if (jobs == 0) {
		long cpus = sysconf(_SC_NPROCESSORS_ONLN);
		jobs = demo->asleep ? 32 : static_cast<int>(std::max(1L, cpus));
	}

	// A helper that cannot hand its run back must not take us along.
	(void)signal(SIGPIPE, SIG_IGN);
	(void)signal(SIGCHLD, SIG_DFL);
	std::vector<std::string> args = {fs::absolute(path)};
	args.insert(args.end(), argv + optind + 1, argv + argc);
	std::string cwd = demo->in_own_folder ?
	    fs::absolute(path).parent_path().string() : "";
	Tally t{*demo, demo->rules(), 0, 0, {}, {}, {}, {}, {}};
	run_all(t, args, cwd, runs, jobs);
	return report(t);
}
