# The -posix compilers by default: GoogleTest needs std::mutex, which the -win32 thread model
# lacks. The installer alone uses no threads and is built with -win32, which spares it the
# pthread library.
if(NOT ONESETUP_THREAD_MODEL)
  set(ONESETUP_THREAD_MODEL posix)
endif()
set(CMAKE_C_COMPILER ${ONESETUP_TRIPLET}-gcc-${ONESETUP_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${ONESETUP_TRIPLET}-g++-${ONESETUP_THREAD_MODEL})
set(CMAKE_RC_COMPILER ${ONESETUP_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ONESETUP_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)
