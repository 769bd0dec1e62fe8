# Authenticode signing of the product image, optional.
#
#   cmake ... -DLUMENTA_SIGN_CERT=cert.pem -DLUMENTA_SIGN_KEY=key.pem
#
# When both are set, every link of LumentaSetupBoot is followed by a signing
# step: osslsigncode signs the executable (SHA-256) into a new file beside
# it, verifies that file's signature, and only then puts it in the
# executable's place. A signature that does not verify fails the build and
# leaves the unsigned executable, which the next build links and signs again.
# Without a certificate and key the build is unchanged: no step, no tool.
#
#   LUMENTA_SIGN_CERT           the certificate (PEM), with the intermediate
#                               certificates of its chain after it
#   LUMENTA_SIGN_KEY            its private key (PEM)
#   LUMENTA_SIGN_PASS           the key's password, if it has one; kept in
#                               CMakeCache.txt and the build files, so for a
#                               release prefer
#   LUMENTA_SIGN_PASS_FILE      a file whose first line is the password
#   LUMENTA_SIGN_CAFILE         trusted roots (PEM) for the verification;
#                               empty: the system's list
#                               (/etc/ssl/certs/ca-certificates.crt). A
#                               self-signed certificate is its own root.
#   LUMENTA_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server; empty: no time
#                               stamp (the signature then ends with the
#                               certificate's validity)
#
# The unsigned image is reproducible; the signature adds the signing time.
# `osslsigncode remove-signature` gives back the unsigned bytes.

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
set(signing "$<TARGET_FILE:LumentaSetupBoot>.signing")
add_custom_command(TARGET LumentaSetupBoot POST_BUILD
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${signing}"
  COMMAND "${LUMENTA_OSSLSIGNCODE}" sign ${sign_args}
          -h sha256 -n "Lumenta Setup" -in "${image}" -out "${signing}"
  COMMAND "${LUMENTA_OSSLSIGNCODE}" verify ${verify_args} -in "${signing}"
  COMMAND "${CMAKE_COMMAND}" -E rename "${signing}" "${image}"
  COMMENT "Signing LumentaSetupBoot.exe"
  VERBATIM)
lumenta_manifest(signed_with "${LUMENTA_SIGN_CERT_PATH}")
message(STATUS "LumentaSetupBoot.exe is signed with ${LUMENTA_SIGN_CERT_PATH}")
