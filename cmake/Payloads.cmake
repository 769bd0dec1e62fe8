# Sample payloads, made from the sources in payloads/ by the Windows build:
#
#   LUMENTA_SAMPLE_MSI           a per-user "Lumenta" package (wixl) of the
#                                build's version that installs one file and
#                                one HKCU value
#   LUMENTA_SAMPLE_DOTNET_SETUP  a stand-in for the framework's web installer:
#                                records its command line beside itself and
#                                ends with the code in LUMENTA_STANDIN_EXIT
#   LUMENTA_SAMPLE_NOTE          the install-source note, UTF-16LE, 184 bytes
#
# The three are plain file paths in ${LUMENTA_SAMPLE_DIR} (the image's CMake
# names them), made by the target lumenta_sample_payloads; every executable
# that holds one of them depends on that target. Only those named in
# LUMENTA_SAMPLES (MSI, DOTNET_SETUP, NOTE) are made, so that a build with
# all three payloads given needs neither wixl nor the stand-in. Each is
# reproducible: the same sources give the same bytes.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(LUMENTA_PAYLOAD_SOURCE_DIR "${CMAKE_SOURCE_DIR}/payloads")
set(LUMENTA_PAYLOAD_BINARY_DIR "${LUMENTA_SAMPLE_DIR}")
file(MAKE_DIRECTORY "${LUMENTA_PAYLOAD_BINARY_DIR}")
set(LUMENTA_SAMPLE_PAYLOAD_FILES "")
add_custom_target(lumenta_sample_payloads)

# ---- The package ----------------------------------------------------------------

if("MSI" IN_LIST LUMENTA_SAMPLES)
find_program(LUMENTA_WIXL wixl REQUIRED)

# wixl takes the File sources relative to the .wxs file's folder.
add_custom_command(
  OUTPUT "${LUMENTA_SAMPLE_MSI}"
  COMMAND "${LUMENTA_WIXL}" -D "Version=${PROJECT_VERSION}"
          -o "${LUMENTA_PAYLOAD_BINARY_DIR}/Lumenta.wixl.msi"
          "${LUMENTA_PAYLOAD_SOURCE_DIR}/Lumenta.wxs"
  COMMAND Python3::Interpreter "${LUMENTA_PAYLOAD_SOURCE_DIR}/normalize_msi.py"
          "${LUMENTA_PAYLOAD_BINARY_DIR}/Lumenta.wixl.msi" "${LUMENTA_SAMPLE_MSI}"
  DEPENDS "${LUMENTA_PAYLOAD_SOURCE_DIR}/Lumenta.wxs"
          "${LUMENTA_PAYLOAD_SOURCE_DIR}/Lumenta.txt"
          "${LUMENTA_PAYLOAD_SOURCE_DIR}/normalize_msi.py"
  COMMENT "Sample package Lumenta.msi"
  VERBATIM)
add_custom_target(lumenta_sample_msi DEPENDS "${LUMENTA_SAMPLE_MSI}")
add_dependencies(lumenta_sample_payloads lumenta_sample_msi)
list(APPEND LUMENTA_SAMPLE_PAYLOAD_FILES "${LUMENTA_SAMPLE_MSI}")
endif()

# ---- The stand-in framework installer -----------------------------------------------

if("DOTNET_SETUP" IN_LIST LUMENTA_SAMPLES)

add_executable(lumenta_dotnet_standin WIN32 "${LUMENTA_PAYLOAD_SOURCE_DIR}/dotnet_standin.c")
set_target_properties(lumenta_dotnet_standin PROPERTIES
  OUTPUT_NAME dotnet_standin
  RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_PAYLOAD_BINARY_DIR}")
# Runtime linked in, no time stamp, stripped: small and reproducible.
target_compile_options(lumenta_dotnet_standin PRIVATE -Os)
target_link_options(lumenta_dotnet_standin PRIVATE
  -static -s "-Wl,--no-insert-timestamp")
add_dependencies(lumenta_sample_payloads lumenta_dotnet_standin)
list(APPEND LUMENTA_SAMPLE_PAYLOAD_FILES "${LUMENTA_SAMPLE_DOTNET_SETUP}")
endif()

# ---- The install-source note --------------------------------------------------------

if("NOTE" IN_LIST LUMENTA_SAMPLES)

add_custom_command(
  OUTPUT "${LUMENTA_SAMPLE_NOTE}"
  COMMAND Python3::Interpreter "${LUMENTA_PAYLOAD_SOURCE_DIR}/make_note.py"
          --out "${LUMENTA_SAMPLE_NOTE}"
          --from "${LUMENTA_PAYLOAD_SOURCE_DIR}/source_note.xml"
          --size 184
  DEPENDS "${LUMENTA_PAYLOAD_SOURCE_DIR}/source_note.xml"
          "${LUMENTA_PAYLOAD_SOURCE_DIR}/make_note.py"
  COMMENT "Sample install-source note"
  VERBATIM)

add_custom_target(lumenta_sample_note DEPENDS "${LUMENTA_SAMPLE_NOTE}")
add_dependencies(lumenta_sample_payloads lumenta_sample_note)
list(APPEND LUMENTA_SAMPLE_PAYLOAD_FILES "${LUMENTA_SAMPLE_NOTE}")
endif()
