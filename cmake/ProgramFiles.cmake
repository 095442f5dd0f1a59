# The files that come with the program (resources/program: the cursor, the skin,
# the sample folders) sit next to the executable, where it looks for them.
function(tarnwell_lay_out_program_files target)
  set(dir ${CMAKE_SOURCE_DIR}/resources/program)
  file(GLOB_RECURSE files LIST_DIRECTORIES false CONFIGURE_DEPENDS ${dir}/* ${dir}/.*)
  add_custom_target(${target}_program_files ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${dir} $<TARGET_FILE_DIR:${target}>
    DEPENDS ${files}
    COMMENT "Laying out the files that come with the program"
    VERBATIM)
  add_dependencies(${target} ${target}_program_files)
endfunction()
