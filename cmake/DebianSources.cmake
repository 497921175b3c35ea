# zstd and libdeflate for every tree. Linux trees take Debian's libraries (static, so that the
# builder runs where they are not installed). Windows trees compile the C sources of Debian's
# source packages, which tools/bootstrap fetches and this unpacks into the build tree: the
# shipped programs only zstd's decoder, built for size; the Windows builder and the tests all of
# zstd and libdeflate.
set(ONESETUP_DEBIAN_SOURCES ${CMAKE_SOURCE_DIR}/build/debian-sources CACHE PATH
  "Where tools/bootstrap put Debian's source packages of libzstd and libdeflate")

# The unpacked source of the Debian source package NAME, into VAR.
function(onesetup_debian_source NAME VAR)
  set(DIR ${CMAKE_BINARY_DIR}/debian-src/${NAME})
  if(NOT EXISTS ${DIR}/debian)
    file(GLOB DSC ${ONESETUP_DEBIAN_SOURCES}/${NAME}_*.dsc)
    if(NOT DSC)
      message(FATAL_ERROR "No Debian source package of ${NAME} in ${ONESETUP_DEBIAN_SOURCES}: "
                          "run tools/bootstrap")
    endif()
    list(GET DSC -1 DSC)
    file(REMOVE_RECURSE ${DIR})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/debian-src)
    execute_process(COMMAND dpkg-source -x --no-check ${DSC} ${DIR}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/debian-src
      RESULT_VARIABLE RESULT OUTPUT_QUIET ERROR_VARIABLE ERROR)
    if(NOT RESULT EQUAL 0)
      message(FATAL_ERROR "Cannot unpack ${DSC}: ${ERROR}")
    endif()
  endif()
  set(${VAR} ${DIR} PARENT_SCOPE)
endfunction()

if(NOT WIN32)
  find_path(ZSTD_INCLUDE_DIR zstd.h REQUIRED)
  find_library(ONESETUP_ZSTD_LIBRARY NAMES libzstd.a zstd REQUIRED)
  add_library(onesetup_zstd INTERFACE)
  target_include_directories(onesetup_zstd INTERFACE ${ZSTD_INCLUDE_DIR})
  target_link_libraries(onesetup_zstd INTERFACE ${ONESETUP_ZSTD_LIBRARY})
  return()
endif()

onesetup_debian_source(libzstd ZSTD_SOURCE)
set(ZSTD_LIB ${ZSTD_SOURCE}/lib)
set(ZSTD_DECODER_SOURCES
  common/debug.c common/entropy_common.c common/error_private.c common/fse_decompress.c
  common/xxhash.c common/zstd_common.c decompress/huf_decompress.c decompress/zstd_ddict.c
  decompress/zstd_decompress.c decompress/zstd_decompress_block.c)
list(TRANSFORM ZSTD_DECODER_SOURCES PREPEND ${ZSTD_LIB}/)
if(ONESETUP_RELEASE)
  # The decoder alone, as small as it gets: no older formats, no error texts, one Huffman and one
  # sequence decoder, nothing inlined for speed, no checksum.
  list(REMOVE_ITEM ZSTD_DECODER_SOURCES ${ZSTD_LIB}/common/xxhash.c)
  add_library(onesetup_zstd STATIC ${ZSTD_DECODER_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/ZstdNoChecksum.c)
  target_compile_definitions(onesetup_zstd PRIVATE ZSTD_STRIP_ERROR_STRINGS
    HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT ZSTD_NO_INLINE
    ZSTD_NO_UNUSED_FUNCTIONS)
else()
  file(GLOB ZSTD_ENCODER_SOURCES ${ZSTD_LIB}/compress/*.c)
  add_library(onesetup_zstd STATIC ${ZSTD_DECODER_SOURCES} ${ZSTD_ENCODER_SOURCES})
  onesetup_debian_source(libdeflate DEFLATE_SOURCE)
  file(GLOB DEFLATE_SOURCES ${DEFLATE_SOURCE}/lib/*.c ${DEFLATE_SOURCE}/lib/x86/*.c)
  add_library(onesetup_libdeflate STATIC ${DEFLATE_SOURCES})
  target_include_directories(onesetup_libdeflate SYSTEM PUBLIC ${DEFLATE_SOURCE})
  target_compile_options(onesetup_libdeflate PRIVATE -w)
endif()
target_compile_definitions(onesetup_zstd PRIVATE ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM
  DYNAMIC_BMI2=0 ZSTD_NO_TRACE XXH_NAMESPACE=ZSTD_)
target_include_directories(onesetup_zstd SYSTEM PUBLIC ${ZSTD_LIB})
# Not the project's code: its warnings are its maintainers'. No exception passes through it: without
# unwind tables, which refer to every function, the linker drops the functions never called.
target_compile_options(onesetup_zstd PRIVATE -w -fno-asynchronous-unwind-tables -fno-unwind-tables)
