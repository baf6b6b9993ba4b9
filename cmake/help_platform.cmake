# The help has one source for both programs: what one platform alone says
# stands between markers, <!--windows--> ... <!--/windows--> and
# <!--linux--> ... <!--/linux-->, around whole rows and paragraphs or a few
# words inside one; everything else is said to both. An option row that
# differs only in a word or an example keeps one row with the word marked.
#
# Included: sumvane_help_for_platform(HTML PLATFORM OUT_VAR) keeps what is
# said to PLATFORM (windows or linux) and drops the other's.
# Script mode: writes each page as PLATFORM reads it into OUT_DIR.
#   cmake -DPLATFORM=windows -DHELP_DIR=... -DPAGES=a.html,b.html -DOUT_DIR=... -P help_platform.cmake

function(sumvane_help_for_platform html platform out_var)
  set(platforms windows linux)
  list(FIND platforms "${platform}" known)
  if(known EQUAL -1)
    message(FATAL_ERROR "the help is written for windows or linux, not '${platform}'")
  endif()
  list(REMOVE_ITEM platforms "${platform}")
  set(other "${platforms}")
  set(open "<!--${other}-->")
  set(close "<!--/${other}-->")
  string(LENGTH "${close}" close_length)
  string(FIND "${html}" "${open}" start)
  while(NOT start EQUAL -1)
    string(SUBSTRING "${html}" ${start} -1 rest)
    string(FIND "${rest}" "${close}" length)
    if(length EQUAL -1)
      message(FATAL_ERROR "the help has ${open} without ${close}")
    endif()
    math(EXPR after "${start} + ${length} + ${close_length}")
    string(SUBSTRING "${html}" 0 ${start} before)
    string(SUBSTRING "${html}" ${after} -1 tail)
    set(html "${before}${tail}")
    string(FIND "${html}" "${open}" start)
  endwhile()
  string(FIND "${html}" "${close}" stray)
  if(NOT stray EQUAL -1)
    message(FATAL_ERROR "the help has ${close} without ${open}")
  endif()
  string(REPLACE "<!--${platform}-->" "" html "${html}")
  string(REPLACE "<!--/${platform}-->" "" html "${html}")
  set(${out_var} "${html}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(required PLATFORM HELP_DIR PAGES OUT_DIR)
    if(NOT DEFINED ${required})
      message(FATAL_ERROR "help_platform.cmake needs -D${required}=...")
    endif()
  endforeach()
  string(REPLACE "," ";" page_list "${PAGES}")
  foreach(page IN LISTS page_list)
    file(READ "${HELP_DIR}/${page}" html)
    sumvane_help_for_platform("${html}" "${PLATFORM}" html)
    file(WRITE "${OUT_DIR}/${page}" "${html}")
  endforeach()
endif()
