# Cross build for 64-bit Windows with MinGW-w64 (Debian's -posix variant: its
# libstdc++ has std::thread and std::mutex). The runtime is linked statically,
# so vykonar.exe needs no DLL beside it. Tests run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZNX_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian's wine64 package: the loader itself, not the "wine" wrapper script.
find_program(ZNX_WINE64_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT ZNX_WINE64_LOADER)
  find_program(ZNX_WINE64_LOADER NAMES wine64)
endif()
if(ZNX_WINE64_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZNX_WINE64_LOADER})
endif()
