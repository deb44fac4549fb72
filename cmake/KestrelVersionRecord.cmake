# kestrel_version_record(TARGET [DESCRIPTION text] [VERSION x.y.z]
#                        [INSTALL_DESTINATION dir])
# Writes the version record PROGRAM.version beside the program each time it
# is linked (docs/version-record.md describes the format), and installs it
# beside the program when a destination is given. Windows programs carry a
# version resource instead, so nothing is written there.
set(KESTREL_VERSION_RECORD_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/WriteVersionRecord.cmake)

function(kestrel_version_record target)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(A "" "DESCRIPTION;VERSION;INSTALL_DESTINATION" "" ${ARGN})
  if(NOT A_VERSION)
    set(A_VERSION ${PROJECT_VERSION})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=$<TARGET_FILE:${target}>.version -DNAME=$<TARGET_FILE_NAME:${target}>
            -DVERSION=${A_VERSION} -DPRODUCT_VERSION=${PROJECT_VERSION} "-DDESCRIPTION=${A_DESCRIPTION}"
            -P ${KESTREL_VERSION_RECORD_SCRIPT}
    VERBATIM)
  if(A_INSTALL_DESTINATION)
    install(FILES $<TARGET_FILE:${target}>.version DESTINATION ${A_INSTALL_DESTINATION})
  endif()
endfunction()
