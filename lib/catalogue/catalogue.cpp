// The catalogue's table, and looking a demo up in it.
#include "catalogue.h"

namespace {

constexpr Demo demos[] = {
#include "demos.inc"
};

} // namespace

const std::span<const Demo> catalogue = demos;

const Demo *
catalogued(std::string_view name)
{
	for (const Demo &d : demos)
		if (name == d.name)
			return &d;
	return nullptr;
}

bool
runs_in_own_folder(std::string_view name)
{
	const Demo *d = catalogued(name);

	return d && d->runs == Runs::own_folder;
}
