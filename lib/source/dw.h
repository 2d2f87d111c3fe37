// elfutils' libdw, loaded when trace is first asked where a program is
// (--source): linked, it and the four libraries it needs would be set up
// at every start of trace, half a millisecond each time.
#ifndef DW_H
#define DW_H

#include <string>

#include <elfutils/libdwfl.h>

// Each call of libdw that locate.cpp makes, by its own name. A list, so
// that the names are written once for the table and once for the lookup.
#define DW_CALLS(X) \
	X(dwarf_attr) X(dwarf_filesrc) X(dwarf_formudata) X(dwarf_getscopes) \
	X(dwarf_getsrc_die) X(dwarf_getsrcfiles) X(dwarf_getsrclines) \
	X(dwarf_haspc) X(dwarf_lineaddr) X(dwarf_lineno) X(dwarf_linesrc) \
	X(dwarf_onesrcline) X(dwarf_tag) X(dwfl_addrmodule) X(dwfl_begin) \
	X(dwfl_end) X(dwfl_frame_pc) X(dwfl_getmodules) \
	X(dwfl_getthread_frames) X(dwfl_linux_proc_attach) \
	X(dwfl_linux_proc_find_elf) X(dwfl_linux_proc_report) \
	X(dwfl_module_addrdie) X(dwfl_module_addrname) X(dwfl_module_getdwarf) \
	X(dwfl_module_getsym_info) X(dwfl_module_getsymtab) \
	X(dwfl_module_info) X(dwfl_module_nextcu) X(dwfl_report_end) \
	X(dwfl_standard_find_debuginfo)

struct Dw {
// A member's name cannot be parenthesised.
#define DW_MEMBER(name) decltype(&::name) name;	// NOLINT(bugprone-macro-parentheses)
	DW_CALLS(DW_MEMBER)
#undef DW_MEMBER
};

// The calls, once dw_load() has succeeded.
const Dw &dw();
// Loads libdw, once; "" if it is there, else why not.
const std::string &dw_load();

#endif
