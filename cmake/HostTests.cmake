# Host build: the logic as a library, the unit tests against the in-memory
# Windows, and (with clang) the fuzz targets.

option(LUMENTA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(LUMENTA_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(LUMENTA_SANITIZE OR LUMENTA_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(LUMENTA_FUZZ)
  # Coverage feedback from the code under test, not only from the targets
  # themselves: without it the fuzzer cannot tell one path of the logic from
  # another.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

add_library(lumenta_logic STATIC ${LUMENTA_LOGIC_SOURCES})
target_include_directories(lumenta_logic PUBLIC ${CMAKE_SOURCE_DIR}/src)

file(GLOB LUMENTA_FAKE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/fake/*.cpp)
add_library(lumenta_fake STATIC ${LUMENTA_FAKE_SOURCES})
target_include_directories(lumenta_fake PUBLIC ${CMAKE_SOURCE_DIR}/tests/unit
                                               ${CMAKE_SOURCE_DIR}/src)

if(LUMENTA_FUZZ)
  file(GLOB LUMENTA_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
  foreach(src ${LUMENTA_FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # The logic and the fake resolve each other's symbols: list both twice.
    target_link_libraries(${name} PRIVATE lumenta_logic lumenta_fake lumenta_logic)
  endforeach()
  return()
endif()

find_package(GTest REQUIRED)
enable_testing()

file(GLOB LUMENTA_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(lumenta_unit_tests ${LUMENTA_UNIT_TESTS})
target_link_libraries(lumenta_unit_tests PRIVATE lumenta_logic lumenta_fake lumenta_logic
                      GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(lumenta_unit_tests DISCOVERY_TIMEOUT 60)

# The platform seam's contract against the in-memory Windows; the same cases
# run against the real API under Wine (cmake/ContractTests.cmake).
file(GLOB LUMENTA_CONTRACT_CASES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/contract/contract_*.cpp)
add_executable(lumenta_contract_tests ${LUMENTA_CONTRACT_CASES}
               ${CMAKE_SOURCE_DIR}/tests/contract/world_fake.cpp)
target_link_libraries(lumenta_contract_tests PRIVATE lumenta_fake GTest::gtest GTest::gtest_main)
