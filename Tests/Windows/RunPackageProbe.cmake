# Builds the demo project with the Windows build of onesetup, then opens both installers with
# package_probe. Every program runs under EMULATOR; Wine reaches the host's files through Z:.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run_checked name)
  execute_process(COMMAND ${EMULATOR} ${ARGN}
    OUTPUT_FILE ${WORK}/${name}.txt ERROR_FILE ${WORK}/${name}.err RESULT_VARIABLE result)
  file(READ ${WORK}/${name}.txt output)
  file(READ ${WORK}/${name}.err errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} failed (${result}):\n${output}${errors}")
  endif()
  message(STATUS "${name}: ${output}")
endfunction()

# A Windows tree has no release programs: the test stub stands in for the uninstaller too.
run_checked(build ${ONESETUP} build Z:${DEMO}/Demo.xml -o Z:${WORK} --stub Z:${STUB}
  --uninstaller Z:${STUB} -q)
run_checked(full ${PROBE} Z:${WORK}/OnesetupDemoSetup.exe Z:${DEMO})
run_checked(mini ${PROBE} Z:${WORK}/OnesetupDemoMini.exe Z:${DEMO})
