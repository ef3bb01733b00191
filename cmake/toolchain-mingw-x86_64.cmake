# 64-bit cross build of the Windows programs with MinGW-w64: the test build
# for hosts whose kernel runs no 32-bit programs, run under 64-bit Wine. The
# launcher players get stays the 32-bit build.
set(LG_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
