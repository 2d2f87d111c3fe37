// Where a stopped thread is in its program's own source: see locate.h.
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <cxxabi.h>
#include <dwarf.h>
#include <unistd.h>

#include "dw.h"
#include "locate.h"

namespace {

char *debuginfo_path = nullptr;

const Dwfl_Callbacks &
callbacks()
{
	static const Dwfl_Callbacks c = {
		dw().dwfl_linux_proc_find_elf,
		dw().dwfl_standard_find_debuginfo,
		nullptr,
		&debuginfo_path,
	};
	return c;
}

// The helpers the demos share write their lines and handle their alarms:
// the line a student wants is the demo's own call of them.
bool
shared_helper(std::string_view file)
{
	// As the compiler was given it: relative, or whole.
	std::string path = "/" + std::string(file);
	for (const char *h : {"/common/report.", "/common/alarma.",
	    "/common/error_y_exit.", "/common/write_whole."})
		for (const char *ext : {"cpp", "h"})
			if (path.ends_with(std::string(h) + ext))
				return true;
	return false;
}

// A function's name as its source spells it.
std::string
demangled(const char *name)
{
	int status = 0;
	char *d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
	std::string s = status == 0 && d ? d : name;
	std::free(d);
	return s;
}

// Where the code inlined at addr was called from: each inlined scope's
// call, innermost first.
std::vector<Site>
inline_calls(Dwarf_Die *cu, Dwarf_Addr addr)
{
	Dwarf_Die *scopes = nullptr;
	Dwarf_Files *files = nullptr;
	std::size_t nfiles = 0;
	int n = dw().dwarf_getscopes(cu, addr, &scopes);
	std::vector<Site> calls;

	if (n > 0 && dw().dwarf_getsrcfiles(cu, &files, &nfiles) == 0)
		for (int i = 0; i < n; i++) {
			Dwarf_Attribute a;
			Dwarf_Word file = 0, line = 0;
			if (dw().dwarf_tag(&scopes[i]) != DW_TAG_inlined_subroutine ||
			    dw().dwarf_formudata(dw().dwarf_attr(&scopes[i],
			    DW_AT_call_file, &a), &file) != 0 ||
			    dw().dwarf_formudata(dw().dwarf_attr(&scopes[i],
			    DW_AT_call_line, &a), &line) != 0 || file >= nfiles)
				continue;
			const char *name = dw().dwarf_filesrc(files, file, nullptr,
			    nullptr);
			if (name)
				calls.push_back({name, static_cast<int>(line), ""});
		}
	std::free(scopes);
	return calls;
}

// Where code inlined from a shared helper at pc was called from, out
// through every helper: the call in the program's own file.
bool
inlined_from(Dwarf_Die *cu, Dwarf_Addr addr, Source &s)
{
	for (const Site &call : inline_calls(cu, addr))
		if (!shared_helper(call.file)) {
			s.file = call.file;
			s.line = call.line;
			return true;
		}
	return false;
}

// The compilation unit holding pc, and pc as its DWARF gives addresses.
// libdw finds it from .debug_aranges, which clang does not write unless
// asked: then each unit's own ranges are searched.
Dwarf_Die *
unit_at(Dwfl_Module *m, Dwarf_Addr pc, Dwarf_Addr &addr)
{
	Dwarf_Addr bias = 0;
	Dwarf_Die *cu = dw().dwfl_module_addrdie(m, pc, &bias);

	for (Dwarf_Die *u = nullptr; !cu &&
	    (u = dw().dwfl_module_nextcu(m, u, &bias)) != nullptr;)
		if (dw().dwarf_haspc(u, pc - bias) == 1)
			cu = u;
	addr = pc - bias;
	return cu;
}

std::string
exe_of(pid_t pid)
{
	std::string link = "/proc/";
	link += std::to_string(pid);
	link += "/exe";
	char buf[4096];
	ssize_t n = readlink(link.c_str(), buf, sizeof buf);
	return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
}

// What one address says: in the program's own code or not, and where.
struct Place {
	bool own = false;	// in the program's file, not a helper's
	bool lines = false;	// with a line
	Source source;
	// A helper's: where in the function it was compiled into, past
	// any code inlined there.
	Site outer;
};

} // namespace

struct Locator::Process {
	Dwfl *dwfl = nullptr;
	bool opened = false;
	bool lines = false;	// its own file has line tables
	bool stale = false;	// code found outside every module read
	std::string exe;
	Dwfl_Module *own = nullptr;	// the program's file
	std::unordered_map<Dwarf_Addr, Place> places;

	Process() = default;
	Process(const Process &) = delete;
	Process &operator=(const Process &) = delete;
	~Process()
	{
		if (dwfl)
			dw().dwfl_end(dwfl);
	}

	// The modules mapped in pid, and the way to its threads' frames.
	bool open(pid_t pid)
	{
		exe = exe_of(pid);
		dwfl = dw().dwfl_begin(&callbacks());
		opened = dwfl && !exe.empty() &&
		    dw().dwfl_linux_proc_report(dwfl, pid) == 0 &&
		    dw().dwfl_report_end(dwfl, nullptr, nullptr) == 0 &&
		    dw().dwfl_linux_proc_attach(dwfl, pid, true) == 0;
		if (opened)
			(void)dw().dwfl_getmodules(dwfl, has_lines, this, 0);
		return opened;
	}

	// Whether the program's own file, m if named so, has line tables.
	static int has_lines(Dwfl_Module *m, void **, const char *name,
	    Dwarf_Addr, void *arg)
	{
		auto *self = static_cast<Process *>(arg);
		Dwarf_Addr bias = 0;

		if (self->exe != name)
			return DWARF_CB_OK;
		self->own = m;
		self->lines = dw().dwfl_module_getdwarf(m, &bias) != nullptr;
		return DWARF_CB_ABORT;
	}

	const Place &place(Dwarf_Addr pc)
	{
		// Code made as the program runs could fill it without end.
		if (places.size() >= 1 << 16)
			places.clear();
		auto [it, fresh] = places.try_emplace(pc);
		if (!fresh)
			return it->second;
		Place &p = it->second;
		Dwfl_Module *m = dw().dwfl_addrmodule(dwfl, pc);
		// Mapped since the modules were read (the dynamic loader's
		// work, dlopen): read them again.
		if (!m) {
			stale = true;
			places.erase(pc);
			static const Place none;
			return none;
		}
		const char *name = dw().dwfl_module_info(m, nullptr, nullptr,
		    nullptr, nullptr, nullptr, nullptr, nullptr);
		if (!name || exe != name)
			return p;
		const char *fn = dw().dwfl_module_addrname(m, pc);
		p.source.function = fn ? demangled(fn) : "";
		Dwarf_Addr addr = 0;
		Dwarf_Die *cu = unit_at(m, pc, addr);
		Dwarf_Line *l = cu ? dw().dwarf_getsrc_die(cu, addr) : nullptr;
		int line = 0;
		const char *file = l && dw().dwarf_lineno(l, &line) == 0 ?
		    dw().dwarf_linesrc(l, nullptr, nullptr) : nullptr;
		p.lines = file != nullptr;
		p.own = !p.lines || !shared_helper(file) ||
		    inlined_from(cu, addr, p.source);
		if (p.lines && p.source.file.empty()) {
			p.source.file = file;
			p.source.line = line;
		}
		p.outer = p.source;
		// Past any code inlined there, the line in the function it
		// was compiled into.
		if (!p.own && p.lines)
			if (auto calls = inline_calls(cu, addr); !calls.empty()) {
				p.outer.file = calls.back().file;
				p.outer.line = calls.back().line;
			}
		return p;
	}

	// main's last line, where a program that returns from main ends: the
	// last line of main's own file in its code, its closing brace (g++)
	// or its return (clang).
	Source main_end()
	{
		int n = own ? dw().dwfl_module_getsymtab(own) : 0;

		for (int i = 1; i < n; i++) {
			GElf_Sym sym;
			GElf_Addr lo = 0;
			const char *name = dw().dwfl_module_getsym_info(own, i, &sym,
			    &lo, nullptr, nullptr, nullptr);
			if (name && std::strcmp(name, "main") == 0 &&
			    GELF_ST_TYPE(sym.st_info) == STT_FUNC)
				return last_line(lo, sym.st_size);
		}
		return {};
	}

	Source last_line(Dwarf_Addr lo, Dwarf_Addr size)
	{
		Source s = place(lo).source;
		Dwarf_Addr from = 0;
		Dwarf_Die *cu = unit_at(own, lo, from);
		Dwarf_Lines *table = nullptr;
		std::size_t n = 0;

		if (s.file.empty() || !cu ||
		    dw().dwarf_getsrclines(cu, &table, &n) != 0)
			return {};
		for (std::size_t i = 0; i < n; i++) {
			Dwarf_Line *l = dw().dwarf_onesrcline(table, i);
			Dwarf_Addr at = 0;
			int line = 0;
			const char *file = nullptr;
			if (dw().dwarf_lineaddr(l, &at) == 0 && at >= from &&
			    at - from < size && dw().dwarf_lineno(l, &line) == 0 &&
			    line > s.line &&
			    (file = dw().dwarf_linesrc(l, nullptr, nullptr)) &&
			    s.file == file)
				s.line = line;
		}
		return s;
	}
};

namespace {

struct Walk {
	Locator::Process *process;
	Source found;
	bool done = false;
	int frames = 0;
	// In a signal handler: the signal frame is looked for, and past it
	// (crossed) where the code the signal interrupted stands.
	bool handler = false;
	bool crossed = false;
	Site helper;	// the handler's outermost line in the program's file
};

// A frame in the handler, or in code that runs in none.
int
inner_frame(Walk *w, const Place &p)
{
	if (p.own && p.lines && !w->done) {
		static_cast<Site &>(w->found) = p.source;
		w->done = true;
	} else if (!p.own && p.lines && w->handler) {
		w->helper = p.outer;
	} else if (p.own && !p.lines && w->found.function.empty()) {
		w->found.function = p.source.function;
	}
	return w->done && !w->handler ? DWARF_CB_ABORT : DWARF_CB_OK;
}

int
frame(Dwfl_Frame *f, void *arg)
{
	auto *w = static_cast<Walk *>(arg);
	Dwarf_Addr pc = 0;
	bool activation = false;

	// A stack deeper than this is not one a student reads.
	if (++w->frames > 256 || !dw().dwfl_frame_pc(f, &pc, &activation))
		return DWARF_CB_ABORT;
	// Past the first, a frame whose pc is no return address is the
	// kernel's signal frame, or the code it interrupted.
	if (w->handler && !w->crossed && activation && w->frames > 1) {
		w->crossed = true;
		w->found.in_handler = true;
		if (!w->done)
			static_cast<Site &>(w->found) = w->helper;
	}
	// A return address is past its call: the call is just before it.
	const Place &p = w->process->place(activation ? pc : pc - 1);
	if (!w->crossed)
		return inner_frame(w, p);
	if (!p.own || !p.lines)
		return DWARF_CB_OK;
	w->found.interrupted = p.source;
	return DWARF_CB_ABORT;
}

} // namespace

std::string
Locator::unavailable()
{
	const std::string &why = dw_load();
	return why.empty() ? why : "cannot tell where the program is: " + why;
}

Locator::Locator() = default;
Locator::~Locator() = default;

Source
Locator::at(pid_t pid, pid_t tid, bool ending, bool handler)
{
	auto &slot = processes_[pid];
	// One that cannot be opened is not tried again until it execs; one
	// whose modules changed is read again, once a stop.
	for (int tries = 0; tries < 2; tries++) {
		if (!slot || slot->stale) {
			slot = std::make_unique<Process>();
			slot->open(pid);
		}
		if (!slot->opened)
			return {};
		Walk w{};
		w.process = slot.get();
		w.handler = handler;
		(void)dw().dwfl_getthread_frames(slot->dwfl, tid, frame, &w);
		if (slot->stale)
			continue;
		// Past main (its return) nothing of the program's own is
		// left to tell of, when it has lines at all.
		if (!slot->lines)
			lacked_lines_ = true;
		else if (!w.done && !w.crossed)
			w.found = ending ? slot->main_end() : Source{};
		return w.found;
	}
	return {};
}

void
Locator::forget(pid_t pid)
{
	processes_.erase(pid);
}
