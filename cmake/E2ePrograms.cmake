# Programs of the end-to-end tests (tests/e2e/), built with the Windows image
# into ${CMAKE_BINARY_DIR}/e2e by the target lumenta_e2e_programs:
#
#   uidriver.exe       reads and answers message boxes of other programs
#   wintool.exe        registry in either view, byte for byte; system texts
#   filelock.exe       holds a file open without sharing
#   shim/mscoree.dll   stand-in .NET runtime shim ("framework present")
#   LumentaSetupBoot-note*.exe
#                      the bootstrapper with other install-source notes
#
# The bootstrapper with a package at the payload bound (lumenta_e2e_scale) is not part of
# any default build: the scale test builds it when it runs.
#
# The build's manifest.json tells the test runner where everything is.

set(LUMENTA_E2E_SOURCE_DIR "${CMAKE_SOURCE_DIR}/tests/e2e")
set(LUMENTA_E2E_BINARY_DIR "${CMAKE_BINARY_DIR}/e2e")
file(MAKE_DIRECTORY "${LUMENTA_E2E_BINARY_DIR}")
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# The scale test's package is random bytes, on purpose: no package.
set(LUMENTA_ALLOW_UNUSUAL_PAYLOADS ON)

# ---- Helper programs ---------------------------------------------------------------

function(lumenta_e2e_program target output_name)
  add_executable(${target} ${ARGN})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${output_name}"
    RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_E2E_BINARY_DIR}")
  target_link_options(${target} PRIVATE -static -s)
endfunction()

lumenta_e2e_program(lumenta_e2e_uidriver uidriver "${LUMENTA_E2E_SOURCE_DIR}/driver/uidriver.c")
target_compile_options(lumenta_e2e_uidriver PRIVATE -municode)
target_link_options(lumenta_e2e_uidriver PRIVATE -municode)
lumenta_e2e_program(lumenta_e2e_wintool wintool "${LUMENTA_E2E_SOURCE_DIR}/driver/wintool.c")
lumenta_e2e_program(lumenta_e2e_filelock filelock "${LUMENTA_E2E_SOURCE_DIR}/driver/filelock.c")

add_library(lumenta_e2e_mscoree SHARED
  "${LUMENTA_E2E_SOURCE_DIR}/shim/mscoree_standin.c"
  "${LUMENTA_E2E_SOURCE_DIR}/shim/mscoree_standin.def")
set_target_properties(lumenta_e2e_mscoree PROPERTIES
  PREFIX ""
  OUTPUT_NAME mscoree
  RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_E2E_BINARY_DIR}/shim"
  # Its import library apart from those of other DLLs of the same name.
  ARCHIVE_OUTPUT_DIRECTORY "${LUMENTA_E2E_BINARY_DIR}/shim/lib")
target_link_options(lumenta_e2e_mscoree PRIVATE -static -s)

# ---- Install-source notes and the variants that hold them -----------------------------

set(LUMENTA_E2E_NOTE_DIR "${LUMENTA_E2E_BINARY_DIR}/notes")
set(LUMENTA_E2E_MAKE_NOTE "${CMAKE_SOURCE_DIR}/payloads/make_note.py")

# lumenta_e2e_note(<name> <make_note.py arguments>...): a note file
# ${LUMENTA_E2E_NOTE_DIR}/<name>.bin, added to LUMENTA_E2E_NOTES.
function(lumenta_e2e_note name)
  set(out "${LUMENTA_E2E_NOTE_DIR}/${name}.bin")
  add_custom_command(OUTPUT "${out}"
    COMMAND Python3::Interpreter "${LUMENTA_E2E_MAKE_NOTE}" --out "${out}" ${ARGN}
    DEPENDS "${LUMENTA_E2E_MAKE_NOTE}" "${CMAKE_SOURCE_DIR}/payloads/source_note.xml"
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY LUMENTA_E2E_NOTES "${out}")
endfunction()

# One byte: no whole code unit, so nothing is recorded.
lumenta_e2e_note(note1 --raw-hex 3c --size 1)
# The note as built and one stray byte: the byte is dropped.
lumenta_e2e_note(note185
  --from "${CMAKE_SOURCE_DIR}/payloads/source_note.xml" --append-byte 41 --size 185)
# 57 code units, 114 bytes: a multiple of 57 bytes, so the value ends in CR LF.
lumenta_e2e_note(note114
  --text "<Kv><CampaignID/><Referrer>e2</Referrer><InputSite/></Kv>" --size 114)
# A NUL code unit inside the text is kept and recorded with the rest.
lumenta_e2e_note(notenul
  --text "<Kv><CampaignID>\\u0000</CampaignID><Referrer>nul.example</Referrer><InputSite/></Kv>")
get_property(LUMENTA_E2E_NOTES GLOBAL PROPERTY LUMENTA_E2E_NOTES)
add_custom_target(lumenta_e2e_notes DEPENDS ${LUMENTA_E2E_NOTES})

set(LUMENTA_E2E_VARIANTS "")
foreach(note note1 note185 note114 notenul)
  set(target "lumenta_e2e_boot_${note}")
  lumenta_add_bootstrapper(${target}
    MSI "${LUMENTA_SAMPLE_MSI}"
    EXE "${LUMENTA_SAMPLE_DOTNET_SETUP}"
    NOTE "${LUMENTA_E2E_NOTE_DIR}/${note}.bin"
    OUTPUT_NAME "LumentaSetupBoot-${note}")
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_E2E_BINARY_DIR}")
  add_dependencies(${target} lumenta_e2e_notes)
  list(APPEND LUMENTA_E2E_VARIANTS ${target})
endforeach()

# ---- The scale variant: a package 1 MiB under the payload bound, made only when asked for ------

# The other two payloads are the samples, far smaller than the MiB left.
math(EXPR LUMENTA_E2E_SCALE_SIZE "${LUMENTA_PAYLOAD_BOUND} - 1048576")
set(LUMENTA_E2E_SCALE_MSI "${LUMENTA_E2E_BINARY_DIR}/scale/package-at-bound.bin")
add_custom_command(OUTPUT "${LUMENTA_E2E_SCALE_MSI}"
  COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/payloads/make_random.py"
          "${LUMENTA_E2E_SCALE_MSI}" ${LUMENTA_E2E_SCALE_SIZE}
  DEPENDS "${CMAKE_SOURCE_DIR}/payloads/make_random.py"
  COMMENT "Package at the payload bound for the scale test"
  VERBATIM)
add_custom_target(lumenta_e2e_scale_payload DEPENDS "${LUMENTA_E2E_SCALE_MSI}")
lumenta_add_bootstrapper(lumenta_e2e_scale
  MSI "${LUMENTA_E2E_SCALE_MSI}"
  EXE "${LUMENTA_SAMPLE_DOTNET_SETUP}"
  NOTE "${LUMENTA_SAMPLE_NOTE}"
  OUTPUT_NAME "LumentaSetupBoot-scale")
set_target_properties(lumenta_e2e_scale PROPERTIES
  EXCLUDE_FROM_ALL TRUE
  RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_E2E_BINARY_DIR}")
add_dependencies(lumenta_e2e_scale lumenta_e2e_scale_payload)

# ---- All of it, and where it is -------------------------------------------------------------------

add_custom_target(lumenta_e2e_programs)
add_dependencies(lumenta_e2e_programs
  LumentaSetupBoot lumenta_sample_payloads
  lumenta_e2e_uidriver lumenta_e2e_wintool lumenta_e2e_filelock lumenta_e2e_mscoree
  ${LUMENTA_E2E_VARIANTS})

foreach(program uidriver wintool filelock)
  lumenta_manifest(${program} "$<TARGET_FILE:lumenta_e2e_${program}>")
endforeach()
lumenta_manifest(mscoree_shim "$<TARGET_FILE:lumenta_e2e_mscoree>")
lumenta_manifest(scale_target lumenta_e2e_scale)
lumenta_manifest(scale_exe "$<TARGET_FILE:lumenta_e2e_scale>")
lumenta_manifest(scale_msi "${LUMENTA_E2E_SCALE_MSI}")
lumenta_manifest(payload_bound "${LUMENTA_PAYLOAD_BOUND}")
foreach(note note1 note185 note114 notenul)
  lumenta_manifest(variants ${note} exe "$<TARGET_FILE:lumenta_e2e_boot_${note}>")
  lumenta_manifest(variants ${note} note "${LUMENTA_E2E_NOTE_DIR}/${note}.bin")
endforeach()
