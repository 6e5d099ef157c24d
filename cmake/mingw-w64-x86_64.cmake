# Cross-builds the plug-ins and their tests as 64-bit Windows programs with the
# mingw-w64 compilers, and runs the tests through wine.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The -posix compilers: the default thread model has no std::mutex, which the
# test host needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VEK_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VEK_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VEK_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VEK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime everywhere: every module and test program imports only the
# system's own DLLs, so wine needs nothing from the compiler's folders.
set(VEK_MINGW_STATIC "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${VEK_MINGW_STATIC}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${VEK_MINGW_STATIC}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${VEK_MINGW_STATIC}")

# The Windows build is the plug-ins and their tests only.
set(VEK_BUILD_STAND_IN OFF CACHE BOOL "" FORCE)

find_program(VEK_WINE NAMES wine wine64)
if(VEK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEK_WINE})
endif()
