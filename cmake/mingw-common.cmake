# Shared part of the mingw-w64 toolchain files; SONQUAD_MINGW_TRIPLE names the target.
#
# The posix thread-model compilers are used: with them std::thread and std::this_thread work
# (the plug-in yields while a set is in use, the test suite starts threads). Their winpthread
# runtime, libgcc and libstdc++ are linked statically, so no binary needs a DLL of the
# toolchain beside it: the plug-in DLL links that way on its own (module/CMakeLists.txt), the
# programs through the flags below.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SONQUAD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SONQUAD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SONQUAD_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SONQUAD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
