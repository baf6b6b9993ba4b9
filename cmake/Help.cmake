# The help document, from the pages under resources/help: the contents page
# and the topics in reading order, as this build's platform reads them
# (cmake/help_platform.cmake). Sets SUMVANE_HELP_PAGE (one HTML page) and
# SUMVANE_HELP_TEXT (its plain text); both are made at build time.
set(SUMVANE_HELP_DIR "${PROJECT_SOURCE_DIR}/resources/help")
set(SUMVANE_HELP_CONTENTS toc)
set(SUMVANE_HELP_TOPICS overview command-line files contact)
set(SUMVANE_HELP_PAGE "${PROJECT_BINARY_DIR}/help/Sumvane.html")
set(SUMVANE_HELP_TEXT "${PROJECT_BINARY_DIR}/help/Sumvane.txt")
if(WIN32)
  set(SUMVANE_HELP_PLATFORM windows)
else()
  set(SUMVANE_HELP_PLATFORM linux)
endif()

set(_sumvane_help_sources "${SUMVANE_HELP_DIR}/${SUMVANE_HELP_CONTENTS}.html")
foreach(_topic IN LISTS SUMVANE_HELP_TOPICS)
  list(APPEND _sumvane_help_sources "${SUMVANE_HELP_DIR}/${_topic}.html")
endforeach()
# A list cannot cross the command line as one argument; commas can.
string(REPLACE ";" "," _sumvane_help_topic_list "${SUMVANE_HELP_TOPICS}")

add_custom_command(
  OUTPUT "${SUMVANE_HELP_PAGE}" "${SUMVANE_HELP_TEXT}"
  COMMAND ${CMAKE_COMMAND}
          -DHELP_DIR=${SUMVANE_HELP_DIR}
          -DCONTENTS=${SUMVANE_HELP_CONTENTS}
          -DPAGES=${_sumvane_help_topic_list}
          -DPLATFORM=${SUMVANE_HELP_PLATFORM}
          -DHTML_OUTPUT=${SUMVANE_HELP_PAGE}
          -DTEXT_OUTPUT=${SUMVANE_HELP_TEXT}
          -P "${PROJECT_SOURCE_DIR}/cmake/help_page.cmake"
  DEPENDS ${_sumvane_help_sources} "${PROJECT_SOURCE_DIR}/cmake/help_page.cmake"
          "${PROJECT_SOURCE_DIR}/cmake/help_platform.cmake"
  COMMENT "Joining the help pages"
  VERBATIM)
