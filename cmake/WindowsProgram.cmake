# Small Windows programs made with the host's MinGW compilers, from any build tree (native or
# cross): demo products and test helpers that the builder packs.
#   onesetup_windows_program(ARCH OUTPUT SOURCE [CONSOLE] [LIBS lib...])
# GUI programs unless CONSOLE; LIBS are linked by name (ole32 for -lole32).
function(onesetup_windows_program ARCH OUTPUT SOURCE)
  cmake_parse_arguments(PARSE_ARGV 3 PROGRAM "CONSOLE" "" "LIBS")
  if(ARCH STREQUAL "x86")
    set(TRIPLET i686-w64-mingw32)
  elseif(ARCH STREQUAL "x64")
    set(TRIPLET x86_64-w64-mingw32)
  else()
    message(FATAL_ERROR "onesetup_windows_program: ARCH is x86 or x64, not ${ARCH}")
  endif()
  if(PROGRAM_CONSOLE)
    set(SUBSYSTEM -mconsole)
  else()
    set(SUBSYSTEM -mwindows)
  endif()
  list(TRANSFORM PROGRAM_LIBS PREPEND -l)
  # C++ sources take the C++ driver and its runtime, linked in so that no MinGW DLL is needed.
  set(COMPILER ${TRIPLET}-gcc)
  set(RUNTIME)
  if(SOURCE MATCHES "\\.cpp$")
    set(COMPILER ${TRIPLET}-g++)
    set(RUNTIME -static)
  endif()
  get_filename_component(FOLDER ${OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FOLDER}
    COMMAND ${COMPILER} -municode ${SUBSYSTEM} -Os -s -Wall -Wextra -Werror ${RUNTIME} -o ${OUTPUT}
            ${SOURCE} ${PROGRAM_LIBS}
    DEPENDS ${SOURCE}
    VERBATIM)
endfunction()
