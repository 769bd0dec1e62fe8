cmake_minimum_required(VERSION 3.25)
# The configure step's choice between the program's own runtime and the
# toolchain's, tried on lists of verified compilers without a compiler.
#
#   cmake -P tests/cmake/test_runtime_check.cmake
#
# Ends with "runtime-check: N passed, N failed".
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/RuntimeCheck.cmake")

set(passed 0)
set(failed 0)
macro(expect name actual expected)
  if("${actual}" STREQUAL "${expected}")
    math(EXPR passed "${passed} + 1")
    message(STATUS "PASS ${name}")
  else()
    math(EXPR failed "${failed} + 1")
    message(STATUS "FAIL ${name}: ${actual}, expected ${expected}")
  endif()
endmacro()

set(dir "${CMAKE_CURRENT_BINARY_DIR}/lumenta-runtime-check")
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${dir}/README.md"
  "# Runtime\n\n"
  "Verified with:\n\n"
  "- GCC 12.0.0, libstdc++ 20220819, thread model win32 (a distribution's build)\n"
  "- GCC 13.2.0, libstdc++ 20230727, thread model win32\n"
  "  - GCC 9.9.9, libstdc++ 1, thread model win32 (indented: a note, not an entry)\n"
  "Text that mentions GCC 14.1.0, libstdc++ 2, thread model win32 in passing.\n")

# version date model -> verified
set(cases
  "12.0.0 20220819 win32 TRUE"
  "13.2.0 20230727 win32 TRUE"
  "12.0.0 20230727 win32 FALSE"   # another C++ library under the same version
  "12.0.0 20220819 posix FALSE"   # another thread model
  "12.2.0 20220819 win32 FALSE"   # another version with the same library
  "12.0 20220819 win32 FALSE"
  "9.9.9 1 win32 FALSE"
  "14.1.0 2 win32 FALSE"
  "unknown unknown unknown FALSE")
foreach(case IN LISTS cases)
  string(REPLACE " " ";" f "${case}")
  list(GET f 0 version)
  list(GET f 1 date)
  list(GET f 2 model)
  list(GET f 3 want)
  lumenta_runtime_verified("${dir}/README.md" "${version}" "${date}" "${model}" got)
  expect("${version} ${date} ${model}" "${got}" "${want}")
endforeach()

lumenta_runtime_verified("${dir}/missing.md" 12.0.0 20220819 win32 got)
expect("no README: nothing is verified" "${got}" FALSE)

# The project's own list names at least one compiler, in the form read.
lumenta_runtime_verified_list("${CMAKE_CURRENT_LIST_DIR}/../../src/runtime/README.md" listed)
list(LENGTH listed count)
if(count GREATER 0)
  expect("src/runtime/README.md lists a compiler" TRUE TRUE)
else()
  expect("src/runtime/README.md lists a compiler" FALSE TRUE)
endif()

file(REMOVE_RECURSE "${dir}")
message("runtime-check: ${passed} passed, ${failed} failed")
if(failed GREATER 0)
  message(FATAL_ERROR "runtime-check failed")
endif()
