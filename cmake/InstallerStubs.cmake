# The installer and uninstaller programs in their release build (ONESETUP_RELEASE), made with
# both MinGW toolchains inside the native tree, so that the native builder has its defaults:
# ${ONESETUP_STUB_DIR}/Setup-x86.exe and -x64.exe, Uninstall-x86.exe and -x64.exe.
include(ExternalProject)

set(ONESETUP_STUB_DIR ${CMAKE_BINARY_DIR}/stubs)
set(ONESETUP_INSTALLER_STUBS)
# A tree that tests only the native code (the sanitizer tree) takes them from a tree that built
# them, instead of compiling both programs twice more.
set(ONESETUP_STUBS_FROM "" CACHE PATH "Copy the release programs from this folder instead of building them")
foreach(ARCH x86 x64)
  if(ONESETUP_STUBS_FROM)
    set(COPIED ${ONESETUP_STUB_DIR}/Setup-${ARCH}.exe ${ONESETUP_STUB_DIR}/Uninstall-${ARCH}.exe)
    add_custom_target(installer_${ARCH}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ONESETUP_STUB_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ONESETUP_STUBS_FROM}/Setup-${ARCH}.exe
              ${ONESETUP_STUBS_FROM}/Uninstall-${ARCH}.exe ${ONESETUP_STUB_DIR}
      BYPRODUCTS ${COPIED})
    list(APPEND ONESETUP_INSTALLER_STUBS ${COPIED})
    continue()
  endif()
  if(ARCH STREQUAL "x86")
    set(TOOLCHAIN ${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake)
  else()
    set(TOOLCHAIN ${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake)
  endif()
  set(STUB ${ONESETUP_STUB_DIR}/Setup-${ARCH}.exe)
  ExternalProject_Add(installer_${ARCH}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/installer-${ARCH}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DONESETUP_RELEASE=ON
               -DONESETUP_WERROR=${ONESETUP_WERROR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target Setup Uninstall
    INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory ${ONESETUP_STUB_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/Source/Installer/Setup.exe ${STUB}
    COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/Source/Uninstaller/Uninstall.exe
            ${ONESETUP_STUB_DIR}/Uninstall-${ARCH}.exe
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${STUB} ${ONESETUP_STUB_DIR}/Uninstall-${ARCH}.exe
    USES_TERMINAL_BUILD OFF)
  list(APPEND ONESETUP_INSTALLER_STUBS ${STUB} ${ONESETUP_STUB_DIR}/Uninstall-${ARCH}.exe)
endforeach()
add_custom_target(installer_stubs ALL DEPENDS installer_x86 installer_x64)
