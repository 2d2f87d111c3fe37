// The names of the run's processes: see roles.h.
#include "roles.h"

// Appended, not "C" + ..., which g++ 12 at -O3 takes for an overlapping
// copy (a false -Wrestrict).
std::string
child_role(std::size_t k)
{
	std::string role = "C";
	role += std::to_string(k);
	return role;
}
