# Cross build for 32-bit Windows with mingw-w64: the shipped program.
set(TALVO_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
