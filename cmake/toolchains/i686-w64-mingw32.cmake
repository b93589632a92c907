# Cross-compiles the Windows DLLs for 32-bit Windows with mingw-w64.
set(ARCWISE_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
