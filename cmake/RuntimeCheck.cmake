# Whether a compiler is one with which the program's own runtime support
# (src/runtime/) was verified. That code stands in for internals of the
# compiler's libraries (their start-up, their exception state, their
# registry of unwind tables), whose layout and names may change with any
# release; src/runtime/README.md lists the releases it was checked against,
# one line each:
#
#   - GCC <version>, libstdc++ <__GLIBCXX__ date>, thread model <model> ...
#
# The version is the compiler's own (its __GNUC__ macros, as CMake reports
# it); the date of the C++ library tells apart releases that a distribution
# builds under one version number.
#
# lumenta_runtime_verified_list(<readme> <out>)
#   <out>: the verified "<version> <date> <model>" triples, as listed.
# lumenta_runtime_verified(<readme> <version> <date> <model> <out>)
#   <out>: TRUE when the triple is listed, else FALSE.
#
# Plain functions of the file and their arguments, so that
# tests/cmake/test_runtime_check.cmake can try them without a compiler.

set(LUMENTA_RUNTIME_VERIFIED_LINE
    "^- GCC ([0-9]+\\.[0-9]+\\.[0-9]+), libstdc\\+\\+ ([0-9]+), thread model ([A-Za-z0-9_]+)")

function(lumenta_runtime_verified_list readme out)
  set(triples "")
  if(EXISTS "${readme}")
    file(STRINGS "${readme}" lines REGEX "${LUMENTA_RUNTIME_VERIFIED_LINE}")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "${LUMENTA_RUNTIME_VERIFIED_LINE}" _ "${line}")
      list(APPEND triples "${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3}")
    endforeach()
  endif()
  set(${out} "${triples}" PARENT_SCOPE)
endfunction()

function(lumenta_runtime_verified readme version date model out)
  lumenta_runtime_verified_list("${readme}" triples)
  if("${version} ${date} ${model}" IN_LIST triples)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()
