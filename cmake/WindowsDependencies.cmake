# What the Windows build links besides the system: zlib from the mingw-w64
# sysroot (Debian's libz-mingw-w64-dev) and minizip, which Debian does not
# build for mingw: scripts/build-minizip-mingw.sh compiles it from Debian's own
# source package into ARCWISE_MINIZIP_ROOT. pkg-config is not used at all here,
# so the host's Linux .pc files can never leak into a Windows link.
set(ARCWISE_MINIZIP_ROOT "" CACHE PATH "Prefix of minizip built for this target (include/minizip, lib)")
if(NOT ARCWISE_MINIZIP_ROOT)
  message(FATAL_ERROR "ARCWISE_MINIZIP_ROOT is not set: run scripts/build-windows.sh, "
                      "which builds minizip for the target first")
endif()

find_library(ARCWISE_ZLIB_LIBRARY NAMES libz.a z REQUIRED)
find_path(ARCWISE_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
find_library(ARCWISE_MINIZIP_LIBRARY NAMES libminizip.a PATHS ${ARCWISE_MINIZIP_ROOT}/lib
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

add_library(arcwise_minizip INTERFACE)
target_include_directories(arcwise_minizip SYSTEM INTERFACE ${ARCWISE_MINIZIP_ROOT}/include
                                                            ${ARCWISE_ZLIB_INCLUDE_DIR})
target_link_libraries(arcwise_minizip INTERFACE ${ARCWISE_MINIZIP_LIBRARY} ${ARCWISE_ZLIB_LIBRARY})
