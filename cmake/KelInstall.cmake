# Where an installation puts things, and the two rules every deliverable installs with.  The
# prefix is laid out as the build tree is, so it runs with nothing from the build on the path:
#   bin/               programs (quarn; keladm and kelmigv call kel_install_programs as well)
#   lib/               the engine, every platform library and the routine libraries: the engine
#                      looks for routine libraries beside itself, and the libraries find the
#                      message catalogue at ../share/quarnxml from their own directory
#   include/           the platform headers (embedded runtime, call-level interface, ...)
#   share/quarnxml/    the message catalogue
#   share/doc/quarnxml/ the documentation and the sample documents
# lib/ is always "lib" (never a multiarch directory): the run paths and the catalogue lookup are
# relative to it.

set(KEL_INSTALL_BINDIR bin)
set(KEL_INSTALL_LIBDIR lib)
set(KEL_INSTALL_INCLUDEDIR include)
set(KEL_INSTALL_DATADIR share/quarnxml)
set(KEL_INSTALL_DOCDIR share/doc/quarnxml)

# kel_install_programs(targets...): programs into bin/, finding their libraries in ../lib.
function(kel_install_programs)
  set_target_properties(${ARGN} PROPERTIES INSTALL_RPATH "$ORIGIN/../${KEL_INSTALL_LIBDIR}")
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${KEL_INSTALL_BINDIR})
endfunction()

# kel_install_libraries(targets...): shared libraries into lib/, finding each other there.
function(kel_install_libraries)
  set_target_properties(${ARGN} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${ARGN} LIBRARY DESTINATION ${KEL_INSTALL_LIBDIR})
endfunction()
