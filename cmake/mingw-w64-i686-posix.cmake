# Cross-compiling for 32-bit Windows with the mingw-w64 compilers whose
# thread model is POSIX: test programs whose libraries need the C++ thread
# support (GoogleTest), never the product image.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(LUMENTA_MINGW_PREFIX i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${LUMENTA_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${LUMENTA_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${LUMENTA_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMENTA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
