# Cross build of the 32-bit Windows launcher with MinGW-w64.
set(LG_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
