# CPack's step before the package is made: strips the programs and the
# library in the staging folder as Debian's own packages are stripped (debug
# information, unneeded symbols, the compiler's .comment and .note notes).
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")  # ELF
    continue()
  endif()
  execute_process(COMMAND "${CPACK_KESTREL_STRIP}" --remove-section=.comment --remove-section=.note --strip-unneeded
                          "${file}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip failed on ${file}")
  endif()
endforeach()
