// The catalogue of the demos against what is built from it and beside
// it: each row's source is where it says, its line of proclab list fits,
// the rules cover exactly the demos that run on their own, and the demo
// run from its folder is run from there.
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue.h"
#include "demo_rules.h"
#include "harness.h"

namespace fs = std::filesystem;

namespace {

TEST(Catalogue, EachRowIsADemoOfItsOwn)
{
	std::set<std::string> names;

	ASSERT_FALSE(catalogue.empty());
	for (const Demo &d : catalogue) {
		EXPECT_TRUE(names.insert(d.name).second) << d.name << " twice";
		EXPECT_TRUE(fs::is_regular_file(fs::path(SUITE_SOURCE_DIR) /
		    d.folder / (std::string(d.name) + ".cpp"))) << d.name;
		EXPECT_TRUE(fs::is_regular_file(built("bin/" + std::string(
		    d.name)))) << d.name;
		// proclab list pads the name to 16 columns, at least two
		// blanks after it, and the line fits a terminal.
		EXPECT_LE(std::strlen(d.name), 14u) << d.name;
		EXPECT_LE(16 + std::strlen(d.about), 80u) << d.name;
		EXPECT_EQ(std::string_view(d.about).find_first_of("\t\n"),
		    std::string_view::npos) << d.name;
		EXPECT_EQ(catalogued(d.name), &d) << d.name;
	}
}

// Rules say what a run left alone shows: every demo that needs neither
// arguments nor input has them, in the catalogue's order, and no other.
TEST(Catalogue, RulesForEveryDemoThatRunsOnItsOwn)
{
	std::vector<std::string> ruled, want;

	for (const DemoRules &d : demo_rules)
		ruled.push_back(d.name);
	for (const Demo &d : catalogue)
		if (d.runs != Runs::arguments && d.runs != Runs::input)
			want.push_back(d.name);
	EXPECT_EQ(ruled, want);
}

TEST(Catalogue, LookedUpByTheWholeName)
{
	const std::pair<std::string_view, bool> names[] = {
		{"becometwin", true}, {"twinspeak", true}, {"binprint", true},
		{"becometwi", false}, {"becometwin.cpp", false},
		{"replace/becometwin", false}, {"trace", false}, {"", false},
	};
	for (auto [name, demo] : names)
		EXPECT_EQ(catalogued(name) != nullptr, demo) << name;
	for (const Demo &d : catalogue)
		EXPECT_EQ(runs_in_own_folder(d.name),
		    std::string_view(d.name) == "becometwin") << d.name;
	EXPECT_FALSE(runs_in_own_folder("nosuch"));
}

// becometwin's exec finds ./twinspeak only from the demos' folder, where
// orders starts it too (proclab_test and trace_test see to the others).
TEST(Catalogue, OrdersRunsADemoFromItsOwnFolder)
{
	Result r = run_orders({"-n", "2", "becometwin"});
	EXPECT_EQ(r.end, End::exited(0)) << r.err;
	EXPECT_NE(r.out.find("\nEvery run was sound.\n"), std::string::npos)
	    << r.out;
}

} // namespace
