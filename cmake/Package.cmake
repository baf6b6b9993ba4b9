# What `cmake --install` installs and what `cpack` packs: on Linux the
# program, its manual page and its documents, packed as a Debian package.
# Nothing else (tests, helper programs) is installed. The version is the
# project's (CMakeLists.txt).

set(CPACK_PACKAGE_NAME Sumvane)
set(CPACK_PACKAGE_VENDOR Brackenfold)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The four numbers; CPack would otherwise keep only three.
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# Lines short enough for a package manager's display.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Sumvane records, and later checks, the integrity of stored files by their"
  "MD5 digests. For one file, or for every file of a folder tree, it writes"
  "each file's digest into a summary file; run again later, it computes every"
  "digest anew and logs each problem it finds (a missing, unreadable or"
  "changed file) with a time stamp. It can also keep a fresh summary of what"
  "it found, and put one file's digest on the clipboard from a file-manager"
  "context-menu entry that it installs and removes itself.")

if(NOT WIN32)
  include(GNUInstallDirs)
  install(TARGETS sumvane RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES "${SUMVANE_MAN_PAGE}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${SUMVANE_HELP_PAGE}"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/sumvane")

  # The product web address is the program's own (string 1014).
  file(STRINGS "${PROJECT_SOURCE_DIR}/resources/strings.inc" _sumvane_web_address
       REGEX "^SUMVANE_STRING\\(1014, \"[^\"]+\"\\)$")
  string(REGEX REPLACE "^SUMVANE_STRING\\(1014, \"([^\"]+)\"\\)$" "\\1" _sumvane_web_address
         "${_sumvane_web_address}")

  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # sumvane_<version>_<architecture>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brackenfold <sumvane@brackenfold.example>")
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${_sumvane_web_address}")
  # The library packages (libssl's, the C and C++ runtimes) found from what
  # the program is linked with.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
