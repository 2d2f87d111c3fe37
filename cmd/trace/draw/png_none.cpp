// trace built without librsvg: no PNG pictures (see png.cpp).
#include <stdexcept>

#include "pictures.h"

bool
png_drawn()
{
	return false;
}

void
write_png(const std::string &, std::ostream &)
{
	throw std::runtime_error("this trace was built without PNG pictures");
}
