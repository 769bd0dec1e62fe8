# The platform seam's contract suite (tests/contract/) against the real API,
# for running under Wine: ${CMAKE_BINARY_DIR}/contract/lumenta_contract_tests.exe,
# made by the target lumenta_contract_win, which lumenta_e2e_programs depends
# on. Included only with LUMENTA_BUILD_TESTS.
#
# The suite is a project of its own (tests/contract/CMakeLists.txt), built as
# an external project with the POSIX-thread compilers (the toolchain file's
# LUMENTA_MINGW_THREADS=posix): GoogleTest needs std::mutex, which the
# image's Windows-thread compilers do not have. Its sources are looked at on
# every build of the target, so that a change to a case rebuilds it.
# The same cases run on the host against the in-memory Windows
# (lumenta_contract_tests in cmake/HostTests.cmake).

set(LUMENTA_GTEST_DIR "/usr/src/googletest/googletest" CACHE PATH
    "GoogleTest's sources, built with the contract suite for Windows")

include(ExternalProject)
ExternalProject_Add(lumenta_contract_win
  SOURCE_DIR "${CMAKE_SOURCE_DIR}/tests/contract"
  BINARY_DIR "${CMAKE_BINARY_DIR}/contract"
  CMAKE_ARGS
    "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-i686.cmake"
    -DLUMENTA_MINGW_THREADS=posix
    -DCMAKE_BUILD_TYPE=Release
    "-DLUMENTA_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    "-DLUMENTA_GTEST_DIR=${LUMENTA_GTEST_DIR}"
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${CMAKE_BINARY_DIR}/contract/lumenta_contract_tests.exe")
add_dependencies(lumenta_e2e_programs lumenta_contract_win)
