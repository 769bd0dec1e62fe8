# The image's start-up and C++ runtime support: the program's own
# (src/runtime/, described in its README.md), or the toolchain's.
#
#   LUMENTA_STOCK_RUNTIME=OFF  (default) the program's own entry point and
#                              exception support; the smaller image
#   LUMENTA_STOCK_RUNTIME=ON   the toolchain's start-up (WinMain), frame
#                              registry, exception state and terminate
#                              handler: none of src/runtime/ but the one
#                              constructor that restricts the DLL search
#
# The program's own pieces stand in for internals of the compiler's
# libraries (their start-up, their exception state, their registry of unwind
# tables), whose layout and names may change with any release. They are used
# only with a compiler in LUMENTA_RUNTIME_VERIFIED below; with any other the
# stock runtime is chosen, and the configure says so.
#
# Sets LUMENTA_RUNTIME (own or stock) and LUMENTA_RUNTIME_LIBRARY, the static
# library that every image links after lumenta_image_objects. Both libraries
# are defined in every configuration (the one not used is never built), so
# that the compile commands hold every source.

option(LUMENTA_STOCK_RUNTIME
  "Build the image with the toolchain's own start-up and runtime support instead of src/runtime/" OFF)

# The compilers the program's own runtime was verified with (how: in
# src/runtime/README.md), each as "<version> <libstdc++ date> <thread model>":
# the version as CMake reports it (the __GNUC__ macros), the date of the C++
# library (__GLIBCXX__), which tells apart releases that a distribution
# builds under one version number, and the thread model of `g++ -v`.
set(LUMENTA_RUNTIME_VERIFIED
  "12.0.0 20220819 win32"   # Debian 12: g++-mingw-w64-i686-win32 12.2.0-14+deb12u1+25.2+b1
  "14.0.0 20250315 win32")  # Debian 13: g++-mingw-w64-i686-win32 14.2.0-19+27+b1

# A part that cannot be read stays empty, and the identity then matches none.
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -v ERROR_VARIABLE verbose OUTPUT_QUIET)
string(REGEX MATCH "Thread model: ([A-Za-z0-9_]+)" _ "${verbose}")
set(threads "${CMAKE_MATCH_1}")
set(probe "${CMAKE_BINARY_DIR}/CMakeFiles/lumenta_glibcxx.cpp")
file(WRITE "${probe}" "#include <cstddef>\nlumenta_glibcxx __GLIBCXX__\n")
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -E -P "${probe}" OUTPUT_VARIABLE date ERROR_QUIET)
string(REGEX MATCH "lumenta_glibcxx ([0-9]+)" _ "${date}")
set(LUMENTA_COMPILER_IDENTITY "${CMAKE_CXX_COMPILER_VERSION} ${CMAKE_MATCH_1} ${threads}")

if(LUMENTA_STOCK_RUNTIME)
  set(LUMENTA_RUNTIME stock)
  message(STATUS "Runtime: the toolchain's own (LUMENTA_STOCK_RUNTIME=ON)")
elseif(LUMENTA_COMPILER_IDENTITY IN_LIST LUMENTA_RUNTIME_VERIFIED)
  set(LUMENTA_RUNTIME own)
  message(STATUS "Runtime: the program's own (src/runtime/), verified with GCC "
                 "${LUMENTA_COMPILER_IDENTITY}")
else()
  set(LUMENTA_RUNTIME stock)
  list(JOIN LUMENTA_RUNTIME_VERIFIED "; " verified)
  message(NOTICE "Runtime: GCC ${LUMENTA_COMPILER_IDENTITY} is not a compiler that "
                 "LUMENTA_RUNTIME_VERIFIED in cmake/Runtime.cmake lists (${verified}): building "
                 "with the toolchain's own runtime, as with LUMENTA_STOCK_RUNTIME=ON.")
endif()

# ---- The program's own ---------------------------------------------------------------------

set(LUMENTA_OWN_RUNTIME_SOURCES ${LUMENTA_FRAME_TABLE_SOURCES})
lumenta_sources(LUMENTA_OWN_RUNTIME_SOURCES src/runtime/win32
  Startup.cpp ExceptionSupport.cpp ThrowHelpers.cpp TerminateHandler.cpp StringReplace.cpp)
add_library(lumenta_runtime_own STATIC EXCLUDE_FROM_ALL ${LUMENTA_OWN_RUNTIME_SOURCES})
lumenta_image_compile_options(lumenta_runtime_own)
target_link_options(lumenta_runtime_own INTERFACE
  # The entry point is the program's own (src/runtime/win32/Startup.cpp),
  # not the C runtime's start-up code.
  -nostartfiles
  # That entry point does not relocate imported data at run time: a
  # reference to a DLL's variable that is not declared as imported must fail
  # the link instead of giving an image that reads the wrong address.
  "LINKER:--disable-auto-import")

# ---- The toolchain's ------------------------------------------------------------------------

set(LUMENTA_STOCK_RUNTIME_SOURCES "")
lumenta_sources(LUMENTA_STOCK_RUNTIME_SOURCES src/runtime/win32 StockStartup.cpp)
add_library(lumenta_runtime_stock STATIC EXCLUDE_FROM_ALL ${LUMENTA_STOCK_RUNTIME_SOURCES})
lumenta_image_compile_options(lumenta_runtime_stock)

set(LUMENTA_RUNTIME_LIBRARY lumenta_runtime_${LUMENTA_RUNTIME})
set_property(TARGET ${LUMENTA_RUNTIME_LIBRARY} PROPERTY EXCLUDE_FROM_ALL FALSE)

# ---- The guard against data imports, proved on this linker -------------------------------

# The same link twice: a plain reference to a DLL's variable must be refused,
# and the same reference declared as imported must be taken (else the refusal
# would prove nothing).
if(LUMENTA_RUNTIME STREQUAL "own")
  foreach(probe plain declared)
    try_compile(LUMENTA_DATA_IMPORT_${probe}
      SOURCES "${CMAKE_SOURCE_DIR}/cmake/probes/data_import_${probe}.c"
      LINK_OPTIONS -static -mwindows -nostartfiles "LINKER:--disable-auto-import"
      OUTPUT_VARIABLE LUMENTA_DATA_IMPORT_${probe}_LOG
      NO_CACHE)
  endforeach()
  # Refused by the guard, which names the variable, and not for another
  # reason (without the guard the link may also fail, on the relocation
  # code that the start-up leaves out, or succeed when something else
  # brings that code in).
  if(LUMENTA_DATA_IMPORT_plain OR NOT LUMENTA_DATA_IMPORT_declared
     OR NOT LUMENTA_DATA_IMPORT_plain_LOG MATCHES "undefined reference to `_osver'"
     OR LUMENTA_DATA_IMPORT_plain_LOG MATCHES "pei386_runtime_relocator")
    message(FATAL_ERROR "The link guard against data imports does not work with this linker "
      "(a plain data import linked: ${LUMENTA_DATA_IMPORT_plain}; a declared one linked: "
      "${LUMENTA_DATA_IMPORT_declared}).\n${LUMENTA_DATA_IMPORT_plain_LOG}\n"
      "${LUMENTA_DATA_IMPORT_declared_LOG}")
  endif()
  message(STATUS "Runtime: a data import that needs run-time relocation fails the link")
endif()

# ---- The stock runtime's imports, against Windows XP ---------------------------------------

# The toolchain's own runtime may call functions that Windows XP lacks (GCC 14's
# thread layer calls GetThreadId): the image would then not start on the
# system it declares. A probe that asks of that runtime what the image asks
# is linked, and its imports are compared with the list of XP's exports.
if(LUMENTA_RUNTIME STREQUAL "stock")
  set(probe "${CMAKE_BINARY_DIR}/CMakeFiles/lumenta_stock_imports.exe")
  try_compile(LUMENTA_STOCK_PROBE SOURCES "${CMAKE_SOURCE_DIR}/cmake/probes/stock_imports.cpp"
    LINK_OPTIONS -static -mwindows COPY_FILE "${probe}" OUTPUT_VARIABLE log NO_CACHE)
  if(NOT LUMENTA_STOCK_PROBE)
    message(FATAL_ERROR "A program with the toolchain's own runtime does not link:\n${log}")
  endif()
  execute_process(COMMAND "${CMAKE_SOURCE_DIR}/cmake/check_runtime_link.py" --xp-imports
                  "${probe}" OUTPUT_VARIABLE missing OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  if(missing)
    message(NOTICE "Runtime: the toolchain's own runtime of GCC ${LUMENTA_COMPILER_IDENTITY} "
                   "gives an image that needs a later Windows than the 5.1 it declares (its "
                   "imports ${missing}).")
  endif()
endif()

# lumenta_runtime_link(<target>): links the runtime library into the image
# <target> and checks, after each link, from the linker's map, that the
# runtime pieces came from where this configuration says
# (cmake/check_runtime_link.py). Every member of the library is linked, as
# an object would be, before the toolchain's libraries are searched: each
# replaced symbol is then defined before anything can ask for it, and the
# map names the members by the library's file, whatever way the generator
# hands the image's own objects to the linker.
function(lumenta_runtime_link target)
  target_link_libraries(${target} PRIVATE
    "$<LINK_LIBRARY:WHOLE_ARCHIVE,${LUMENTA_RUNTIME_LIBRARY}>")
  set(map "${CMAKE_CURRENT_BINARY_DIR}/${target}.resources/${target}.map")
  target_link_options(${target} PRIVATE "LINKER:-Map=${map}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/cmake/check_runtime_link.py"
            --runtime "${LUMENTA_RUNTIME}" "${map}"
    VERBATIM)
endfunction()
