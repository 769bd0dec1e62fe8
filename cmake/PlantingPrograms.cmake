# Programs of the DLL-planting scenarios (tests/e2e/test_planting.py), built
# with the Windows image into ${CMAKE_BINARY_DIR}/e2e/planting by the target
# lumenta_planting_programs (part of the default build):
#
#   msi.dll, mscoree.dll, version.dll, dwmapi.dll
#                     planted stand-ins under system DLL names, each of which
#                     leaves a marker file when it is loaded or called
#                     (tests/e2e/planting/planted.h)
#   loadbyname.exe    loads DLLs by bare name: proves that Wine does load a
#                     planted DLL from beside a program that lets it
#   atentry.exe       imports user32 and names the DLLs already loaded when
#                     its code starts: what the loader brings in by itself
#
# The "planting" object of the build's manifest.json tells the scenarios
# where they are.

set(LUMENTA_PLANTING_SOURCE_DIR "${CMAKE_SOURCE_DIR}/tests/e2e/planting")
set(LUMENTA_PLANTING_BINARY_DIR "${CMAKE_BINARY_DIR}/e2e/planting")
file(MAKE_DIRECTORY "${LUMENTA_PLANTING_BINARY_DIR}")

add_custom_target(lumenta_planting_programs ALL)
set(LUMENTA_PLANTED_DLLS msi mscoree version dwmapi)
foreach(name ${LUMENTA_PLANTED_DLLS})
  set(target "lumenta_planted_${name}")
  add_library(${target} SHARED
    "${LUMENTA_PLANTING_SOURCE_DIR}/${name}.c"
    "${LUMENTA_PLANTING_SOURCE_DIR}/${name}.def")
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME "${name}"
    RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_PLANTING_BINARY_DIR}"
    # Import libraries apart from those of other DLLs of the same name.
    ARCHIVE_OUTPUT_DIRECTORY "${LUMENTA_PLANTING_BINARY_DIR}/lib")
  set_property(SOURCE "${LUMENTA_PLANTING_SOURCE_DIR}/${name}.c" APPEND PROPERTY
    OBJECT_DEPENDS "${LUMENTA_PLANTING_SOURCE_DIR}/planted.h")
  target_link_options(${target} PRIVATE -static -s)
  add_dependencies(lumenta_planting_programs ${target})
  lumenta_manifest(planting dlls ${name}.dll "$<TARGET_FILE:${target}>")
endforeach()

foreach(program loadbyname atentry)
  set(target "lumenta_planting_${program}")
  add_executable(${target} "${LUMENTA_PLANTING_SOURCE_DIR}/${program}.c")
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${program}"
    RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_PLANTING_BINARY_DIR}")
  target_link_options(${target} PRIVATE -static -s)
  add_dependencies(lumenta_planting_programs ${target})
  lumenta_manifest(planting ${program} "$<TARGET_FILE:${target}>")
endforeach()
