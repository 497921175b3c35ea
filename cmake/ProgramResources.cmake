# onesetup_program_resources(VAR RC): compiles a shipped program's resource script RC (beside
# its manifest, NAME.rc and NAME.manifest) into an object file whose path goes to VAR. The script
# may include BaseWindows.rc, whose glyphs are drawn at build time.
function(onesetup_program_resources VAR RC)
  set(BASE ${CMAKE_SOURCE_DIR}/Source/BaseWindows)
  set(GLYPH_DIR ${CMAKE_CURRENT_BINARY_DIR}/glyphs)
  set(GLYPHS ${GLYPH_DIR}/minimize.png ${GLYPH_DIR}/close.png)
  add_custom_command(OUTPUT ${GLYPHS}
    COMMAND python3 ${BASE}/make_glyphs.py ${GLYPH_DIR}
    DEPENDS ${BASE}/make_glyphs.py
    VERBATIM)
  get_filename_component(NAME ${RC} NAME_WE)
  get_filename_component(DIR ${RC} DIRECTORY)
  set(OBJECT ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.res.o)
  add_custom_command(OUTPUT ${OBJECT}
    COMMAND ${CMAKE_RC_COMPILER} -I ${DIR} -I ${BASE} -I ${GLYPH_DIR} -O coff -o ${OBJECT} ${RC}
    DEPENDS ${RC} ${DIR}/${NAME}.manifest ${BASE}/BaseWindows.rc ${GLYPHS}
    VERBATIM)
  set(${VAR} ${OBJECT} PARENT_SCOPE)
endfunction()
