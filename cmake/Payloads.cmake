# Sample payloads, made from the sources in payloads/ by the Windows build:
#
#   LUMENTA_SAMPLE_MSI           a per-user "Lumenta" package (wixl) that
#                                installs one file and one HKCU value
#   LUMENTA_SAMPLE_DOTNET_SETUP  a stand-in for the framework's web installer:
#                                records its command line beside itself and
#                                ends with the code in LUMENTA_STANDIN_EXIT
#   LUMENTA_SAMPLE_NOTE          the install-source note, UTF-16LE, 184 bytes
#
# The three are plain file paths in ${CMAKE_BINARY_DIR}/payloads, made by the
# target lumenta_sample_payloads; every executable that holds one of them
# depends on that target. Each is reproducible: the same sources give the
# same bytes.

find_program(LUMENTA_WIXL wixl REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(LUMENTA_PAYLOAD_SOURCE_DIR "${CMAKE_SOURCE_DIR}/payloads")
set(LUMENTA_PAYLOAD_BINARY_DIR "${CMAKE_BINARY_DIR}/payloads")
file(MAKE_DIRECTORY "${LUMENTA_PAYLOAD_BINARY_DIR}")

set(LUMENTA_SAMPLE_MSI "${LUMENTA_PAYLOAD_BINARY_DIR}/Lumenta.msi")
set(LUMENTA_SAMPLE_DOTNET_SETUP "${LUMENTA_PAYLOAD_BINARY_DIR}/dotnet_standin.exe")
set(LUMENTA_SAMPLE_NOTE "${LUMENTA_PAYLOAD_BINARY_DIR}/source_note.bin")

# ---- The package ----------------------------------------------------------------

# wixl takes the File sources relative to the .wxs file's folder.
add_custom_command(
  OUTPUT "${LUMENTA_SAMPLE_MSI}"
  COMMAND "${LUMENTA_WIXL}" -o "${LUMENTA_PAYLOAD_BINARY_DIR}/Lumenta.wixl.msi"
          "${LUMENTA_PAYLOAD_SOURCE_DIR}/Lumenta.wxs"
  COMMAND Python3::Interpreter "${LUMENTA_PAYLOAD_SOURCE_DIR}/normalize_msi.py"
          "${LUMENTA_PAYLOAD_BINARY_DIR}/Lumenta.wixl.msi" "${LUMENTA_SAMPLE_MSI}"
  DEPENDS "${LUMENTA_PAYLOAD_SOURCE_DIR}/Lumenta.wxs"
          "${LUMENTA_PAYLOAD_SOURCE_DIR}/Lumenta.txt"
          "${LUMENTA_PAYLOAD_SOURCE_DIR}/normalize_msi.py"
  COMMENT "Sample package Lumenta.msi"
  VERBATIM)

# ---- The stand-in framework installer -----------------------------------------------

add_executable(lumenta_dotnet_standin WIN32 "${LUMENTA_PAYLOAD_SOURCE_DIR}/dotnet_standin.c")
set_target_properties(lumenta_dotnet_standin PROPERTIES
  OUTPUT_NAME dotnet_standin
  RUNTIME_OUTPUT_DIRECTORY "${LUMENTA_PAYLOAD_BINARY_DIR}")
# Runtime linked in, no time stamp, stripped: small and reproducible.
target_compile_options(lumenta_dotnet_standin PRIVATE -Os)
target_link_options(lumenta_dotnet_standin PRIVATE
  -static -s "-Wl,--no-insert-timestamp")

# ---- The install-source note --------------------------------------------------------

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

add_custom_target(lumenta_sample_payloads
  DEPENDS "${LUMENTA_SAMPLE_MSI}" "${LUMENTA_SAMPLE_NOTE}")
add_dependencies(lumenta_sample_payloads lumenta_dotnet_standin)
