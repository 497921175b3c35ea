# How the shipped Windows programs are built: included before project() when ONESETUP_RELEASE
# is on, with a MinGW toolchain. Every tree that builds them takes this file and nothing else,
# so the tested program is the one that ships. Forced: a release tree cannot drift from it.
set(CMAKE_BUILD_TYPE MinSizeRel CACHE STRING "" FORCE)
# They use no threads: the win32 thread model spares them the pthread library, and local
# statics need no locks.
set(ONESETUP_THREAD_MODEL win32 CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS "-fno-threadsafe-statics" CACHE STRING "" FORCE)
# They compress only small uninstall data: the built-in deflater spares them zlib's.
set(ONESETUP_LEAN_DEFLATE ON CACHE BOOL "" FORCE)
