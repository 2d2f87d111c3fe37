// trace --png: the timeline picture drawn as PNG, by librsvg into a
// cairo image as large as the SVG says it is. librsvg is loaded only when
// a PNG is asked for: linked, it and the fifty libraries it loads would
// be set up at every start of trace, some 20 ms each time.
#include <cmath>
#include <memory>
#include <ostream>
#include <stdexcept>

#include <cairo.h>
#include <dlfcn.h>
#include <librsvg/rsvg.h>

#include "pictures.h"
#include "symbol.h"

namespace {

// The calls of librsvg, cairo and GLib drawn with, looked up in librsvg
// and the libraries it loads.
struct Calls {
	decltype(&rsvg_handle_new_from_data) read;
	decltype(&rsvg_handle_get_intrinsic_size_in_pixels) size;
	decltype(&rsvg_handle_render_document) render;
	decltype(&g_object_unref) unref;
	decltype(&g_error_free) error_free;
	decltype(&cairo_image_surface_create) image;
	decltype(&cairo_create) create;
	decltype(&cairo_destroy) destroy;
	decltype(&cairo_surface_destroy) image_destroy;
	decltype(&cairo_surface_write_to_png_stream) write;
};

const char library[] = "librsvg-2.so.2";

template <class F>
void
look_up(void *lib, F &f, const char *name)
{
	if (!symbol(lib, name, f))
		throw std::runtime_error(std::string("cannot draw a PNG: ") +
		    library + " has no " + name);
}

// Loaded once, on first use; throws std::runtime_error with why not.
const Calls &
calls()
{
	static Calls c{};
	static bool loaded = false;

	if (loaded)
		return c;
	void *lib = dlopen(library, RTLD_NOW | RTLD_LOCAL);
	if (!lib)
		throw std::runtime_error(std::string("cannot draw a PNG: ") +
		    dlerror() + " (the Debian package librsvg2-2 has it)");
	look_up(lib, c.read, "rsvg_handle_new_from_data");
	look_up(lib, c.size, "rsvg_handle_get_intrinsic_size_in_pixels");
	look_up(lib, c.render, "rsvg_handle_render_document");
	look_up(lib, c.unref, "g_object_unref");
	look_up(lib, c.error_free, "g_error_free");
	look_up(lib, c.image, "cairo_image_surface_create");
	look_up(lib, c.create, "cairo_create");
	look_up(lib, c.destroy, "cairo_destroy");
	look_up(lib, c.image_destroy, "cairo_surface_destroy");
	look_up(lib, c.write, "cairo_surface_write_to_png_stream");
	loaded = true;
	return c;
}

struct Unref {
	void operator()(RsvgHandle *h) const { calls().unref(h); }
	void operator()(cairo_surface_t *s) const { calls().image_destroy(s); }
	void operator()(cairo_t *c) const { calls().destroy(c); }
	void operator()(GError *e) const { calls().error_free(e); }
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

void
png_ready()
{
	(void)calls();
}

void
write_png(const std::string &svg, std::ostream &out)
{
	const Calls &c = calls();
	GError *error = nullptr;
	Owned<RsvgHandle> handle(c.read(
	    reinterpret_cast<const guint8 *>(svg.data()), svg.size(), &error));
	if (!handle)
		failed("the SVG does not read", error);
	double width = 0;
	double height = 0;
	if (!c.size(handle.get(), &width, &height))
		failed("the SVG has no size", nullptr);
	Owned<cairo_surface_t> image(c.image(CAIRO_FORMAT_RGB24,
	    static_cast<int>(std::ceil(width)),
	    static_cast<int>(std::ceil(height))));
	Owned<cairo_t> cr(c.create(image.get()));
	RsvgRectangle whole{0, 0, width, height};
	if (!c.render(handle.get(), cr.get(), &whole, &error))
		failed("librsvg could not render it", error);
	if (c.write(image.get(), to_stream, &out) != CAIRO_STATUS_SUCCESS)
		throw std::runtime_error("cannot write the PNG");
}
