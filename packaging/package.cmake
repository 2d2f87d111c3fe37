# The Debian package: `cpack -G DEB` in a build folder makes
# proclab_VERSION-1_ARCH.deb of what cmake --install puts in place, under
# /usr, stripped, its dependencies found by dpkg-shlibdeps. The files
# Debian wants beside the programs are installed by both routes.
find_program(GZIP gzip REQUIRED)
set(changelog ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
# -n: no name or time in the header, so the same changelog makes the same
# bytes.
add_custom_command(OUTPUT ${changelog}
	COMMAND ${GZIP} -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${changelog}
	DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS ${changelog})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${changelog}
	DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The package is not uploaded to Debian: there is no bug for its first
# changelog entry to close.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
	DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME proclab)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME proclab)
set(CPACK_PACKAGE_VENDOR "the proclab developers")
set(CPACK_PACKAGE_CONTACT "proclab maintainers <maintainers@proclab.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
	"small programs that show how POSIX processes behave")
# Debian wants the lines of the description shorter than 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
	"Twenty small Linux programs, each showing one thing about POSIX"
	"processes: how fork splits one process into two, what each writes and"
	"in which orders, how exec replaces a program, how alarms, sigsuspend"
	"and a caught SIGSEGV work, who waits for whom and how every process"
	"ends. Their report lines are in Spanish."
	""
	"The proclab command lists and runs them, runs one many times to show"
	"which orders of its lines occur against its rules (proclab orders),"
	"and traces one run to show which process wrote each line and what the"
	"kernel did in between (proclab trace), as text, JSON lines, an SVG"
	"timeline or a Perfetto trace.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# bash-completion loads the completion installed for proclab; without
# it proclab works the same, only Tab offers nothing. trace --png loads
# librsvg when it is asked for, and says so when it is missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion, librsvg2-2")
# trace loads libdw as well only for --source, where dpkg-shlibdeps does
# not see it; --source is one of trace's own, so the package depends on it.
if(SUITE_WATCH AND SUITE_LIBDW)
	set(CPACK_DEBIAN_PACKAGE_DEPENDS "libdw1")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Nothing is stripped as a whole: the demos keep their line tables (-g1),
# so that trace --source tells the lines of the installed demos too; the
# tools are stripped as they are installed (CMakeLists.txt).
set(CPACK_STRIP_FILES OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/complete.cmake)
include(CPack)
