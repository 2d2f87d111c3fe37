// Every demo's rules: the lines each of its processes writes, what orders
// them between processes, and how each process seen from outside ends.
#include <csignal>

#include "demo_rules.h"

namespace {

const std::string before = "Antes del fork: Soy el proceso {P}\n";
const std::string padre = "PADRE: Soy el proceso {P}\n";
const std::string hijo = "HIJO: Soy el proceso {C1}\n";
const std::string only_parent = "Solo lo ejecuta el padre: Soy el proceso {P}\n";
const std::string funcion = "Funcion:La variable_global vale A y la local a\n";

Rules
parent_and_child(std::vector<std::string> parent, std::vector<std::string> child)
{
	Rules r;
	r.proc("P", std::move(parent));
	r.proc("C1", std::move(child));
	r.forks("P", 0, "C1");
	return r;
}

const std::vector<std::string> busy_child = {hijo,
    "HIJO acaba: Soy el proceso {C1}\n"};

// A parent that waits between its role line and its variable line.
Rules
copies(const std::string &child_values)
{
	return parent_and_child({before, padre,
	    "PADRE:La variable_global vale A y la local a\n", only_parent},
	    {hijo, "HIJO:La variable_global vale " + child_values + "\n"})
	    .waits("P", 2, "C1");
}

// A role line, then 100000 variable lines whose letter steps up from
// `first` every 10000 lines.
std::vector<std::string>
writer(const std::string &name, char first)
{
	std::vector<std::string> lines = {name + ": Soy el proceso {" +
	    (name == "PADRE" ? "P" : "C1") + "}\n"};
	std::string line = name + ":La variable_global vale ?\n";
	lines.reserve(100002);
	for (int k = 0; k < 100000; k++) {
		line[line.size() - 2] = static_cast<char>(first + k / 10000);
		lines.push_back(line);
	}
	return lines;
}

Rules
interleaved()
{
	std::vector<std::string> parent = writer("PADRE", 'b');
	parent.insert(parent.begin(), before);
	parent.push_back(only_parent);
	return parent_and_child(std::move(parent), writer("HIJO", 'B'));
}

// The ten lines of a tick loop that runs to the end in role's process.
std::vector<std::string>
ticks(const std::string &role)
{
	std::vector<std::string> lines;
	for (int s = 10; s <= 100; s += 10)
		lines.push_back("ALARMA pid={" + role + "}: " +
		    std::to_string(s) + " segundos\n");
	return lines;
}

// Ten children, each made after its creation line, greeting once; the
// parent collects them as waitpid(-1) returns them (the ended ones oldest
// first, else the next to end), each after its greeting: in any order.
Rules
reaping()
{
	std::vector<std::string> parent;
	parent.reserve(20);
	for (int k = 0; k < 10; k++)
		parent.push_back("Creando el hijo numero " +
		    std::to_string(k) + "\n");
	for (int k = 1; k <= 10; k++)
		parent.push_back("Waitpid bloqueante. Termina {C" +
		    std::to_string(k) + "}\n");
	Rules r;
	r.proc("P", parent).any_order("P", 10, 20);
	for (std::size_t k = 1; k <= 10; k++)
		r.proc(child_role(k), {"Hola, soy {" + child_role(k) + "}\n"});
	for (std::size_t k = 1; k <= 10; k++)
		r.forks("P", k - 1, child_role(k)).waits("P", 9 + k,
		    child_role(k), "{P}'s waitpid returns {C1} only once {C1} "
		    "has ended, after its greeting");
	return r;
}

const std::string first = "Soy el proceso: {P}\n";
const std::pair<std::string, End> parent_zero{"P", End::exited(0)};
const std::pair<std::string, End> child_zero{"C1", End::exited(0)};
// A child that ends with exit(0) and is collected by its parent's wait.
const std::vector<DemoRules::Reaped> waited{{"C1", End::exited(0), "P"}};

// reaper's ten children, each collected by waitpid(-1).
std::vector<DemoRules::Reaped>
reaped_ten()
{
	std::vector<DemoRules::Reaped> ten;
	for (std::size_t k = 1; k <= 10; k++)
		ten.push_back({child_role(k), End::exited(0), "P"});
	return ten;
}

} // namespace

const std::vector<DemoRules> demo_rules = {
	{"twinspeak", [] {
		return Rules().proc("P", {"Soy el proceso {P}\n"})
		    .proc("C1", {"Soy el proceso {C1}\n"});
	}, {parent_zero, child_zero}, {}, 0, false, 0, false},
	{"tworoles", [] {
		return parent_and_child({before, padre,
		    "Los DOS: Soy el proceso {P}\n"},
		    {hijo, "Los DOS: Soy el proceso {C1}\n"});
	}, {parent_zero, child_zero}, {}, 0, false, 0, false},
	{"childquits", [] {
		return parent_and_child({before, padre, only_parent}, {hijo});
	}, {parent_zero, child_zero}, {}, 0, false, 0, false},
	{"busychild", [] {
		return parent_and_child({before, padre, only_parent},
		    busy_child);
	}, {parent_zero, child_zero}, {}, 0, false, 0, false},
	{"patientparent", [] {
		return parent_and_child({before, padre, only_parent},
		    busy_child).waits("P", 2, "C1");
	}, {parent_zero}, waited, 0, false, 0, false},
	{"copyview", [] { return copies("A y la local a"); },
	    {parent_zero}, waited, 0, false, 0, false},
	{"copyedit", [] { return copies("B y la local b"); },
	    {parent_zero}, waited, 0, false, 0, false},
	{"funcview", [] {
		return parent_and_child({before, padre, funcion, only_parent},
		    {hijo, funcion});
	}, {parent_zero, child_zero}, {}, 0, false, 0, false},
	{"interleave", interleaved, {parent_zero, child_zero}, {}, 0, false,
	    0, true},
	// ls's listing of the folder it runs in, and ls's status.
	{"becomelist", [] {
		return Rules().proc("P", {first})
		    .then_anything("P", "what ls -l printed");
	}, {parent_zero}, {}, 0, false, 0, false},
	// From twinspeak's folder: twinspeak goes on in the same process.
	{"becometwin", [] {
		return Rules().proc("P", {first, "Soy el proceso {P}\n"})
		    .proc("C1", {"Soy el proceso {C1}\n"})
		    .forks("P", 0, "C1");
	}, {parent_zero, child_zero}, {}, 0, false, 0, false},
	{"lonetimer", [] { return Rules().proc("P", {}); },
	    {{"P", End::killed(SIGALRM)}}, {}, 10, true, 0, false},
	{"tickcounter", [] { return Rules().proc("P", ticks("P")); },
	    {{"P", End::exited(1)}}, {}, 100, true, 0, false},
	{"tickpair", [] {
		return Rules().proc("P", ticks("P")).proc("C1", ticks("C1"));
	}, {{"P", End::exited(1)}, {"C1", End::exited(1)}}, {}, 100, true,
	    0, false},
	// The parent waits for a signal from outside for ever: Ctrl-C.
	{"tickheir", [] {
		return Rules().proc("P", {}).proc("C1", ticks("C1"));
	}, {{"P", End::killed(SIGINT)}, {"C1", End::exited(1)}}, {}, 100,
	    true, SIGINT, false},
	{"reaper", reaping, {parent_zero}, reaped_ten(), 1, true, 0, false},
	{"heapwalk", [] {
		return Rules().proc("P", {"Addresses:\n", "\tp: {addr}\n",
		    "\tProgram code -- p address: {addr}, p value: {addr}, "
		    "*p: 0\n"});
	}, {parent_zero}, {}, 0, false, 0, false},
	{"faultcatch", [] {
		return Rules().proc("P", {"Addresses:\n", "\tp: {addr}\n",
		    "Error: segmentation fault\n"});
	}, {{"P", End::exited(2)}}, {}, 0, false, 0, false},
};

const DemoRules *
find_demo(std::string_view name)
{
	for (const DemoRules &d : demo_rules)
		if (d.name == name)
			return &d;
	return nullptr;
}
