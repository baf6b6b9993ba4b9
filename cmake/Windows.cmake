# The Windows build: system libraries of the Win32 backend, the resource
# script with its compiled help, and the test helpers.
enable_language(RC)

# The Win32 backend calls these directly; hhctrl.ocx is loaded on first use.
target_link_libraries(tessel PUBLIC advapi32 user32 comctl32 shell32)
target_compile_definitions(tessel PRIVATE WIN32_LEAN_AND_MEAN)
# Wide-character API names, and no min/max macros to clash with std::min.
add_compile_definitions(UNICODE _UNICODE NOMINMAX)

# The compiled help, built from the same pages as the Linux help page. The
# project file's [FILES] section is the one list of pages.
set(sumvane_help_source "${PROJECT_SOURCE_DIR}/resources/help")
set(sumvane_help_build "${CMAKE_BINARY_DIR}/help")
file(STRINGS "${sumvane_help_source}/sumvane.hhp" sumvane_hhp_lines)
set(sumvane_help_pages "")
set(in_files_section FALSE)
foreach(line IN LISTS sumvane_hhp_lines)
  if(line MATCHES "^\\[(.*)\\]$")
    set(in_files_section FALSE)
    if(CMAKE_MATCH_1 STREQUAL "FILES")
      set(in_files_section TRUE)
    endif()
  elseif(in_files_section AND NOT line STREQUAL "")
    list(APPEND sumvane_help_pages "${sumvane_help_source}/${line}")
  endif()
endforeach()
# chmcmd writes its output next to the project file, so it works on a copy.
find_program(SUMVANE_CHMCMD chmcmd REQUIRED)
add_custom_command(
  OUTPUT "${sumvane_help_build}/Sumvane.chm"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${sumvane_help_build}"
  COMMAND ${CMAKE_COMMAND} -E copy ${sumvane_help_pages} "${sumvane_help_source}/sumvane.hhp"
          "${sumvane_help_source}/sumvane.hhc" "${sumvane_help_build}"
  COMMAND ${SUMVANE_CHMCMD} --no-html-scan sumvane.hhp
  WORKING_DIRECTORY "${sumvane_help_build}"
  DEPENDS ${sumvane_help_pages} "${sumvane_help_source}/sumvane.hhp" "${sumvane_help_source}/sumvane.hhc"
  COMMENT "Compiling the help (Sumvane.chm)"
  VERBATIM)
add_custom_target(sumvane_help DEPENDS "${sumvane_help_build}/Sumvane.chm")

# The resources go into every executable built on the support library, not
# only the program: the library reads its strings, its dialog and the help
# from the running module, so the unit tests need them too.
# The application manifest carries the program's version.
configure_file("${PROJECT_SOURCE_DIR}/resources/sumvane.manifest.in" "${PROJECT_BINARY_DIR}/generated/sumvane.manifest"
               @ONLY)
set(sumvane_rc "${PROJECT_SOURCE_DIR}/resources/sumvane.rc")
add_library(sumvane_resources OBJECT "${sumvane_rc}")
target_include_directories(sumvane_resources PRIVATE "${PROJECT_SOURCE_DIR}/resources" "${PROJECT_BINARY_DIR}/generated"
                           "${sumvane_help_build}")
set_source_files_properties("${sumvane_rc}" PROPERTIES OBJECT_DEPENDS
  "${PROJECT_SOURCE_DIR}/resources/strings.inc;${PROJECT_BINARY_DIR}/generated/version.h;${PROJECT_BINARY_DIR}/generated/sumvane.manifest;${PROJECT_SOURCE_DIR}/resources/sumvane.ico;${sumvane_help_build}/Sumvane.chm")
add_dependencies(sumvane_resources sumvane_help)
target_link_libraries(tessel INTERFACE $<TARGET_OBJECTS:sumvane_resources>)
add_dependencies(tessel sumvane_resources)
# Already linked through tessel; listed nowhere else.
set(SUMVANE_WINDOWS_RESOURCES "")

# The program ships stripped (Sumvane.exe on i686, Sumvane64.exe on x86_64);
# its symbols and debug sections go to a file of its own beside it, which
# the program names (.gnu_debuglink), so a debugger finds them. The program
# the build leaves is the one that ships and the one the tests run.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(SUMVANE_DEBUG_FILE_NAME Sumvane.exe.debug)
else()
  set(SUMVANE_DEBUG_FILE_NAME Sumvane64.exe.debug)
endif()

# Settings of the program and the test targets, which are defined after this
# file is read, hence the deferred call. The program's entry point is main
# on both systems: its command line is read whole as UTF-16
# (GetCommandLineW), not from the arguments main is handed.
function(sumvane_windows_program_settings)
  add_custom_command(TARGET sumvane POST_BUILD
    COMMAND "${CMAKE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE_NAME:sumvane>" "${SUMVANE_DEBUG_FILE_NAME}"
    COMMAND "${CMAKE_OBJCOPY}" --strip-all "--add-gnu-debuglink=${SUMVANE_DEBUG_FILE_NAME}"
            "$<TARGET_FILE_NAME:sumvane>"
    WORKING_DIRECTORY "$<TARGET_FILE_DIR:sumvane>"
    COMMENT "Stripping Sumvane.exe; its debug information goes to ${SUMVANE_DEBUG_FILE_NAME}"
    VERBATIM)
  if(TARGET sumvane_unit_tests)
    # The resource tests read the version block back.
    target_link_libraries(sumvane_unit_tests PRIVATE version)
    # The helpers of the Windows end-to-end runs (tests/wine), one program
    # each: hold a file open, click OK on a message box, read what the
    # progress dialog shows, keep the Wine desktop open, start the
    # context-menu action as the shell does.
    foreach(helper hold_open press_ok watch_progress keep_desktop start_verb)
      add_executable(sumvane_${helper} "${PROJECT_SOURCE_DIR}/tests/wine/${helper}.cpp")
      set_target_properties(sumvane_${helper} PROPERTIES OUTPUT_NAME ${helper}
                            RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
      target_link_options(sumvane_${helper} PRIVATE -municode)
    endforeach()
    # A window program, so that it starts with no console to hand down.
    target_link_options(sumvane_start_verb PRIVATE -mwindows)
  endif()
endfunction()
cmake_language(DEFER CALL sumvane_windows_program_settings)
