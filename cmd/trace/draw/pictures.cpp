// Where trace's pictures go, and the views a run is shown to: see
// pictures.h.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "pictures.h"

void
Pictures::File::open(const std::string &p)
{
	path = p;
	if (path.empty() || path == "-")
		return;
	errno = 0;
	file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
	if (!file)
		throw std::runtime_error("cannot write " + path + ": " +
		    std::strerror(errno ? errno : EIO));
}

std::ostream &
Pictures::File::stream()
{
	return path == "-" ? std::cout : file;
}

void
Pictures::File::done()
{
	std::ostream &s = stream();

	errno = 0;
	s.flush();
	bool ok = static_cast<bool>(s);
	if (file.is_open()) {
		file.close();
		ok = ok && !file.fail();
	}
	if (!ok)
		throw std::runtime_error("cannot write " + (path == "-" ?
		    std::string("the standard output") : path) + ": " +
		    std::strerror(errno ? errno : EIO));
}

Pictures::Pictures(const PictureFiles &files, std::vector<std::string> argv,
    bool time_lapse)
    : slide_(files.slide), recorder_(std::move(argv), time_lapse)
{
	if (!files.png.empty())
		png_ready();
	svg_.open(files.svg);
	png_.open(files.png);
	perfetto_.open(files.perfetto);
}

void
Pictures::write()
{
	if (!svg_.path.empty()) {
		write_svg(recorder_.timeline(), svg_.stream(), slide_);
		svg_.done();
	}
	if (!png_.path.empty()) {
		std::ostringstream svg;
		write_svg(recorder_.timeline(), svg, slide_);
		write_png(svg.str(), png_.stream());
		png_.done();
	}
	if (!perfetto_.path.empty()) {
		write_perfetto(recorder_.timeline(), perfetto_.stream());
		perfetto_.done();
	}
}

void
Views::event(const Event &e)
{
	for (View *v : views_)
		v->event(e);
}

void
Views::cut(const std::string &why, long long us)
{
	for (View *v : views_)
		v->cut(why, us);
}

void
Views::summary(const std::vector<Traced> &procs, const Ending &end)
{
	for (View *v : views_)
		v->summary(procs, end);
}
