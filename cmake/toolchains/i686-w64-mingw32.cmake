# Cross build for 32-bit Windows with MinGW-w64 (-posix variant, static
# runtime). The 32-bit deliverable: built and linked; 32-bit code cannot run
# on these build machines, so its tests are not run here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZNX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
