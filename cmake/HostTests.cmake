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

add_library(lumenta_logic STATIC ${LUMENTA_LOGIC_SOURCES} ${LUMENTA_FRAME_TABLE_SOURCES})
target_include_directories(lumenta_logic PUBLIC ${CMAKE_SOURCE_DIR}/src)

# The in-memory Windows that the unit tests and fuzz targets link instead of
# the real API: the object a test creates, and one file pair per concern.
set(LUMENTA_FAKE_SOURCES "")
lumenta_sources(LUMENTA_FAKE_SOURCES tests/unit/fake
  FakeWindows.cpp CallLog.cpp Common.cpp Dialogs.cpp Files.cpp Libraries.cpp Registry.cpp
  Resources.cpp Shell.cpp System.cpp)
add_library(lumenta_fake STATIC ${LUMENTA_FAKE_SOURCES})
target_include_directories(lumenta_fake PUBLIC ${CMAKE_SOURCE_DIR}/tests/unit
                                               ${CMAKE_SOURCE_DIR}/src)

if(LUMENTA_FUZZ)
  set(LUMENTA_FUZZ_SOURCES "")
  lumenta_sources(LUMENTA_FUZZ_SOURCES tests/fuzz
    fuzz_base64.cpp fuzz_dotnet_version.cpp fuzz_frame_table.cpp fuzz_fs_path.cpp
    fuzz_readfrom.cpp)
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

set(LUMENTA_UNIT_TESTS "")
lumenta_sources(LUMENTA_UNIT_TESTS tests/unit
  test_app_sequence.cpp
  test_base64.cpp
  test_dotnet_checker.cpp
  test_dotnet_installer.cpp
  test_dotnet_prerequisite.cpp
  test_download_info.cpp
  test_download_info_step.cpp
  test_exception.cpp
  test_exception_stream.cpp
  test_file_write.cpp
  test_frame_table.cpp
  test_freeware_products.cpp
  test_fs_path.cpp
  test_memstream.cpp
  test_product_package.cpp
  test_resources_extractor.cpp
  test_system_library.cpp
  test_temp_folder.cpp
  test_kv_scoped.cpp
  test_text.cpp
  fake_faults.cpp)
add_executable(lumenta_unit_tests ${LUMENTA_UNIT_TESTS})
target_link_libraries(lumenta_unit_tests PRIVATE lumenta_logic lumenta_fake lumenta_logic
                      GTest::gtest GTest::gtest_main)

# The platform seam's contract against the in-memory Windows; the same cases
# run against the real API under Wine (cmake/ContractTests.cmake).
set(LUMENTA_CONTRACT_CASES "")
lumenta_sources(LUMENTA_CONTRACT_CASES tests/contract
  contract_files.cpp contract_modules.cpp contract_registry.cpp contract_shell.cpp world_fake.cpp)
add_executable(lumenta_contract_tests ${LUMENTA_CONTRACT_CASES})
target_link_libraries(lumenta_contract_tests PRIVATE lumenta_fake GTest::gtest GTest::gtest_main)
