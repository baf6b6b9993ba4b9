# sumvane_embed(<out-var> <symbol> <input>): generates a source file holding
# the bytes of <input> (with a terminating zero not counted in the size) and
# appends its path to <out-var>.
function(sumvane_embed out_var symbol input)
  set(output "${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P "${PROJECT_SOURCE_DIR}/cmake/embed_file.cmake"
    DEPENDS "${input}" "${PROJECT_SOURCE_DIR}/cmake/embed_file.cmake"
    COMMENT "Embedding ${symbol}"
    VERBATIM)
  set(${out_var} ${${out_var}} "${output}" PARENT_SCOPE)
endfunction()
