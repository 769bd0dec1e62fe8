# What the payloads of an image may be, checked at configure and after each
# link:
#
#   lumenta_check_payloads(<target> <msi> <exe> <note>)
#
# lumenta_add_bootstrapper calls it for every image. The rules are
# tools/inspect's (docs/release.md#the-payloads); at configure a missing file
# is refused with the option that sets it, and the files given are checked.
# Each of them is a dependency of the configuration, so that a file changed
# or deleted later makes the build configure, and check, again before the
# resource compiler runs. Payloads that this build makes are checked by the
# one step after the link: tools/inspect reads the image back (after the page
# alignment of its resources), compares each payload with its file and
# applies the same rules. LUMENTA_ALLOW_UNUSUAL_PAYLOADS=ON is for the test
# builds whose payloads are odd on purpose.
#
# The bound: the loader maps the whole image into one free range of the
# process's address space. A 32-bit process has 2 GiB of it, and the
# system's DLLs, heaps and stacks lie scattered across that range (on Vista
# and later at random places), so a much larger free range than the image is
# never certain. Measured under Wine in a 64-bit prefix: an image holding
# 1.5 GiB starts and writes its package; one holding 2 GiB does not start
# ("Not enough memory"), large-address-aware or not. The bound keeps the
# image at half the address space, which 32-bit Windows has left free in one
# piece after start-up on every system this program supports.

set(LUMENTA_PAYLOAD_BOUND 1073741824)  # 1 GiB: the three payloads together
option(LUMENTA_ALLOW_UNUSUAL_PAYLOADS
  "Warn of a package, installer or note of an unusual kind instead of refusing it" OFF)

function(lumenta_check_payloads target msi exe note)
  set(rules --bound ${LUMENTA_PAYLOAD_BOUND})
  if(LUMENTA_ALLOW_UNUSUAL_PAYLOADS)
    list(APPEND rules --allow-unusual)
  endif()

  # At configure, "-" stands for a payload that this build makes.
  set(files "${msi}" "${exe}" "${note}")
  set(options LUMENTA_PACKAGE_MSI LUMENTA_DOTNET_SETUP LUMENTA_SOURCE_NOTE)
  set(given "")
  foreach(file option IN ZIP_LISTS files options)
    get_source_file_property(generated "${file}" GENERATED)
    if(generated OR file IN_LIST LUMENTA_SAMPLE_PAYLOAD_FILES)
      list(APPEND given -)
    elseif(NOT EXISTS "${file}")
      if(NOT file STREQUAL "${${option}}")
        set(option "the payload of lumenta_add_bootstrapper(${target})")
      endif()
      message(FATAL_ERROR "${target}: ${file} does not exist; set ${option} to an existing file")
    else()
      list(APPEND given "${file}")
      set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
    endif()
  endforeach()
  if(NOT given STREQUAL "-;-;-")
    execute_process(COMMAND "${CMAKE_SOURCE_DIR}/tools/inspect" --payloads ${given} ${rules}
                    RESULT_VARIABLE failed ERROR_VARIABLE findings)
    string(STRIP "${findings}" findings)
    if(failed)
      message(FATAL_ERROR "${target}: ${findings}")
    elseif(findings)
      message(WARNING "${target}: ${findings}")
    endif()
  endif()

  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_SOURCE_DIR}/tools/inspect" "$<TARGET_FILE:${target}>" --payloads ${files}
            ${rules}
    COMMENT "Reading back ${target}: its payloads and the bound"
    VERBATIM)
endfunction()
