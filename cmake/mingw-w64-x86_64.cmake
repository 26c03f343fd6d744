# Cross-builds the archive store, brimlet-cli and their tests for 64-bit
# Windows with Debian's mingw-w64 (the "posix" thread model, which std::thread
# and GoogleTest need). Everything links statically: the .exe files need no
# DLL beside them. Tests run under wine through CMAKE_CROSSCOMPILING_EMULATOR.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(BRIMLET_WINE NAMES wine wine64)
if(BRIMLET_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRIMLET_WINE})
endif()
