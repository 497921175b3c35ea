# onesetup_program_resources(VAR RC): compiles a shipped program's resource script RC (beside
# its manifest, NAME.rc and NAME.manifest) into an object file whose path goes to VAR.
function(onesetup_program_resources VAR RC)
  get_filename_component(NAME ${RC} NAME_WE)
  get_filename_component(DIR ${RC} DIRECTORY)
  set(OBJECT ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.res.o)
  add_custom_command(OUTPUT ${OBJECT}
    COMMAND ${CMAKE_RC_COMPILER} -I ${DIR} -O coff -o ${OBJECT} ${RC}
    DEPENDS ${RC} ${DIR}/${NAME}.manifest
    VERBATIM)
  set(${VAR} ${OBJECT} PARENT_SCOPE)
endfunction()

# onesetup_resources_last(TARGET): links the program's resource section last, so that the builder
# can rewrite its resources (the package, the manifest) without moving anything else.
function(onesetup_resources_last TARGET)
  set(SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/rsrc-last.x)
  add_custom_command(OUTPUT ${SCRIPT}
    COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/rsrc-last-ldscript.py ${ONESETUP_TRIPLET}-ld ${SCRIPT}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/rsrc-last-ldscript.py
    VERBATIM)
  target_sources(${TARGET} PRIVATE ${SCRIPT})
  target_link_options(${TARGET} PRIVATE -Wl,-T,${SCRIPT})
endfunction()
