# Cross build for 64-bit Windows with mingw-w64: the same program for machines whose Wine cannot
# start 32-bit programs (tests, demo, benchmarks).
set(TALVO_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
