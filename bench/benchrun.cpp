// benchrun: times a demo against its floor, run after run.
//
//   benchrun [-n RUNS] [-i INPUT] [-p] [-C DIR] DEMODIR FLOORDIR NAME [ARG...]
//
// Starts DEMODIR/NAME and FLOORDIR/NAME, each as "./NAME ARG..." in its
// own folder (DIR for both with -C), in turns: demo, floor, floor, demo,
// ... so that a slow drift of the machine weighs on both alike. Standard
// input is INPUT or /dev/null, standard error /dev/null, standard output
// /dev/null, or with -p a pipe that one "cat >/dev/null" drains for the
// whole bench. A run lasts from the fork until the last process of the
// run has ended, children left behind included: benchrun is their
// subreaper. Prints one line:
//
//   NAME DEMO-MS FLOOR-MS DEMO-KIB FLOOR-KIB
//
// the median wall time of each and the median of the largest max RSS
// among the processes of a run.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Side {
	std::string dir;
	std::vector<double> ms;
	std::vector<long> kib;
	int status = -1;
};

struct Setup {
	std::vector<char *> argv;
	const char *input = nullptr;
	const char *cwd = nullptr;
	int out = -1;
};

[[noreturn]] void
die(const char *what)
{
	std::perror(what);
	std::exit(2);
}

[[noreturn]] void
usage()
{
	(void)std::fputs("usage: benchrun [-n RUNS] [-i INPUT] [-p] [-C DIR] "
	    "DEMODIR FLOORDIR NAME [ARG...]\n", stderr);
	std::exit(2);
}

double
now_ms()
{
	timespec ts{};

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return static_cast<double>(ts.tv_sec) * 1e3 +
	    static_cast<double>(ts.tv_nsec) / 1e6;
}

void
redirect(const char *path, int flags, int fd)
{
	int from = open(path, flags);

	if (from < 0 || dup2(from, fd) < 0)
		_exit(127);
	close(from);
}

// One run of dir/NAME: its wall time, and the largest max RSS among its
// processes. The run's processes share a process group of their own, so
// waiting for that group collects the children a demo leaves behind,
// which come to us as their subreaper.
void
run_once(const Setup &setup, Side &side, bool keep)
{
	// argv[0] is "./NAME".
	std::string path = side.dir + "/" + (setup.argv[0] + 2);
	long kib = 0;
	int status, main_status = -1;
	rusage used{};
	pid_t pid, got;
	double start;

	start = now_ms();
	pid = fork();
	if (pid < 0)
		die("fork");
	if (pid == 0) {
		setpgid(0, 0);
		if (chdir(setup.cwd != nullptr ? setup.cwd : side.dir.c_str()) < 0)
			_exit(127);
		redirect(setup.input != nullptr ? setup.input : "/dev/null",
		    O_RDONLY, 0);
		if (setup.out >= 0) {
			if (dup2(setup.out, 1) < 0)
				_exit(127);
		} else {
			redirect("/dev/null", O_WRONLY, 1);
		}
		redirect("/dev/null", O_WRONLY, 2);
		execv(path.c_str(), setup.argv.data());
		_exit(127);
	}
	setpgid(pid, pid);
	while ((got = wait4(-pid, &status, 0, &used)) > 0) {
		kib = std::max(kib, used.ru_maxrss);
		if (got == pid)
			main_status = status;
	}
	if (errno != ECHILD)
		die("wait4");
	if (WIFEXITED(main_status) && WEXITSTATUS(main_status) == 127) {
		(void)std::fprintf(stderr, "benchrun: %s could not be started\n",
		    path.c_str());
		std::exit(2);
	}
	if (!keep)
		return;
	side.ms.push_back(now_ms() - start);
	side.kib.push_back(kib);
	if (side.status != -1 && side.status != main_status)
		(void)std::fprintf(stderr, "benchrun: %s ended differently from run "
		    "to run (%#x, then %#x)\n", path.c_str(), side.status,
		    main_status);
	side.status = main_status;
}

// A "cat >/dev/null" reading the pipe whose other end is returned.
int
drain()
{
	int fds[2];
	pid_t pid;

	if (pipe(fds) < 0)
		die("pipe");
	pid = fork();
	if (pid < 0)
		die("fork");
	if (pid == 0) {
		if (dup2(fds[0], 0) < 0)
			_exit(127);
		close(fds[0]);
		close(fds[1]);
		redirect("/dev/null", O_WRONLY, 1);
		execlp("cat", "cat", static_cast<char *>(nullptr));
		_exit(127);
	}
	close(fds[0]);
	fcntl(fds[1], F_SETFD, FD_CLOEXEC);
	return fds[1];
}

// The folder's own path: the runs change into it before they start.
std::string
absolute(const char *dir)
{
	char *path = realpath(dir, nullptr);
	std::string s;

	if (path == nullptr)
		die(dir);
	s = path;
	std::free(path);
	return s;
}

template <typename T>
T
median(std::vector<T> v)
{
	std::sort(v.begin(), v.end());
	return v[v.size() / 2];
}

// The options, into setup and what main keeps; usage() on a bad one.
void
options(int argc, char **argv, Setup &setup, long &runs, bool &pipe_out)
{
	int opt;

	while ((opt = getopt(argc, argv, "+n:i:pC:")) != -1) {
		switch (opt) {
		case 'n':
			runs = std::strtol(optarg, nullptr, 10);
			if (runs < 1)
				usage();
			break;
		case 'i':
			setup.input = optarg;
			break;
		case 'p':
			pipe_out = true;
			break;
		case 'C':
			setup.cwd = optarg;
			break;
		default:
			usage();
		}
	}
}

} // namespace

int
main(int argc, char **argv)
{
	Setup setup;
	Side demo, floor_side;
	long runs = 100;
	bool pipe_out = false;
	std::string name;

	options(argc, argv, setup, runs, pipe_out);
	if (argc - optind < 3)
		usage();
	demo.dir = absolute(argv[optind]);
	floor_side.dir = absolute(argv[optind + 1]);
	name = std::string("./") + argv[optind + 2];
	setup.argv.push_back(name.data());
	for (int i = optind + 3; i < argc; i++)
		setup.argv.push_back(argv[i]);
	setup.argv.push_back(nullptr);
	if (prctl(PR_SET_CHILD_SUBREAPER, 1) < 0)
		die("prctl");
	if (pipe_out)
		setup.out = drain();

	// One unmeasured run of each first: caches warm, files paged in.
	run_once(setup, demo, false);
	run_once(setup, floor_side, false);
	for (long i = 0; i < runs; i++) {
		Side &first = i % 2 == 0 ? demo : floor_side;
		Side &second = i % 2 == 0 ? floor_side : demo;

		run_once(setup, first, true);
		run_once(setup, second, true);
	}
	if (demo.status != floor_side.status)
		(void)std::fprintf(stderr, "benchrun: %s: the demo ends with %#x, the "
		    "floor with %#x\n", argv[optind + 2], demo.status,
		    floor_side.status);
	std::printf("%s %.3f %.3f %ld %ld\n", argv[optind + 2],
	    median(demo.ms), median(floor_side.ms), median(demo.kib),
	    median(floor_side.kib));
	if (pipe_out) {
		close(setup.out);
		while (wait(nullptr) > 0)
			;
	}
	return 0;
}
