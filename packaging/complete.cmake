# Run by cpack before it packs: a package without proclab, the tools, the
# manual pages or the demos' sources and help would install and then fail its users, so a build that
# left them out (./suite demo, or SUITE_MAN=OFF) is refused, saying what
# to build instead.
set(root "${CPACK_TEMPORARY_DIRECTORY}/usr")
foreach(file IN ITEMS bin/proclab libexec/proclab/orders
		libexec/proclab/trace share/man/man1/proclab.1.gz
		share/man/man7/proclab-demos.7.gz share/proclab/src/tworoles.cpp
		share/proclab/help/tworoles)
	if(NOT EXISTS "${root}/${file}")
		message(FATAL_ERROR "the package would lack /usr/${file}: build "
			"the demos, the tools and the manual pages first, with "
			"./suite build (scdoc installed) or ./suite test")
	endif()
endforeach()
