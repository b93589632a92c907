# What the two mingw-w64 toolchain files share; each sets ARCWISE_MINGW_ARCH
# (x86_64 or i686) and includes this. Debian's compilers with posix threads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ARCWISE_MINGW_ARCH})
set(ARCWISE_MINGW_TRIPLE ${ARCWISE_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${ARCWISE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ARCWISE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ARCWISE_MINGW_TRIPLE}-windres)

# Libraries and headers come from the target's sysroot only, never the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${ARCWISE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Should anything ask pkg-config, it sees the sysroot's .pc files alone.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${ARCWISE_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
