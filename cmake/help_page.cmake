# Script mode: joins the help pages into one self-contained HTML page (the
# contents page first, its links turned into links within the page) and
# writes the same document as plain text, each page as PLATFORM reads it
# (help_platform.cmake).
# cmake -DHELP_DIR=... -DCONTENTS=toc -DPAGES=overview,command-line -DPLATFORM=linux
#       -DHTML_OUTPUT=... -DTEXT_OUTPUT=... -P help_page.cmake

include("${CMAKE_CURRENT_LIST_DIR}/help_platform.cmake")

# The text between <body> and </body> of HELP_DIR/<name>.html.
function(read_body name out_var)
  set(path "${HELP_DIR}/${name}.html")
  file(READ "${path}" html)
  sumvane_help_for_platform("${html}" "${PLATFORM}" html)
  string(REGEX MATCH "<body[^>]*>" open_tag "${html}")
  string(FIND "${html}" "</body>" end REVERSE)
  if(open_tag STREQUAL "" OR end EQUAL -1)
    message(FATAL_ERROR "${path} has no <body> element")
  endif()
  string(FIND "${html}" "${open_tag}" start)
  string(LENGTH "${open_tag}" open_length)
  math(EXPR start "${start} + ${open_length}")
  math(EXPR length "${end} - ${start}")
  string(SUBSTRING "${html}" ${start} ${length} body)
  # The pages become sections of one page, so links between them become
  # links to those sections.
  string(REGEX REPLACE "href=\"([A-Za-z0-9_-]+)\\.html\"" "href=\"#\\1\"" body "${body}")
  string(STRIP "${body}" body)
  set(${out_var} "${body}" PARENT_SCOPE)
endfunction()

function(read_title name out_var)
  file(READ "${HELP_DIR}/${name}.html" html)
  string(REGEX MATCH "<title>[^<]*</title>" title "${html}")
  string(REGEX REPLACE "</?title>" "" title "${title}")
  set(${out_var} "${title}" PARENT_SCOPE)
endfunction()

# Plain text for a terminal: one line per paragraph, list item and table
# row (cells separated by tabs), blank lines between blocks.
function(html_to_text html out_var)
  string(REGEX REPLACE "[ \t\r\n]+" " " text "${html}")
  string(REGEX REPLACE "<tr[^>]*> *<t[dh][^>]*>" "\n" text "${text}")
  string(REGEX REPLACE "</t[dh]> *<t[dh][^>]*>" "\t" text "${text}")
  string(REGEX REPLACE "</tr>" "" text "${text}")
  string(REGEX REPLACE "<li[^>]*>" "\n- " text "${text}")
  string(REGEX REPLACE "<br[^>]*>" "\n" text "${text}")
  string(REGEX REPLACE "</?(h[1-6]|p|ul|ol|table|div)( [^>]*)?>" "\n\n" text "${text}")
  string(REGEX REPLACE "<[^>]*>" "" text "${text}")
  string(REPLACE "&lt;" "<" text "${text}")
  string(REPLACE "&gt;" ">" text "${text}")
  string(REPLACE "&quot;" "\"" text "${text}")
  string(REPLACE "&#39;" "'" text "${text}")
  string(REPLACE "&nbsp;" " " text "${text}")
  string(REPLACE "&amp;" "&" text "${text}")  # last, so "&amp;lt;" stays "&lt;"
  string(REGEX REPLACE " *\t *" "\t" text "${text}")
  string(REGEX REPLACE " *\n *" "\n" text "${text}")
  string(REGEX REPLACE "\n\n\n+" "\n\n" text "${text}")
  string(STRIP "${text}" text)
  set(${out_var} "${text}\n" PARENT_SCOPE)
endfunction()

foreach(required HELP_DIR CONTENTS PAGES PLATFORM HTML_OUTPUT TEXT_OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "help_page.cmake needs -D${required}=...")
  endif()
endforeach()

read_title("${CONTENTS}" title)
read_body("${CONTENTS}" contents)
set(sections "<div id=\"${CONTENTS}\">\n${contents}\n</div>\n")
string(REPLACE "," ";" page_list "${PAGES}")
foreach(page IN LISTS page_list)
  read_body("${page}" body)
  string(APPEND sections "<hr>\n<div id=\"${page}\">\n${body}\n</div>\n")
endforeach()

set(html "<!DOCTYPE html>
<html>
<head>
<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">
<title>${title}</title>
</head>
<body>
${sections}</body>
</html>
")
file(WRITE "${HTML_OUTPUT}" "${html}")

html_to_text("${sections}" text)
file(WRITE "${TEXT_OUTPUT}" "${text}")
