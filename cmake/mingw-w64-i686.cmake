# Cross-compiling for 32-bit Windows with mingw-w64 (i686-w64-mingw32).
#
#   cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#
# LUMENTA_MINGW_THREADS chooses the compilers by their thread model:
#   win32  (default) Windows' own, for the image: it needs no winpthread DLL
#          and nothing that Windows XP lacks. The plain names are the
#          fallback when only they exist.
#   posix  for test programs whose libraries need the C++ thread support
#          (GoogleTest needs std::mutex), never for the product image.
# The choice is made when a build folder is first configured: its compilers
# stay what they were then.
set(LUMENTA_MINGW_THREADS win32 CACHE STRING "Thread model of the mingw-w64 compilers: win32 or posix")
set_property(CACHE LUMENTA_MINGW_THREADS PROPERTY STRINGS win32 posix)
# The checks' own projects read this file again and must find the same compilers.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LUMENTA_MINGW_THREADS)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.1)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(LUMENTA_MINGW_PREFIX i686-w64-mingw32)

if(LUMENTA_MINGW_THREADS STREQUAL "win32")
  set(c_names ${LUMENTA_MINGW_PREFIX}-gcc-win32 ${LUMENTA_MINGW_PREFIX}-gcc)
  set(cxx_names ${LUMENTA_MINGW_PREFIX}-g++-win32 ${LUMENTA_MINGW_PREFIX}-g++)
elseif(LUMENTA_MINGW_THREADS STREQUAL "posix")
  # No fallback: the plain names may be the Windows-thread compilers.
  set(c_names ${LUMENTA_MINGW_PREFIX}-gcc-posix)
  set(cxx_names ${LUMENTA_MINGW_PREFIX}-g++-posix)
else()
  message(FATAL_ERROR "LUMENTA_MINGW_THREADS is \"${LUMENTA_MINGW_THREADS}\": win32 or posix")
endif()

find_program(CMAKE_C_COMPILER NAMES ${c_names} REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${cxx_names} REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${LUMENTA_MINGW_PREFIX}-windres REQUIRED)
unset(c_names)
unset(cxx_names)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMENTA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
