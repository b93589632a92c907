# What the Windows build links besides the system: zlib from the mingw-w64
# sysroot (Debian's libz-mingw-w64-dev), and minizip and libdeflate, which
# Debian does not build for mingw: scripts/build-archive-libraries-mingw.sh
# compiles them from Debian's own source packages into
# ARCWISE_ARCHIVE_LIBRARIES_ROOT. pkg-config is not used at all here, so the
# host's Linux .pc files can never leak into a Windows link.
set(ARCWISE_ARCHIVE_LIBRARIES_ROOT "" CACHE PATH
    "Prefix of minizip and libdeflate built for this target (include, lib)")
if(NOT ARCWISE_ARCHIVE_LIBRARIES_ROOT)
  message(FATAL_ERROR "ARCWISE_ARCHIVE_LIBRARIES_ROOT is not set: run scripts/build-windows.sh, "
                      "which builds minizip and libdeflate for the target first")
endif()

find_library(ARCWISE_ZLIB_LIBRARY NAMES libz.a z REQUIRED)
find_path(ARCWISE_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
find_library(ARCWISE_MINIZIP_LIBRARY NAMES libminizip.a PATHS ${ARCWISE_ARCHIVE_LIBRARIES_ROOT}/lib
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_library(ARCWISE_LIBDEFLATE_LIBRARY NAMES libdeflate.a PATHS ${ARCWISE_ARCHIVE_LIBRARIES_ROOT}/lib
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

add_library(arcwise_minizip INTERFACE)
target_include_directories(arcwise_minizip SYSTEM INTERFACE ${ARCWISE_ARCHIVE_LIBRARIES_ROOT}/include
                                                            ${ARCWISE_ZLIB_INCLUDE_DIR})
target_link_libraries(arcwise_minizip INTERFACE ${ARCWISE_MINIZIP_LIBRARY} ${ARCWISE_LIBDEFLATE_LIBRARY}
                                                ${ARCWISE_ZLIB_LIBRARY})
