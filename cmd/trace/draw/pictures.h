// The pictures trace draws of a run, --svg and --perfetto: the files
// are opened before the run, so that a file that cannot be written is
// said before the program starts, and written once it is over.
#ifndef PICTURES_H
#define PICTURES_H

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "timeline.h"

class Pictures {
public:
	// An empty path: that picture is not drawn; "-": standard output.
	// Throws std::runtime_error with what could not be opened.
	Pictures(const std::string &svg, const std::string &perfetto,
	    std::vector<std::string> argv, bool time_lapse);

	// The recorder, if a picture is wanted.
	[[nodiscard]] View *view() { return wanted() ? &recorder_ : nullptr; }
	[[nodiscard]] bool wanted() const
	{
		return !svg_.path.empty() || !perfetto_.path.empty();
	}
	// The run is stepped so, in words; its times hold the waits.
	void stepped(std::string how) { recorder_.stepped(std::move(how)); }
	// Draws them; throws std::runtime_error with what could not be
	// written.
	void write();

private:
	struct File {
		std::string path;
		std::ofstream file;

		void open(const std::string &p);
		std::ostream &stream();
		void done();
	};

	File svg_;
	File perfetto_;
	Recorder recorder_;
};

// Views that all see the same run.
class Views : public View {
public:
	void add(View *v)
	{
		if (v)
			views_.push_back(v);
	}
	void event(const Event &e) override;
	void cut(const std::string &why, long long us) override;
	void summary(const std::vector<Traced> &procs,
	    const Ending &end) override;

private:
	std::vector<View *> views_;
};

#endif
