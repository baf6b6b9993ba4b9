# What `cmake --install` installs and what `cpack` packs: on Linux the
# program, its manual page, its documents, its systemd units and its alert
# rules for Prometheus, packed as a Debian package; on
# Windows the program with the README as text, a short note on the
# context-menu entry and the alert rules, packed as the release archive Sumvane-<version>-win32.zip.
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
  if(SUMVANE_MAN_PAGE)
    install(FILES "${SUMVANE_MAN_PAGE}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  endif()
  install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${SUMVANE_HELP_PAGE}"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/sumvane")
  # The README's links lead into docs/, installed beside it as it lies here.
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/sumvane/docs"
          FILES_MATCHING PATTERN "*.md")

  # The systemd template units of the weekly check and the check in slices.
  # They name the program where this install puts it, known only when the
  # install runs (cpack installs under /usr, `cmake --install` under its
  # prefix): made then, beside the build, and installed from there.
  set(_sumvane_units sumvane-check@.service sumvane-check@.timer sumvane-slice@.service sumvane-slice@.timer)
  foreach(_unit IN LISTS _sumvane_units)
    install(CODE "
      set(SUMVANE_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/sumvane\")
      configure_file(\"${PROJECT_SOURCE_DIR}/resources/systemd/${_unit}.in\"
                     \"${PROJECT_BINARY_DIR}/systemd/${_unit}\" @ONLY)")
    install(FILES "${PROJECT_BINARY_DIR}/systemd/${_unit}" DESTINATION lib/systemd/system)
  endforeach()

  # The alert rules on the figures -m writes, for Prometheus' rule_files.
  install(FILES "${PROJECT_SOURCE_DIR}/resources/prometheus/sumvane-alerts.yml"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/sumvane/prometheus")

  # The product web address is the program's own (string 1014).
  file(STRINGS "${PROJECT_SOURCE_DIR}/resources/strings.inc" _sumvane_web_address
       REGEX "^SUMVANE_STRING\\(kProductWebAddress, 1014, \"[^\"]+\"\\)$")
  string(REGEX REPLACE "^SUMVANE_STRING\\(kProductWebAddress, 1014, \"([^\"]+)\"\\)$" "\\1" _sumvane_web_address
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
else()
  # The i686 program ships as Sumvane.exe, with SumvaneW.exe for the
  # context-menu entry (cmake/Windows.cmake); an x86_64 build installs its
  # program beside them as Sumvane64.exe.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    install(TARGETS sumvane RUNTIME DESTINATION . COMPONENT program)
    install(PROGRAMS "${PROJECT_BINARY_DIR}/SumvaneW.exe" DESTINATION . COMPONENT program)
  else()
    install(PROGRAMS "$<TARGET_FILE:sumvane>" DESTINATION . RENAME Sumvane64.exe COMPONENT program)
  endif()
  # Text files with Windows line ends, so that every editor shows them.
  file(READ "${PROJECT_SOURCE_DIR}/README.md" _sumvane_readme)
  string(REPLACE "\r\n" "\n" _sumvane_readme "${_sumvane_readme}")
  string(REPLACE "\n" "\r\n" _sumvane_readme "${_sumvane_readme}")
  file(WRITE "${PROJECT_BINARY_DIR}/package/README.txt" "${_sumvane_readme}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/README.md")
  configure_file("${PROJECT_SOURCE_DIR}/resources/install-windows.txt" "${PROJECT_BINARY_DIR}/package/Install.txt"
                 @ONLY NEWLINE_STYLE CRLF)
  # The alert rules on the figures -m writes, for Prometheus' rule_files.
  configure_file("${PROJECT_SOURCE_DIR}/resources/prometheus/sumvane-alerts.yml"
                 "${PROJECT_BINARY_DIR}/package/sumvane-alerts.yml" @ONLY NEWLINE_STYLE CRLF)
  install(FILES "${PROJECT_BINARY_DIR}/package/README.txt" "${PROJECT_BINARY_DIR}/package/Install.txt"
                "${PROJECT_BINARY_DIR}/package/sumvane-alerts.yml"
          DESTINATION . COMPONENT documents)

  # The archive is packed in the i686 build and takes the x86_64 program
  # from the build named by SUMVANE_WIN64_BUILD. The programs in it are
  # stripped; beside it go their debug files (cmake/Windows.cmake).
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Sumvane-${PROJECT_VERSION}-win32")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Sumvane;ALL;/")
  set(CPACK_SUMVANE_DEBUG_FILES "${PROJECT_BINARY_DIR}/${SUMVANE_DEBUG_FILE_NAME}")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND CPACK_SUMVANE_DEBUG_FILES "${PROJECT_BINARY_DIR}/SumvaneW${SUMVANE_DEBUG_FILE_SUFFIX}")
  endif()
  set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/package_debug_files.cmake")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(SUMVANE_WIN64_BUILD "" CACHE PATH "The x86_64 build whose program the release archive holds")
    if(SUMVANE_WIN64_BUILD)
      list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${SUMVANE_WIN64_BUILD};Sumvane;program;/")
      list(APPEND CPACK_SUMVANE_DEBUG_FILES "${SUMVANE_WIN64_BUILD}/Sumvane64.exe.debug")
    else()
      message(STATUS "The release archive will hold the i686 program only: SUMVANE_WIN64_BUILD is not set")
    endif()
  endif()
endif()
include(CPack)
