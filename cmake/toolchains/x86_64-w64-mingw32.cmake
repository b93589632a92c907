# Cross-compiles the Windows DLLs for 64-bit Windows with mingw-w64.
set(ARCWISE_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
