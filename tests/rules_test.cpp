// The lines of the rules: parsed once, as the rules are built, so that a
// line with a broken role is refused there, with the line named, and
// never reaches the checker or orders.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "rules.h"

namespace {

TEST(Rules, LinesWithABrokenRoleAreRefusedWhenBuilt)
{
	const std::string broken[] = {"HIJO: Soy el proceso {C1\n", "{}\n",
	    "a {P{C1}\n", "{"};
	for (const std::string &line : broken) {
		try {
			Rules().proc("P", {"fine {P}\n", line});
			ADD_FAILURE() << "accepted " << line;
		} catch (const std::invalid_argument &e) {
			EXPECT_NE(std::string(e.what()).find(line),
			    std::string::npos) << e.what();
		}
	}
}

TEST(Rules, LinesAreFilledRoleByRole)
{
	Rules r = Rules().proc("P", {"{P} y {C1} en {addr}}\n", "sin nada\n",
	    ""});
	auto number = [](const std::string &role) {
		return role == "P" ? std::string("10") : "<" + role + ">";
	};
	const std::string want[] = {"10 y <C1> en 0x1}\n", "sin nada\n", ""};
	for (std::size_t i = 0; i < 3; i++)
		EXPECT_EQ(fill(r.procs[0].templates[i], number, "0x1"), want[i]);
}

} // namespace
