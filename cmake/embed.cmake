# embed_resources(<target-name> <output.cpp> <files...>)
# Writes a C++ file that defines `const ResourceEntry kResources[]`, one entry per file, named by
# the file's base name (e.g. "Unit1.dfm"), so the program can load its layouts without files.
function(embed_resources name output)
  set(inputs)
  foreach(f IN LISTS ARGN)
    list(APPEND inputs ${CMAKE_SOURCE_DIR}/${f})
  endforeach()
  string(REPLACE ";" "|" joined "${inputs}")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DINPUTS=${joined} -P ${CMAKE_SOURCE_DIR}/cmake/embed_run.cmake
    DEPENDS ${inputs} ${CMAKE_SOURCE_DIR}/cmake/embed_run.cmake
    COMMENT "Embedding resources"
    VERBATIM)
endfunction()
