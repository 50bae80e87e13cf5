# Cross-compiles the plug-ins and the Windows test host for 64-bit Windows:
# the same sources as the 32-bit DLLs, in a form that 64-bit Wine runs.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
