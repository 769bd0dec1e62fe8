# The largest payloads an executable may carry.
#
# The loader maps the whole image into one free range of the process's
# address space. A 32-bit process has 2 GiB of it, and the system's DLLs,
# heaps and stacks lie scattered across that range (on Vista and later at
# random places), so a much larger free range than the image is never
# certain. Measured under Wine in a 64-bit prefix: an image holding 1.5 GiB
# starts and writes its package; one holding 2 GiB does not start ("Not
# enough memory"), large-address-aware or not. The bound keeps the image at
# half the address space, which 32-bit Windows has left free in one piece
# after start-up on every system this program supports.
#
# Included from the Windows image's build after the product is defined:
#
#   lumenta_check_payload_bound(<target> <msi> <exe> <note>)
#
# refuses, at configure time, payloads that exist and together exceed the
# bound, and adds a build step before the resource compiler of <target>
# that checks them again, so that a payload grown after the configure fails
# the build with the same message. In script mode
# (cmake -DMSI=.. -DEXE=.. -DNOTE=.. -P PayloadBounds.cmake) it is that step.

set(LUMENTA_PAYLOAD_BOUND 1073741824)  # 1 GiB: the three payloads together
set(LUMENTA_PAYLOAD_BOUND_TEXT "1 GiB")

# Sets <out> to the error text when the payloads exceed the bound, else to
# the empty string. Payloads that do not exist (yet) count as empty.
function(lumenta_payload_bound_error out msi exe note)
  set(total 0)
  set(parts "")
  foreach(kind MSI EXE NOTE)
    string(TOLOWER "${kind}" var)
    set(size 0)
    if(EXISTS "${${var}}")
      file(SIZE "${${var}}" size)
    endif()
    math(EXPR total "${total} + ${size}")
    list(APPEND parts "${kind} ${size}")
  endforeach()
  if(total GREATER LUMENTA_PAYLOAD_BOUND)
    list(JOIN parts ", " parts)
    string(CONCAT text "the payloads total ${total} bytes (${parts}), more than the bound of "
                  "${LUMENTA_PAYLOAD_BOUND} bytes (${LUMENTA_PAYLOAD_BOUND_TEXT}): an executable "
                  "that large may not load on 32-bit Windows")
    set(${out} "${text}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  lumenta_payload_bound_error(error "${MSI}" "${EXE}" "${NOTE}")
  if(error)
    message(FATAL_ERROR "${error}")
  endif()
  if(STAMP)
    file(TOUCH "${STAMP}")
  endif()
  return()
endif()

function(lumenta_check_payload_bound target msi exe note)
  lumenta_payload_bound_error(error "${msi}" "${exe}" "${note}")
  if(error)
    message(FATAL_ERROR "${target}: ${error}")
  endif()
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}.payload-bound")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" "-DMSI=${msi}" "-DEXE=${exe}" "-DNOTE=${note}"
            "-DSTAMP=${stamp}" -P "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
    DEPENDS "${msi}" "${exe}" "${note}" "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
    COMMENT "Checking the size of the payloads of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${stamp}")
  # The resource compiler runs only after the check has passed.
  get_target_property(sources ${target} SOURCES)
  foreach(source ${sources})
    if(source MATCHES "\\.rc$")
      set_property(SOURCE "${source}" APPEND PROPERTY OBJECT_DEPENDS "${stamp}")
    endif()
  endforeach()
endfunction()

lumenta_check_payload_bound(LumentaSetupBoot
  "${LUMENTA_PACKAGE_MSI}" "${LUMENTA_DOTNET_SETUP}" "${LUMENTA_SOURCE_NOTE}")

# What the build shipped: the product's image is read back after its last
# change to the image (the page alignment of its resources) and each payload
# compared with its file; a difference fails the build.
add_custom_command(TARGET LumentaSetupBoot POST_BUILD
  COMMAND "${CMAKE_SOURCE_DIR}/tools/inspect" "$<TARGET_FILE:LumentaSetupBoot>"
          --payloads "${LUMENTA_PACKAGE_MSI}" "${LUMENTA_DOTNET_SETUP}" "${LUMENTA_SOURCE_NOTE}"
  VERBATIM)
