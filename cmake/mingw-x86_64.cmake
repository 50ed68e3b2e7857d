# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64):
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(SONQUAD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Test programs run under Wine when it is installed. Debian puts its wine64 loader in Wine's
# own library folder, not on the PATH.
find_program(SONQUAD_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(SONQUAD_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SONQUAD_WINE64})
endif()
