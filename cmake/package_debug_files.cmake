# Run by CPack once the Windows archive is packed: puts the debug file of
# each program the archive holds (CPACK_SUMVANE_DEBUG_FILES), the file the
# program names in its .gnu_debuglink, where the archive goes. A missing one
# fails the packing.
set(folder "${CPACK_PACKAGE_DIRECTORY}")
if(CPACK_OUTPUT_FILE_PREFIX)
  set(folder "${CPACK_OUTPUT_FILE_PREFIX}")
endif()
foreach(debug_file IN LISTS CPACK_SUMVANE_DEBUG_FILES)
  file(COPY "${debug_file}" DESTINATION "${folder}")
endforeach()
