# Rebuilds STUB with stub_rebuild, then compares what the PE reader parses back with what
# resource_probe gets from Windows. Every program runs under EMULATOR; Wine reaches the
# host's files through drive Z:.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(rebuilt ${WORK}/Rebuilt.exe)

function(run_checked name)
  execute_process(COMMAND ${EMULATOR} ${ARGN}
    OUTPUT_FILE ${WORK}/${name}.txt ERROR_FILE ${WORK}/${name}.err RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(READ ${WORK}/${name}.err errors)
    message(FATAL_ERROR "${name} failed (${result}):\n${errors}")
  endif()
endfunction()

run_checked(rebuild ${REBUILD} Z:${STUB} Z:${rebuilt} Z:${ICON})
run_checked(expected ${REBUILD} --expect Z:${rebuilt})
run_checked(probe ${PROBE} Z:${rebuilt})

file(READ ${WORK}/expected.txt expected)
file(READ ${WORK}/probe.txt probe)
if(NOT expected STREQUAL probe)
  message(FATAL_ERROR "resource_probe disagrees with the PE reader.\n"
    "expected (PE reader):\n${expected}\nresource_probe:\n${probe}")
endif()
string(REGEX MATCHALL "\n" lines "${probe}")
list(LENGTH lines count)
message(STATUS "resource_probe agrees with the PE reader on ${count} lines")
