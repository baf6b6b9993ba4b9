# The Windows installer, Sumvane-<version>-setup.exe, made in the i686 build
# by `cmake --build <build> --target installer` with Debian's makensis
# (package nsis) from resources/installer.nsi: the i686 programs, the
# x86_64 program of the build named by SUMVANE_WIN64_BUILD (installed on
# 64-bit Windows as Sumvane64.exe), the compiled help, the README and the
# alert rules, as the release archive holds them. Not
# part of the default build, which needs no makensis.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()
find_program(SUMVANE_MAKENSIS makensis)
set(SUMVANE_INSTALLER "${PROJECT_BINARY_DIR}/Sumvane-${PROJECT_VERSION}-setup.exe")
file(STRINGS "${PROJECT_SOURCE_DIR}/resources/strings.inc" _sumvane_installer_strings
     REGEX "^SUMVANE_STRING\\(k(MakerName|ProductWebAddress), 10[0-9][0-9], \"[^\"]+\"\\)$")
foreach(_line IN LISTS _sumvane_installer_strings)
  string(REGEX REPLACE "^SUMVANE_STRING\\(k([A-Za-z]+), [0-9]+, \"([^\"]+)\"\\)$" "\\1;\\2" _pair "${_line}")
  list(GET _pair 0 _name)
  list(GET _pair 1 _value)
  set(_sumvane_installer_${_name} "${_value}")
endforeach()
if(NOT SUMVANE_MAKENSIS OR NOT SUMVANE_WIN64_BUILD)
  add_custom_target(installer
    COMMAND ${CMAKE_COMMAND} -E echo "The installer needs makensis (package nsis) and SUMVANE_WIN64_BUILD"
    COMMAND ${CMAKE_COMMAND} -E false)
  return()
endif()
add_custom_command(
  OUTPUT "${SUMVANE_INSTALLER}"
  COMMAND "${SUMVANE_MAKENSIS}" -V2 -WX
          "-DVERSION=${PROJECT_VERSION}"
          "-DMAKER=${_sumvane_installer_MakerName}"
          "-DWEB_ADDRESS=${_sumvane_installer_ProductWebAddress}"
          "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}"
          "-DWIN32_BUILD=${PROJECT_BINARY_DIR}"
          "-DWIN64_BUILD=${SUMVANE_WIN64_BUILD}"
          "-DOUTPUT=${SUMVANE_INSTALLER}"
          "${PROJECT_SOURCE_DIR}/resources/installer.nsi"
  DEPENDS "${PROJECT_SOURCE_DIR}/resources/installer.nsi" "${PROJECT_SOURCE_DIR}/resources/sumvane.ico"
          sumvane sumvane_window sumvane_help "${SUMVANE_WIN64_BUILD}/Sumvane.exe"
          "${PROJECT_BINARY_DIR}/package/README.txt" "${PROJECT_BINARY_DIR}/package/sumvane-alerts.yml"
  COMMENT "Making the installer (Sumvane-${PROJECT_VERSION}-setup.exe)"
  VERBATIM)
add_custom_target(installer DEPENDS "${SUMVANE_INSTALLER}")
