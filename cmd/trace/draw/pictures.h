// The pictures trace draws of a run, --svg, --png and --perfetto: the
// files are opened before the run, so that a file that cannot be written
// is said before the program starts, and written once it is over.
#ifndef PICTURES_H
#define PICTURES_H

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "timeline.h"

// Where each picture goes: an empty path, nowhere; "-", standard
// output.
struct PictureFiles {
	std::string svg;
	std::string png;
	std::string perfetto;
	bool slide = false;	// the SVG and PNG drawn for a slide
};

// The timeline picture drawn as PNG (png.cpp, with librsvg). Throws
// std::runtime_error with why it could not be drawn or written.
void write_png(const std::string &svg, std::ostream &out);
// Throws std::runtime_error if this trace cannot draw PNG: built
// without librsvg, or librsvg is not installed.
void png_ready();

class Pictures {
public:
	// Throws std::runtime_error with what could not be opened.
	Pictures(const PictureFiles &files, std::vector<std::string> argv,
	    bool time_lapse);

	// The recorder, if a picture is wanted.
	[[nodiscard]] View *view() { return wanted() ? &recorder_ : nullptr; }
	[[nodiscard]] bool wanted() const
	{
		return !svg_.path.empty() || !png_.path.empty() ||
		    !perfetto_.path.empty();
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
	File png_;
	File perfetto_;
	bool slide_;
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
