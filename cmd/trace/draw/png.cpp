// trace --png: the timeline picture drawn as PNG, by librsvg into a
// cairo image as large as the SVG says it is.
#include <cmath>
#include <memory>
#include <ostream>
#include <stdexcept>

#include <cairo.h>
#include <librsvg/rsvg.h>

#include "pictures.h"

namespace {

struct Unref {
	void operator()(RsvgHandle *h) const { g_object_unref(h); }
	void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
	void operator()(cairo_t *c) const { cairo_destroy(c); }
	void operator()(GError *e) const { g_error_free(e); }
};

template <class T>
using Owned = std::unique_ptr<T, Unref>;

[[noreturn]] void
failed(const std::string &what, GError *error)
{
	Owned<GError> e(error);
	throw std::runtime_error("cannot draw the PNG: " + what +
	    (e ? std::string(": ") + e->message : std::string()));
}

cairo_status_t
to_stream(void *closure, const unsigned char *data, unsigned int length)
{
	auto *out = static_cast<std::ostream *>(closure);
	out->write(reinterpret_cast<const char *>(data), length);
	return *out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

bool
png_drawn()
{
	return true;
}

void
write_png(const std::string &svg, std::ostream &out)
{
	GError *error = nullptr;
	Owned<RsvgHandle> handle(rsvg_handle_new_from_data(
	    reinterpret_cast<const guint8 *>(svg.data()), svg.size(), &error));
	if (!handle)
		failed("the SVG does not read", error);
	double width = 0;
	double height = 0;
	if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width,
	    &height))
		failed("the SVG has no size", nullptr);
	Owned<cairo_surface_t> image(cairo_image_surface_create(
	    CAIRO_FORMAT_RGB24, static_cast<int>(std::ceil(width)),
	    static_cast<int>(std::ceil(height))));
	Owned<cairo_t> cr(cairo_create(image.get()));
	RsvgRectangle whole{0, 0, width, height};
	if (!rsvg_handle_render_document(handle.get(), cr.get(), &whole, &error))
		failed("librsvg could not render it", error);
	if (cairo_surface_write_to_png_stream(image.get(), to_stream, &out) !=
	    CAIRO_STATUS_SUCCESS)
		throw std::runtime_error("cannot write the PNG");
}
