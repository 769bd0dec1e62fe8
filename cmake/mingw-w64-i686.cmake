# Cross-compiling for 32-bit Windows with mingw-w64 (i686-w64-mingw32).
#
#   cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#
# The "-win32" builds of the compilers are preferred: their thread model is
# Windows' own, so the image needs no winpthread DLL and nothing that
# Windows XP lacks. The plain names are the fallback when only they exist.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.1)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(LUMENTA_MINGW_PREFIX i686-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${LUMENTA_MINGW_PREFIX}-gcc-win32 ${LUMENTA_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${LUMENTA_MINGW_PREFIX}-g++-win32 ${LUMENTA_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${LUMENTA_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMENTA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
