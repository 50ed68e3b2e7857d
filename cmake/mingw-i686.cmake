# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-i686):
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# The top-level CMakeLists.txt adds -msse2 -mfpmath=sse for this processor, so the 32-bit DLL
# computes in SSE2 registers like the 64-bit builds. This compiler realigns the stack in
# functions that need 16-byte slots (-mstackrealign is its default), so hosts that call with a
# 4-byte-aligned stack are safe.
set(SONQUAD_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# No emulator: 32-bit x86 code cannot run on the build machines, so nothing here is executed.
