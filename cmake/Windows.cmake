# The Windows build: system libraries of the Win32 backend, the resource
# script with its compiled help, and the test helpers.
enable_language(RC)

# The Win32 backend calls these directly; hhctrl.ocx is loaded on first use.
target_link_libraries(tessel PUBLIC advapi32 user32 comctl32 shell32)
target_compile_definitions(tessel PRIVATE WIN32_LEAN_AND_MEAN)
# Wide-character API names, and no min/max macros to clash with std::min.
add_compile_definitions(UNICODE _UNICODE NOMINMAX)

# The compiled help, built from the same pages as the Linux help page, as
# Windows reads them (cmake/help_platform.cmake). The project file's [FILES]
# section is the one list of pages.
set(sumvane_help_source "${PROJECT_SOURCE_DIR}/resources/help")
set(sumvane_help_build "${CMAKE_BINARY_DIR}/help")
file(STRINGS "${sumvane_help_source}/sumvane.hhp" sumvane_hhp_lines)
set(sumvane_help_pages "")
set(sumvane_help_page_names "")
set(in_files_section FALSE)
foreach(line IN LISTS sumvane_hhp_lines)
  if(line MATCHES "^\\[(.*)\\]$")
    set(in_files_section FALSE)
    if(CMAKE_MATCH_1 STREQUAL "FILES")
      set(in_files_section TRUE)
    endif()
  elseif(in_files_section AND NOT line STREQUAL "")
    list(APPEND sumvane_help_pages "${sumvane_help_source}/${line}")
    list(APPEND sumvane_help_page_names "${line}")
  endif()
endforeach()
string(REPLACE ";" "," sumvane_help_page_list "${sumvane_help_page_names}")
# chmcmd writes its output next to the project file, so it works on copies:
# the pages as Windows reads them, which the end-to-end tests check too.
find_program(SUMVANE_CHMCMD chmcmd REQUIRED)
add_custom_command(
  OUTPUT "${sumvane_help_build}/Sumvane.chm"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${sumvane_help_build}"
  COMMAND ${CMAKE_COMMAND} -DPLATFORM=windows "-DHELP_DIR=${sumvane_help_source}"
          "-DPAGES=${sumvane_help_page_list}" "-DOUT_DIR=${sumvane_help_build}"
          -P "${PROJECT_SOURCE_DIR}/cmake/help_platform.cmake"
  COMMAND ${CMAKE_COMMAND} -E copy "${sumvane_help_source}/sumvane.hhp" "${sumvane_help_source}/sumvane.hhc"
          "${sumvane_help_build}"
  COMMAND ${SUMVANE_CHMCMD} --no-html-scan sumvane.hhp
  WORKING_DIRECTORY "${sumvane_help_build}"
  DEPENDS ${sumvane_help_pages} "${sumvane_help_source}/sumvane.hhp" "${sumvane_help_source}/sumvane.hhc"
          "${PROJECT_SOURCE_DIR}/cmake/help_platform.cmake"
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

# The programs ship stripped (Sumvane.exe and SumvaneW.exe on i686,
# Sumvane64.exe on x86_64); their symbols and debug sections go to a file of
# their own beside each, which the program names (.gnu_debuglink), so a
# debugger finds them. The programs the build leaves are the ones that ship
# and the ones the tests run.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(SUMVANE_DEBUG_FILE_SUFFIX .exe.debug)
else()
  set(SUMVANE_DEBUG_FILE_SUFFIX 64.exe.debug)
endif()
set(SUMVANE_DEBUG_FILE_NAME Sumvane${SUMVANE_DEBUG_FILE_SUFFIX})

# Settings of the program and the test targets, which are defined after this
# file is read, hence the deferred call. The program's entry point is main
# on both systems: its command line is read whole as UTF-16
# (GetCommandLineW), not from the arguments main is handed.
function(sumvane_windows_program_settings)
  # SumvaneW.exe: the same program for the window subsystem, which the
  # context-menu entry starts, so that the system opens no console window
  # for it. From a command prompt Sumvane.exe is the one to run: the prompt
  # waits for it and shows its banner.
  add_executable(sumvane_window "${PROJECT_SOURCE_DIR}/app/main.cpp")
  target_link_libraries(sumvane_window PRIVATE sumvane_app)
  set_target_properties(sumvane_window PROPERTIES OUTPUT_NAME SumvaneW)
  target_link_options(sumvane_window PRIVATE -mwindows)
  foreach(program sumvane sumvane_window)
    get_target_property(name ${program} OUTPUT_NAME)
    set(debug_file "${name}${SUMVANE_DEBUG_FILE_SUFFIX}")
    add_custom_command(TARGET ${program} POST_BUILD
      COMMAND "${CMAKE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE_NAME:${program}>" "${debug_file}"
      COMMAND "${CMAKE_OBJCOPY}" --strip-all "--add-gnu-debuglink=${debug_file}" "$<TARGET_FILE_NAME:${program}>"
      WORKING_DIRECTORY "$<TARGET_FILE_DIR:${program}>"
      COMMENT "Stripping ${name}.exe; its debug information goes to ${debug_file}"
      VERBATIM)
  endforeach()
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
    # Stand-ins for schtasks and notepad, under their names, in a folder of
    # their own that the help's command lines find first on the PATH.
    foreach(command schtasks notepad)
      add_executable(sumvane_stand_in_${command} "${PROJECT_SOURCE_DIR}/tests/wine/command_stand_in.cpp")
      set_target_properties(sumvane_stand_in_${command} PROPERTIES OUTPUT_NAME ${command}
                            RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/stand-ins")
      target_link_options(sumvane_stand_in_${command} PRIVATE -municode)
      target_link_libraries(sumvane_stand_in_${command} PRIVATE shell32)
    endforeach()
  endif()
endfunction()
cmake_language(DEFER CALL sumvane_windows_program_settings)

# The MD5 lanes keep 32- and 64-byte vectors on the stack, and the compiler
# aligns them with instructions that fault on a misaligned address; 64-bit
# Windows guarantees a stack aligned to 16 bytes only, and the compiler does
# not realign it there. Unaligned moves cost nothing on processors with AVX2.
set_source_files_properties("${PROJECT_SOURCE_DIR}/support/md5_lanes_kernels.cpp" TARGET_DIRECTORY tessel
                            PROPERTIES COMPILE_OPTIONS "-Wa,-muse-unaligned-vector-move")
