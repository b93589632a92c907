# Helpers for the product's libraries and in-process COM modules, so each
# folder's CMakeLists says what it builds and this file says how on each
# system.

# arcwise_hide_symbols(TARGET): on Linux, nothing of TARGET is visible outside
# the module it is linked into unless marked for export. (Windows DLLs export
# only what their .def file lists, so there is nothing to do there.)
function(arcwise_hide_symbols target)
  if(NOT WIN32)
    target_compile_options(${target} PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden)
  endif()
endfunction()

# arcwise_add_com_module(TARGET NAME EXPORTS_MAP SOURCES...): an in-process
# COM server that exports exactly DllCanUnloadNow, DllGetClassObject,
# DllRegisterServer and DllUnregisterServer. On Linux it is libNAME.so with
# EXPORTS_MAP as its version script; on Windows NAME.dll with its own NAME.def
# (from cmake/ComServer.def.in), linked statically to the C and C++ runtimes
# so it imports system DLLs only.
function(arcwise_add_com_module target name exports_map)
  if(WIN32)
    set(ARCWISE_DEF_LIBRARY ${name})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      # stdcall decoration: '@' and the bytes of arguments.
      set(ARCWISE_STDCALL_ARGS_0 "@0")
      set(ARCWISE_STDCALL_ARGS_12 "@12")
    else()
      set(ARCWISE_STDCALL_ARGS_0 "")
      set(ARCWISE_STDCALL_ARGS_12 "")
    endif()
    set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/ComServer.def.in ${def_file} @ONLY)
    add_library(${target} SHARED ${ARGN} ${def_file})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX "" IMPORT_PREFIX "")
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-undefined)
  else()
    add_library(${target} SHARED ${ARGN})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} LINK_DEPENDS ${exports_map})
    arcwise_hide_symbols(${target})
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--version-script=${exports_map})
  endif()
endfunction()
