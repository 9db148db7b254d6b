# A Debian package built by CPack from the same install rules (`cpack -G DEB` in the build
# tree).  It installs under /opt/quarnxml, laid out as any other prefix (KelInstall.cmake): the
# platform headers have common names (sqlca.h, sqlcli.h, ...) that must not meet another
# product's in /usr/include, and lib/ must not be a multiarch directory.  Dependencies are
# worked out by dpkg-shlibdeps when the machine has it (it comes with dpkg-dev), else taken
# from the list below.

set(CPACK_PACKAGE_NAME quarnxml)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "XML extension for the Quarn database, with an embedded Quarn-compatible engine")
set(CPACK_PACKAGE_DESCRIPTION
    "Stores XML documents in table columns, searches them through side tables, extracts, updates, validates, composes and decomposes them, on an embedded Quarn-compatible engine on SQLite. Includes the console quarn, the engine, the platform libraries and headers, and the routine libraries quarnxml and quarnxmlfn.")
set(CPACK_PACKAGE_CONTACT "quarnxml developers <quarnxml@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/quarnxml)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
find_program(KEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The package's own libraries, which its programs and libraries link.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libsqlite3-0, libxerces-c3.2, libicu72, libedit2")
endif()
include(CPack)
