# The Windows image: the bootstrapper executable and its variants.
#
# The code is compiled once, into lumenta_image_objects. Every executable,
# the product and each variant with other payloads, is then only its own
# resource script (windres) and a link:
#
#   lumenta_add_bootstrapper(<target> MSI <file> EXE <file> NOTE <file>
#                            [OUTPUT_NAME <name>])
#
# The image runs on Windows XP (5.1) and later: it imports nothing but the
# system DLLs that every such Windows has (kernel32, user32, advapi32,
# shell32, msvcrt), links its C and C++ runtimes statically, and loads
# msi.dll and mscoree.dll at run time instead of importing them.

enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(LUMENTA_RESOURCES_DIR "${CMAKE_SOURCE_DIR}/resources")
set(LUMENTA_RC_TEMPLATE "${LUMENTA_RESOURCES_DIR}/LumentaSetupBoot.rc.in")
set(LUMENTA_MANIFEST "${LUMENTA_RESOURCES_DIR}/LumentaSetupBoot.manifest")
set(LUMENTA_ICON "${LUMENTA_RESOURCES_DIR}/LumentaSetupBoot.ico")

# ---- The code, compiled once -------------------------------------------------

# The logic and the Windows implementation of its seam, and the executable's
# own sources (src/exe/): its entry point and the one application object,
# which belong to the image only (the unit tests make their own).
set(LUMENTA_IMAGE_SOURCES ${LUMENTA_LOGIC_SOURCES})
lumenta_sources(LUMENTA_IMAGE_SOURCES src/platform/win32 Win32Platform.cpp)
lumenta_sources(LUMENTA_IMAGE_SOURCES src/exe WinMain.cpp TheApp.cpp)

# lumenta_image_compile_options(<target>): how the image's code is compiled.
function(lumenta_image_compile_options target)
  target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  # Release is built for size. The configuration's own -O3 comes first on
  # the command line; the later -Os is the one that counts. Exceptions stay
  # on: the logic reports failures by throwing.
  set(size_configs "$<CONFIG:Release,MinSizeRel>")
  target_compile_options(${target} PRIVATE
    "$<$<CONFIG:Release>:-Os>"
    "$<${size_configs}:-ffunction-sections;-fdata-sections>"
    # No run-time type information beyond what exceptions need (the
    # compiler still emits that for every thrown type): nothing asks for a
    # type by typeid or dynamic_cast, and the descriptions of the classes
    # that derive from library types drag in the library's
    # multiple-inheritance support.
    -fno-rtti
    # No compiler identification string in every object.
    -fno-ident)
endfunction()

add_library(lumenta_image_objects OBJECT ${LUMENTA_IMAGE_SOURCES})
lumenta_image_compile_options(lumenta_image_objects)
set(LUMENTA_SIZE_CONFIGS "$<CONFIG:Release,MinSizeRel>")

# Link options travel with the objects to every executable made of them.
target_link_options(lumenta_image_objects INTERFACE
  # libgcc, libstdc++ and the mingw-w64 runtime are linked in: no DLL of the
  # compiler's may be needed beside the executable.
  -static
  # Windows XP is the oldest system the image declares.
  "-Wl,--major-os-version,5,--minor-os-version,1"
  "-Wl,--major-subsystem-version,5,--minor-subsystem-version,1"
  # Later systems' defaults, stated rather than inherited from binutils;
  # systems that do not know the flags ignore them.
  "-Wl,--dynamicbase,--nxcompat,--tsaware"
  # Exceptions are table-driven and no structured-exception frame is ever
  # registered, so no handler may be in this image: an overwritten frame
  # record pointing into it is refused.
  "-Wl,--no-seh"
  # The usual file alignment. The resource section alone is moved to a
  # page-aligned file offset after the link (page_align_resources.py), so
  # that Wine, and Windows, map it instead of reading it into memory at load
  # time: with payloads of many megabytes that halves the start-up cost.
  # Aligning every section to a page instead costs up to a page of padding
  # each, a quarter of the stub.
  "-Wl,--file-alignment,512"
  # The same sources and payloads give the same bytes.
  "-Wl,--no-insert-timestamp"
  "$<${LUMENTA_SIZE_CONFIGS}:-Wl,--gc-sections;-s>")

# The start-up and runtime support: the program's own or the toolchain's.
include(cmake/Runtime.cmake)
# What the payloads may be (lumenta_check_payloads).
include(cmake/PayloadBounds.cmake)

# ---- The build's manifest ----------------------------------------------------

# ${CMAKE_BINARY_DIR}/manifest.json names what the build made and what it made
# it from, for the scripts that check and run it (tools/test, tests/image/,
# the end-to-end runner, the bench):
#
#   lumenta_manifest(<key>... <value>)
#
# sets the member at that path of keys (objects are made as needed) to the
# string <value>, which may hold generator expressions; a value of digits
# alone is written as a number. The file is written at the end of this one.
function(lumenta_manifest)
  list(POP_BACK ARGN value)
  list(POP_BACK ARGN key)
  get_property(json GLOBAL PROPERTY LUMENTA_MANIFEST_JSON)
  if(NOT json)
    set(json "{}")
  endif()
  set(parents "")
  foreach(parent IN LISTS ARGN)
    string(JSON kind ERROR_VARIABLE missing TYPE "${json}" ${parents} ${parent})
    if(missing)
      string(JSON json SET "${json}" ${parents} ${parent} "{}")
    endif()
    list(APPEND parents ${parent})
  endforeach()
  if(NOT value MATCHES "^[0-9]+$")
    set(value "\"${value}\"")
  endif()
  string(JSON json SET "${json}" ${parents} ${key} "${value}")
  set_property(GLOBAL PROPERTY LUMENTA_MANIFEST_JSON "${json}")
endfunction()

# ---- One executable ----------------------------------------------------------------

# lumenta_add_resources(<target> MSI <file> EXE <file> NOTE <file>)
#
# Adds to <target> the image's resource script: the manifest (RT_MANIFEST 1),
# the version resource, icon group 128, and, byte for byte, "MSI" 130 = MSI,
# "EXE" 134 = EXE and "KvR" 10 = NOTE. Relative file names are taken from the
# calling directory's source folder. The target compiles nothing else: windres
# takes none of the compiler's warning options that the directory sets. A
# change to any payload re-runs windres for this target only.
function(lumenta_add_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MSI;EXE;NOTE" "")
  foreach(kind MSI EXE NOTE)
    if(NOT arg_${kind})
      message(FATAL_ERROR "lumenta_add_resources(${target}): ${kind} <file> is required")
    endif()
    get_filename_component(path "${arg_${kind}}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    # The path is written into a resource script as a string literal.
    if(path MATCHES "[\"\\\\]")
      message(FATAL_ERROR "lumenta_add_resources(${target}): ${kind} path must not "
                          "contain a quote or a backslash: ${path}")
    endif()
    set(LUMENTA_RC_${kind} "${path}")
  endforeach()

  set(LUMENTA_RC_MANIFEST "${LUMENTA_MANIFEST}")
  set(LUMENTA_RC_ICON "${LUMENTA_ICON}")
  set(LUMENTA_RC_VERSION_DOTS "${PROJECT_VERSION}")
  string(REPLACE "." "," LUMENTA_RC_VERSION_COMMAS "${PROJECT_VERSION}")

  # Written only when its text changes, so that a new configuration alone
  # rebuilds nothing.
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.resources/${target}.rc")
  configure_file("${LUMENTA_RC_TEMPLATE}" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
  set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "")

  # windres reads these files itself; the build system sees only the
  # script unless told.
  set_property(SOURCE "${rc}" PROPERTY OBJECT_DEPENDS
    "${LUMENTA_RC_MSI}" "${LUMENTA_RC_EXE}" "${LUMENTA_RC_NOTE}"
    "${LUMENTA_MANIFEST}" "${LUMENTA_ICON}")

  # Payloads made by this build are made before the script is compiled.
  if(TARGET lumenta_sample_payloads)
    foreach(kind MSI EXE NOTE)
      if(LUMENTA_RC_${kind} IN_LIST LUMENTA_SAMPLE_PAYLOAD_FILES)
        add_dependencies(${target} lumenta_sample_payloads)
        break()
      endif()
    endforeach()
  endif()
endfunction()

# lumenta_add_bootstrapper(<target> MSI <file> EXE <file> NOTE <file>
#                          [OUTPUT_NAME <name>] [RESOURCES_UNALIGNED])
#
# Makes the GUI executable <target> (file <name>.exe, by default
# <target>.exe, in the calling directory's binary folder) from the compiled
# code and the resources of lumenta_add_resources. The resource section is
# page-aligned in the file after the link unless RESOURCES_UNALIGNED is given
# (the bench's comparison).
function(lumenta_add_bootstrapper target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "RESOURCES_UNALIGNED" "MSI;EXE;NOTE;OUTPUT_NAME" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "lumenta_add_bootstrapper(${target}): unknown arguments: "
                        "${arg_UNPARSED_ARGUMENTS}")
  endif()
  add_executable(${target} WIN32)
  lumenta_add_resources(${target} MSI "${arg_MSI}" EXE "${arg_EXE}" NOTE "${arg_NOTE}")
  target_link_libraries(${target} PRIVATE lumenta_image_objects)
  lumenta_runtime_link(${target})
  if(arg_OUTPUT_NAME)
    set_property(TARGET ${target} PROPERTY OUTPUT_NAME "${arg_OUTPUT_NAME}")
  endif()
  if(NOT arg_RESOURCES_UNALIGNED)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${CMAKE_SOURCE_DIR}/cmake/page_align_resources.py" "$<TARGET_FILE:${target}>"
      VERBATIM)
  endif()
  set(payloads "")
  foreach(kind MSI EXE NOTE)
    get_filename_component(path "${arg_${kind}}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND payloads "${path}")
  endforeach()
  lumenta_check_payloads(${target} ${payloads})
endfunction()

# ---- The product ----------------------------------------------------------------------

option(LUMENTA_BUILD_TESTS
  "Build the programs of the end-to-end tests, the planted DLLs and the bench's images" OFF)
option(LUMENTA_BENCH "Build the bench's images (tools/bench), with the tests' programs" OFF)
# The bench runs on the tests' programs (the stand-in runtime shim among
# them).
if(LUMENTA_BENCH AND NOT LUMENTA_BUILD_TESTS)
  message(STATUS "LUMENTA_BENCH=ON builds the tests' programs too (LUMENTA_BUILD_TESTS)")
  set(LUMENTA_BUILD_TESTS ON)
endif()

# The payloads: a file given for each, or the sample that the build makes
# from payloads/ (cmake/Payloads.cmake). Only the samples that are used are
# made: those standing in for a payload not given, and, for the tests'
# variants of the image, all three.
set(LUMENTA_SAMPLE_DIR "${CMAKE_BINARY_DIR}/payloads")
set(LUMENTA_SAMPLE_MSI "${LUMENTA_SAMPLE_DIR}/Lumenta.msi")
set(LUMENTA_SAMPLE_DOTNET_SETUP "${LUMENTA_SAMPLE_DIR}/dotnet_standin.exe")
set(LUMENTA_SAMPLE_NOTE "${LUMENTA_SAMPLE_DIR}/source_note.bin")

set(LUMENTA_PACKAGE_MSI "${LUMENTA_SAMPLE_MSI}" CACHE FILEPATH
  "Windows Installer package of the product, held as resource MSI 130")
set(LUMENTA_DOTNET_SETUP "${LUMENTA_SAMPLE_DOTNET_SETUP}" CACHE FILEPATH
  ".NET Framework 4.0 web installer, held as resource EXE 134")
set(LUMENTA_SOURCE_NOTE "${LUMENTA_SAMPLE_NOTE}" CACHE FILEPATH
  "Install-source note (UTF-16LE text), held as resource KvR 10")

set(LUMENTA_SAMPLES "")
foreach(kind MSI DOTNET_SETUP NOTE)
  set(given "${LUMENTA_PACKAGE_MSI}")
  if(kind STREQUAL "DOTNET_SETUP")
    set(given "${LUMENTA_DOTNET_SETUP}")
  elseif(kind STREQUAL "NOTE")
    set(given "${LUMENTA_SOURCE_NOTE}")
  endif()
  if(LUMENTA_BUILD_TESTS OR given STREQUAL LUMENTA_SAMPLE_${kind})
    list(APPEND LUMENTA_SAMPLES ${kind})
  endif()
endforeach()
message(STATUS "Payloads: package ${LUMENTA_PACKAGE_MSI}, framework installer "
               "${LUMENTA_DOTNET_SETUP}, note ${LUMENTA_SOURCE_NOTE}")
include(cmake/Payloads.cmake)

lumenta_add_bootstrapper(LumentaSetupBoot
  MSI "${LUMENTA_PACKAGE_MSI}"
  EXE "${LUMENTA_DOTNET_SETUP}"
  NOTE "${LUMENTA_SOURCE_NOTE}")

lumenta_manifest(product "$<TARGET_FILE:LumentaSetupBoot>")
lumenta_manifest(version "${PROJECT_VERSION}")
foreach(var PACKAGE_MSI DOTNET_SETUP SOURCE_NOTE SAMPLE_MSI SAMPLE_DOTNET_SETUP SAMPLE_NOTE)
  string(TOLOWER "${var}" key)
  lumenta_manifest(${key} "${LUMENTA_${var}}")
endforeach()

# The product image's own checks (headers, imports, resources), which
# tools/test runs:
#   cmake --build <dir> --target lumenta_check_image
add_custom_target(lumenta_check_image
  COMMAND "${CMAKE_SOURCE_DIR}/tests/image/check_image.py" "$<TARGET_FILE:LumentaSetupBoot>"
          --version "${PROJECT_VERSION}"
          --msi "${LUMENTA_PACKAGE_MSI}"
          --exe "${LUMENTA_DOTNET_SETUP}"
          --note "${LUMENTA_SOURCE_NOTE}"
  DEPENDS LumentaSetupBoot
  COMMENT "Checking the LumentaSetupBoot image"
  VERBATIM)

include(cmake/Signing.cmake)

if(LUMENTA_BUILD_TESTS)
  include(cmake/E2ePrograms.cmake)
  include(cmake/PlantingPrograms.cmake)
  include(cmake/Bench.cmake)
  include(cmake/ContractTests.cmake)
endif()

get_property(json GLOBAL PROPERTY LUMENTA_MANIFEST_JSON)
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/manifest.json" CONTENT "${json}\n")
