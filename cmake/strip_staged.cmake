# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the installed files of every
# package before they are packed: each ELF file loses its symbols and debug
# information and the .comment and .note sections, as Debian's dh_strip does
# for programs.
find_program(STRIP_PROGRAM NAMES strip REQUIRED)
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND ${STRIP_PROGRAM} --remove-section=.comment --remove-section=.note "${file}"
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "strip failed on ${file}")
    endif()
  endif()
endforeach()
