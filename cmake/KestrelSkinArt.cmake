# kestrel_skin_art(TARGET SET [PREFIX prefix])
# Paints the artwork set SET with the skinart generator into the build tree
# and compiles it into TARGET's resources under ":/PREFIX/" (default: SET).
# A static library's resources need Q_INIT_RESOURCE(SET) before first use;
# a program's load by themselves.
function(kestrel_skin_art target set)
  cmake_parse_arguments(A "" "PREFIX" "" ${ARGN})
  if(NOT A_PREFIX)
    set(A_PREFIX ${set})
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/skinart-${set})
  set(qrc ${dir}/${set}.qrc)
  set(cpp ${dir}/qrc_${set}.cpp)
  add_custom_command(OUTPUT ${qrc}
    COMMAND skinart ${set} ${dir} ${A_PREFIX}
    DEPENDS skinart
    COMMENT "Painting the ${set} artwork"
    VERBATIM)
  add_custom_command(OUTPUT ${cpp}
    COMMAND Qt6::rcc --name ${set} --output ${cpp} ${qrc}
    DEPENDS ${qrc} Qt6::rcc
    WORKING_DIRECTORY ${dir}
    VERBATIM)
  target_sources(${target} PRIVATE ${cpp})
  set_source_files_properties(${cpp} PROPERTIES SKIP_AUTOGEN ON GENERATED ON)
endfunction()
