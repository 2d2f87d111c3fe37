// The names of the run's processes: see roles.h.
#include "roles.h"

std::string
child_role(std::size_t k)
{
	return "C" + std::to_string(k);
}
