// trace built without librsvg: no PNG pictures (see png.cpp).
#include <stdexcept>

#include "pictures.h"

void
png_ready()
{
	throw std::runtime_error("built without librsvg, this trace draws no "
	    "PNG; --svg draws an SVG");
}

void
write_png(const std::string &, std::ostream &)
{
	png_ready();
}
