# Authenticode signing of the product image, optional.
#
#   cmake ... -DLUMENTA_SIGN_CERT=cert.pem -DLUMENTA_SIGN_KEY=key.pem
#
# When both are set, every link of LumentaSetupBoot is followed by a signing
# step: the linked file is moved aside (.unsigned), signed into .signing and
# verified there, and only then moved, with the linked file's mode, to
# LumentaSetupBoot.exe. A failure fails the build and leaves no
# LumentaSetupBoot.exe. Without a certificate and key the build is
# unchanged: no step, no tool. The options: docs/release.md#signing.

set(LUMENTA_SIGN_CERT "" CACHE FILEPATH
  "Code-signing certificate (PEM) for LumentaSetupBoot.exe; empty: not signed")
set(LUMENTA_SIGN_KEY "" CACHE FILEPATH "Private key (PEM) of LUMENTA_SIGN_CERT")
set(LUMENTA_SIGN_PASS "" CACHE STRING "Password of LUMENTA_SIGN_KEY (stored in the cache)")
set(LUMENTA_SIGN_PASS_FILE "" CACHE FILEPATH "File holding the password of LUMENTA_SIGN_KEY")
set(LUMENTA_SIGN_CAFILE "" CACHE FILEPATH
  "Trusted roots (PEM) to verify the signature with; empty: the system's")
set(LUMENTA_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server; empty: none")
mark_as_advanced(LUMENTA_SIGN_PASS LUMENTA_SIGN_PASS_FILE LUMENTA_SIGN_CAFILE
                 LUMENTA_SIGN_TIMESTAMP_URL)

if(NOT LUMENTA_SIGN_CERT AND NOT LUMENTA_SIGN_KEY)
  return()
endif()
if(NOT LUMENTA_SIGN_CERT OR NOT LUMENTA_SIGN_KEY)
  message(FATAL_ERROR "Signing needs both LUMENTA_SIGN_CERT and LUMENTA_SIGN_KEY.")
endif()
if(LUMENTA_SIGN_PASS AND LUMENTA_SIGN_PASS_FILE)
  message(FATAL_ERROR "Give LUMENTA_SIGN_PASS or LUMENTA_SIGN_PASS_FILE, not both.")
endif()
foreach(var LUMENTA_SIGN_CERT LUMENTA_SIGN_KEY LUMENTA_SIGN_PASS_FILE LUMENTA_SIGN_CAFILE)
  if(${var})
    get_filename_component(${var}_PATH "${${var}}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
    if(NOT EXISTS "${${var}_PATH}")
      message(FATAL_ERROR "${var}: no such file: ${${var}_PATH}")
    endif()
  endif()
endforeach()
find_program(LUMENTA_OSSLSIGNCODE osslsigncode REQUIRED)

set(sign_args -certs "${LUMENTA_SIGN_CERT_PATH}" -key "${LUMENTA_SIGN_KEY_PATH}")
if(LUMENTA_SIGN_PASS)
  list(APPEND sign_args -pass "${LUMENTA_SIGN_PASS}")
elseif(LUMENTA_SIGN_PASS_FILE)
  list(APPEND sign_args -readpass "${LUMENTA_SIGN_PASS_FILE_PATH}")
endif()
if(LUMENTA_SIGN_TIMESTAMP_URL)
  list(APPEND sign_args -ts "${LUMENTA_SIGN_TIMESTAMP_URL}")
endif()
set(verify_args "")
if(LUMENTA_SIGN_CAFILE)
  list(APPEND verify_args -CAfile "${LUMENTA_SIGN_CAFILE_PATH}")
endif()

set(image "$<TARGET_FILE:LumentaSetupBoot>")
set(unsigned "${image}.unsigned")
set(signing "${image}.signing")
# Each osslsigncode run, and a message when it fails.
set(or_fail sh -c "\"$0\" \"$@\" || (echo 'LumentaSetupBoot.exe is not signed, and not at its \
path: the next build links and signs it again.' >&2 && false)")
add_custom_command(TARGET LumentaSetupBoot POST_BUILD
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${signing}" "${unsigned}"
  COMMAND "${CMAKE_COMMAND}" -E rename "${image}" "${unsigned}"
  COMMAND ${or_fail} "${LUMENTA_OSSLSIGNCODE}" sign ${sign_args}
          -h sha256 -n "Lumenta Setup" -in "${unsigned}" -out "${signing}"
  COMMAND ${or_fail} "${LUMENTA_OSSLSIGNCODE}" verify ${verify_args} -in "${signing}"
  COMMAND chmod "--reference=${unsigned}" "${signing}"
  COMMAND "${CMAKE_COMMAND}" -E rename "${signing}" "${image}"
  COMMAND "${CMAKE_COMMAND}" -E rm "${unsigned}"
  COMMENT "Signing LumentaSetupBoot.exe"
  VERBATIM)
lumenta_manifest(signed_with "${LUMENTA_SIGN_CERT_PATH}")
message(STATUS "LumentaSetupBoot.exe is signed with ${LUMENTA_SIGN_CERT_PATH}")
