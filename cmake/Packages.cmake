# The release packages, made by the package target (CPack) from the native tree, each with the
# release installer and uninstaller for both architectures, the README and a starter project:
#   onesetup-<version>-Linux-x86_64.tar.gz  bin/onesetup, share/onesetup/{stubs,starter},
#                                           share/doc/onesetup/README.md
#   onesetup_<version>_<arch>.deb           the same under /usr
#   onesetup-<version>-win64.zip            onesetup.exe, stubs/, starter/, README.md
# Each builder finds its stubs beside itself, wherever it is unpacked.
include(ExternalProject)
include(GNUInstallDirs)

# The Windows builder: the onesetup target of an x86_64 MinGW tree configured as tools/test
# configures build/win64, statically linked (the toolchain file links every program so), then
# stripped. ONESETUP_WINDOWS_TREE may name that tree, which then compiles the builder once.
set(ONESETUP_WINDOWS_TREE ${CMAKE_BINARY_DIR}/builder-win64 CACHE PATH
  "x86_64 MinGW tree that builds onesetup.exe for the Windows zip")
set(ONESETUP_WINDOWS_BUILDER ${CMAKE_BINARY_DIR}/windows/onesetup.exe)
find_program(ONESETUP_X64_STRIP x86_64-w64-mingw32-strip REQUIRED)
ExternalProject_Add(builder_win64
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${ONESETUP_WINDOWS_TREE}
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
             -DCMAKE_BUILD_TYPE=Release -DONESETUP_WERROR=${ONESETUP_WERROR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target onesetup
  INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
  COMMAND ${ONESETUP_X64_STRIP} -o ${ONESETUP_WINDOWS_BUILDER} <BINARY_DIR>/onesetup.exe
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${ONESETUP_WINDOWS_BUILDER}
  USES_TERMINAL_BUILD OFF)

# The starter project is what 'onesetup new' writes, so that it cannot drift from it.
set(ONESETUP_STARTER ${CMAKE_BINARY_DIR}/Starter)
add_custom_command(OUTPUT ${ONESETUP_STARTER}/Project.xml
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ONESETUP_STARTER}
  COMMAND onesetup new ${ONESETUP_STARTER} > ${CMAKE_BINARY_DIR}/Starter.log
  DEPENDS onesetup
  COMMENT "Starter project"
  VERBATIM)
add_custom_target(starter_project ALL DEPENDS ${ONESETUP_STARTER}/Project.xml)

# The Linux layout is the default installation; the Windows one a component of its own, which
# only the zip holds.
install(DIRECTORY ${ONESETUP_STARTER}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/onesetup/starter)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(PROGRAMS ${ONESETUP_WINDOWS_BUILDER} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
install(FILES ${ONESETUP_INSTALLER_STUBS} DESTINATION stubs COMPONENT windows EXCLUDE_FROM_ALL)
install(DIRECTORY ${ONESETUP_STARTER}/ DESTINATION starter COMPONENT windows EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)

# Named here, so that the packages test knows them.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE ONESETUP_DEB_ARCH
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGE_FILE_NAME onesetup-${PROJECT_VERSION}-Linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_ONESETUP_WINDOWS_FILE_NAME onesetup-${PROJECT_VERSION}-win64)
set(CPACK_DEBIAN_FILE_NAME onesetup_${PROJECT_VERSION}_${ONESETUP_DEB_ARCH}.deb)
set(ONESETUP_PACKAGE_FILES ${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_ONESETUP_WINDOWS_FILE_NAME}.zip
  ${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_PACKAGE_FILE_NAME}.tar.gz
  ${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_DEBIAN_FILE_NAME})

set(CPACK_GENERATOR TGZ DEB ZIP)
set(CPACK_PACKAGE_NAME onesetup)
set(CPACK_PACKAGE_VENDOR onesetup)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds branded Windows installers from a project script")
set(CPACK_PACKAGE_CONTACT "onesetup maintainers <onesetup@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ONESETUP_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageGenerator.cmake)
include(CPack)
