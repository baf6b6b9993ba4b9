# The manual page sumvane(1), made at build time from the joined help page
# (Help.cmake) by pandoc; cmake/man_page.lua puts the help's sections under
# the headings of a manual page. Sets SUMVANE_MAN_PAGE, or leaves it empty
# when pandoc is missing: the program and its tests do not need the page,
# only what is installed and packed does.
find_program(SUMVANE_PANDOC pandoc)
if(NOT SUMVANE_PANDOC)
  set(SUMVANE_MAN_PAGE "")
  message(STATUS "Manual page sumvane.1 skipped: pandoc, which makes it from the help pages, was not found "
                 "(install pandoc and configure again to build, install and pack it)")
  return()
endif()
set(SUMVANE_MAN_PAGE "${PROJECT_BINARY_DIR}/help/sumvane.1")
# The build date, or SOURCE_DATE_EPOCH's for a reproducible package.
string(TIMESTAMP _sumvane_man_date "%Y-%m-%d" UTC)

add_custom_command(
  OUTPUT "${SUMVANE_MAN_PAGE}"
  # An empty "hyphenate" keeps paths and options from being broken at
  # line ends.
  COMMAND "${SUMVANE_PANDOC}" --from=html --to=man --standalone
          "--lua-filter=${PROJECT_SOURCE_DIR}/cmake/man_page.lua"
          --metadata=title=SUMVANE --metadata=section=1
          "--metadata=header=User Commands" "--metadata=footer=Sumvane ${PROJECT_VERSION}"
          "--metadata=date=${_sumvane_man_date}"
          "--metadata=description=${PROJECT_DESCRIPTION}"
          --variable=hyphenate=
          "--output=${SUMVANE_MAN_PAGE}.tmp" "${SUMVANE_HELP_PAGE}"
  # pandoc starts every section with a paragraph macro, which a heading
  # already implies; the linters warn about each one.
  COMMAND sed -i -e "/^\\.S[HS] /{n;/^\\.PP$/d;}" "${SUMVANE_MAN_PAGE}.tmp"
  COMMAND "${CMAKE_COMMAND}" -E rename "${SUMVANE_MAN_PAGE}.tmp" "${SUMVANE_MAN_PAGE}"
  DEPENDS "${SUMVANE_HELP_PAGE}" "${PROJECT_SOURCE_DIR}/cmake/man_page.lua"
  COMMENT "Making the manual page (sumvane.1)"
  VERBATIM)
add_custom_target(sumvane_man_page ALL DEPENDS "${SUMVANE_MAN_PAGE}")
