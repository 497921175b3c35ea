# Small GUI programs with a manifest, an icon and a version resource that the PE tests rebuild.
# They are made with the host's MinGW tools called directly, so every build tree (native or
# cross) gets the same stubs in ${CMAKE_BINARY_DIR}/stubs:
#   TestStub-<arch>.exe       resource section last (linked with rsrc-last-ldscript.py)
#   TestStubPlain-<arch>.exe  the linker's default layout, which the builder must refuse
# The target test_stubs builds every stub added with onesetup_add_test_stub(x86|x64).

set(ONESETUP_STUB_SOURCE_DIR ${CMAKE_SOURCE_DIR}/Tests/Fixtures/Stub)
set(ONESETUP_STUB_DIR ${CMAKE_BINARY_DIR}/stubs)
find_program(ONESETUP_PYTHON3 python3 REQUIRED)

if(NOT TARGET test_stubs)
  add_custom_target(test_stubs ALL)
endif()

function(onesetup_add_test_stub ARCH)
  if(ARCH STREQUAL "x86")
    set(triplet i686-w64-mingw32)
  elseif(ARCH STREQUAL "x64")
    set(triplet x86_64-w64-mingw32)
  else()
    message(FATAL_ERROR "onesetup_add_test_stub: ARCH is x86 or x64, not '${ARCH}'")
  endif()
  find_program(ONESETUP_${ARCH}_WINDRES ${triplet}-windres REQUIRED)
  find_program(ONESETUP_${ARCH}_GCC ${triplet}-gcc-posix REQUIRED)
  find_program(ONESETUP_${ARCH}_LD ${triplet}-ld REQUIRED)
  set(windres ${ONESETUP_${ARCH}_WINDRES})
  set(gcc ${ONESETUP_${ARCH}_GCC})
  set(ld ${ONESETUP_${ARCH}_LD})

  set(src ${ONESETUP_STUB_SOURCE_DIR})
  set(dir ${ONESETUP_STUB_DIR})
  set(script ${dir}/rsrc-last-${ARCH}.x)
  set(res ${dir}/TestStub-${ARCH}.res.o)
  set(stub ${dir}/TestStub-${ARCH}.exe)
  set(plain ${dir}/TestStubPlain-${ARCH}.exe)
  # No link time stamp: every tree makes the same bytes, so images rebuilt on Linux and under
  # Wine can be compared.
  set(cflags -municode -mwindows -Os -s -Wl,--no-insert-timestamp)

  add_custom_command(OUTPUT ${script}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${ONESETUP_PYTHON3} ${CMAKE_SOURCE_DIR}/cmake/rsrc-last-ldscript.py ${ld} ${script}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/rsrc-last-ldscript.py
    COMMENT "Linker script with the resource section last (${ARCH})"
    VERBATIM)
  add_custom_command(OUTPUT ${res}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${windres} -I ${src} -O coff -o ${res} ${src}/TestStub.rc
    DEPENDS ${src}/TestStub.rc ${src}/TestStub.manifest ${src}/TestStub.ico
    WORKING_DIRECTORY ${src}
    COMMENT "Test stub resources (${ARCH})"
    VERBATIM)
  add_custom_command(OUTPUT ${stub}
    COMMAND ${gcc} ${cflags} -o ${stub} ${src}/TestStub.c ${res} -Wl,-T,${script}
    DEPENDS ${src}/TestStub.c ${res} ${script}
    COMMENT "Test stub TestStub-${ARCH}.exe"
    VERBATIM)
  add_custom_command(OUTPUT ${plain}
    COMMAND ${gcc} ${cflags} -o ${plain} ${src}/TestStub.c ${res}
    DEPENDS ${src}/TestStub.c ${res}
    COMMENT "Test stub TestStubPlain-${ARCH}.exe"
    VERBATIM)
  add_custom_target(test_stub_${ARCH} DEPENDS ${stub} ${plain})
  add_dependencies(test_stubs test_stub_${ARCH})
endfunction()
